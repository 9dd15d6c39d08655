// What a server's answer means for the file it carries: the body's length, whether a failure status may pass and
// how long to wait, and where a body goes when it continues bytes kept from an earlier attempt. Plain rules over
// header values, shared by both engines.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace download {

// The body's length from every Content-Length value of an answer (a value may itself be a comma-separated list):
// none when there is no value. A value that is not a decimal number that fits 64 bits, or values that differ,
// make the answer invalid (a final failure): the body's end could not be told, and a cut file would pass as whole.
std::optional<std::uint64_t> ParseContentLength(const std::vector<std::wstring>& values);

// Statuses that tell of a passing state of the server or of the way to it: 408, 429, 500, 502, 503 and 504, and
// 0, which stands for an answer that never began.
bool IsPassingStatus(DWORD status);
// The pause a Retry-After answer asks for, from its first value when that is a number of seconds; none for a date or
// anything else.
std::optional<std::chrono::milliseconds> ParseRetryAfter(const std::vector<std::wstring>& values);
// Raises the failure for a final status outside 2xx: `text`, passing for IsPassingStatus (with the answer's
// Retry-After), otherwise an ordinary failure.
[[noreturn]] void FailStatus(DWORD status, const std::wstring& text, const std::vector<std::wstring>& retryAfter);

// What an answer says of the file it carries, as far as continuing it goes.
struct FileIdentity {
    // A strong ETag, or else the Last-Modified date; empty when the answer had neither.
    std::wstring validator;
    // The whole file's length; none when it was not announced.
    std::optional<std::uint64_t> length;
    // Accept-Ranges: bytes was announced.
    bool acceptsRanges = false;

    bool CanContinue() const { return acceptsRanges && !validator.empty() && length && *length > 0; }
};

// The headers of a final answer that tell where its body belongs.
struct AnswerHeaders {
    DWORD status = 0;
    std::optional<std::uint64_t> contentLength;
    std::vector<std::wstring> contentRange;
    std::vector<std::wstring> acceptRanges;
    std::vector<std::wstring> etag;
    std::vector<std::wstring> lastModified;
    std::vector<std::wstring> contentEncoding;
    std::vector<std::wstring> transferEncoding;
};

// Refuses (finally) an answer whose body comes in a coding the installer never asked for: a Content-Encoding
// other than "identity", or a Transfer-Encoding other than "chunked". It sends no Accept-Encoding, and neither
// engine is asked to decode, so such a body would be saved coded, as no program at all.
void RefuseUnaskedCoding(const AnswerHeaders& answer);

// Refuses (finally) a body whose end nothing can vouch for: the whole file's length is unknown (no Content-Length,
// no 206 total) and no check of the file's content follows (`contentChecked`: a published hash or a required
// signer). Such a body ends where the connection closes or where the engine took the chunks to end, and neither
// engine tells a cut there from the end: Wine's reads a garbage chunk size as the last chunk and a close inside a
// chunk as the body's end. Asking again would meet the same doubt.
void RequireMarkedEnd(std::optional<std::uint64_t> length, bool contentChecked);

// What the next attempt continues: `offset` bytes kept of the file that `identity` describes (offset 0: nothing).
struct ResumePoint {
    std::uint64_t offset = 0;
    FileIdentity identity;
};

// The Range and If-Range request headers, CRLF-separated, that ask for the rest of `resume`; empty when there is
// nothing to continue.
std::wstring RangeHeaders(const ResumePoint& resume);

// Where the body of an answer to a request made for `resume` goes: after the kept bytes (the result's first), or
// from byte 0 (the kept bytes are dropped), and the identity of the file it belongs to (the result's second).
// A 206 is appended only when its Content-Range starts right after the kept bytes, ends at the end of the file, and
// agrees with the length and validator that the kept bytes came with (the validator the answer carries, its strong
// ETag or else its Last-Modified date, must be the one If-Range sent; an answer that carries none is taken to have
// honoured If-Range); any other 206 and a 416 raise a passing failure that drops the kept bytes. A file of another
// version can therefore never be spliced onto them. A whole answer to such a request that names the kept bytes'
// strong ETag but another length contradicts them: neither can be told to be the file, which is a final failure.
// A 206 to a request that asked for no range is at most the file's beginning: it starts at byte 0 and the whole
// file's length is the total its Content-Range names, which the body must reach before the file is whole; any
// other such 206 drops what it brought.
std::pair<std::uint64_t, FileIdentity> PlaceBody(const ResumePoint& resume, const AnswerHeaders& answer);

// The incomplete-download text for `length` announced and `received` bytes.
std::wstring IncompleteText(std::uint64_t length, std::uint64_t received);

}  // namespace download

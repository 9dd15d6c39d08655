// Pieces shared by the WinHTTP and WinINet engines, which cannot share a translation unit because their headers
// collide. Inside an engine every failure is a download::Failure; the attempt that runs the engine catches it at
// its boundary and prefixes the engine's tag.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/DownloadManager.h"
#include "download/Failure.h"
#include "win32/Handle.h"

namespace download {

// Raise a download::Failure of the kind the name says (Fail: one that another attempt of the same engine would
// meet again).
[[noreturn]] void Fail(const std::wstring& text);
[[noreturn]] void FailFinally(const std::wstring& text);
[[noreturn]] void FailPassing(const std::wstring& text,
                              std::optional<std::chrono::milliseconds> retryAfter = std::nullopt,
                              bool restart = false);
// FailWithCode, as a failure that may pass.
[[noreturn]] void FailPassingWithCode(const wchar_t* format, DWORD code);
// A failed exchange with the server, `code` its error: final when `verdict` (the server's certificate or TLS was
// refused, which asking again would meet again), otherwise (a connection refused, reset or timed out) one that may
// pass.
[[noreturn]] void FailExchange(const wchar_t* format, DWORD code, bool verdict);
// Raises `format`, which holds "%d" and then "%ls", filled with `code` as a signed number and its system text.
[[noreturn]] void FailWithCode(const wchar_t* format, DWORD code);
[[noreturn]] inline void FailWithLastError(const wchar_t* format) {
    FailWithCode(format, ::GetLastError());
}
// `tag` followed by the text of a caught failure.
std::wstring TagFailure(const wchar_t* tag, const Failure& failure);

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
};

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
// agrees with the length and validator that the kept bytes came with; any other 206 and a 416 raise a passing failure
// that drops the kept bytes. A file of another version can therefore never be spliced onto them.
// A 206 to a request that asked for no range is at most the file's beginning: it starts at byte 0 and the whole
// file's length is the total its Content-Range names, which the body must reach before the file is whole; any
// other such 206 drops what it brought.
std::pair<std::uint64_t, FileIdentity> PlaceBody(const ResumePoint& resume, const AnswerHeaders& answer);

// True for an absolute http or https URL (scheme compared without case).
bool IsHttpUrl(const std::wstring& url);
bool IsHttpsUrl(const std::wstring& url);

// The URL a Location value points to from `base`. Servers may answer with a path or a relative reference as well
// as with a full URL; a value with a scheme of its own is returned unchanged.
std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location);

// The one redirect rule of every download: the URL is http or https, at most kMaxRedirects redirects are
// followed, and a transfer that began over https never continues over http. Each violation is a final failure.
class RedirectChain {
public:
    // Raises when `url` is not an http or https URL.
    explicit RedirectChain(std::wstring url);
    const std::wstring& Url() const { return m_url; }
    // Moves to the target of a redirect response from the current URL.
    void Follow(const std::wstring& location);

private:
    std::wstring m_url;
    bool m_secure;
    int m_redirects = 0;
};

// Fails a transfer whose rate stays below a floor: once a whole window has passed, the bytes received since the
// window began must reach the floor's share of the time passed, and a new window begins.
class RateFloor {
public:
    using Clock = std::chrono::steady_clock;

    RateFloor(std::uint32_t bytesPerSecond, std::chrono::milliseconds window, Clock::time_point start);
    // Counts `bytes` received by `now`; raises "Transfer too slow: ..." when a window ends below the floor.
    void Add(std::uint64_t bytes, Clock::time_point now);

private:
    std::uint32_t m_bytesPerSecond;
    std::chrono::milliseconds m_window;
    Clock::time_point m_windowStart;
    std::uint64_t m_bytes = 0;
};

// The output file of a download: written under a temporary name in the target's folder and put in place only
// once it is complete, so that a failed download leaves nothing behind; a complete one never replaces a file
// that was there before either. Chunks are gathered into large writes: the network hands them over a few kilobytes at a
// time, and each write costs a system call. Every member may be called from any thread: a transfer that is given up on
// is discarded by its watcher while its own thread may still be writing.
class PartialFile {
public:
    // A new temporary file beside `targetPath`, or the one of an earlier attempt at `keptPath`, whose bytes stay
    // until StartAt says where the body goes.
    explicit PartialFile(std::wstring targetPath, std::wstring keptPath = std::wstring());
    // Discards the file unless it was put in place or kept.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Raises "Failed to open file for writing: ..." with the error of the attempt when the file is not open. The
    // engines call it only after the server has answered, so that a server's refusal takes precedence over a
    // local problem.
    void RequireOpen() const;
    // The body that follows begins at byte `offset` of the file: the bytes before it stay, those after it go.
    void StartAt(std::uint64_t offset);
    // Raises "Failed to write file: ..." when the system takes less than everything.
    void Write(const char* data, DWORD size);
    // Writes what is gathered and closes the file; when `length` is known, reopens it and compares its size (the
    // incomplete-download text on a difference, `openFailure` when it cannot be reopened); then puts the file in
    // place under the target's name, or under the next free numbered name beside a file of that name, which it
    // never replaces. Returns the path the file was saved under.
    std::wstring Complete(std::optional<std::uint64_t> length, const wchar_t* openFailure);
    // Closes and deletes the temporary file; later writes fail. Does nothing once the file is in place.
    void Discard();
    // Writes what is gathered and closes the file, leaving it for a later attempt; later writes fail. Returns its
    // path, which the caller now owns; empty when there is no file.
    std::wstring Keep();

private:
    void Flush();

    mutable std::mutex m_mutex;
    std::wstring m_targetPath;
    std::wstring m_temporaryPath;
    win32::FileHandle m_file;
    DWORD m_openError = ERROR_SUCCESS;
    bool m_closed = false;
    std::vector<char> m_pending;
};

// A transfer that runs on a thread of its own while the caller watches it, because a blocked call of the platform's
// HTTP stack cannot always be ended from outside (a header block that drips restarts its timeouts with every
// byte). When the transfer shows no progress for longer than the limit, the caller gives up: it ends the
// transfer as far as the engine can (CloseTransfer), discards the file, and only then reports the failure. From
// then on the transfer thread writes no result, and its next step raises, so that it sends no further request.
class WatchedTransfer {
public:
    // `keptPath` names the bytes of an earlier attempt that this one may continue.
    WatchedTransfer(std::chrono::milliseconds limit,
                    const std::wstring& targetPath,
                    std::wstring giveUpText,
                    const std::wstring& keptPath = std::wstring());
    virtual ~WatchedTransfer() = default;
    WatchedTransfer(const WatchedTransfer&) = delete;
    WatchedTransfer& operator=(const WatchedTransfer&) = delete;

    PartialFile& File() { return m_file; }

    // The transfer made progress. Raises once the caller has given up.
    void Touch();

    // Runs `finish`, which may raise and returns the path of the file it put in place, and hands over success,
    // unless the caller has given up already.
    template <typename Finish>
    void Succeed(Finish&& finish) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            Fail(L"Abandoned.");
        m_savedPath = finish();
        m_result = DownloadResult(true, std::wstring());
        m_done = true;
        CloseTransfer();
        m_changed.notify_all();
    }

    // Releases everything, then hands over the failure (unless the caller has given up and done so already).
    void Finish(DownloadResult result, std::exception_ptr exception = nullptr);

    // The transfer's result, or (false, the give-up text) once it has shown no progress for longer than the limit.
    DownloadResult Wait();

    // After Wait: the path of the bytes a failed transfer leaves for the next attempt, which the caller now owns
    // (empty when there are none), and what the transfer learnt of the file.
    std::wstring TakeKeptPath();
    // After a successful Wait: the path of the file put in place.
    std::wstring TakeSavedPath();
    FileIdentity Identity();
    void SetIdentity(const FileIdentity& identity);

protected:
    // Ends what the transfer still holds of the network; called under the lock, once the transfer has ended or
    // the caller has given up.
    virtual void CloseTransfer() {}
    // Held while the transfer adopts a handle, so that a caller giving up meanwhile closes it as well.
    std::mutex m_mutex;
    bool m_abandoned = false;

private:
    using Clock = std::chrono::steady_clock;

    std::condition_variable m_changed;
    PartialFile m_file;
    const std::chrono::milliseconds m_limit;
    const std::wstring m_giveUpText;
    Clock::time_point m_lastActivity;
    bool m_done = false;
    DownloadResult m_result{false, std::wstring()};
    std::exception_ptr m_exception;
    std::wstring m_keptPath;
    std::wstring m_savedPath;
    FileIdentity m_identity;
};

// Posts the progress of one file, across all its attempts, to a window: the marquee message when the length is
// unknown, otherwise a percentage each time the share on disk has grown by more than one point beyond the largest
// one posted, and 100 at the end. The bar therefore never moves back, and a file posts about 100 messages however
// often it is begun again. Shared by the attempts; an abandoned attempt's late chunk only nudges the share.
class ProgressReporter {
public:
    explicit ProgressReporter(HWND window) : m_window(window) {}
    // Starts an attempt at a file of `length` bytes, `offset` of which are on disk already, or switches the window
    // to its marquee when the length is unknown.
    void Start(std::optional<std::uint64_t> length, std::uint64_t offset = 0);
    void AddChunk(DWORD bytes);
    void ReportComplete();

private:
    void Post(UINT message, WPARAM value) const;

    std::mutex m_mutex;
    HWND m_window;
    std::uint64_t m_length = 0;
    double m_fraction = 0.0;
    double m_reported = 0.0;
    bool m_marquee = false;
};

// The incomplete-download text for `length` announced and `received` bytes.
std::wstring IncompleteText(std::uint64_t length, std::uint64_t received);

// One attempt of one engine at a file.
struct AttemptPlan {
    std::wstring url;
    std::wstring targetPath;
    // The temporary file of earlier attempts, which this one reuses; empty for a new one.
    std::wstring keptPath;
    ResumePoint resume;
    std::shared_ptr<ProgressReporter> progress;
};

struct AttemptOutcome {
    // A failure's kind under the number of its FailureKind.
    enum class Kind {
        Succeeded = 0,
        // It may pass: try again after a pause.
        Passing = static_cast<int>(FailureKind::Passing),
        // Another attempt of the same engine would meet it again; the other engine may not.
        Lasting = static_cast<int>(FailureKind::Lasting),
        // Nothing would change it: no further attempt.
        Final = static_cast<int>(FailureKind::Final),
    };
    Kind kind = Kind::Lasting;
    // The failure text with the engine's tag.
    std::wstring text;
    std::optional<std::chrono::milliseconds> retryAfter;
    // The kept bytes must not be continued.
    bool restart = false;
    // The temporary file the attempt leaves, which the caller now owns; empty when there is none.
    std::wstring keptPath;
    // The file put in place, on success.
    std::wstring savedPath;
    FileIdentity identity;
};

// Starts the body of `answer` (to a request made for `plan`'s resume point) in the transfer's file and in the progress
// that `plan` reports to, as PlaceBody says; returns the whole file's length when known.
std::optional<std::uint64_t> BeginBody(WatchedTransfer& transfer, const AttemptPlan& plan, const AnswerHeaders& answer);

// One attempt: `body` runs the transfer on a thread of its own (it owns what it uses, since a transfer given up on
// may outlive the attempt) while the caller waits as long as the transfer's watch allows. The outcome carries
// `tag` before its text, the kind of its failure, and the bytes the attempt kept.
AttemptOutcome RunAttempt(const std::shared_ptr<WatchedTransfer>& transfer,
                          const wchar_t* tag,
                          std::function<void()> body);

}  // namespace download

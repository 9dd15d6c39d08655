#include "download/AnswerRules.h"

#include <cwchar>
#include <cwctype>

#include "download/DownloadLimits.h"
#include "download/Failure.h"
#include "win32/Strings.h"

namespace download {
namespace {

using win32::StartsWithNoCase;

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
}

// A decimal number of at most 64 bits and nothing else.
std::optional<std::uint64_t> ParseDecimal(const std::wstring& text) {
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return std::nullopt;
        const auto digit = static_cast<std::uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

}  // namespace

std::optional<std::uint64_t> ParseContentLength(const std::vector<std::wstring>& values) {
    std::optional<std::uint64_t> length;
    for (const std::wstring& value : values) {
        size_t start = 0;
        for (;;) {
            const size_t comma = value.find(L',', start);
            const std::wstring item = Trimmed(value.substr(start, comma == std::wstring::npos ? comma : comma - start));
            const std::optional<std::uint64_t> parsed = ParseDecimal(item);
            if (!parsed)
                FailFinally(L"Invalid answer: the length " + QuotedValue(value) + L" is not a number.");
            if (length && *length != *parsed) {
                FailFinally(win32::Utf8ToWide("Invalid answer: conflicting lengths " + std::to_string(*length) +
                                              " and " + std::to_string(*parsed) + "."));
            }
            length = parsed;
            if (comma == std::wstring::npos)
                break;
            start = comma + 1;
        }
    }
    return length;
}

bool IsPassingStatus(DWORD status) {
    switch (status) {
        // No status line at all: the connection ended before the answer began.
        case 0:
        case 408:
        case 429:
        case 500:
        case 502:
        case 503:
        case 504:
            return true;
        default:
            return false;
    }
}

std::optional<std::chrono::milliseconds> ParseRetryAfter(const std::vector<std::wstring>& values) {
    if (values.empty())
        return std::nullopt;
    const std::optional<std::uint64_t> seconds = ParseDecimal(Trimmed(values.front()));
    if (!seconds)
        return std::nullopt;
    // Anything beyond a day is as good as a day: the caller caps it far lower.
    constexpr std::uint64_t kDaySeconds = 86400;
    return std::chrono::milliseconds(std::min(*seconds, kDaySeconds) * 1000);
}

void FailStatus(DWORD status, const std::wstring& text, const std::vector<std::wstring>& retryAfter) {
    if (IsPassingStatus(status))
        FailPassing(text, ParseRetryAfter(retryAfter));
    Fail(text);
}

namespace {

// "bytes first-last/total"; total may not be "*" here, since only a whole file's end can be continued.
struct ContentRange {
    std::uint64_t first;
    std::uint64_t last;
    std::uint64_t total;
};

std::optional<ContentRange> ParseContentRange(const std::wstring& value) {
    const std::wstring text = Trimmed(value);
    if (!StartsWithNoCase(text, L"bytes "))
        return std::nullopt;
    const size_t dash = text.find(L'-', 6);
    const size_t slash = text.find(L'/', 6);
    if (dash == std::wstring::npos || slash == std::wstring::npos || slash < dash)
        return std::nullopt;
    const auto first = ParseDecimal(Trimmed(text.substr(6, dash - 6)));
    const auto last = ParseDecimal(Trimmed(text.substr(dash + 1, slash - dash - 1)));
    const auto total = ParseDecimal(Trimmed(text.substr(slash + 1)));
    if (!first || !last || !total || *first > *last || *last >= *total)
        return std::nullopt;
    return ContentRange{*first, *last, *total};
}

bool IsStrongEtag(const std::wstring& value) {
    return value.size() >= 2 && value.front() == L'"' && value.back() == L'"';
}

FileIdentity IdentityOf(const AnswerHeaders& answer) {
    FileIdentity identity;
    identity.length = answer.contentLength;
    if (answer.etag.size() == 1 && IsStrongEtag(Trimmed(answer.etag.front())))
        identity.validator = Trimmed(answer.etag.front());
    else if (answer.etag.empty() && answer.lastModified.size() == 1)
        identity.validator = Trimmed(answer.lastModified.front());
    // The validator goes back to the server in a header: a value that could end that header is not one.
    if (identity.validator.find_first_of(L"\r\n") != std::wstring::npos ||
        identity.validator.size() > kQuotedValueChars)
        identity.validator.clear();
    for (const std::wstring& value : answer.acceptRanges) {
        size_t start = 0;
        for (;;) {
            const size_t comma = value.find(L',', start);
            const std::wstring unit = Trimmed(value.substr(start, comma == std::wstring::npos ? comma : comma - start));
            if (unit.size() == 5 && StartsWithNoCase(unit, L"bytes"))
                identity.acceptsRanges = true;
            if (comma == std::wstring::npos)
                break;
            start = comma + 1;
        }
    }
    return identity;
}

}  // namespace

std::wstring RangeHeaders(const ResumePoint& resume) {
    if (resume.offset == 0 || !resume.identity.CanContinue())
        return {};
    return win32::Utf8ToWide("Range: bytes=" + std::to_string(resume.offset) + "-\r\n") + L"If-Range: " +
           resume.identity.validator;
}

std::pair<std::uint64_t, FileIdentity> PlaceBody(const ResumePoint& resume, const AnswerHeaders& answer) {
    const bool asked = !RangeHeaders(resume).empty();
    FileIdentity identity = IdentityOf(answer);
    if (answer.status != 206) {
        if (asked && answer.status == 416)
            FailPassing(L"The server refused the rest of the file (status 416); it is fetched again from the start.",
                        std::nullopt, true);
        // A whole answer (the file changed, or the server ignores ranges): it replaces what was kept, unless it
        // claims the kept bytes' version (a strong ETag is the same bytes) with another length.
        const FileIdentity& kept = resume.identity;
        if (asked && IsStrongEtag(kept.validator) && identity.validator == kept.validator && identity.length &&
            *identity.length != *kept.length) {
            FailFinally(win32::Utf8ToWide("The server sent the file of the same version (ETag ") +
                        CleanFailureText(kept.validator) +
                        win32::Utf8ToWide(") with another length (" + std::to_string(*identity.length) +
                                          " bytes against " + std::to_string(*kept.length) + ")."));
        }
        return {0, identity};
    }
    // A part, which must start where it was asked to, or at the file's start when nothing was asked for (then it
    // is the file's beginning at best, and the file is whole only once it reaches the total).
    const std::uint64_t offset = asked ? resume.offset : 0;
    const std::optional<ContentRange> range =
        answer.contentRange.size() == 1 ? ParseContentRange(answer.contentRange.front()) : std::nullopt;
    bool agrees = range && range->first == offset;
    if (agrees && answer.contentLength)
        agrees = *answer.contentLength == range->last + 1 - range->first;
    if (asked) {
        // The rest of the kept file: up to its end, of its length, and of its version when the server names one (a
        // server that ignores If-Range but names the version it sends is taken at its word).
        const FileIdentity& kept = resume.identity;
        agrees = agrees && range->total == *kept.length && range->last + 1 == range->total;
        const bool namesVersion = !answer.etag.empty() || !answer.lastModified.empty();
        if (agrees && namesVersion && identity.validator != kept.validator)
            agrees = false;
        identity = kept;
    } else if (range) {
        identity.length = range->total;
    }
    if (!agrees) {
        FailPassing(L"The server sent another part of the file than the one asked for (Content-Range " +
                        QuotedValue(answer.contentRange.empty() ? std::wstring() : answer.contentRange.front()) +
                        L"); it is fetched again from the start.",
                    std::nullopt, true);
    }
    return {offset, identity};
}

void RefuseUnaskedCoding(const AnswerHeaders& answer) {
    const auto refuse = [](const wchar_t* header, const std::vector<std::wstring>& values, const wchar_t* allowed) {
        for (const std::wstring& value : values) {
            size_t start = 0;
            for (;;) {
                const size_t comma = value.find(L',', start);
                const std::wstring coding =
                    Trimmed(value.substr(start, comma == std::wstring::npos ? comma : comma - start));
                if (!coding.empty() && !(coding.size() == std::wcslen(allowed) && StartsWithNoCase(coding, allowed)) &&
                    !(coding.size() == 8 && StartsWithNoCase(coding, L"identity"))) {
                    FailFinally(std::wstring(L"The server sent the file in a coding it was not asked for (") + header +
                                L" " + QuotedValue(value) + L").");
                }
                if (comma == std::wstring::npos)
                    break;
                start = comma + 1;
            }
        }
    };
    refuse(L"Content-Encoding", answer.contentEncoding, L"identity");
    refuse(L"Transfer-Encoding", answer.transferEncoding, L"chunked");
}

void RequireMarkedEnd(std::optional<std::uint64_t> length, bool contentChecked) {
    if (!length && !contentChecked) {
        FailFinally(
            L"The server did not say how long the file is, and without a published hash or signer a cut "
            L"file could not be told from a whole one.");
    }
}

std::wstring IncompleteText(std::uint64_t length, std::uint64_t received) {
    return win32::Utf8ToWide("Download was incomplete: content length: " + std::to_string(length) +
                             ", downloaded: " + std::to_string(received));
}

}  // namespace download

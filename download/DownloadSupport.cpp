#include "download/DownloadSupport.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <exception>
#include <stdexcept>
#include <thread>

#include "download/DownloadLimits.h"
#include "download/DownloadManager.h"
#include "download/ProgressMessages.h"
#include "download/SavedName.h"
#include "win32/PathRules.h"
#include "win32/Strings.h"

namespace download {
namespace {

constexpr size_t kWriteBlockBytes = 1024 * 1024;

void WriteThrough(HANDLE file, const char* data, DWORD size) {
    DWORD written = 0;
    if (!::WriteFile(file, data, size, &written, nullptr))
        FailWithLastError(L"Failed to write file: %d - %ls");
    if (written != size)
        FailWithCode(L"Failed to write file: %d - %ls", ERROR_DISK_FULL);
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    for (size_t i = 0; prefix[i] != L'\0'; ++i) {
        if (i >= text.size() || std::towlower(text[i]) != std::towlower(prefix[i]))
            return false;
    }
    return true;
}

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

// Moves `source` to `target`, or to the next free numbered name beside it, and returns where it went. Nothing is
// ever replaced: a file of that name (a document of the user's, an older copy) stays as it is. Each name is
// tried by the move itself, never checked first, so a file that appears meanwhile is not replaced either.
std::wstring MoveToFreeName(const std::wstring& source, const std::wstring& target) {
    const size_t slash = target.rfind(L'\\');
    const std::wstring folder = target.substr(0, slash + 1);
    const std::wstring name = target.substr(slash + 1);
    const size_t maxChars =
        folder.size() < MAX_PATH - 1 ? std::min(path_rules::kMaxFileNameChars, MAX_PATH - 1 - folder.size()) : 0;
    for (int number = 0; number <= kMaxSavedNameNumber; ++number) {
        std::wstring candidate = target;
        if (number > 0) {
            const std::wstring numbered = MakeNumberedName(name, number, maxChars);
            if (numbered.empty() || !IsPlainFileName(numbered))
                break;
            candidate = folder + numbered;
        }
        if (::MoveFileExW(source.c_str(), candidate.c_str(), 0))
            return candidate;
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
            FailWithCode(L"Failed to put the downloaded file in place: %d - %ls", error);
    }
    FailFinally(L"Failed to put the downloaded file in place: no free name beside " + QuotedValue(name) + L".");
}

}  // namespace

void Fail(const std::wstring& text) {
    throw Failure(FailureKind::Lasting, text);
}

void FailFinally(const std::wstring& text) {
    throw Failure(FailureKind::Final, text);
}

void FailPassing(const std::wstring& text, std::optional<std::chrono::milliseconds> retryAfter, bool restart) {
    throw Failure(FailureKind::Passing, text, retryAfter, restart);
}

void FailPassingWithCode(const wchar_t* format, DWORD code) {
    FailPassing(TextWithCode(format, code));
}

void FailExchange(const wchar_t* format, DWORD code, bool verdict) {
    if (verdict)
        FailFinally(TextWithCode(format, code));
    FailPassingWithCode(format, code);
}

void FailWithCode(const wchar_t* format, DWORD code) {
    Fail(TextWithCode(format, code));
}

std::wstring TagFailure(const wchar_t* tag, const Failure& failure) {
    return tag + failure.Text();
}

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
        // A whole answer (the file changed, or the server ignores ranges): it replaces what was kept.
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
        if (agrees && !answer.etag.empty() && identity.validator != kept.validator)
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

bool IsHttpUrl(const std::wstring& url) {
    return path_rules::IsHttpUrl(url);
}

bool IsHttpsUrl(const std::wstring& url) {
    return path_rules::IsHttpsUrl(url);
}

std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location) {
    const size_t schemeEnd = location.find(L':');
    if (schemeEnd != std::wstring::npos && location.find_first_of(L"/?#") > schemeEnd)
        return location;
    const size_t authority = base.find(L"://");
    if (authority == std::wstring::npos)
        return location;
    if (StartsWithNoCase(location, L"//"))
        return base.substr(0, authority + 1) + location;
    const size_t pathStart = std::min(base.find_first_of(L"/?#", authority + 3), base.size());
    if (!location.empty() && location.front() == L'/')
        return base.substr(0, pathStart) + location;
    const size_t pathEnd = std::min(base.find_first_of(L"?#", pathStart), base.size());
    if (location.empty() || location.front() == L'?' || location.front() == L'#')
        return base.substr(0, pathEnd) + location;
    const size_t lastSlash = base.rfind(L'/', pathEnd == 0 ? 0 : pathEnd - 1);
    if (lastSlash == std::wstring::npos || lastSlash < pathStart)
        return base.substr(0, pathStart) + L"/" + location;
    return base.substr(0, lastSlash + 1) + location;
}

RedirectChain::RedirectChain(std::wstring url) : m_url(std::move(url)), m_secure(IsHttpsUrl(m_url)) {
    if (!IsHttpUrl(m_url))
        FailFinally(L"Refused a URL that is neither http nor https: " + QuotedValue(m_url));
}

void RedirectChain::Follow(const std::wstring& location) {
    if (++m_redirects > kMaxRedirects)
        FailFinally(L"Too many redirects.");
    std::wstring next = ResolveRedirect(m_url, location);
    if (!IsHttpUrl(next))
        FailFinally(L"Refused a redirect to a URL that is neither http nor https: " + QuotedValue(next));
    // Whoever can rewrite a cleartext answer could then hand over any installer.
    if (m_secure && !IsHttpsUrl(next))
        FailFinally(L"Refused a redirect from https to http: " + QuotedValue(next));
    m_url = std::move(next);
    m_secure = IsHttpsUrl(m_url);
}

RateFloor::RateFloor(std::uint32_t bytesPerSecond, std::chrono::milliseconds window, Clock::time_point start)
    : m_bytesPerSecond(bytesPerSecond), m_window(window), m_windowStart(start) {}

void RateFloor::Add(std::uint64_t bytes, Clock::time_point now) {
    m_bytes += bytes;
    const auto elapsed = now - m_windowStart;
    if (elapsed < m_window)
        return;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (static_cast<double>(m_bytes) < m_bytesPerSecond * seconds) {
        const auto windowSeconds = std::chrono::duration_cast<std::chrono::seconds>(m_window).count();
        FailPassing(win32::FormatWide(L"Transfer too slow: less than %u bytes per second for %d seconds.",
                                      m_bytesPerSecond, static_cast<int>(windowSeconds)));
    }
    m_windowStart = now;
    m_bytes = 0;
}

PartialFile::PartialFile(std::wstring targetPath, std::wstring keptPath) : m_targetPath(std::move(targetPath)) {
    const size_t slash = m_targetPath.rfind(L'\\');
    if (slash == std::wstring::npos) {
        // No target (the folder is missing): nothing may be written, and above all not in the current folder.
        m_openError = ERROR_PATH_NOT_FOUND;
        return;
    }
    if (!keptPath.empty()) {
        m_temporaryPath = std::move(keptPath);
        m_file.Reset(::CreateFileW(m_temporaryPath.c_str(), GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER end{};
        if (m_file && ::SetFilePointerEx(m_file.Get(), LARGE_INTEGER{}, &end, FILE_END))
            return;
        // The kept bytes are lost to this attempt: it begins a file of its own.
        m_file.Reset();
        ::DeleteFileW(m_temporaryPath.c_str());
        m_temporaryPath.clear();
    }
    wchar_t temporary[MAX_PATH] = {};
    if (!::GetTempFileNameW(m_targetPath.substr(0, slash).c_str(), L"wf", 0, temporary)) {
        m_openError = ::GetLastError();
        return;
    }
    m_temporaryPath = temporary;
    m_file.Reset(::CreateFileW(temporary, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        m_openError = ::GetLastError();
        ::DeleteFileW(temporary);
        m_temporaryPath.clear();
    }
}

PartialFile::~PartialFile() {
    Discard();
}

void PartialFile::RequireOpen() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        Fail(L"Download abandoned.");
    if (!m_file)
        FailWithCode(L"Failed to open file for writing: %d - %ls", m_openError);
}

void PartialFile::StartAt(std::uint64_t offset) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_file)
        Fail(L"Download abandoned.");
    Flush();
    LARGE_INTEGER position{};
    position.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(m_file.Get(), position, nullptr, FILE_BEGIN) || !::SetEndOfFile(m_file.Get()))
        FailWithLastError(L"Failed to write file: %d - %ls");
}

void PartialFile::Write(const char* data, DWORD size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_file)
        Fail(L"Download abandoned.");
    if (m_pending.capacity() == 0)
        m_pending.reserve(kWriteBlockBytes);
    if (m_pending.size() + size > kWriteBlockBytes)
        Flush();
    if (size >= kWriteBlockBytes) {
        WriteThrough(m_file.Get(), data, size);
        return;
    }
    m_pending.insert(m_pending.end(), data, data + size);
}

void PartialFile::Flush() {
    if (!m_pending.empty())
        WriteThrough(m_file.Get(), m_pending.data(), static_cast<DWORD>(m_pending.size()));
    m_pending.clear();
}

std::wstring PartialFile::Complete(std::optional<std::uint64_t> length, const wchar_t* openFailure) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed || !m_file)
        Fail(L"Download abandoned.");
    Flush();
    m_file.Reset();
    if (length) {
        win32::FileHandle file(::CreateFileW(m_temporaryPath.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!file || !::GetFileSizeEx(file.Get(), &size)) {
            if (std::wcsstr(openFailure, L"%d") != nullptr)
                FailWithLastError(openFailure);
            Fail(openFailure);
        }
        const auto downloaded = static_cast<std::uint64_t>(size.QuadPart);
        // A connection cut before the end reads like the body's end to both engines; a body longer than its
        // announced length would come the same way again.
        if (downloaded < *length)
            FailPassing(IncompleteText(*length, downloaded));
        if (downloaded != *length)
            Fail(IncompleteText(*length, downloaded));
    }
    std::wstring savedPath = MoveToFreeName(m_temporaryPath, m_targetPath);
    m_temporaryPath.clear();
    m_closed = true;
    return savedPath;
}

std::wstring PartialFile::Keep() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closed)
        return {};
    m_closed = true;
    try {
        if (m_file)
            Flush();
    } catch (const Failure&) {
        // What reached the disk is still the body's beginning, in order; the next attempt continues after it.
    }
    m_pending.clear();
    m_file.Reset();
    std::wstring path;
    path.swap(m_temporaryPath);
    return path;
}

void PartialFile::Discard() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_closed = true;
    m_pending.clear();
    m_file.Reset();
    if (!m_temporaryPath.empty())
        ::DeleteFileW(m_temporaryPath.c_str());
    m_temporaryPath.clear();
}

WatchedTransfer::WatchedTransfer(std::chrono::milliseconds limit,
                                 const std::wstring& targetPath,
                                 std::wstring giveUpText,
                                 const std::wstring& keptPath)
    : m_file(targetPath, keptPath), m_limit(limit), m_giveUpText(std::move(giveUpText)), m_lastActivity(Clock::now()) {}

std::wstring WatchedTransfer::TakeKeptPath() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::wstring path;
    path.swap(m_keptPath);
    return path;
}

std::wstring WatchedTransfer::TakeSavedPath() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::wstring path;
    path.swap(m_savedPath);
    return path;
}

FileIdentity WatchedTransfer::Identity() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_identity;
}

void WatchedTransfer::SetIdentity(const FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_identity = identity;
}

void WatchedTransfer::Touch() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_abandoned)
        Fail(L"Abandoned.");
    m_lastActivity = Clock::now();
}

void WatchedTransfer::Finish(DownloadResult result, std::exception_ptr exception) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_abandoned)
        return;
    CloseTransfer();
    m_keptPath = m_file.Keep();
    m_result = std::move(result);
    m_exception = exception;
    m_done = true;
    m_changed.notify_all();
}

DownloadResult WatchedTransfer::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_done) {
        if (m_changed.wait_until(lock, m_lastActivity + m_limit) == std::cv_status::timeout && !m_done &&
            Clock::now() >= m_lastActivity + m_limit) {
            m_abandoned = true;
            CloseTransfer();
            // Closing the file under its lock ends the transfer's writes: the bytes on disk stay as they are.
            m_keptPath = m_file.Keep();
            return DownloadResult(false, m_giveUpText);
        }
    }
    if (m_exception)
        std::rethrow_exception(m_exception);
    return m_result;
}

void ProgressReporter::Post(UINT message, WPARAM value) const {
    if (m_window != nullptr)
        ::PostMessageW(m_window, message, value, 0);
}

void ProgressReporter::Start(std::optional<std::uint64_t> length, std::uint64_t offset) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_length = length.value_or(0);
    m_fraction = m_length > 0 ? static_cast<double>(offset) / static_cast<double>(m_length) : 0.0;
    if (!length && !m_marquee) {
        m_marquee = true;
        Post(WM_DOWNLOAD_MARQUEE, 0);
    }
}

void ProgressReporter::AddChunk(DWORD bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Without a length there is no share to report: the window keeps its marquee.
    if (m_length == 0)
        return;
    m_fraction += static_cast<double>(bytes) / static_cast<double>(m_length);
    if (m_fraction - m_reported > 0.01) {
        Post(WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(m_fraction * 100.0));
        m_reported = m_fraction;
    }
}

void ProgressReporter::ReportComplete() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_length > 0)
        Post(WM_DOWNLOAD_PROGRESS, 100);
}

namespace {

// The outcome of an attempt that raised `failure`, with `tag` before its text.
AttemptOutcome FailedOutcome(const wchar_t* tag, const Failure& failure) {
    AttemptOutcome outcome;
    outcome.text = TagFailure(tag, failure);
    // The kinds of failure are the kinds of outcome after success, under the same numbers.
    outcome.kind = static_cast<AttemptOutcome::Kind>(failure.Kind());
    outcome.retryAfter = failure.RetryAfter();
    outcome.restart = failure.Restart();
    return outcome;
}

}  // namespace

std::optional<std::uint64_t> BeginBody(WatchedTransfer& transfer,
                                       const AttemptPlan& plan,
                                       const AnswerHeaders& answer) {
    const auto [offset, identity] = PlaceBody(plan.resume, answer);
    transfer.SetIdentity(identity);
    // A 206 names the whole file's length in its Content-Range; its Content-Length is only the part's.
    const std::optional<std::uint64_t> length =
        offset > 0 || answer.status == 206 ? identity.length : answer.contentLength;
    PartialFile& file = transfer.File();
    file.RequireOpen();
    file.StartAt(offset);
    plan.progress->Start(length, offset);
    return length;
}

AttemptOutcome RunAttempt(const std::shared_ptr<WatchedTransfer>& transfer,
                          const wchar_t* tag,
                          std::function<void()> body) {
    AttemptOutcome outcome;
    try {
        std::thread([transfer, body = std::move(body)] {
            try {
                body();
            } catch (...) {
                // Raised again on the caller's thread, which tells the kinds of failure apart.
                transfer->Finish(DownloadResult(false, std::wstring()), std::current_exception());
            }
        }).detach();
        const DownloadResult result = transfer->Wait();
        // Only a transfer given up on ends without raising: it fell silent, which may pass.
        outcome.kind = result.first ? AttemptOutcome::Kind::Succeeded : AttemptOutcome::Kind::Passing;
        outcome.text = result.second;
    } catch (const Failure& failure) {
        outcome = FailedOutcome(tag, failure);
    } catch (const std::runtime_error& error) {
        // Not the transfer's own (a thread that could not start): nothing says it would pass.
        outcome.kind = AttemptOutcome::Kind::Lasting;
        outcome.text = tag + win32::MultiByteToWide(error.what(), 0);
    }
    outcome.keptPath = transfer->TakeKeptPath();
    if (outcome.kind == AttemptOutcome::Kind::Succeeded)
        outcome.savedPath = transfer->TakeSavedPath();
    outcome.identity = transfer->Identity();
    return outcome;
}

std::wstring IncompleteText(std::uint64_t length, std::uint64_t received) {
    return win32::Utf8ToWide("Download was incomplete: content length: " + std::to_string(length) +
                             ", downloaded: " + std::to_string(received));
}

}  // namespace download

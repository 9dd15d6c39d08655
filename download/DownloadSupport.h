// Pieces shared by the WinHTTP and WinINet engines, which cannot share a translation unit because their headers
// collide. Inside an engine every failure is a std::runtime_error whose message is the failure text in the
// thread's ANSI code page; each engine catches it at its boundary and prefixes its tag.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/DownloadManager.h"
#include "win32/Handle.h"

namespace download {

// A failure that the other engine would meet just the same, because it lies in what the server answered (a
// length that is no length, a redirect loop, a redirect to cleartext) or in a security verdict: the rescue
// engine does not try again, so that it cannot accept what the first engine rightly refused.
class FinalFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::wstring& text);
[[noreturn]] void FailFinally(const std::wstring& text);
// Raises `format`, which holds "%d" and then "%ls", filled with `code` as a signed number and its system text.
[[noreturn]] void FailWithCode(const wchar_t* format, DWORD code);
[[noreturn]] inline void FailWithLastError(const wchar_t* format) {
    FailWithCode(format, ::GetLastError());
}
// `tag` followed by the message of a caught failure, back in UTF-16.
std::wstring TagFailure(const wchar_t* tag, const std::runtime_error& error);

// The body's length from every Content-Length value of an answer (a value may itself be a comma-separated list):
// none when there is no value. A value that is not a decimal number that fits 64 bits, or values that differ,
// make the answer invalid (FinalFailure): the body's end could not be told, and a cut file would pass as whole.
std::optional<std::uint64_t> ParseContentLength(const std::vector<std::wstring>& values);

// True for an absolute http or https URL (scheme compared without case).
bool IsHttpUrl(const std::wstring& url);
bool IsHttpsUrl(const std::wstring& url);

// The URL a Location value points to from `base`. Servers may answer with a path or a relative reference as well
// as with a full URL; a value with a scheme of its own is returned unchanged.
std::wstring ResolveRedirect(const std::wstring& base, const std::wstring& location);

// The one redirect rule of every download: the URL is http or https, at most kMaxRedirects redirects are
// followed, and a transfer that began over https never continues over http. Each violation is a FinalFailure.
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
    explicit PartialFile(std::wstring targetPath);
    // Discards the file unless it was put in place.
    ~PartialFile();
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    // Raises "Failed to open file for writing: ..." with the error of the attempt when the file is not open. The
    // engines call it only after the server has answered, so that a server's refusal takes precedence over a
    // local problem.
    void RequireOpen() const;
    // Raises "Failed to write file: ..." when the system takes less than everything.
    void Write(const char* data, DWORD size);
    // Writes what is gathered and closes the file; when `length` is known, reopens it and compares its size (the
    // incomplete-download text on a difference, `openFailure` when it cannot be reopened); then puts the file in
    // place under the target's name, or under the next free numbered name beside a file of that name, which it
    // never replaces. Returns the path the file was saved under.
    std::wstring Complete(std::optional<std::uint64_t> length, const wchar_t* openFailure);
    // Closes and deletes the temporary file; later writes fail. Does nothing once the file is in place.
    void Discard();

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
    WatchedTransfer(std::chrono::milliseconds limit, const std::wstring& targetPath, std::wstring giveUpText);
    virtual ~WatchedTransfer() = default;
    WatchedTransfer(const WatchedTransfer&) = delete;
    WatchedTransfer& operator=(const WatchedTransfer&) = delete;

    PartialFile& File() { return m_file; }

    // The transfer made progress. Raises once the caller has given up.
    void Touch();

    // Runs `finish`, which may raise, and hands over success, unless the caller has given up already.
    template <typename Finish>
    void Succeed(Finish&& finish) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            Fail(L"Abandoned.");
        finish();
        m_result = DownloadResult(true, std::wstring());
        m_done = true;
        CloseTransfer();
        m_changed.notify_all();
    }

    // Releases everything, then hands over the failure (unless the caller has given up and done so already).
    void Finish(DownloadResult result, std::exception_ptr exception = nullptr);

    // The transfer's result, or (false, the give-up text) once it has shown no progress for longer than the limit.
    DownloadResult Wait();

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
};

// Posts the progress of one transfer to a window: the marquee message when the length is unknown, otherwise a
// percentage each time the transferred share has grown by more than one point since the last one posted, and
// 100 at the end.
class ProgressReporter {
public:
    explicit ProgressReporter(HWND window) : m_window(window) {}
    // Starts a transfer of `length` bytes, or switches the window to its marquee when the length is unknown.
    void Start(std::optional<std::uint64_t> length);
    void AddChunk(DWORD bytes);
    void ReportComplete();

private:
    void Post(UINT message, WPARAM value) const;

    HWND m_window;
    std::uint64_t m_length = 0;
    double m_fraction = 0.0;
    double m_reported = 0.0;
};

// The incomplete-download text for `length` announced and `received` bytes.
std::wstring IncompleteText(std::uint64_t length, std::uint64_t received);

}  // namespace download

// The WinINet engine: the rescue for installer downloads that WinHTTP could not complete. It uses the system's
// preconfigured proxy settings and follows redirects by itself.
//
// Not every WinINet honours its receive timeout (some ignore it on the handle InternetOpenUrlW hides, and a
// blocking call cannot be interrupted from outside), so the transfer runs on a thread of its own while the
// caller watches it: when the connection stays silent longer than m_stallTimeout, the caller gets its failure
// and the transfer thread is abandoned. That thread then touches nothing but what it shares with the watch:
// it writes no result, no m_lastDownloadPath, and stops at its next step.
#include "download/DownloadManager.h"

#include <wininet.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "download/DownloadSupport.h"
#include "win32/Strings.h"

using download::Fail;
using download::FailWithLastError;

namespace {

const wchar_t kWinInetTag[] = L" [WININET]";
constexpr DWORD kReadBufferBytes = 4096;

class StallWatch {
public:
    explicit StallWatch(std::chrono::milliseconds limit) : m_limit(limit), m_lastActivity(Clock::now()) {}

    // The transfer made progress. Raises once the caller has given up, so that the transfer stops.
    void Touch() {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            Fail(L"Abandoned.");
        m_lastActivity = Clock::now();
    }

    // Runs `finish` and hands over the result, unless the caller has given up already.
    template <typename Finish>
    void Succeed(Finish&& finish) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            return;
        finish();
        m_result = DownloadResult(true, std::wstring());
        m_done = true;
        m_changed.notify_all();
    }

    void Finish(DownloadResult result, std::exception_ptr exception = nullptr) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            return;
        m_result = std::move(result);
        m_exception = exception;
        m_done = true;
        m_changed.notify_all();
    }

    // The transfer's result, or a failure once the connection has been silent for longer than the limit.
    DownloadResult Wait() {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (!m_done) {
            if (m_changed.wait_until(lock, m_lastActivity + m_limit) == std::cv_status::timeout && !m_done &&
                Clock::now() >= m_lastActivity + m_limit) {
                m_abandoned = true;
                const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_limit).count();
                return DownloadResult(false, kWinInetTag + win32::FormatWide(L"No data received for %d seconds.",
                                                                             static_cast<int>(seconds)));
            }
        }
        if (m_exception)
            std::rethrow_exception(m_exception);
        return m_result;
    }

private:
    using Clock = std::chrono::steady_clock;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    const std::chrono::milliseconds m_limit;
    Clock::time_point m_lastActivity;
    bool m_done = false;
    bool m_abandoned = false;
    DownloadResult m_result{false, std::wstring()};
    std::exception_ptr m_exception;
};

void Transfer(DownloadManager& manager,
              StallWatch& watch,
              const std::wstring& url,
              HWND notifyWindow,
              const std::wstring& targetPath,
              DWORD stallTimeoutMs) {
    download::OutputFile file(targetPath);
    download::ProgressReporter progress(notifyWindow);

    win32::InternetHandle session(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session)
        FailWithLastError(L"Failed to initialize WinINet:: %d - %ls");
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session.Get(), option, &stallTimeoutMs, sizeof(stallTimeoutMs));
    win32::InternetHandle request(::InternetOpenUrlW(session.Get(), url.c_str(), nullptr, 0, INTERNET_FLAG_RELOAD, 0));
    if (!request)
        FailWithLastError(L"Failed to open URL:: %d - %ls");
    watch.Touch();

    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!::HttpQueryInfoW(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        FailWithLastError(L"Failed to query HTTP status code: %d - %ls");
    if (status != 200) {
        const std::wstring systemText = DownloadManager::GetSystemErrorText(::GetLastError());
        Fail(win32::FormatWide(L"Server returned status code: HTTP %d - %ls", static_cast<int>(status),
                               systemText.c_str()));
    }

    DWORD length = 0;
    size = sizeof(length);
    const bool lengthKnown = ::HttpQueryInfoW(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER,
                                              &length, &size, nullptr) != FALSE;
    progress.Start(lengthKnown, length);

    file.RequireOpen();
    std::vector<char> buffer(kReadBufferBytes);
    for (;;) {
        DWORD read = 0;
        // A read that fails is a cut transfer, not the end of the body: without an announced length nothing else
        // would tell a truncated installer from a whole one.
        if (!::InternetReadFile(request.Get(), buffer.data(), kReadBufferBytes, &read))
            FailWithLastError(L"Failed to read data: %d - %ls");
        watch.Touch();
        if (read == 0)
            break;
        file.Write(buffer.data(), read);
        progress.AddChunk(read);
    }
    file.Close();
    if (lengthKnown)
        download::CheckCompleteness(targetPath, length, L"Failed to open downloaded file: %d - %ls");

    watch.Succeed([&] {
        manager.m_lastDownloadPath = targetPath;
        progress.ReportComplete();
    });
}

}  // namespace

DownloadResult DownloadManager::DownloadFileWinInet(const std::wstring& url,
                                                    HWND notifyWindow,
                                                    const std::wstring& fileName,
                                                    bool useTemporaryFolder) {
    try {
        // The target is settled here, on the caller's thread: telling the user about a missing folder may take
        // longer than any stall limit.
        const std::wstring targetPath = ResolveTargetPath(url, fileName, useTemporaryFolder);
        auto watch = std::make_shared<StallWatch>(m_stallTimeout);
        const auto stallTimeoutMs = static_cast<DWORD>(StallTimeoutMs());
        std::thread([manager = shared_from_this(), watch, url, notifyWindow, targetPath, stallTimeoutMs] {
            try {
                Transfer(*manager, *watch, url, notifyWindow, targetPath, stallTimeoutMs);
            } catch (const std::runtime_error& error) {
                watch->Finish(DownloadResult(false, download::TagFailure(kWinInetTag, error)));
            } catch (...) {
                watch->Finish(DownloadResult(false, std::wstring()), std::current_exception());
            }
        }).detach();
        return watch->Wait();
    } catch (const std::runtime_error& error) {
        return DownloadResult(false, download::TagFailure(kWinInetTag, error));
    }
}

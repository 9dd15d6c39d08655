// The WinINet engine: the rescue for installer downloads that WinHTTP could not complete. It uses the system's
// preconfigured proxy settings, and follows redirects under the same rule as WinHTTP, never by itself.
//
// Not every WinINet honours its receive timeout (some ignore it on the handle InternetOpenUrlW hides), so the
// transfer runs under a WatchedTransfer. When the connection stays silent longer than m_stallTimeout, the caller
// closes the transfer's handles (which ends the transfer at its next step, or at once where the system aborts a
// blocking call), discards its file, and only then reports the failure.
#include "download/DownloadManager.h"

#include <wininet.h>

#include <schannel.h>

#include <algorithm>
#include <exception>
#include <optional>
#include <thread>

#include "download/DownloadSupport.h"
#include "win32/Strings.h"

using download::Fail;
using download::FailWithLastError;

namespace {

const wchar_t kWinInetTag[] = L" [WININET]";
constexpr DWORD kReadBufferBytes = 4096;
// Nothing of a download may land in WinINet's cache: a second copy of every installer, truncated ones included.
// Redirects are followed by RedirectChain.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;
// INTERNET_OPTION_SECURITY_CONNECTION_INFO and its structure, which the headers at hand do not declare.
constexpr DWORD kSecurityConnectionInfoOption = 66;
struct SecurityConnectionInfo {
    DWORD size;
    BOOL secure;
    SecPkgContext_ConnectionInfo connection;
    SecPkgContext_CipherInfo cipher;
};

using Clock = std::chrono::steady_clock;

// The WinINet transfer under its watch. Closing a WinINet request aborts a call blocked on it, so giving up
// closes the transfer's handles, which the transfer adopts as it opens them.
class WinInetTransfer : public download::WatchedTransfer {
public:
    WinInetTransfer(std::chrono::milliseconds limit, const std::wstring& targetPath)
        : WatchedTransfer(
              limit,
              targetPath,
              kWinInetTag + win32::FormatWide(
                                L"No data received for %d seconds.",
                                static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(limit).count()))) {}

    // Takes ownership of a handle just opened; raises once the caller has given up, so that the transfer stops.
    HINTERNET AdoptSession(HINTERNET session) { return Adopt(m_session, session); }
    HINTERNET AdoptRequest(HINTERNET request) { return Adopt(m_request, request); }

private:
    HINTERNET Adopt(win32::InternetHandle& owner, HINTERNET handle) {
        // When `handle` is null the caller reports the opening call's error, which closing the handle it replaces
        // or waiting for a contended lock may overwrite.
        const DWORD error = ::GetLastError();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            owner.Reset(handle);
            if (m_abandoned) {
                owner.Reset();
                Fail(L"Abandoned.");
            }
        }
        ::SetLastError(error);
        return handle;
    }

    void CloseTransfer() override {
        m_request.Reset();
        m_session.Reset();
    }

    win32::InternetHandle m_session;
    win32::InternetHandle m_request;
};

// Every value of a header, in order.
std::vector<std::wstring> QueryAll(HINTERNET request, DWORD query) {
    std::vector<std::wstring> values;
    DWORD index = 0;
    for (;;) {
        std::vector<wchar_t> buffer(256);
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        const DWORD asked = index;
        BOOL ok = ::HttpQueryInfoW(request, query, buffer.data(), &size, &index);
        if (!ok && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
            index = asked;
            buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
            size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
            ok = ::HttpQueryInfoW(request, query, buffer.data(), &size, &index);
        }
        if (!ok || index == asked)
            return values;
        values.emplace_back(buffer.data(), std::min<size_t>(size / sizeof(wchar_t), buffer.size()));
    }
}

// WinINet takes its TLS versions from the system's Internet settings, which may still allow deprecated ones, and
// has no option to narrow them. Where it tells which version a connection uses, one older than TLS 1.2 is refused.
// (Not every WinINet tells; WinHTTP's refusal of such a server is final, so DownloadFile never asks WinINet.)
void RefuseOutdatedTls(HINTERNET request) {
    SecurityConnectionInfo info{};
    info.size = sizeof(info);
    DWORD size = sizeof(info);
    if (!::InternetQueryOptionW(request, kSecurityConnectionInfoOption, &info, &size) || !info.secure)
        return;
    if ((info.connection.dwProtocol & (SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT)) == 0)
        download::FailFinally(L"Refused a server that offers only outdated TLS versions.");
}

void Transfer(DownloadManager& manager, WinInetTransfer& transfer, const std::wstring& url, HWND notifyWindow) {
    download::ProgressReporter progress(notifyWindow);
    download::RedirectChain chain(url);

    const HINTERNET session =
        transfer.AdoptSession(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr)
        FailWithLastError(L"Failed to initialize WinINet:: %d - %ls");
    auto stallTimeoutMs = static_cast<DWORD>(manager.m_stallTimeout.count());
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session, option, &stallTimeoutMs, sizeof(stallTimeoutMs));

    HINTERNET request = nullptr;
    DWORD status = 0;
    for (;;) {
        request = transfer.AdoptRequest(::InternetOpenUrlW(session, chain.Url().c_str(), nullptr, 0, kRequestFlags, 0));
        if (request == nullptr)
            FailWithLastError(L"Failed to open URL:: %d - %ls");
        transfer.Touch();
        RefuseOutdatedTls(request);

        DWORD size = sizeof(status);
        if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
            FailWithLastError(L"Failed to query HTTP status code: %d - %ls");
        if (status < 300 || status > 399)
            break;
        const std::vector<std::wstring> locations = QueryAll(request, HTTP_QUERY_LOCATION);
        if (locations.empty() || locations.front().empty())
            break;
        chain.Follow(locations.front());
    }
    if (status != 200) {
        const std::wstring systemText = DownloadManager::GetSystemErrorText(::GetLastError());
        Fail(win32::FormatWide(L"Server returned status code: HTTP %d - %ls", static_cast<int>(status),
                               systemText.c_str()));
    }

    const std::optional<std::uint64_t> length =
        download::ParseContentLength(QueryAll(request, HTTP_QUERY_CONTENT_LENGTH));
    progress.Start(length);

    download::PartialFile& file = transfer.File();
    file.RequireOpen();
    download::RateFloor rate(manager.m_minimumRate, manager.m_rateWindow, Clock::now());
    std::vector<char> buffer(kReadBufferBytes);
    for (;;) {
        // Reading only what has arrived keeps a read from blocking until a whole buffer has trickled in, so that
        // the rate floor and the stall watch see every byte as it comes.
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request, &available, 0, 0))
            FailWithLastError(L"Failed to read data: %d - %ls");
        DWORD read = 0;
        // A read that fails is a cut transfer, not the end of the body: without an announced length nothing else
        // would tell a truncated installer from a whole one.
        const DWORD wanted = available == 0 ? kReadBufferBytes : std::min(available, kReadBufferBytes);
        if (!::InternetReadFile(request, buffer.data(), wanted, &read))
            FailWithLastError(L"Failed to read data: %d - %ls");
        transfer.Touch();
        rate.Add(read, Clock::now());
        if (read == 0)
            break;
        file.Write(buffer.data(), read);
        progress.AddChunk(read);
    }

    transfer.Succeed([&] {
        manager.m_lastDownloadPath = file.Complete(length, L"Failed to open downloaded file: %d - %ls");
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
        auto transfer = std::make_shared<WinInetTransfer>(m_stallTimeout, targetPath);
        std::thread([manager = shared_from_this(), transfer, url, notifyWindow] {
            try {
                Transfer(*manager, *transfer, url, notifyWindow);
            } catch (const std::runtime_error& error) {
                transfer->Finish(DownloadResult(false, download::TagFailure(kWinInetTag, error)));
            } catch (...) {
                transfer->Finish(DownloadResult(false, std::wstring()), std::current_exception());
            }
        }).detach();
        return transfer->Wait();
    } catch (const std::runtime_error& error) {
        return DownloadResult(false, download::TagFailure(kWinInetTag, error));
    }
}

// The WinINet engine: the rescue for installer downloads that WinHTTP could not complete. It uses the system's
// preconfigured proxy settings, and follows redirects under the same rule as WinHTTP, never by itself.
//
// Not every WinINet honours its receive timeout (some ignore it on the handle InternetOpenUrlW hides), so the
// transfer runs under a WatchedTransfer. When the connection stays silent longer than its stall limit, the caller
// closes the transfer's handles (which ends the transfer at its next step, or at once where the system aborts a
// blocking call), discards its file, and only then reports the failure.
#include "download/Engines.h"

#include <wininet.h>

#include <schannel.h>

#include <algorithm>
#include <exception>
#include <optional>

#include "download/DownloadLimits.h"
#include "download/RedirectRule.h"
#include "win32/Strings.h"

using download::Fail;
using download::FailWithLastError;

namespace {

using download::kWinInetTag;
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
    WinInetTransfer(std::chrono::milliseconds limit, const std::wstring& targetPath, const std::wstring& keptPath)
        : WatchedTransfer(
              limit,
              targetPath,
              kWinInetTag +
                  win32::FormatWide(L"No data received for %d seconds.",
                                    static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(limit).count())),
              keptPath) {}

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

// Errors that are a verdict on the server's certificate or TLS: asking again would meet the same verdict.
bool IsVerdict(DWORD code) {
    switch (code) {
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case ERROR_INTERNET_INVALID_CA:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_SEC_CERT_REVOKED:
            return true;
        default:
            return false;
    }
}

[[noreturn]] void FailRequest(const wchar_t* format) {
    const DWORD code = ::GetLastError();
    download::FailExchange(format, code, IsVerdict(code));
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

void Transfer(WinInetTransfer& transfer, const download::AttemptPlan& plan) {
    download::ProgressReporter& progress = *plan.progress;
    download::RedirectChain chain(plan.url);
    const std::wstring headers = download::RangeHeaders(plan.resume);

    const HINTERNET session =
        transfer.AdoptSession(::InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session == nullptr)
        FailWithLastError(L"Failed to initialize WinINet:: %d - %ls");
    auto stallTimeoutMs = static_cast<DWORD>(plan.limits.stallTimeout.count());
    for (DWORD option :
         {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        ::InternetSetOptionW(session, option, &stallTimeoutMs, sizeof(stallTimeoutMs));

    HINTERNET request = nullptr;
    DWORD status = 0;
    for (;;) {
        request = transfer.AdoptRequest(::InternetOpenUrlW(session, chain.Url().c_str(),
                                                           headers.empty() ? nullptr : headers.c_str(),
                                                           static_cast<DWORD>(headers.size()), kRequestFlags, 0));
        if (request == nullptr)
            FailRequest(L"Failed to open URL:: %d - %ls");
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
    // A 206 is a part whether or not a range was asked for; BeginBody tells where it belongs, if anywhere.
    const bool rangeAnswer = status == 206 || (!headers.empty() && status == 416);
    if (status != 200 && !rangeAnswer) {
        // The server's own words for its status: a system message here would belong to no error at all.
        wchar_t reason[download::kQuotedValueChars + 1] = {};
        DWORD reasonBytes = sizeof(reason) - sizeof(wchar_t);
        if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_TEXT, reason, &reasonBytes, nullptr))
            reason[0] = L'\0';
        download::FailStatus(status,
                             win32::FormatWide(L"Server returned status code: HTTP %d - %ls", static_cast<int>(status),
                                               download::CleanFailureText(reason).c_str()),
                             QueryAll(request, HTTP_QUERY_RETRY_AFTER));
    }

    download::AnswerHeaders answer;
    answer.status = status;
    answer.contentLength = download::ParseContentLength(QueryAll(request, HTTP_QUERY_CONTENT_LENGTH));
    answer.contentRange = QueryAll(request, HTTP_QUERY_CONTENT_RANGE);
    answer.acceptRanges = QueryAll(request, HTTP_QUERY_ACCEPT_RANGES);
    answer.etag = QueryAll(request, HTTP_QUERY_ETAG);
    answer.lastModified = QueryAll(request, HTTP_QUERY_LAST_MODIFIED);
    answer.contentEncoding = QueryAll(request, HTTP_QUERY_CONTENT_ENCODING);
    answer.transferEncoding = QueryAll(request, HTTP_QUERY_TRANSFER_ENCODING);
    const std::optional<std::uint64_t> length = download::BeginBody(transfer, plan, answer);
    download::PartialFile& file = transfer.File();
    download::RateFloor rate(plan.limits.minimumRate, plan.limits.rateWindow, Clock::now());
    std::vector<char> buffer(kReadBufferBytes);
    for (;;) {
        // Reading only what has arrived keeps a read from blocking until a whole buffer has trickled in, so that
        // the rate floor and the stall watch see every byte as it comes.
        // Once the user has left, nothing more is fetched.
        if (plan.Cancelled())
            Fail(L"Download cancelled.");
        DWORD available = 0;
        if (!::InternetQueryDataAvailable(request, &available, 0, 0))
            FailRequest(L"Failed to read data: %d - %ls");
        DWORD read = 0;
        // A read that fails is a cut transfer, not the end of the body: without an announced length nothing else
        // would tell a truncated installer from a whole one.
        const DWORD wanted = available == 0 ? kReadBufferBytes : std::min(available, kReadBufferBytes);
        if (!::InternetReadFile(request, buffer.data(), wanted, &read))
            FailRequest(L"Failed to read data: %d - %ls");
        transfer.Touch();
        rate.Add(read, Clock::now());
        if (read == 0)
            break;
        file.Write(buffer.data(), read);
        progress.AddChunk(read);
    }

    transfer.Succeed([&] {
        std::wstring saved = file.Complete(length, L"Failed to open downloaded file: %d - %ls");
        progress.ReportComplete();
        return saved;
    });
}

}  // namespace

download::AttemptOutcome download::AttemptWinInet(const AttemptPlan& plan) {
    auto transfer = std::make_shared<WinInetTransfer>(plan.limits.stallTimeout, plan.targetPath, plan.keptPath);
    return RunAttempt(transfer, kWinInetTag, [transfer, plan] { Transfer(*transfer, plan); });
}

#include "net/JsonPost.h"

#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#include <stdexcept>

#include "config/ConfigurationManager.h"
#include "diagnostics/RunLog.h"
#include "net/Codecs.h"
#include "net/Jitter.h"
#include "net/ProxyRoutes.h"
#include "net/WayfarerException.h"
#include "net/WinHttpSettings.h"
#include "win32/Handle.h"

namespace {

const DWORD kResponseHeadersTimeoutMs = 90000;
// The largest answer read: a configuration is kilobytes; beyond this bound nothing useful is being sent, and a
// 32-bit process must not spend its address space finding out where its memory ends.
const std::size_t kMaxAnswerBytes = std::size_t{128} << 20;

// Diagnostics go to standard output only; the user never sees them.
void Report(const char* text) {
    std::printf("%s\n", text);
    std::fflush(stdout);
}

template <typename Number>
void Report(const char* format, Number number) {
    char line[128];
    std::snprintf(line, sizeof(line), format, number);
    Report(line);
}

}  // namespace

namespace {

// One try of a request on one route: 0 once the response headers arrived, or the WinHTTP error with which it
// failed where the request cannot have reached the server. Every other failure raises WayfarerException.
DWORD PostOnRoute(const net::ProxyRoute& route,
                  const UrlParts& parts,
                  const std::string& body,
                  const HeaderList& headers,
                  std::string& response,
                  DWORD& status) {
    win32::WinHttpHandle session(net::OpenSession(route, nullptr));
    if (!session)
        throw WayfarerException();

    DWORD protocols = ChooseSecureProtocols();
    if (!::WinHttpSetOption(session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)))
        throw WayfarerException();

    // Windows stops waiting for the response headers after 90 s by default, but Wine's WinHTTP waits for ever;
    // the same bound everywhere keeps a server that accepts and never answers from holding the caller forever.
    DWORD responseTimeout = kResponseHeadersTimeoutMs;
    ::WinHttpSetOption(session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                       sizeof(responseTimeout));

    // Only the host and the path are used: the servers are reached on port 443 over TLS whatever the URL says,
    // and a query or fragment is not sent.
    win32::WinHttpHandle connection(
        ::WinHttpConnect(session.Get(), parts.host.c_str(), INTERNET_DEFAULT_HTTPS_PORT, 0));
    if (!connection)
        throw WayfarerException();

    win32::WinHttpHandle request(::WinHttpOpenRequest(connection.Get(), L"POST", parts.path.c_str(), nullptr,
                                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                      WINHTTP_FLAG_SECURE));
    if (!request)
        throw WayfarerException();

    for (const auto& [name, value] : headers) {
        const std::wstring line = name + L": " + value;
        if (!::WinHttpAddRequestHeaders(request.Get(), line.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD))
            Report("WinHttpAddRequestHeaders error: %d", static_cast<int>(::GetLastError()));
    }

    const size_t terminator = body.find('\0');
    const DWORD length = static_cast<DWORD>(terminator == std::string::npos ? body.size() : terminator);
    void* data = length > 0 ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA;
    if (!::WinHttpSendRequest(request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length, 0)) {
        // Read now: closing the handles may change the last error.
        const DWORD error = ::GetLastError();
        if (net::IsConnectionLevelFailure(error))
            return error;
        throw WayfarerException();
    }
    // From here on the server may have the request: whatever fails, it is not sent again.
    if (!::WinHttpReceiveResponse(request.Get(), nullptr))
        throw WayfarerException();

    DWORD code = 0;
    DWORD codeSize = sizeof(code);
    if (::WinHttpQueryHeaders(request.Get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                              WINHTTP_HEADER_NAME_BY_INDEX, &code, &codeSize, WINHTTP_NO_HEADER_INDEX))
        status = code;

    for (;;) {
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request.Get(), &available)) {
            Report("Error %u in WinHttpQueryDataAvailable.", static_cast<unsigned>(::GetLastError()));
            break;
        }
        if (available == 0)
            break;
        // The answer is JSON text: each chunk counts up to its first NUL, hence the extra zeroed byte.
        std::unique_ptr<char[]> chunk(new (std::nothrow) char[static_cast<size_t>(available) + 1]());
        if (!chunk) {
            Report("Out of memory");
            break;
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request.Get(), chunk.get(), available, &read)) {
            Report("Error %u in WinHttpReadData.", static_cast<unsigned>(::GetLastError()));
            continue;
        }
        const std::size_t chunkLength = std::strlen(chunk.get());
        if (chunkLength > kMaxAnswerBytes - std::min(response.size(), kMaxAnswerBytes)) {
            Report("Answer larger than %u bytes", static_cast<unsigned>(kMaxAnswerBytes));
            std::string().swap(response);
            throw WayfarerException();
        }
        try {
            response.append(chunk.get(), chunkLength);
        } catch (const std::bad_alloc&) {
            // An answer too large for the address space ends like a chunk that cannot be allocated: the caller
            // gets what fitted and judges it (a truncated JSON text does not parse).
            Report("Out of memory");
            break;
        } catch (const std::length_error&) {
            Report("Out of memory");
            break;
        }
    }
    return 0;
}

}  // namespace

bool PostJson(const std::wstring& url,
              const std::string& body,
              HeaderList headers,
              std::string& response,
              DWORD& status) {
    if (IsWindows7WithoutServicePack())
        throw WayfarerException();

    UrlParts parts;
    if (!CrackUrl(url, parts))
        throw WayfarerException();
    headers.emplace_back(L"Expect", L"100-continue");
    headers.emplace_back(L"Content-Type", L"application/json");

    const std::wstring logged = url.substr(0, url.find(L'?'));
    for (int attempt = 1;; ++attempt) {
        const std::vector<net::ProxyRoute> routes = net::FindProxyRoutes(url);
        for (size_t index = 0; index < routes.size(); ++index) {
            const DWORD error = PostOnRoute(routes[index], parts, body, headers, response, status);
            if (error == 0) {
                if (routes.size() > 1 || attempt > 1)
                    diagnostics::Record("post %ls route=%ls attempt=%d", logged.c_str(),
                                        net::DescribeRoute(routes[index]).c_str(), attempt);
                return true;
            }
            diagnostics::Record("post %ls route=%ls attempt=%d not reached: error %lu%s", logged.c_str(),
                                net::DescribeRoute(routes[index]).c_str(), attempt, error,
                                index + 1 < routes.size() ? ", next route" : "");
        }
        if (attempt >= kPostAttempts)
            throw WayfarerException();
        const auto pause = net::BackoffPause(kPostRetryPauseBase, kPostRetryPauseCap, kPostRetryPauseJitter, attempt,
                                             net::RandomUnit());
        diagnostics::Record("post %ls again in %lld ms", logged.c_str(), static_cast<long long>(pause.count()));
        ::Sleep(static_cast<DWORD>(pause.count()));
    }
}

std::pair<std::wstring, std::wstring> MakeSignatureHeader() {
    auto configuration = ConfigurationManager::GetInstance();
    const std::string signedText = configuration->GetMachineGuid() + configuration->GetTimestamp();
    const std::string digest = Sha256Hex(signedText);
    return {L"Authorization", L"Signature=" + std::wstring(digest.begin(), digest.end())};
}

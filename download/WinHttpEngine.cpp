// The WinHTTP engine: installers to a file with progress, and images to memory.
#include "download/DownloadManager.h"

#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <vector>

#include "download/DownloadSupport.h"
#include "net/WinHttpSettings.h"
#include "win32/Strings.h"

using download::Fail;
using download::FailWithLastError;

namespace {

constexpr int kMaxRedirects = 5;
// The size first offered for a redirect target; a longer one is read again at its real length.
constexpr DWORD kLocationBufferBytes = 260;
const wchar_t kWinHttpTag[] = L"[WINHTTP] ";
const wchar_t kImageUserAgent[] = L"A WinHTTP Example Program/1.0";
// Far beyond any offer image; an endless body must not exhaust the 32-bit address space that the rest of the
// installer shares.
constexpr size_t kMaxImageBytes = 16 * 1024 * 1024;

struct PassSettings {
    const wchar_t* userAgent;
    DWORD accessType;
    DWORD requestFlags;
    int stallTimeoutMs;
};

// The handles of one request: every redirect and every attempt opens its own and closes them before the next.
// Declared in opening order, so they close request first.
struct WinHttpPass {
    win32::WinHttpHandle session;
    win32::WinHttpHandle connection;
    win32::WinHttpHandle request;
};

WinHttpPass OpenPass(const std::wstring& url, const PassSettings& settings) {
    WinHttpPass pass;
    pass.session.Reset(
        ::WinHttpOpen(settings.userAgent, settings.accessType, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!pass.session)
        FailWithLastError(L"Failed to open HTTP session: %d - %ls");
    // A server that accepts and then stays silent must not hold the download for ever.
    const int timeout = settings.stallTimeoutMs;
    ::WinHttpSetTimeouts(pass.session.Get(), timeout, timeout, timeout, timeout);
    DWORD responseTimeout = static_cast<DWORD>(timeout);
    ::WinHttpSetOption(pass.session.Get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &responseTimeout,
                       sizeof(responseTimeout));
    DWORD protocols = ChooseSecureProtocols();
    if (!::WinHttpSetOption(pass.session.Get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof(protocols)))
        FailWithLastError(L"Failed to set secure protocols: %d - %ls");

    UrlParts parts;
    if (!CrackUrl(url, parts))
        FailWithLastError(L"Failed to parse URL: %d - %ls");
    // The path runs to the end of the URL, so that a query is sent with it.
    const std::wstring path = parts.path + parts.extra;

    pass.connection.Reset(::WinHttpConnect(pass.session.Get(), parts.host.c_str(), parts.port, 0));
    if (!pass.connection)
        FailWithLastError(L"Failed to connect: %d - %ls");
    const DWORD flags = settings.requestFlags | (parts.secure ? WINHTTP_FLAG_SECURE : 0);
    pass.request.Reset(::WinHttpOpenRequest(pass.connection.Get(), L"GET", path.empty() ? nullptr : path.c_str(),
                                            nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!pass.request)
        FailWithLastError(L"Failed to open request: %d - %ls");
    // Redirects are followed here, one pass each, so that they are counted; WinHTTP would follow them silently.
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS;
    if (!::WinHttpSetOption(pass.request.Get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled)))
        FailWithLastError(L"Failed to open request: %d - %ls");

    if (!::WinHttpSendRequest(pass.request.Get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0))
        FailWithLastError(L"Failed to send request: %d - %ls");
    if (!::WinHttpReceiveResponse(pass.request.Get(), nullptr))
        FailWithLastError(L"Failed to receive response: %d - %ls");
    return pass;
}

// A numeric header; 0 and false when the response does not carry it as a number.
DWORD QueryNumber(HINTERNET request, DWORD query, bool* found = nullptr) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    const bool ok = ::WinHttpQueryHeaders(request, query | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                                          &value, &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
    if (found != nullptr)
        *found = ok;
    return ok ? value : 0;
}

// The Location header at its real length; empty when the response has none.
std::wstring ReadLocation(HINTERNET request) {
    std::vector<wchar_t> buffer(kLocationBufferBytes / sizeof(wchar_t));
    DWORD size = kLocationBufferBytes;
    BOOL ok = ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                                    WINHTTP_NO_HEADER_INDEX);
    if (!ok && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.assign(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        ok = ::WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                                   WINHTTP_NO_HEADER_INDEX);
    }
    if (!ok)
        return {};
    return std::wstring(buffer.data(), std::min<size_t>(size / sizeof(wchar_t), buffer.size()));
}

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
    for (size_t i = 0; prefix[i] != L'\0'; ++i) {
        if (i >= text.size() || ::towlower(text[i]) != ::towlower(prefix[i]))
            return false;
    }
    return true;
}

// The URL a Location value points to from `base`. Servers may answer with a path or a relative reference as
// well as with a full URL. A value with another scheme is returned unchanged, and the next pass refuses it.
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

// Sends the request for `url` and follows redirects until a final answer; raises unless its status is 2xx.
WinHttpPass OpenFollowingRedirects(std::wstring url, const PassSettings& settings) {
    int redirects = 0;
    for (;;) {
        WinHttpPass pass = OpenPass(url, settings);
        const DWORD status = QueryNumber(pass.request.Get(), WINHTTP_QUERY_STATUS_CODE);
        if (status >= 300 && status <= 399) {
            if (++redirects > kMaxRedirects)
                Fail(L"Too many redirects.");
            const std::wstring location = ReadLocation(pass.request.Get());
            // A 3xx answer without a target (304, or a 300 that only lists choices) cannot be followed.
            if (!location.empty()) {
                url = ResolveRedirect(url, location);
                continue;
            }
        }
        if (status < 200 || status > 299)
            Fail(win32::FormatWide(L"Download failed: Server returned status code: %d", static_cast<int>(status)));
        return pass;
    }
}

// Reads the body chunk by chunk, each as large as what the connection already holds, handing each to `sink`.
// A set `cancelled` stops the transfer before the next chunk.
template <typename Sink>
void ReadBody(HINTERNET request, const std::atomic<bool>& cancelled, Sink&& sink) {
    std::vector<char> buffer;
    for (;;) {
        if (cancelled)
            Fail(L"Download cancelled.");
        DWORD available = 0;
        if (!::WinHttpQueryDataAvailable(request, &available))
            FailWithLastError(L"Failed to query data: %d - %ls");
        if (available == 0)
            return;
        try {
            if (buffer.size() < available)
                buffer.resize(available);
        } catch (const std::bad_alloc&) {
            Fail(L"Out of memory.");
        }
        DWORD read = 0;
        if (!::WinHttpReadData(request, buffer.data(), available, &read))
            FailWithLastError(L"Failed to read data: %d - %ls");
        sink(buffer.data(), read);
    }
}

}  // namespace

DownloadResult DownloadManager::DownloadFileWinHttp(const std::wstring& url,
                                                    HWND notifyWindow,
                                                    const std::wstring& fileName,
                                                    bool useTemporaryFolder,
                                                    std::wstring& targetPath) {
    DownloadResult result{false, std::wstring()};
    try {
        targetPath = ResolveTargetPath(url, fileName, useTemporaryFolder);
        download::OutputFile file(targetPath);
        download::ProgressReporter progress(notifyWindow);

        const PassSettings settings{nullptr, ChooseWinHttpAccessType(), 0, StallTimeoutMs()};
        WinHttpPass pass = OpenFollowingRedirects(url, settings);

        bool lengthKnown = false;
        const DWORD length = QueryNumber(pass.request.Get(), WINHTTP_QUERY_CONTENT_LENGTH, &lengthKnown);
        progress.Start(lengthKnown, length);

        file.RequireOpen();
        ReadBody(pass.request.Get(), m_cancelled, [&](const char* data, DWORD size) {
            file.Write(data, size);
            progress.AddChunk(size);
        });
        file.Close();
        if (lengthKnown)
            download::CheckCompleteness(targetPath, length, L"Failed to open downloaded file.");

        m_lastDownloadPath = targetPath;
        progress.ReportComplete();
        result.first = true;
    } catch (const std::runtime_error& error) {
        result.second = download::TagFailure(kWinHttpTag, error);
    }
    return result;
}

DownloadedBytes DownloadManager::DownloadToMemory(const std::wstring& url) {
    auto bytes = std::make_unique<std::vector<char>>();
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            FetchToMemory(url, *bytes);
            break;
        } catch (const std::runtime_error&) {
            bytes->clear();
        }
    }
    return bytes;
}

void DownloadManager::FetchToMemory(const std::wstring& url, std::vector<char>& bytes) {
    const PassSettings settings{kImageUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_FLAG_REFRESH,
                                StallTimeoutMs()};
    WinHttpPass pass = OpenFollowingRedirects(url, settings);
    bool lengthKnown = false;
    const DWORD length = QueryNumber(pass.request.Get(), WINHTTP_QUERY_CONTENT_LENGTH, &lengthKnown);
    ReadBody(pass.request.Get(), m_cancelled, [&](const char* data, DWORD size) {
        if (bytes.size() + size > kMaxImageBytes)
            Fail(L"Image too large.");
        try {
            bytes.insert(bytes.end(), data, data + size);
        } catch (const std::bad_alloc&) {
            Fail(L"Out of memory.");
        }
    });
    // A connection cut before the announced end reads like a normal end; the second attempt is there for it.
    if (lengthKnown && bytes.size() != length) {
        Fail(win32::Utf8ToWide("Download was incomplete: content length: " + std::to_string(length) +
                               ", downloaded: " + std::to_string(bytes.size())));
    }
}

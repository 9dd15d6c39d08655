#include "net/ProxyRoutes.h"

#include <winhttp.h>

#include <atomic>

#include "net/WinHttpSettings.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

namespace {

// A text that WinHTTP allocated for a proxy answer, copied and freed.
std::wstring TakeText(wchar_t* text) {
    const win32::GlobalMemory owner(text);
    return text != nullptr ? std::wstring(text) : std::wstring();
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

// Adds the entries of a proxy list ("a:80; b:8080" or "http=a:80;https=b:443") that serve `scheme`: an entry for
// every scheme, or one that names this scheme, with its "scheme=" taken off; each proxy once.
void AddProxies(std::vector<net::ProxyRoute>& routes,
                const std::wstring& list,
                const std::wstring& bypass,
                const std::wstring& scheme,
                const char* source) {
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find_first_of(L"; \t,", start);
        if (end == std::wstring::npos)
            end = list.size();
        std::wstring proxy = list.substr(start, end - start);
        start = end + 1;
        const size_t equals = proxy.find(L'=');
        if (equals != std::wstring::npos) {
            if (!SameText(proxy.substr(0, equals), scheme))
                continue;
            proxy.erase(0, equals + 1);
        }
        bool known = proxy.empty();
        for (const net::ProxyRoute& route : routes)
            known = known || SameText(route.proxy, proxy);
        if (!known)
            routes.push_back({WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxy, bypass, source});
    }
}

// The network's detection takes seconds where it finds nothing; once it has found nothing, the run stops asking.
std::atomic<bool> g_detectionFailed{false};

bool ResolveWithWinHttp(const std::wstring& url,
                        const std::wstring& scriptUrl,
                        std::wstring& proxy,
                        std::wstring& bypass) {
    if (scriptUrl.empty() && g_detectionFailed)
        return false;
    win32::WinHttpHandle session(
        ::WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session)
        return false;
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (scriptUrl.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = scriptUrl.c_str();
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    if (!::WinHttpGetProxyForUrl(session.Get(), url.c_str(), &options, &info)) {
        if (scriptUrl.empty())
            g_detectionFailed = true;
        return false;
    }
    const std::wstring list = TakeText(info.lpszProxy);
    proxy = info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY ? list : std::wstring();
    bypass = TakeText(info.lpszProxyBypass);
    return true;
}

net::ProxySettings ReadProxySettings() {
    net::ProxySettings settings;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (::WinHttpGetIEProxyConfigForCurrentUser(&user)) {
        settings.userAutoDetect = user.fAutoDetect != FALSE;
        settings.userScriptUrl = TakeText(user.lpszAutoConfigUrl);
        settings.userProxy = TakeText(user.lpszProxy);
        settings.userBypass = TakeText(user.lpszProxyBypass);
    }
    WINHTTP_PROXY_INFO machine{};
    if (::WinHttpGetDefaultProxyConfiguration(&machine)) {
        const std::wstring proxy = TakeText(machine.lpszProxy);
        const std::wstring bypass = TakeText(machine.lpszProxyBypass);
        if (machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
            settings.machineProxy = proxy;
            settings.machineBypass = bypass;
        }
    }
    return settings;
}

}  // namespace

namespace net {

std::vector<ProxyRoute> RoutesFor(const std::wstring& url,
                                  const ProxySettings& settings,
                                  ProxyResolver resolve,
                                  DWORD systemAccessType) {
    UrlParts parts;
    const std::wstring scheme = CrackUrl(url, parts) && !parts.secure ? L"http" : L"https";
    std::vector<ProxyRoute> routes;
    AddProxies(routes, settings.userProxy, settings.userBypass, scheme, "user");
    std::wstring proxy;
    std::wstring bypass;
    if (!settings.userScriptUrl.empty() && resolve(url, settings.userScriptUrl, proxy, bypass))
        AddProxies(routes, proxy, bypass, scheme, "user script");
    if (settings.userAutoDetect && resolve(url, std::wstring(), proxy, bypass))
        AddProxies(routes, proxy, bypass, scheme, "detected");
    AddProxies(routes, settings.machineProxy, settings.machineBypass, scheme, "machine");
    if (routes.empty())
        return {{systemAccessType, std::wstring(), std::wstring(), "system"}};
    routes.push_back({WINHTTP_ACCESS_TYPE_NO_PROXY, std::wstring(), std::wstring(), "direct"});
    return routes;
}

std::vector<ProxyRoute> FindProxyRoutes(const std::wstring& url, DWORD systemAccessType) {
    return RoutesFor(url, ReadProxySettings(), ResolveWithWinHttp, systemAccessType);
}

std::vector<ProxyRoute> FindProxyRoutes(const std::wstring& url) {
    return FindProxyRoutes(url, ChooseWinHttpAccessType());
}

void* OpenSession(const ProxyRoute& route, const wchar_t* userAgent) {
    const bool named = route.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY;
    return ::WinHttpOpen(userAgent, route.accessType, named ? route.proxy.c_str() : WINHTTP_NO_PROXY_NAME,
                         named && !route.bypass.empty() ? route.bypass.c_str() : WINHTTP_NO_PROXY_BYPASS, 0);
}

std::wstring DescribeRoute(const ProxyRoute& route) {
    if (route.accessType != WINHTTP_ACCESS_TYPE_NAMED_PROXY)
        return win32::Utf8ToWide(route.source);
    return route.proxy + L" (" + win32::Utf8ToWide(route.source) + L")";
}

bool IsConnectionLevelFailure(DWORD error) {
    switch (error) {
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_CANNOT_CONNECT:
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_SECURE_FAILURE:
        case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
        case ERROR_WINHTTP_AUTO_PROXY_SERVICE_ERROR:
        case ERROR_WINHTTP_AUTODETECTION_FAILED:
        case ERROR_WINHTTP_BAD_AUTO_PROXY_SCRIPT:
        case ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT:
            return true;
        default:
            return false;
    }
}

}  // namespace net

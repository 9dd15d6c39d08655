// The one proxy rule of every WinHTTP request: the ways to a URL that the user's and the machine's settings name,
// in the order they are tried. WinHTTP alone reads only one of the places a proxy can be set (which one depends on
// the access type and the Windows version), so behind a proxy set elsewhere its requests fail; the rule reads them
// all, as the update services of the system do.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace net {

// One way to a server: how a WinHTTP session is opened for it.
struct ProxyRoute {
    DWORD accessType = 0;     // a WINHTTP_ACCESS_TYPE_*; NAMED_PROXY goes through `proxy`
    std::wstring proxy;       // one "host:port" (or "scheme=host:port") for NAMED_PROXY
    std::wstring bypass;      // the bypass list that goes with it
    const char* source = "";  // where it was found, for the run log: "system", "user", "user script", ...
};

// What the settings say, as read from the system (see ReadProxySettings).
struct ProxySettings {
    std::wstring userProxy;       // the user's manual proxy list, when enabled
    std::wstring userBypass;      // its bypass list
    std::wstring userScriptUrl;   // the user's automatic-configuration script
    bool userAutoDetect = false;  // the user's "automatically detect settings"
    std::wstring machineProxy;    // the machine's WinHTTP proxy list (netsh winhttp)
    std::wstring machineBypass;
};

// What an automatic-configuration script or the network's detection gives for a URL: a proxy list and its bypass
// list (an empty list means direct). Returns false when there is no answer (no script, nothing detected).
// `scriptUrl` is empty for detection.
using ProxyResolver = bool (*)(const std::wstring& url,
                               const std::wstring& scriptUrl,
                               std::wstring& proxy,
                               std::wstring& bypass);

// The routes to `url`: the user's manual proxies (WinHTTP applies their bypass list), the proxies the user's script
// or the network's detection names for the URL, the machine's WinHTTP proxies, then direct; each proxy once. Where
// nothing is configured, the single route "system": `systemAccessType`, the access type the caller has always used,
// so that such machines see no change.
std::vector<ProxyRoute> RoutesFor(const std::wstring& url,
                                  const ProxySettings& settings,
                                  ProxyResolver resolve,
                                  DWORD systemAccessType);

// The same from this user's and this machine's settings, with WinHttpGetProxyForUrl resolving the script and the
// detection; the system route takes ChooseWinHttpAccessType unless told otherwise.
std::vector<ProxyRoute> FindProxyRoutes(const std::wstring& url, DWORD systemAccessType);
std::vector<ProxyRoute> FindProxyRoutes(const std::wstring& url);

// Opens a WinHTTP session that takes `route`; null with WinHTTP's error as the last error.
void* OpenSession(const ProxyRoute& route, const wchar_t* userAgent);

// "direct", or the route's proxy with its source, for the run log.
std::wstring DescribeRoute(const ProxyRoute& route);

// True for a WinHTTP error of WinHttpSendRequest after which the request cannot have reached the server: its name
// or its proxy was not found, the connection was refused or reset before the request went out, the TLS handshake or
// the proxy failed. Such a request may be sent again, on the next route or after a pause; any other failure may
// have reached the server.
bool IsConnectionLevelFailure(DWORD error);

}  // namespace net

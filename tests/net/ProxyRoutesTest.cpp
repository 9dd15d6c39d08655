#include "net/ProxyRoutes.h"

#include <gtest/gtest.h>
#include <winhttp.h>

#include <string>
#include <vector>

namespace {

// The script at "http://pac/" names two proxies for every URL; detection finds a third. Anything else: no answer.
bool FakeResolve(const std::wstring& url, const std::wstring& scriptUrl, std::wstring& proxy, std::wstring& bypass) {
    if (scriptUrl == L"http://pac/") {
        proxy = L"s1:3128; s2:3128";
        bypass = L"";
        return true;
    }
    if (scriptUrl.empty()) {
        proxy = L"wpad:8080";
        return true;
    }
    return false;
}

// "proxy|bypass|source" per route, "direct"/"system" for the others.
std::vector<std::string> Describe(const std::vector<net::ProxyRoute>& routes) {
    std::vector<std::string> described;
    for (const net::ProxyRoute& route : routes) {
        if (route.accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY)
            described.push_back(std::string(route.proxy.begin(), route.proxy.end()) + "|" +
                                std::string(route.bypass.begin(), route.bypass.end()) + "|" + route.source);
        else
            described.push_back(std::string(route.source) + ":" + std::to_string(route.accessType));
    }
    return described;
}

}  // namespace

TEST(ProxyRoutes, UserSettingsThenScriptThenDetectionThenMachineThenDirect) {
    struct Case {
        const char* name;
        const wchar_t* url;
        net::ProxySettings settings;
        std::vector<std::string> expected;
    } cases[] = {
        {"nothing configured keeps the caller's access type", L"https://h/o", {}, {"system:4"}},
        {"manual proxy with its bypass list, then direct",
         L"https://h/o",
         {.userProxy = L"p1:8080", .userBypass = L"<local>;*.corp"},
         {"p1:8080|<local>;*.corp|user", "direct:1"}},
        {"per-scheme manual list, https URL",
         L"https://h/o",
         {.userProxy = L"http=a:80;https=b:443;ftp=c:21"},
         {"b:443||user", "direct:1"}},
        {"per-scheme manual list, http URL",
         L"http://h/o",
         {.userProxy = L"http=a:80;https=b:443"},
         {"a:80||user", "direct:1"}},
        {"a list without an entry for the scheme", L"https://h/o", {.userProxy = L"ftp=c:21"}, {"system:4"}},
        {"every source in order",
         L"https://h/o",
         {.userProxy = L"p1:8080",
          .userScriptUrl = L"http://pac/",
          .userAutoDetect = true,
          .machineProxy = L"m1:3128",
          .machineBypass = L"<local>"},
         {"p1:8080||user", "s1:3128||user script", "s2:3128||user script", "wpad:8080||detected",
          "m1:3128|<local>|machine", "direct:1"}},
        {"a proxy named twice is tried once",
         L"https://h/o",
         {.userProxy = L"P1:8080", .machineProxy = L"p1:8080"},
         {"P1:8080||user", "direct:1"}},
        {"a script that does not answer is passed over",
         L"https://h/o",
         {.userScriptUrl = L"http://down/", .machineProxy = L"m1:3128"},
         {"m1:3128||machine", "direct:1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Describe(net::RoutesFor(c.url, c.settings, FakeResolve, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY)),
                  c.expected);
    }
}

TEST(ProxyRoutes, ConnectionLevelFailuresAreThoseBeforeTheRequestCouldReachTheServer) {
    for (DWORD error :
         {ERROR_WINHTTP_NAME_NOT_RESOLVED, ERROR_WINHTTP_CANNOT_CONNECT, ERROR_WINHTTP_CONNECTION_ERROR,
          ERROR_WINHTTP_SECURE_FAILURE, ERROR_WINHTTP_SECURE_CHANNEL_ERROR, ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT})
        EXPECT_TRUE(net::IsConnectionLevelFailure(error)) << error;
    // A time-out may come after the request went out; a request to resend is WinHTTP's own loop.
    for (DWORD error : {DWORD{ERROR_WINHTTP_TIMEOUT}, DWORD{ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
                        DWORD{ERROR_WINHTTP_RESEND_REQUEST}, DWORD{ERROR_SUCCESS}})
        EXPECT_FALSE(net::IsConnectionLevelFailure(error)) << error;
}

// The proxy rule against a real proxy (squid, started around this program by tools/with-proxy.sh): the backend is
// reachable only through it, by a name that only the proxy resolves. The configuration request, the events, the
// pictures and the installers take the proxy that the user's or the machine's settings name.
#include <atomic>
#include <memory>

#include "download/DownloadManager.h"
#include "download/Engines.h"
#include "net/WayfarerException.h"
#include "tests/net/ProxySettingsTesting.h"

using namespace proxy_testing;

namespace {

const wchar_t kProxiedServer[] = L"https://wayfarer-proxied.test";
const char kProxy[] = "127.0.0.1:3128";

std::vector<char> FetchPicture() {
    return download::FetchImage(std::wstring(kProxiedServer) + L"/picture.png", download::TransferLimits{},
                                std::make_shared<std::atomic<bool>>(false));
}

}  // namespace

TEST_F(ProxyRouteRun, WithoutProxySettingsTheProxiedNameIsOutOfReach) {
    std::string response;
    DWORD status = 0;
    EXPECT_THROW(PostJson(std::wstring(kProxiedServer) + L"/zbd", "{}", {}, response, status), WayfarerException);
    EXPECT_TRUE(FetchPicture().empty());
    EXPECT_TRUE(backend::Requests().empty());
}

TEST_F(ProxyRouteRun, PostsPicturesAndInstallersTakeTheProxyTheSettingsName) {
    struct Case {
        const char* source;
        bool machine;
        DWORD magic;
        std::string proxy;
        std::string script;
    } cases[] = {
        {"user", false, 0x46, kProxy, ""},
        {"machine", true, 0x18, kProxy, ""},
        {"user script", false, 0x46, "", "http://localhost/proxy.pac"},
    };
    backend::Script("/proxy.pac",
                    {{.body = R"(function FindProxyForURL(url, host) { return "PROXY 127.0.0.1:3128; DIRECT"; })",
                      .headers = {{"Content-Type", "application/x-ns-proxy-autoconfig"}}}});
    backend::Script("/picture.png", {{.body = "picture bytes"}});
    backend::Script("/files/setup.exe", {{.body = "installer bytes"}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        backend::ClearRequests();
        std::vector<std::string> facts;
        std::vector<char> picture;
        download::FileOutcome installer;
        {
            const ProxySetting setting(c.machine, ConnectionSettings(c.magic, c.proxy, "", c.script));
            facts = PostAndLog(std::wstring(kProxiedServer) + L"/zbd");
            picture = FetchPicture();
            installer = DownloadManager::GetInstance()->DownloadFile(std::wstring(kProxiedServer) + L"/files/setup.exe",
                                                                     nullptr, L"", true);
        }
        EXPECT_TRUE(HasFact(facts, std::string("post https://wayfarer-proxied.test/zbd route=") + kProxy + " (" +
                                       c.source + ") attempt=1"))
            << Joined(facts);
        const auto posts = backend::Requests("/zbd");
        ASSERT_EQ(posts.size(), 1u);
        EXPECT_EQ(posts[0].Header("Host"), "wayfarer-proxied.test");
        EXPECT_EQ(std::string(picture.begin(), picture.end()), "picture bytes");
        // The WinHTTP engine fetched it at its first attempt, without WinINet's rescue.
        EXPECT_TRUE(installer.ok) << installer.text;
        EXPECT_EQ(installer.text, L"");
        EXPECT_EQ(backend::Requests("/files/setup.exe").size(), 1u);
        ::DeleteFileW(installer.savedPath.c_str());
    }
}

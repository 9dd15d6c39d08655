// The proxy rule against the system's real settings: a proxy set for the user or for the machine that is down
// (nothing listens on its port) while the server is reachable directly. The request moves on to the next route
// within the same attempt, and the run log says which route it took and why it left the first.
#include "tests/net/ProxySettingsTesting.h"

using namespace proxy_testing;

TEST_F(ProxyRouteRun, AProxyThatIsDownIsLeftForDirectWithinTheSameAttempt) {
    struct Case {
        const char* source;
        bool machine;
        DWORD magic;
    } cases[] = {{"user", false, 0x46}, {"machine", true, 0x18}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        backend::ClearRequests();
        std::vector<std::string> facts;
        {
            const ProxySetting setting(c.machine, ConnectionSettings(c.magic, kDownProxy, ""));
            facts = PostAndLog(backend::Url("/zbd"));
        }
        const std::string url = "post https://localhost/zbd ";
        const std::string proxy = std::string("route=") + kDownProxy + " (" + c.source + ")";
        EXPECT_TRUE(HasFact(facts, url + proxy + " attempt=1 not reached: error 12029, next route")) << Joined(facts);
        EXPECT_TRUE(HasFact(facts, url + "route=direct attempt=1")) << Joined(facts);
        EXPECT_EQ(backend::Requests("/zbd").size(), 1u);
    }
}

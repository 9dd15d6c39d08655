// Presence refusals as the analytics endpoint receives them: offers of one configuration answer pass the whole
// chain of a loading run, against keys, values and files the test puts on the machine.
#include "config/ConfigurationManager.h"
#include "offers/LoadingPipeline.h"
#include "offers/OfferTesting.h"
#include "offers/Package.h"
#include "tests/offers/PresenceTesting.h"
#include "tests/registry/ScratchKeys.h"

#include <gtest/gtest.h>

#include <ctime>

using nlohmann::json;
using testing_offers::FakeFacts;
using testing_offers::Offer;
using testing_offers::ReceivedReasons;
using Reasons = std::vector<std::pair<std::string, std::string>>;
using Names = std::vector<std::string>;
using scratch::kView32;
using scratch::kView64;

namespace {

const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

class PresenceEventsTest : public testing_offers::LoadingRunTest {
protected:
    // Runs one answer with room for every offer; the names admitted.
    Names Admit(json offers) {
        // Distinct verticals, so that only the presence rules decide.
        for (size_t i = 0; i < offers.size(); ++i)
            offers[i]["ps"]["v"] = static_cast<int>(i) + 1;
        return AdmittedNames({{"f", {{"m", 50}}}, {"o", offers}}, std::make_shared<FakeFacts>());
    }

    scratch::ScratchKeys m_keys{L"WayfarerPresenceEvents"};
};

}  // namespace

TEST_F(PresenceEventsTest, EveryPresenceRuleReportsItsReason) {
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr));
    m_keys.Everywhere([&](HKEY hive, REGSAM view) {
        m_keys.SetString(hive, view, L"Installed", L"Mode", L"ON");
        m_keys.SetQword(hive, view, L"Installed", L"Removed", now - 10 * 86400);
    });
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView32, L"Pn", L"Until", L"99991231");
    for (REGSAM view : {kView32, kView64})
        m_keys.SetStringOutside(HKEY_CURRENT_USER, view, kAppPaths + std::wstring(L"wayfarerevents.exe"), L"",
                                presence_testing::OwnExecutablePath());
    const std::string self = presence_testing::Utf8(presence_testing::OwnExecutablePath());
    const std::string stem = self.substr(self.rfind('\\') + 1, self.rfind('.') - self.rfind('\\') - 1);
    const json uninstall = {{"utr", "hkey_current_user"},
                            {"utk", "software\\WayfarerPresenceEvents\\Installed"},
                            {"utvn", "Removed"},
                            {"utvt", "REG_QWORD"},
                            {"umd", 30}};

    const Names admitted = Admit(json{
        Offer("KeyExists", {{"r", {"WayfarerPresenceEvents\\Installed"}}}),
        Offer("NoKey", {{"ir", {"WayfarerPresenceEvents\\Missing"}}}),
        Offer("ValueExists", {{"rvn", {"WayfarerPresenceEvents\\Installed\\Mode"}}}),
        Offer("DataMatches", {{"rvd", {"WayfarerPresenceEvents\\Installed\\Mode\\on"}}}),
        Offer("FileExists", {{"fe", {self}}}),
        Offer("NoFile", {{"ife", {self + ".missing"}}}),
        Offer("Running", {{"a", {stem}}}),
        Offer("NoApp", {{"iapp", {"wayfarerunknown.exe"}}}),
        Offer("HasApp", {{"eapp", {"wayfarerevents.exe"}}}),
        Offer("Uninstalled", {{"cmdu", {uninstall}}}),
        Offer("NeedsChrome", {{"x", 12}}),
        Offer("NoShow", {{"pn", true}, {"pnr", "Software\\WayfarerPresenceEvents\\Pn\\Until"}}),
        Offer("Passes", {{"r", {"WayfarerPresenceEvents\\Missing"}},
                         {"ir", {"WayfarerPresenceEvents\\Installed"}},
                         {"rvn", {"WayfarerPresenceEvents\\Installed\\Other"}},
                         {"rvd", {"WayfarerPresenceEvents\\Installed\\Mode\\off"}},
                         {"fe", {self + ".missing"}},
                         {"ife", {self}},
                         {"a", {"wayfarer-not-running"}},
                         {"iapp", {"wayfarerevents.exe"}},
                         {"eapp", {"wayfarerunknown.exe"}},
                         {"x", 13}}),
    });
    EXPECT_EQ(admitted, Names{"Passes"});
    Reasons expected = {
        {"KeyExists", "REGISTRY KEY EXISTS"},
        {"NoKey", "NONE OF THE REGISTRY KEYS EXISTS"},
        {"ValueExists", "REGISTRY VALUE EXISTS"},
        {"DataMatches", "REGISTRY VALUE DATA MATCHES"},
        {"FileExists", "FILE EXISTS"},
        {"NoFile", "NONE OF THE FILES EXISTS"},
        {"Running", "APPLICATION RUNNING"},
        {"NoApp", "REGISTRY INCLUDE APP NOT FOUND"},
        {"HasApp", "REGISTRY EXCLUDE APP FOUND"},
        {"Uninstalled", "MIN DAYS UNINSTALL CHECKER"},
        {"NeedsChrome", "NO CHROME"},
        {"NoShow", "PN NO SHOW"},
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ReceivedReasons(expected.size()), expected);
}

TEST_F(PresenceEventsTest, BrowserAndInternetExplorerReportTheirReasons) {
    presence_testing::ScratchFiles files;
    files.Create(L"{localappdata}\\Chromium\\Application\\chrome.exe");
    scratch::ChangedValue version(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");
    version.Set(L"8.0.6001.18702");

    EXPECT_EQ(Admit(json{Offer("HasChrome", {{"x", 13}}), Offer("OldIe", {{"x", 2}}), Offer("Chrome", {{"x", 12}})}),
              Names{"Chrome"});
    EXPECT_EQ(ReceivedReasons(2), (Reasons{{"HasChrome", "HAVE CHROME"}, {"OldIe", "OLD IE VERSION"}}));
}

TEST_F(PresenceEventsTest, StoredNumberThatIsNoneEndsTheRun) {
    m_keys.SetString(HKEY_CURRENT_USER, scratch::kView64, L"Installed", L"Removed", L"yesterday");
    m_keys.SetString(HKEY_CURRENT_USER, scratch::kView32, L"Installed", L"Removed", L"yesterday");
    const json uninstall = {{"utr", "hkey_current_user"},
                            {"utk", "software\\WayfarerPresenceEvents\\Installed"},
                            {"utvn", "Removed"},
                            {"utvt", "REG_SZ"},
                            {"umd", 30}};
    EXPECT_THROW(Admit(json{Offer("First"), Offer("Garbled", {{"cmdu", {uninstall}}})}), std::invalid_argument);
}

#include "offers/PresenceChecks.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "offers/Package.h"
#include "tests/offers/PresenceTesting.h"
#include "tests/registry/ScratchKeys.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <ctime>
#include <limits>
#include <stdexcept>

using nlohmann::json;
using presence_testing::OwnExecutablePath;
using presence_testing::ScratchFiles;
using presence_testing::Utf8;
using scratch::kView32;
using scratch::kView64;

namespace {

const wchar_t kVendor[] = L"WayfarerPresenceTest";
const wchar_t kAppPaths[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

std::shared_ptr<Package> MakeOffer(const json& ps) {
    json fields = {{"i", "i.png"}, {"dn", "Offer"}, {"u", "https://files.test/setup.exe"}};
    for (const auto& [key, value] : ps.items())
        fields[key] = value;
    return std::make_shared<Package>(EventBase(), json{{"ad", {{"f", "tag"}, {"o", "Offer"}}}, {"ps", fields}}, false,
                                     "", 1);
}

class PresenceChecksTest : public ::testing::Test {
protected:
    scratch::ScratchKeys m_keys{kVendor};
};

struct Case {
    const char* name;
    json ps;
    std::string reason;
};

}  // namespace

TEST_F(PresenceChecksTest, RegistryRulesRefuseWithTheirReasonInOrder) {
    const DWORD noBytes = 0;
    m_keys.Everywhere([&](HKEY hive, REGSAM view) {
        m_keys.SetString(hive, view, L"Installed", L"Mode", L"ON");
        m_keys.SetDword(hive, view, L"Installed", L"Count", 7);
        m_keys.SetQword(hive, view, L"Installed", L"Big", 5000000000ULL);
        m_keys.SetRaw(hive, view, L"Installed", L"Blank", REG_SZ, &noBytes, 0);
    });
    const std::vector<Case> cases = {
        {"no rules", json::object(), ""},
        {"r: bare vendor path", {{"r", {"WayfarerPresenceTest\\Installed"}}}, "REGISTRY KEY EXISTS"},
        {"r: abbreviated hive", {{"r", {"HKCU\\Software\\WayfarerPresenceTest\\Installed"}}}, "REGISTRY KEY EXISTS"},
        {"r: later entry",
         {{"r", {"WayfarerPresenceTest\\Missing", "hklm\\software\\WayfarerPresenceTest"}}},
         "REGISTRY KEY EXISTS"},
        {"r: absent", {{"r", {"WayfarerPresenceTest\\Missing", "WayfarerNoSuchVendor"}}}, ""},
        {"r: an empty entry ends the search", {{"r", {"", "WayfarerPresenceTest\\Installed"}}}, ""},
        {"ir: one present", {{"ir", {"WayfarerPresenceTest\\Missing", "WayfarerPresenceTest\\Installed"}}}, ""},
        {"ir: none present", {{"ir", {"WayfarerPresenceTest\\Missing"}}}, "NONE OF THE REGISTRY KEYS EXISTS"},
        {"ir: an empty entry before a present key",
         {{"ir", {"", "WayfarerPresenceTest\\Installed"}}},
         "NONE OF THE REGISTRY KEYS EXISTS"},
        {"rvn: value present", {{"rvn", {"WayfarerPresenceTest\\Installed\\Mode"}}}, "REGISTRY VALUE EXISTS"},
        {"rvn: empty value present",
         {{"rvn", {"hkcu\\software\\WayfarerPresenceTest\\Installed\\blank"}}},
         "REGISTRY VALUE EXISTS"},
        {"rvn: value absent",
         {{"rvn", {"WayfarerPresenceTest\\Installed\\Other", "WayfarerPresenceTest\\Missing\\Mode"}}},
         ""},
        {"rvd: text in another case",
         {{"rvd", {"hkcu\\software\\WayfarerPresenceTest\\Installed\\mode\\on"}}},
         "REGISTRY VALUE DATA MATCHES"},
        {"rvd: other text", {{"rvd", {"WayfarerPresenceTest\\Installed\\Mode\\off"}}}, ""},
        {"rvd: DWORD", {{"rvd", {"WayfarerPresenceTest\\Installed\\Count\\7"}}}, "REGISTRY VALUE DATA MATCHES"},
        {"rvd: other DWORD", {{"rvd", {"WayfarerPresenceTest\\Installed\\Count\\8"}}}, ""},
        {"rvd: QWORD", {{"rvd", {"WayfarerPresenceTest\\Installed\\Big\\5000000000"}}}, "REGISTRY VALUE DATA MATCHES"},
        {"rvd: empty string stored without terminator",
         {{"rvd", {"WayfarerPresenceTest\\Installed\\Blank\\"}}},
         "REGISTRY VALUE DATA MATCHES"},
        {"rvd: value absent", {{"rvd", {"WayfarerPresenceTest\\Installed\\Other\\on"}}}, ""},
        {"keys before values",
         {{"r", {"WayfarerPresenceTest\\Installed"}}, {"rvn", {"WayfarerPresenceTest\\Installed\\Mode"}}},
         "REGISTRY KEY EXISTS"},
        {"values before data",
         {{"rvn", {"WayfarerPresenceTest\\Installed\\Mode"}}, {"rvd", {"WayfarerPresenceTest\\Installed\\Mode\\on"}}},
         "REGISTRY VALUE EXISTS"},
    };
    PresenceChecks checks;
    for (const Case& c : cases)
        EXPECT_EQ(checks.CheckRegistry(*MakeOffer(c.ps)), c.reason) << c.name;

    // The expected data of a DWORD that is no number ends the run.
    EXPECT_THROW(checks.CheckRegistry(*MakeOffer({{"rvd", {"WayfarerPresenceTest\\Installed\\Count\\on"}}})),
                 std::invalid_argument);
}

TEST_F(PresenceChecksTest, KeyOfThe32BitViewIsFoundFromAPlainPath) {
    m_keys.CreateKey(HKEY_LOCAL_MACHINE, kView32, L"Only32");
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView32, L"Only32", L"Mode", L"on");
    const bool windows64 = scratch::Is64BitPrefix();
    const std::vector<Case> cases = {
        {"plain path", {{"r", {"WayfarerPresenceTest\\Only32"}}}, "REGISTRY KEY EXISTS"},
        {"explicit 64-bit software path",
         {{"r", {"HKLM\\SOFTWARE\\WayfarerPresenceTest\\Only32"}}},
         windows64 ? "" : "REGISTRY KEY EXISTS"},
        {"explicit wow6432node path",
         {{"r", {"HKLM\\Software\\Wow6432Node\\WayfarerPresenceTest\\Only32"}}},
         windows64 ? "REGISTRY KEY EXISTS" : ""},
        {"value by plain path", {{"rvn", {"WayfarerPresenceTest\\Only32\\Mode"}}}, "REGISTRY VALUE EXISTS"},
        {"data by plain path", {{"rvd", {"WayfarerPresenceTest\\Only32\\Mode\\ON"}}}, "REGISTRY VALUE DATA MATCHES"},
    };
    for (bool cached : {true, false}) {
        PresenceChecks checks(cached);
        for (const Case& c : cases)
            EXPECT_EQ(checks.CheckRegistry(*MakeOffer(c.ps)), c.reason) << c.name << (cached ? "" : " (no cache)");
    }
}

TEST_F(PresenceChecksTest, FileRulesLookUnderThePlaceholderFolders) {
    ScratchFiles files;
    files.Create(L"{localappdata}\\WayfarerPresenceTest\\present.txt");
    files.Create(L"{commonpf}\\WayfarerPresenceTest\\app.exe");
    files.Create(L"{programdata}\\WayfarerPresenceTest\\data.bin");
    const std::vector<Case> cases = {
        {"fe: present", {{"fe", {"{localappdata}\\WayfarerPresenceTest\\present.txt"}}}, "FILE EXISTS"},
        {"fe: program files",
         {{"fe", {"{localappdata}\\WayfarerPresenceTest\\gone.txt", "{commonpf}\\WayfarerPresenceTest\\app.exe"}}},
         "FILE EXISTS"},
        {"fe: absent", {{"fe", {"{programdata}\\WayfarerPresenceTest\\gone.bin"}}}, ""},
        {"fe: a placeholder without value stays in the path",
         {{"fe", {"{nowhere}\\WayfarerPresenceTest\\data.bin"}}},
         ""},
        {"ife: one present",
         {{"ife", {"{localappdata}\\WayfarerPresenceTest\\gone.txt", "{programdata}\\WayfarerPresenceTest\\data.bin"}}},
         ""},
        {"ife: none present", {{"ife", {"{programdata}\\WayfarerPresenceTest\\gone.bin"}}}, "NONE OF THE FILES EXISTS"},
        {"fe before ife",
         {{"fe", {"{programdata}\\WayfarerPresenceTest\\data.bin"}},
          {"ife", {"{programdata}\\WayfarerPresenceTest\\gone.bin"}}},
         "FILE EXISTS"},
    };
    PresenceChecks checks;
    for (const Case& c : cases)
        EXPECT_EQ(checks.CheckFiles(*MakeOffer(c.ps)), c.reason) << c.name;

    if (!scratch::Is64BitPrefix()) {
        // A 32-bit Windows has no 64-bit program files folder: the placeholder is tested as written.
        EXPECT_EQ(checks.CheckFiles(*MakeOffer({{"ife", {"{commonpf64}\\WayfarerPresenceTest\\app.exe"}}})),
                  "NONE OF THE FILES EXISTS");
    }
}

namespace {

std::vector<std::wstring> g_probed;

// Stands in for the file system and says every path it is asked about exists.
bool RecordingProbe(const wchar_t* path) {
    g_probed.push_back(path);
    return ::PathFileExistsW(path) != FALSE;
}

}  // namespace

// Paths that would reach another host, a device or a folder the server did not name are absent, and the file
// system is never asked about them, whether the server names them ("fe", "ife") or the machine keeps them under
// an App Paths name that the server chose.
TEST_F(PresenceChecksTest, ServerPathsThatLeaveTheLocalDrivesAreNeverLookedUp) {
    ScratchFiles files;
    files.Create(L"{localappdata}\\WayfarerPresenceTest\\present.txt");
    const std::wstring present = presence_testing::ExpandFolders(L"{localappdata}\\WayfarerPresenceTest\\present.txt");
    const std::vector<std::string> hostile = {
        "\\\\watched-host\\share\\x.exe",
        "//watched-host/share/x.exe",
        "\\\\?\\UNC\\watched-host\\share\\x.exe",
        "\\\\.\\C:\\Windows\\notepad.exe",
        "\\\\?\\" + Utf8(present),
        "C:..\\x.exe",
        "..\\..\\x.exe",
        "{localappdata}\\WayfarerPresenceTest\\..\\WayfarerPresenceTest\\present.txt",
    };
    for (REGSAM view : {kView32, kView64})
        m_keys.SetStringOutside(HKEY_CURRENT_USER, view, kAppPaths + std::wstring(L"wayfarershare.exe"), L"",
                                L"\\\\watched-host\\share\\app.exe");

    PresenceChecks checks(true, RecordingProbe);
    g_probed.clear();
    EXPECT_EQ(checks.CheckFiles(*MakeOffer({{"fe", hostile}})), "");
    EXPECT_EQ(checks.CheckFiles(*MakeOffer({{"ife", hostile}})), "NONE OF THE FILES EXISTS");
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer({{"eapp", {"wayfarershare.exe"}}})), "");
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer({{"iapp", {"wayfarershare.exe"}}})),
              "REGISTRY INCLUDE APP NOT FOUND");
    EXPECT_EQ(g_probed, std::vector<std::wstring>{});

    // The plain local path after them gets the real answer.
    std::vector<std::string> withLocal = hostile;
    withLocal.push_back("{localappdata}\\WayfarerPresenceTest\\present.txt");
    EXPECT_EQ(checks.CheckFiles(*MakeOffer({{"fe", withLocal}})), "FILE EXISTS");
    EXPECT_EQ(g_probed, std::vector<std::wstring>{present});
}

TEST_F(PresenceChecksTest, RunningProgramIsSeenByItsOwnName) {
    const std::wstring path = OwnExecutablePath();
    const std::string file = Utf8(path.substr(path.rfind(L'\\') + 1));  // "presence_tests.exe"
    const std::string stem = file.substr(0, file.rfind('.'));
    std::string upper = file;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::vector<Case> cases = {
        {"name without extension", {{"a", {stem}}}, "APPLICATION RUNNING"},
        {"full name in another case", {{"a", {"wayfarer-not-running", upper}}}, "APPLICATION RUNNING"},
        {"a longer name", {{"a", {file + ".bak"}}}, ""},
        {"a shorter stem", {{"a", {stem.substr(0, stem.size() - 1)}}}, ""},
        {"not running", {{"a", {"wayfarer-not-running.exe"}}}, ""},
    };
    PresenceChecks checks;
    for (const Case& c : cases)
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(c.ps)), c.reason) << c.name;
}

TEST_F(PresenceChecksTest, AppPathsMustNameExistingPrograms) {
    for (REGSAM view : {kView32, kView64}) {
        m_keys.SetStringOutside(HKEY_CURRENT_USER, view, kAppPaths + std::wstring(L"wayfarerpresent.exe"), L"",
                                OwnExecutablePath());
        m_keys.SetStringOutside(HKEY_CURRENT_USER, view, kAppPaths + std::wstring(L"wayfarergone.exe"), L"",
                                L"C:\\WayfarerNowhere\\gone.exe");
        m_keys.CreateOutside(HKEY_CURRENT_USER, view, kAppPaths + std::wstring(L"wayfarerbare.exe"));
    }
    const std::vector<Case> cases = {
        {"iapp: present", {{"iapp", {"wayfarerpresent.exe"}}}, ""},
        {"iapp: one registered to a missing file",
         {{"iapp", {"wayfarerpresent.exe", "wayfarergone.exe"}}},
         "REGISTRY INCLUDE APP NOT FOUND"},
        {"iapp: registered without a path", {{"iapp", {"wayfarerbare.exe"}}}, "REGISTRY INCLUDE APP NOT FOUND"},
        {"iapp: not registered", {{"iapp", {"wayfarerunknown.exe"}}}, "REGISTRY INCLUDE APP NOT FOUND"},
        {"iapp: names are exact", {{"iapp", {"WayfarerPresent.exe"}}}, "REGISTRY INCLUDE APP NOT FOUND"},
        {"eapp: none present", {{"eapp", {"wayfarergone.exe", "wayfarerbare.exe", "wayfarerunknown.exe"}}}, ""},
        {"eapp: present", {{"eapp", {"wayfarergone.exe", "wayfarerpresent.exe"}}}, "REGISTRY EXCLUDE APP FOUND"},
        {"iapp before eapp",
         {{"iapp", {"wayfarergone.exe"}}, {"eapp", {"wayfarerpresent.exe"}}},
         "REGISTRY INCLUDE APP NOT FOUND"},
    };
    PresenceChecks checks;
    for (const Case& c : cases)
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(c.ps)), c.reason) << c.name;
}

TEST_F(PresenceChecksTest, RecentUninstallHoldsTheOfferBack) {
    const std::uint64_t now = static_cast<std::uint64_t>(std::time(nullptr));
    const std::uint64_t day = 86400;
    m_keys.Everywhere([&](HKEY hive, REGSAM view) {
        m_keys.SetQword(hive, view, L"Uninstall", L"TenDaysAgo", now - 10 * day);
        m_keys.SetDword(hive, view, L"Uninstall", L"ThirtyOneDaysAgo", static_cast<DWORD>(now - 31 * day));
        m_keys.SetString(hive, view, L"Uninstall", L"YesterdayText", std::to_wstring(now - day));
        m_keys.SetQword(hive, view, L"Uninstall", L"TenDaysAgoMs", (now - 10 * day) * 1000);
        m_keys.SetString(hive, view, L"Uninstall", L"Farthest", L"18446744073709551615");
        m_keys.SetString(hive, view, L"Uninstall", L"Garbage", L"soon");
    });
    auto record = [](const char* root, const char* value, int days, bool ms = false) {
        json check = {{"utr", root},
                      {"utk", "Software\\WayfarerPresenceTest\\Uninstall"},
                      {"utvn", value},
                      {"utvt", "REG_QWORD"},
                      {"umd", days}};
        if (ms)
            check["utms"] = true;
        return json{{"cmdu", {check}}};
    };
    const std::string held = "MIN DAYS UNINSTALL CHECKER";
    const std::vector<Case> cases = {
        {"10 of 30 days", record("HKEY_CURRENT_USER", "TenDaysAgo", 30), held},
        {"31 of 30 days", record("hkey_current_user", "ThirtyOneDaysAgo", 30), ""},
        {"value absent", record("hkey_current_user", "Missing", 30), ""},
        {"stored as text", record("hkey_local_machine", "YesterdayText", 2), held},
        {"stored in milliseconds", record("hkey_local_machine", "TenDaysAgoMs", 30, true), held},
        {"milliseconds past the limit", record("hkey_local_machine", "TenDaysAgoMs", 9, true), ""},
        // 24856 days and more no longer fit 32 bits in seconds.
        {"24855 days", record("hkey_current_user", "YesterdayText", 24855), held},
        {"24856 days", record("hkey_current_user", "YesterdayText", 24856), held},
        {"the most days", record("hkey_current_user", "ThirtyOneDaysAgo", std::numeric_limits<int>::max()), held},
        {"the latest stored time", record("hkey_current_user", "Farthest", 1), held},
        {"any record holds",
         {{"cmdu",
           {record("hkey_current_user", "ThirtyOneDaysAgo", 30)["cmdu"][0],
            record("hkey_current_user", "TenDaysAgo", 30)["cmdu"][0]}}},
         held},
    };
    PresenceChecks checks;
    for (const Case& c : cases)
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(c.ps)), c.reason) << c.name;

    EXPECT_THROW(checks.CheckMachineState(*MakeOffer(record("hkey_current_user", "Garbage", 30))),
                 std::invalid_argument);
}

TEST(UninstallHold, EndsExactlyAtTheLimitAndNeverWraps) {
    const std::uint64_t maxTime = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t now = 1700000000;
    struct HoldCase {
        std::uint64_t stored;
        bool ms;
        int days;
        std::uint64_t now;
        bool held;
    } cases[] = {
        {now - 30 * 86400, false, 30, now, false},
        {now - 30 * 86400 + 1, false, 30, now, true},
        {(now - 30 * 86400 + 1) * 1000, true, 30, now, true},
        {now, false, 0, now, false},
        {now - 86400, false, 24856, now, true},
        {now - 86400, false, std::numeric_limits<int>::max(), now, true},
        {maxTime, false, 1, now, true},
        {maxTime - 86400, false, 2, maxTime - 1, true},
        {maxTime, true, std::numeric_limits<int>::max(), now, true},
        {now, false, -5, now, false},
        {10, false, -5, now, false},
    };
    for (const HoldCase& c : cases)
        EXPECT_EQ(UninstallHoldActive(c.stored, c.ms, c.days, c.now), c.held)
            << c.stored << (c.ms ? " ms" : " s") << ", " << c.days << " days, at " << c.now;
}

TEST_F(PresenceChecksTest, BrowserRulesLookForChromeAndChromium) {
    const json needsChrome = {{"x", 12}};
    const json needsNoChrome = {{"x", 13}};
    PresenceChecks checks;
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer(needsChrome)), "NO CHROME");
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer(needsNoChrome)), "");

    for (const wchar_t* place : {L"{localappdata}\\Chromium\\Application\\chrome.exe",
                                 L"{commonpf}\\Google\\Chrome\\Application\\chrome.exe"}) {
        ScratchFiles files;
        files.Create(place);
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(needsChrome)), "") << place;
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(needsNoChrome)), "HAVE CHROME") << place;
    }
}

TEST_F(PresenceChecksTest, OldInternetExplorerIsRefused) {
    scratch::ChangedValue version(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version");

    const json preset = {{"x", 2}};  // needs Chrome and a recent Internet Explorer
    PresenceChecks checks;
    version.Set(L"8.0.6001.18702");
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer(preset)), "NO CHROME") << "the browser is checked first";

    ScratchFiles files;
    files.Create(L"{localappdata}\\Chromium\\Application\\chrome.exe");
    struct VersionCase {
        const wchar_t* version;
        const char* reason;
    } cases[] = {
        {L"8.0.6001.18702", "OLD IE VERSION"},
        {L"8.99", "OLD IE VERSION"},
        {L"9", ""},
        {L"9.0.8112.16421", ""},
        {L"11.0.9600.19596", ""},
    };
    for (const VersionCase& c : cases) {
        version.Set(c.version);
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(preset)), c.reason) << c.version;
    }
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer({{"x", 12}})), "") << "only preset 2 checks the version";
    version.Remove();
    EXPECT_EQ(checks.CheckMachineState(*MakeOffer(preset)), "") << "no version, nothing to refuse";
    version.Set(L"unknown");
    EXPECT_THROW(checks.CheckMachineState(*MakeOffer(preset)), std::invalid_argument);
}

TEST_F(PresenceChecksTest, StoredNoShowDateIsReadBackWhateverTheCaseOfItsPath) {
    // The stamp the download page writes (today + 180 days) must hold the offer back on the next run.
    for (const char* path :
         {"Software\\WayfarerPresenceTest\\Pn\\Stamp", "software\\WayfarerPresenceTest\\Pn\\Stamp",
          "software\\wayfarerpresencetest\\pn\\stamp", "SOFTWARE\\WAYFARERPRESENCETEST\\PN\\STAMP"}) {
        const json ps = {{"pn", true}, {"pnr", path}};
        ASSERT_TRUE(MakeOffer(ps)->StampPnRegistry()) << path;
        PresenceChecks checks;
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(ps)), "PN NO SHOW") << path;
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer({{"pn", false}, {"pnr", path}})), "") << path;
        m_keys.Everywhere([&](HKEY hive, REGSAM view) {
            win32::RegKey key;
            if (::RegOpenKeyExW(hive, m_keys.Path(L"Pn").c_str(), 0, KEY_SET_VALUE | view, key.Put()) == ERROR_SUCCESS)
                ::RegDeleteValueW(key.Get(), L"Stamp");
        });
    }
}

TEST_F(PresenceChecksTest, StoredNoShowDateHoldsUntilItsDay) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    ASSERT_EQ(::localtime_s(&local, &now), 0);
    wchar_t today[16] = {};
    std::wcsftime(today, 16, L"%Y%m%d", &local);
    const std::wstring nextYear = std::to_wstring(local.tm_year + 1900 + 1) + L"0101";
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView32, L"Pn", L"Today", today);
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView32, L"Pn", L"NextYear", nextYear);
    m_keys.SetDword(HKEY_LOCAL_MACHINE, kView32, L"Pn", L"LongAgo", 19991231);

    const std::vector<Case> cases = {
        {"today", {{"pn", true}, {"pnr", "Software\\WayfarerPresenceTest\\Pn\\Today"}}, ""},
        {"a later year", {{"pn", true}, {"pnr", "Software\\WayfarerPresenceTest\\Pn\\NextYear"}}, "PN NO SHOW"},
        {"long ago", {{"pn", true}, {"pnr", "Software\\WayfarerPresenceTest\\Pn\\LongAgo"}}, ""},
        {"no value", {{"pn", true}, {"pnr", "Software\\WayfarerPresenceTest\\Pn\\Missing"}}, ""},
        {"no value name", {{"pn", true}, {"pnr", "WayfarerPresenceTest"}}, ""},
    };
    PresenceChecks checks;
    for (const Case& c : cases)
        EXPECT_EQ(checks.CheckMachineState(*MakeOffer(c.ps)), c.reason) << c.name;
}

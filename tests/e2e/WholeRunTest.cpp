// The whole run of a built installer, as a user in a hurry makes it: the wizard driver (tools/win/
// wizard_driver.cpp) walks every page of a configuration with two offers served by the local backend, in three
// ways: a click on every page's forward button, which accepts both offers; Enter alone on every page, which must
// decline both (the focus starts on Decline) and still install the main product; and the keyboard alone with Tab
// to each offer's Accept and Space on it, which accepts both. Checked: the pages in the flavour's order, the
// analytics records, every installer run with its arguments, and no work folder left after Finish.
#include "e2e/WholeRunTesting.h"
#include "pages/DownloadRunTesting.h"
#include "support/Backend.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

using nlohmann::json;
using namespace download_run_testing;
using namespace whole_run_testing;

namespace {

std::vector<std::string> PagesOf(const std::string& output) {
    std::vector<std::string> pages;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.pop_back();
        if (line.rfind("page ", 0) == 0)
            pages.push_back(line.substr(5));
    }
    return pages;
}

struct Flavour {
    bool dlm;
    std::vector<std::string> pages;
};

const std::map<std::string, Flavour>& Flavours() {
    static const std::map<std::string, Flavour> flavours = {
        {"isv-brand",
         {false, {"LoadingPage", "LicensePage", "ProductPage", "ProductPage", "DownloadPageISV", "FinishPageISV"}}},
        {"isv-nobrand",
         {false, {"LoadingPage", "WelcomePage", "ProductPage", "ProductPage", "DownloadPageISV", "FinishPageISV"}}},
        {"isv-sorrel",
         {false,
          {"LoadingPage", "WarningPageSorrel", "LicensePage", "ProductPage", "ProductPage", "OptionsPageSorrel",
           "ConfigurationsPageSorrel", "DownloadPageISV", "FinishPageISV"}}},
        {"dlm",
         {true, {"LoadingPage", "LicensePage", "ProductPage", "ProductPage", "DownloadPageDLM", "FinishPageDLM"}}},
    };
    return flavours;
}

struct Walk {
    const char* name;
    const wchar_t* driverOptions;
    bool offersAccepted;
};

const Walk kWalks[] = {
    {"ForwardButtonClicks", L"", true},
    {"EnterAlone", L"--keys enter", false},
    {"TabToAcceptThenSpace", L"--keys tab-space", true},
};

// The demo's configuration (tools/demo/scenario.json), served with small installers.
void ScriptServer(const std::string& installer) {
    backend::Reset();
    json configuration = {{"l", "US"},
                          {"f", {{"a", "e2e"}, {"m", 3}}},
                          {"i",
                           {{"ct", "Quarvel"},
                            {"cu", "https://localhost/dl/product/quarvel-setup.exe"},
                            {"cf", "Quarvel Setup.exe"},
                            {"ch", "e2e"},
                            {"cfl", "e2e"}}},
                          {"o",
                           {{{"ad", {{"f", "photo"}, {"o", "PhotoTidy"}}},
                             {"ps",
                              {{"i", "photo-tidy.png"},
                               {"dn", "Photo Tidy"},
                               {"u", "https://localhost/dl/offers/photo-tidy-setup.exe"},
                               {"p", "/quiet /norestart"},
                               {"v", 1}}}},
                            {{"ad", {{"f", "clip"}, {"o", "ClipKeeper"}}},
                             {"ps",
                              {{"i", "clip-keeper.png"},
                               {"dn", "Clip Keeper"},
                               {"u", "dl/offers/clip-keeper-setup.exe"},
                               {"p", "--silent"},
                               {"v", 2}}}}}}};
    backend::Script("/o", {{.body = configuration.dump(), .headers = {{"Content-Type", "application/json"}}}});
    const std::string demo = WAYFARER_SOURCE_DIR "/tools/demo/";
    for (const char* image : {"photo-tidy.png", "clip-keeper.png"})
        backend::Script(std::string("/f/") + image, {{.body = ReadFileBytes(win32::Utf8ToWide("Z:" + demo + image))}});
    backend::Response program{.bodySize = 256 * 1024, .pattern = std::string(1, '\0'), .prefix = installer};
    for (const char* path : {"/endpoint/quarvel/os/riserollout/track/beta", "/dl/product/quarvel-setup.exe",
                             "/dl/offers/photo-tidy-setup.exe", "/f/dl/offers/clip-keeper-setup.exe"})
        backend::Script(path, {program});
}

class WholeRun : public ::testing::TestWithParam<Walk> {};

TEST_P(WholeRun, EveryPageInOrderEveryChosenInstallerRunAndTheWorkFolderGone) {
    const Walk& walk = GetParam();
    std::wstring flavourName = Environment(L"WAYFARER_E2E_FLAVOUR");
    if (flavourName.empty())
        flavourName = L"isv-brand";
    const auto found = Flavours().find(Narrow(flavourName));
    ASSERT_NE(found, Flavours().end()) << Narrow(flavourName);
    const Flavour& flavour = found->second;
    std::wstring installer = Environment(L"WAYFARER_E2E_INSTALLER");
    if (installer.empty())
        installer = Environment(L"WAYFARER_INSTALLER_EXE");
    ASSERT_NE(::GetFileAttributesW(installer.c_str()), INVALID_FILE_ATTRIBUTES)
        << Narrow(installer) << " is not built: tools/test.sh builds every flavour";
    const std::wstring driver = FolderOf(launch_testing::FakeInstallerSource()) + L"\\wizard_driver.exe";

    ScriptServer(FakeInstallerBytes());
    InstallerLog log;

    RemoveEarlierProductDownloads();
    const std::string output = RunDriver(driver, installer, walk.driverOptions);
    SCOPED_TRACE(output);
    EXPECT_EQ(PagesOf(output), flavour.pages);
    EXPECT_EQ(output.find("timeout"), std::string::npos);
    EXPECT_EQ(output.find("accept not reached"), std::string::npos);

    // The installers: the main product's silently (with the option digits in the Sorrel flavour), the offers'
    // with theirs; the DLM flavour stores the product, and its finish page has the desktop's shell open it from the
    // Downloads folder.
    auto runs = log.WaitForRuns(walk.offersAccepted ? 3 : 1);
    std::map<std::wstring, std::wstring> argumentsByFile;
    for (const auto& run : runs) {
        const size_t programEnd = run.commandLine.find(L'"', 1);
        argumentsByFile[FileNameOf(run.path)] =
            programEnd + 2 < run.commandLine.size() ? run.commandLine.substr(programEnd + 2) : L"";
    }
    std::map<std::wstring, std::wstring> expectedRuns;
    if (walk.offersAccepted)
        expectedRuns = {{L"photo-tidy-setup.exe", L"/quiet /norestart"}, {L"clip-keeper-setup.exe", L"--silent"}};
    if (flavour.dlm)
        expectedRuns[L"Quarvel Setup.exe"] = L"";
    else if (flavourName == L"isv-sorrel")
        // The driver leaves every box of the options and configurations pages checked, as they open.
        expectedRuns[L"beta.exe"] = L"/S /FORCEINSTALL 1110010101111110";
    else
        expectedRuns[L"beta.exe"] = L"/S";
    EXPECT_EQ(argumentsByFile, expectedRuns);
    for (const auto& run : runs) {
        if (FileNameOf(run.path) == L"Quarvel Setup.exe")
            ::DeleteFileW(run.path.c_str());
    }

    // The records: the start first; then each offer declined (state 4) or installed (state 3), and the main
    // product's installation, each on its own thread, so in any order.
    auto events = ReceivedEvents(4, 20);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].state, "1");
    EXPECT_EQ(events[0].data.value("10", json()), 1);
    std::multiset<std::string> outcomes;
    for (size_t i = 1; i < events.size(); ++i) {
        EXPECT_EQ(events[i].Text(), "");
        const std::string who = events[i].data.value("10", json()) == 1 ? "main" : events[i].name;
        outcomes.insert(who + (events[i].state == "3" ? " installed" : events[i].state == "4" ? " declined" : " ?"));
    }
    const char* offerOutcome = walk.offersAccepted ? " installed" : " declined";
    EXPECT_EQ(outcomes, (std::multiset<std::string>{"main installed", std::string("PhotoTidy") + offerOutcome,
                                                    std::string("ClipKeeper") + offerOutcome}));

    // The work folder the installers ran from is gone (other test programs may create and remove folders
    // meanwhile); the DLM product is run from the Downloads folder.
    for (const auto& run : runs) {
        if (FileNameOf(run.path) != L"Quarvel Setup.exe") {
            EXPECT_EQ(::GetFileAttributesW(FolderOf(run.path).c_str()), INVALID_FILE_ATTRIBUTES)
                << Narrow(FolderOf(run.path));
        }
    }
    EXPECT_FALSE(runs.empty());
}

INSTANTIATE_TEST_SUITE_P(Walks, WholeRun, ::testing::ValuesIn(kWalks), [](const ::testing::TestParamInfo<Walk>& info) {
    return std::string(info.param.name);
});

// Every library the installer, or a system library it uses, may load by name once it runs: the delay-loaded ones,
// those it loads itself, and those Windows' and Wine's libraries load on its behalf (from the import tables and
// from Wine's list of what a whole run loads). Not among them, as Wine looks for them beside the program whatever
// the program asked: what it loads before the program's first line, the imports and theirs (kernel32, user32,
// gdi32, advapi32, shlwapi, msvcrt, comctl32, and, as Wine's own user32 and comctl32 import or load them, version,
// uxtheme, imm32, shcore, sechost, win32u), whose search the load configuration limits on Windows only; and what
// Wine's own libraries bind lazily by name (ole32, combase, rpcrt4, msimg32, crypt32, secur32, propsys,
// windowscodecs), where Wine's loader keeps the search path the process started with.
const wchar_t* const kPlantedNames[] = {
    // delay-loaded or loaded by the installer
    L"winhttp", L"wininet", L"bcrypt", L"shell32", L"oleaut32", L"gdiplus", L"wintrust", L"riched32", L"riched20",
    L"msftedit", L"oleacc", L"dwmapi",
    // loaded for it by system libraries
    L"msctf", L"cryptbase", L"cryptsp", L"rsaenh", L"userenv", L"profapi", L"apphelp", L"clbcatq", L"sspicli",
    L"schannel", L"ntmarta", L"urlmon", L"iertutil", L"dnsapi", L"iphlpapi", L"mswsock", L"ws2_32", L"nsi", L"netapi32",
    L"msasn1", L"ncrypt", L"dhcpcsvc", L"wtsapi32", L"winmm", L"setupapi", L"cfgmgr32", L"comdlg32", L"mpr",
    L"winspool", L"wldap32", L"normaliz", L"dbghelp", L"wbemprox", L"wbemcomn", L"xmllite", L"powrprof", L"winsta",
    L"textinputframework", L"coremessaging", L"kernel.appcore", L"windows.storage", L"edputil", L"usp10", L"gdi32full",
    L"bcryptprimitives", L"dpapi", L"winnsi", L"jsproxy", L"kerberos", L"msv1_0"};

// The installer started from a folder that holds a library under each of those names (each leaves a marker when
// it loads), with that folder as the current one and on PATH, and Wine told to prefer such files to its own: it
// loads none of them, and the whole run still works.
TEST(PlantedLibraries, NoneIsLoadedFromTheInstallersFolderTheCurrentOneOrPath) {
    std::wstring flavourName = Environment(L"WAYFARER_E2E_FLAVOUR");
    if (flavourName.empty())
        flavourName = L"isv-brand";
    const auto found = Flavours().find(Narrow(flavourName));
    ASSERT_NE(found, Flavours().end()) << Narrow(flavourName);
    std::wstring installer = Environment(L"WAYFARER_E2E_INSTALLER");
    if (installer.empty())
        installer = Environment(L"WAYFARER_INSTALLER_EXE");
    const std::wstring tools = FolderOf(launch_testing::FakeInstallerSource());

    wchar_t temporary[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temporary);
    const std::wstring folder = std::wstring(temporary) + L"planted-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    const std::wstring planted = folder + L"\\QuarvelSetup.exe";
    ASSERT_TRUE(::CopyFileW(installer.c_str(), planted.c_str(), FALSE));
    std::wstring overrides;
    for (const wchar_t* name : kPlantedNames) {
        ASSERT_TRUE(::CopyFileW((tools + L"\\planted.dll").c_str(), (folder + L"\\" + name + L".dll").c_str(), FALSE))
            << Narrow(name);
        overrides += (overrides.empty() ? L"" : L",") + std::wstring(name);
    }
    const std::wstring savedOverrides = Environment(L"WINEDLLOVERRIDES");
    const std::wstring savedPath = Environment(L"PATH");
    wchar_t savedFolder[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, savedFolder);
    ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", (savedOverrides + L";" + overrides + L"=n,b").c_str());
    ::SetEnvironmentVariableW(L"PATH", (folder + L";" + savedPath).c_str());
    ::SetCurrentDirectoryW(folder.c_str());

    ScriptServer(FakeInstallerBytes());
    InstallerLog log;
    RemoveEarlierProductDownloads();
    const std::string output = RunDriver(tools + L"\\wizard_driver.exe", planted);
    ::SetCurrentDirectoryW(savedFolder);
    ::SetEnvironmentVariableW(L"PATH", savedPath.c_str());
    ::SetEnvironmentVariableW(L"WINEDLLOVERRIDES", savedOverrides.c_str());
    SCOPED_TRACE(output);

    EXPECT_EQ(PagesOf(output), found->second.pages);
    const auto runs = log.WaitForRuns(3);
    EXPECT_EQ(runs.size(), 3u);
    for (const auto& run : runs) {
        if (FileNameOf(run.path) == L"Quarvel Setup.exe")
            ::DeleteFileW(run.path.c_str());
    }
    std::string loaded;
    for (const wchar_t* name : kPlantedNames) {
        const std::wstring library = folder + L"\\" + name + L".dll";
        const std::wstring marker = library + L".loaded";
        if (::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES) {
            const std::string by = ReadFileBytes(marker);
            loaded += Narrow(name) + " by " +
                      Narrow(std::wstring(reinterpret_cast<const wchar_t*>(by.data()), by.size() / sizeof(wchar_t))) +
                      " ";
            ::DeleteFileW(marker.c_str());
        }
        ::DeleteFileW(library.c_str());
    }
    EXPECT_EQ(loaded, "");
    ::DeleteFileW(planted.c_str());
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

// The run log of a whole run: the wizard driver walks the built installer through a configuration with an
// admitted offer, an offer whose installer cannot be downloaded and a refused offer, after five earlier runs.
// Checked: the facts in the order they happen, with their values; the log outlives the work folder; the oldest
// earlier log is gone.
#include "e2e/WholeRunTesting.h"
#include "pages/DownloadRunTesting.h"
#include "support/Backend.h"
#include "support/RunLogFacts.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <vector>

using nlohmann::json;
using namespace download_run_testing;
using namespace whole_run_testing;

namespace {

const wchar_t kLogPrefix[] = L"Quarvel Setup ";

std::wstring TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    return temp;
}

std::set<std::wstring> RunLogs(const std::wstring& folder) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found{};
    win32::FindHandle search(::FindFirstFileW((folder + kLogPrefix + L"*.log").c_str(), &found));
    if (!search)
        return names;
    do {
        names.insert(found.cFileName);
    } while (::FindNextFileW(search.Get(), &found));
    return names;
}

// The index of the first line at or after `from` that starts with `start` and holds every one of `parts`.
size_t FindFact(const std::vector<std::string>& lines,
                size_t from,
                const std::string& start,
                const std::vector<std::string>& parts = {}) {
    for (size_t i = from; i < lines.size(); ++i) {
        if (lines[i].rfind(start, 0) != 0)
            continue;
        if (std::all_of(parts.begin(), parts.end(),
                        [&](const std::string& part) { return lines[i].find(part) != std::string::npos; }))
            return i;
    }
    return std::string::npos;
}

void ScriptServer() {
    backend::Reset();
    const json configuration = {
        {"l", "US"},
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
             {"p", "/quiet"},
             {"v", 1}}}},
          {{"ad", {{"f", "clip"}, {"o", "ClipKeeper"}}},
           {"ps",
            {{"i", "clip-keeper.png"},
             {"dn", "Clip Keeper"},
             {"u", "https://localhost/dl/offers/gone-setup.exe"},
             {"p", "--silent"},
             {"v", 2}}}},
          {{"ad", {{"f", "twin"}, {"o", "PhotoTwin"}}},
           {"ps",
            {{"i", "twin.png"}, {"dn", "Photo Twin"}, {"u", "https://localhost/dl/offers/twin.exe"}, {"v", 1}}}}}}};
    backend::Script("/o", {{.body = configuration.dump(), .headers = {{"Content-Type", "application/json"}}}});
    const std::string demo = WAYFARER_SOURCE_DIR "/tools/demo/";
    for (const char* image : {"photo-tidy.png", "clip-keeper.png"})
        backend::Script(std::string("/f/") + image, {{.body = ReadFileBytes(win32::Utf8ToWide("Z:" + demo + image))}});
    backend::Response program{.bodySize = 256 * 1024, .pattern = std::string(1, '\0'), .prefix = FakeInstallerBytes()};
    for (const char* path : {"/endpoint/quarvel/os/riserollout/track/beta", "/dl/product/quarvel-setup.exe",
                             "/dl/offers/photo-tidy-setup.exe"})
        backend::Script(path, {program});
    backend::Script("/dl/offers/gone-setup.exe", {{.status = 404, .body = "gone"}});
}

TEST(RunLog, RecordsTheRunInOrderOutlivesTheWorkFolderAndKeepsTheNewestFive) {
    std::wstring installer = Environment(L"WAYFARER_E2E_INSTALLER");
    if (installer.empty())
        installer = Environment(L"WAYFARER_INSTALLER_EXE");
    ASSERT_NE(::GetFileAttributesW(installer.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(installer);
    const bool dlm = Environment(L"WAYFARER_E2E_FLAVOUR") == L"dlm";
    const std::wstring driver = FolderOf(launch_testing::FakeInstallerSource()) + L"\\wizard_driver.exe";

    // Five earlier runs: this run's log is the sixth, and the oldest goes.
    const std::wstring temp = TempFolder();
    for (const auto& name : RunLogs(temp))
        ::DeleteFileW((temp + name).c_str());
    std::set<std::wstring> earlier;
    for (int day = 1; day <= 5; ++day) {
        earlier.insert(std::wstring(kLogPrefix) + L"2020-01-0" + std::to_wstring(day) + L" 10.00.00.log");
        std::ofstream(win32::WideToUtf8(temp + *earlier.rbegin())) << "earlier run\r\n";
    }

    ScriptServer();
    InstallerLog installers;
    RemoveEarlierProductDownloads();
    const std::string output = RunDriver(driver, installer);
    SCOPED_TRACE(output);
    for (const auto& run : installers.WaitForRuns(2)) {
        // The DLM flavour stores the product in the Downloads folder.
        if (FileNameOf(run.path) == L"Quarvel Setup.exe")
            ::DeleteFileW(run.path.c_str());
    }

    std::set<std::wstring> logs = RunLogs(temp);
    std::set<std::wstring> kept(std::next(earlier.begin()), earlier.end());
    std::wstring log;
    for (const auto& name : logs)
        if (earlier.count(name) == 0)
            log = name;
    ASSERT_FALSE(log.empty()) << "no log of this run in " << Narrow(temp);
    kept.insert(log);
    EXPECT_EQ(logs, kept);

    const auto lines = testing_log::RunLogFacts(temp + log);
    std::string all;
    for (const auto& line : lines)
        all += line + "\n";
    SCOPED_TRACE(all);

    // The facts in the order the run makes them.
    struct Fact {
        std::string start;
        std::vector<std::string> parts;
    };
    std::vector<Fact> facts = {
        {"build ", {dlm ? "DLM" : "ISV", "version=1.0.0.0"}},
        {"windows version=", {"architecture="}},
        {"work folder ", {}},
        {"language ", {}},
        {"configuration https://localhost/o ", {"status=200", "attempts=1"}},
        {"offer PhotoTidy at loading: admitted place=1", {}},
        {"offer ClipKeeper at loading: admitted place=2", {}},
        {"offer PhotoTwin at loading: refused reason=SAME VERTICAL OFFER ALREADY PRESENT", {"reported=yes"}},
        {"page ProductPage", {}},
        {"page ProductPage", {}},
        {"download https://localhost/", {"status=done", "bytes=", "attempts=1"}},
        {"download https://localhost/dl/offers/photo-tidy-setup.exe", {"engine=WinHTTP", "status=done"}},
        {"download https://localhost/dl/offers/gone-setup.exe", {"status=failed", "failure="}},
        {"finish", {}},
        {"work folder deleted ", {}},
    };
    if (!dlm)
        facts.insert(facts.end() - 2, Fact{"installer ", {"beta.exe\" /S", "exit code=0"}});
    size_t at = 0;
    for (const auto& fact : facts) {
        const size_t found = FindFact(lines, at, fact.start, fact.parts);
        ASSERT_NE(found, std::string::npos) << "after line " << at << ": " << fact.start;
        at = found + 1;
    }
    // The second offer's page follows from the first's by the display-time rules.
    EXPECT_NE(FindFact(lines, 0, "offer ClipKeeper at display: shown"), std::string::npos);
    EXPECT_NE(FindFact(lines, 0, "image https://localhost/f/photo-tidy.png", {"status=done", "bytes="}),
              std::string::npos);
    EXPECT_NE(FindFact(lines, 0, "event state=1 product=main", {"delivered=yes"}), std::string::npos);
    EXPECT_NE(FindFact(lines, 0, "event state=2 product=PhotoTwin", {"delivered=yes"}), std::string::npos);
    // The failure text is the engine's, as the event reports it.
    const size_t failed = FindFact(lines, 0, "download https://localhost/dl/offers/gone-setup.exe");
    ASSERT_NE(failed, std::string::npos);
    EXPECT_GT(lines[failed].size(), lines[failed].find("failure=") + 8);
    // Never the request's signature.
    EXPECT_EQ(all.find("Signature="), std::string::npos);

    // The work folder is gone, the log is not.
    const size_t folderLine = FindFact(lines, 0, "work folder deleted ");
    const std::string folder = lines[folderLine].substr(std::string("work folder deleted ").size());
    EXPECT_EQ(::GetFileAttributesW(win32::Utf8ToWide(folder).c_str()), INVALID_FILE_ATTRIBUTES) << folder;
    EXPECT_NE(::GetFileAttributesW((temp + log).c_str()), INVALID_FILE_ATTRIBUTES);

    for (const auto& name : RunLogs(temp))
        ::DeleteFileW((temp + name).c_str());
}

}  // namespace

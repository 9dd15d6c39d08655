// What the download page and whole-run tests share: the stand-in installer's bytes and its run log, and the
// analytics records the backend received.
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace download_run_testing {

// The build folder's stand-in installer (tools/win/fake_installer.exe), found beside the installer under test.
std::wstring FakeInstallerPath();
std::string ReadFileBytes(const std::wstring& path);
inline std::string FakeInstallerBytes() {
    return ReadFileBytes(FakeInstallerPath());
}

// One run of the stand-in installer, as it logged it.
struct InstallerRun {
    std::wstring path;
    std::wstring commandLine;
    std::wstring workingFolder;
};

// A log file of the stand-in installers' runs: named in this process's environment (so that every installer
// this process starts writes to it) for as long as the object lives.
class InstallerLog {
public:
    InstallerLog();
    ~InstallerLog();
    InstallerLog(const InstallerLog&) = delete;
    InstallerLog& operator=(const InstallerLog&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::vector<InstallerRun> Runs() const;
    // Waits until at least `count` runs are logged (or the timeout passes) and returns them.
    std::vector<InstallerRun> WaitForRuns(size_t count,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    std::wstring m_path;
};

// One analytics record: the event's data object.
struct Event {
    std::string state;
    std::string name;
    nlohmann::json data;
    std::string Text() const { return data.contains("12") ? data["12"].get<std::string>() : std::string(); }
};
// The analytics records received so far, in arrival order; waits up to `timeoutSeconds` for `atLeast` of them.
std::vector<Event> ReceivedEvents(size_t atLeast = 0, double timeoutSeconds = 0);

std::string Narrow(const std::wstring& text);
std::wstring FileNameOf(const std::wstring& path);

}  // namespace download_run_testing

// What the download page and whole-run tests share beside the stand-in installer's own helpers
// (download/LaunchTesting.h): its bytes to serve, a fresh log for its runs, and the analytics records the
// backend received with their texts.
#pragma once

#include "download/LaunchTesting.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace download_run_testing {

using launch_testing::InstallerRun;

std::string ReadFileBytes(const std::wstring& path);
// The stand-in installer's bytes, to be served as an installer by the backend.
inline std::string FakeInstallerBytes() {
    return ReadFileBytes(launch_testing::FakeInstallerSource());
}

struct LogFile {
    std::wstring path;
};

// The stand-in installers' log in a fresh file of the temporary folder, for as long as the object lives.
class InstallerLog : private LogFile, public launch_testing::InstallerLog {
public:
    InstallerLog();
    ~InstallerLog();
    // Waits until at least `count` runs are logged (or the timeout passes) and returns them.
    std::vector<InstallerRun> WaitForRuns(size_t count,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

private:
    static std::wstring MakePath();
};

// One analytics record: the event's data object.
struct Event {
    std::string state;
    std::string name;
    nlohmann::json data;
    // The failure text ("12"); empty for a success.
    std::string Text() const { return data.value("12", ""); }
};
// The analytics records received so far, in arrival order; waits up to `timeoutSeconds` for `atLeast` of them.
std::vector<Event> ReceivedEvents(size_t atLeast = 0, double timeoutSeconds = 0);

std::string Narrow(const std::wstring& text);
std::wstring FileNameOf(const std::wstring& path);

}  // namespace download_run_testing

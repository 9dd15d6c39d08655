// The stand-in installer (tools/win/fake_installer.cpp) for tests that run installers for real under Wine: it
// is copied under a name that tells it how long to sleep and which code to exit with, and it appends what it
// was started with to a log this helper reads back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace launch_testing {

// One run of the stand-in installer as it recorded itself.
struct InstallerRun {
    std::wstring path;
    std::wstring commandLine;
    std::wstring workingFolder;
};

// The built stand-in (WAYFARER_FAKE_INSTALLER_EXE); empty when the test runs outside ctest.
std::wstring FakeInstallerSource();

// Copies the stand-in to `path` (its folder must exist); false when it cannot.
bool PlaceFakeInstaller(const std::wstring& path);

// Points WAYFARER_FAKE_INSTALLER_LOG of this process (and so of every program it starts) at a fresh log file
// for the object's lifetime.
class InstallerLog {
public:
    explicit InstallerLog(const std::wstring& path);
    ~InstallerLog();
    InstallerLog(const InstallerLog&) = delete;
    InstallerLog& operator=(const InstallerLog&) = delete;

    std::vector<InstallerRun> Runs() const;
    // Pumps this thread's messages while it waits for at least `count` runs; false after the timeout.
    bool WaitForRuns(size_t count, DWORD timeoutMs = 60000) const;

private:
    std::wstring m_path;
};

// Processes of this machine whose executable file name is `fileName` (case-insensitive).
std::vector<DWORD> FindProcesses(const std::wstring& fileName);
// Ends the processes named `fileName` that a test started and left running (a hung installer).
void EndProcesses(const std::wstring& fileName);

}  // namespace launch_testing

#include "download/LaunchTesting.h"

#include "support/WindowTesting.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <tlhelp32.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace launch_testing {

std::wstring FakeInstallerSource() {
    const char* path = std::getenv("WAYFARER_FAKE_INSTALLER_EXE");
    return path == nullptr ? std::wstring() : win32::Utf8ToWide(path);
}

bool PlaceFakeInstaller(const std::wstring& path) {
    const std::wstring source = FakeInstallerSource();
    return !source.empty() && ::CopyFileW(source.c_str(), path.c_str(), FALSE);
}

namespace {

// Where a stand-in that the desktop's shell starts, without this process's environment, finds the log.
std::wstring LogPointerPath() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    return length > 0 && length < MAX_PATH ? std::wstring(folder) + L"wayfarer-fake-installer-log.txt" : L"";
}

}  // namespace

InstallerLog::InstallerLog(const std::wstring& path) : m_path(path) {
    ::DeleteFileW(m_path.c_str());
    ::SetEnvironmentVariableW(L"WAYFARER_FAKE_INSTALLER_LOG", m_path.c_str());
    win32::FileHandle pointer(::CreateFileW(LogPointerPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (pointer)
        ::WriteFile(pointer.Get(), m_path.data(), static_cast<DWORD>(m_path.size() * sizeof(wchar_t)), &written,
                    nullptr);
}

InstallerLog::~InstallerLog() {
    ::SetEnvironmentVariableW(L"WAYFARER_FAKE_INSTALLER_LOG", nullptr);
    ::DeleteFileW(LogPointerPath().c_str());
}

std::vector<InstallerRun> InstallerLog::Runs() const {
    std::ifstream stream(m_path.c_str(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    std::vector<InstallerRun> runs;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; start = end + 1, end = text.find('\n', start)) {
        const std::wstring line = win32::Utf8ToWide(text.substr(start, end - start));
        const size_t firstTab = line.find(L'\t');
        const size_t lastTab = line.rfind(L'\t');
        if (firstTab == std::wstring::npos || lastTab == firstTab)
            continue;
        runs.push_back(
            {line.substr(0, firstTab), line.substr(firstTab + 1, lastTab - firstTab - 1), line.substr(lastTab + 1)});
    }
    return runs;
}

bool InstallerLog::WaitForRuns(size_t count, DWORD timeoutMs) const {
    return testing_ui::WaitFor([&] { return Runs().size() >= count; }, std::chrono::milliseconds(timeoutMs));
}

std::vector<DWORD> FindProcesses(const std::wstring& fileName) {
    std::vector<DWORD> found;
    // The snapshot's invalid value is INVALID_HANDLE_VALUE, as for files.
    win32::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        if (::lstrcmpiW(entry.szExeFile, fileName.c_str()) == 0)
            found.push_back(entry.th32ProcessID);
    }
    return found;
}

void EndProcesses(const std::wstring& fileName) {
    for (DWORD id : FindProcesses(fileName)) {
        win32::Handle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (process) {
            ::TerminateProcess(process.Get(), 1);
            ::WaitForSingleObject(process.Get(), 10000);
        }
    }
}

}  // namespace launch_testing

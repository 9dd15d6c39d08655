#include "pages/DownloadRunTesting.h"

#include "support/Backend.h"
#include "win32/Strings.h"

#include <fstream>
#include <sstream>
#include <thread>

namespace download_run_testing {

std::wstring FakeInstallerPath() {
    wchar_t installer[MAX_PATH] = {};
    DWORD length = ::GetEnvironmentVariableW(L"WAYFARER_INSTALLER_EXE", installer, MAX_PATH);
    std::wstring path(installer, length < MAX_PATH ? length : 0);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"tools\\win\\fake_installer.exe";
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

InstallerLog::InstallerLog() {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    m_path = std::wstring(folder) + L"wayfarer-installer-runs-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
             std::to_wstring(::GetTickCount64()) + L".log";
    ::DeleteFileW(m_path.c_str());
    ::SetEnvironmentVariableW(L"WAYFARER_FAKE_INSTALLER_LOG", m_path.c_str());
}

InstallerLog::~InstallerLog() {
    ::SetEnvironmentVariableW(L"WAYFARER_FAKE_INSTALLER_LOG", nullptr);
    ::DeleteFileW(m_path.c_str());
}

std::vector<InstallerRun> InstallerLog::Runs() const {
    std::vector<InstallerRun> runs;
    std::istringstream lines(ReadFileBytes(m_path));
    std::string line;
    while (std::getline(lines, line)) {
        InstallerRun run;
        std::wstring text = win32::Utf8ToWide(line);
        size_t first = text.find(L'\t');
        size_t second = first == std::wstring::npos ? first : text.find(L'\t', first + 1);
        if (second == std::wstring::npos)
            continue;
        run.path = text.substr(0, first);
        run.commandLine = text.substr(first + 1, second - first - 1);
        run.workingFolder = text.substr(second + 1);
        runs.push_back(run);
    }
    return runs;
}

std::vector<InstallerRun> InstallerLog::WaitForRuns(size_t count, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::vector<InstallerRun> runs = Runs();
    while (runs.size() < count && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        runs = Runs();
    }
    return runs;
}

std::vector<Event> ReceivedEvents(size_t atLeast, double timeoutSeconds) {
    std::vector<Event> events;
    for (const auto& request : backend::Requests("/zbd", atLeast, timeoutSeconds)) {
        Event event;
        event.data = nlohmann::json::parse(nlohmann::json::parse(request.body).at("data").get<std::string>());
        event.state = event.data.value("6", "");
        event.name = event.data.value("5", "");
        events.push_back(event);
    }
    return events;
}

std::string Narrow(const std::wstring& text) {
    return win32::WideToUtf8(text);
}

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L"\\/") + 1);
}

}  // namespace download_run_testing

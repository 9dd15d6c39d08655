#include "pages/DownloadRunTesting.h"

#include "support/Backend.h"
#include "win32/Strings.h"

#include <fstream>
#include <sstream>

namespace download_run_testing {

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::wstring InstallerLog::MakePath() {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + L"wayfarer-installer-runs-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(::GetTickCount64()) + L".log";
}

InstallerLog::InstallerLog() : LogFile{MakePath()}, launch_testing::InstallerLog(LogFile::path) {}

InstallerLog::~InstallerLog() {
    ::DeleteFileW(LogFile::path.c_str());
}

std::vector<InstallerRun> InstallerLog::WaitForRuns(size_t count, std::chrono::milliseconds timeout) const {
    launch_testing::InstallerLog::WaitForRuns(count, static_cast<DWORD>(timeout.count()));
    return Runs();
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

#include "download/StartedInstallers.h"

#include "download/InstallerLaunch.h"

#include <system_error>
#include <thread>

StartedInstallers::StartedInstallers() : m_state(std::make_shared<State>()) {}

std::wstring StartedInstallers::Start(const std::wstring& path,
                                      const std::wstring& arguments,
                                      std::vector<std::wstring> files,
                                      download::HeldFile held) {
    // Started here, so that the caller learns whether it runs before it reports the offer installed.
    StartedProcess started = StartProcess(path, arguments);
    if (!started.process)
        return started.failure;
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        index = m_state->runs.size();
        m_state->runs.push_back(Run{std::move(files), false});
    }
    try {
        // Detached: an installer may outlive the wizard, and the process must be free to end before it.
        std::thread([state = m_state, index, started = std::move(started), held = std::move(held)]() mutable {
            try {
                AwaitProcess(started, true);
            } catch (...) {
            }
            // Let go before the run counts as ended: whoever waits for that deletes the file next.
            held.Release();
            std::lock_guard<std::mutex> lock(state->mutex);
            state->runs[index].ended = true;
            state->ended.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        // Nobody hears of its end: its files count as in use, and are left for deletion at restart.
    }
    return {};
}

bool StartedInstallers::WaitUntil(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock<std::mutex> lock(m_state->mutex);
    return m_state->ended.wait_until(lock, deadline, [this] {
        for (const auto& run : m_state->runs) {
            if (!run.ended)
                return false;
        }
        return true;
    });
}

std::vector<std::wstring> StartedInstallers::FilesInUse() const {
    std::lock_guard<std::mutex> lock(m_state->mutex);
    std::vector<std::wstring> files;
    for (const auto& run : m_state->runs) {
        if (!run.ended)
            files.insert(files.end(), run.files.begin(), run.files.end());
    }
    return files;
}

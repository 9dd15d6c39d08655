#include "download/StartedInstallers.h"

#include "download/InstallerLaunch.h"

#include <system_error>
#include <thread>

StartedInstallers::StartedInstallers() : m_state(std::make_shared<State>()) {}

bool StartedInstallers::Start(const std::wstring& path,
                              const std::wstring& arguments,
                              std::vector<std::wstring> files,
                              download::HeldFile held) {
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        index = m_state->runs.size();
        m_state->runs.push_back(Run{std::move(files), false});
    }
    auto markEnded = [](const std::shared_ptr<State>& state, size_t run) {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->runs[run].ended = true;
        state->ended.notify_all();
    };
    try {
        // Detached: an installer may outlive the wizard, and the process must be free to end before it.
        std::thread([state = m_state, index, path, arguments, markEnded, held = std::move(held)]() mutable {
            try {
                RunProcess(path, arguments, true);
            } catch (...) {
            }
            // Let go before the run counts as ended: whoever waits for that deletes the file next.
            held.Release();
            markEnded(state, index);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        markEnded(m_state, index);
        return false;
    }
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

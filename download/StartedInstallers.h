// The offers' installers that were started and left to run. Nobody judges their exit codes, but their files
// must outlive them: the work folder is deleted at the end of the wizard, so the end waits for them (bounded)
// and leaves the files of those still running for deletion at restart.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/InstallerVerification.h"

class StartedInstallers {
public:
    StartedInstallers();

    // Starts `path` with `arguments` and returns once the process runs; a thread of its own waits for it, holding
    // only the shared record. `files` are what the installer may use while it runs (its program, the folder it
    // was unpacked into). Returns the failure text when the installer could not be started (a program the system
    // refuses, an archive that gave none), empty when it runs: only a started installer counts as installed.
    // `held`, the verified file the installer comes from, stays held until the installer has ended: nothing can
    // replace it between its checks and its start.
    std::wstring Start(const std::wstring& path,
                       const std::wstring& arguments,
                       std::vector<std::wstring> files,
                       download::HeldFile held = download::HeldFile());

    // Waits until every started installer has ended or `deadline` has passed; true when none runs any more.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) const;

    // The files and folders of the installers that still run.
    std::vector<std::wstring> FilesInUse() const;

private:
    struct Run {
        std::vector<std::wstring> files;
        bool ended = false;
    };
    struct State {
        mutable std::mutex mutex;
        mutable std::condition_variable ended;
        std::vector<Run> runs;
    };
    std::shared_ptr<State> m_state;
};

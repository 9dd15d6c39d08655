// The one object through which the installer fetches files and images: installers go to disk through WinHTTP with
// WinINet as a rescue engine, offer images go to memory through WinHTTP alone. Installer downloads run as
// tasks that the pages take the results of; image downloads run on detached threads that hand their bytes to a
// callback.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "download/Backoff.h"
#include "download/DownloadLimits.h"
#include "download/DownloadResult.h"
#include "net/Jitter.h"

class ConfigurationManager;

namespace download {
struct AttemptPlan;

enum class Engine { WinHttp, WinInet };

// What a manager's downloads are held to: the shipped bounds unless a test shortens them.
struct Settings {
    RetryPolicy retry;
    TransferLimits transfer;
    // The engine of a file download's first attempt; tests start with WinINet to see it resume.
    Engine firstEngine = Engine::WinHttp;
    // What spreads the pauses between attempts (numbers in [0, 1)): the system's random numbers, so that a fleet
    // that lost the same server at the same moment does not come back to it in step. Tests hand in their own to
    // see the spread reach the pauses.
    std::function<double()> random = net::RandomUnit;
};
}  // namespace download

using DownloadedBytes = std::unique_ptr<std::vector<char>>;
// Receives the bytes of an image download on the download's own thread: an empty vector when the download
// failed, no vector at all when the manager was cancelled meanwhile.
using DownloadCallback = std::function<void(DownloadedBytes)>;

class DownloadManager : public std::enable_shared_from_this<DownloadManager> {
public:
    // The process-wide manager, created on first use over the process-wide configuration.
    static std::shared_ptr<DownloadManager> GetInstance();
    // A manager of its own over `configuration`, for tests and tools. Managers are always shared-owned: the
    // image threads keep theirs alive for as long as they run.
    static std::shared_ptr<DownloadManager> Create(std::shared_ptr<ConfigurationManager> configuration,
                                                   download::Settings settings = {});

    ~DownloadManager();
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // Fetches the file that will be run from `url` into the download folder (`useTemporaryFolder` selects the
    // configuration's m_tempFolder instead of m_downloadFolder) under `fileName`, or under the URL's last segment
    // when `fileName` is empty. Progress goes to `notifyWindow` as posted WM_DOWNLOAD_PROGRESS /
    // WM_DOWNLOAD_MARQUEE messages, continuing across attempts. An http URL is refused before any request: what
    // a cleartext answer carries could have been replaced on the way.
    // Attempts alternate between WinHTTP (first) and WinINet. After a failure that may pass (a connection cut,
    // refused or silent, a cut body, status 408, 429, 500, 502, 503 or 504) the next attempt follows a pause
    // that grows (see DownloadLimits.h); when the server vouched for the file's version and accepts ranges, it
    // asks only for the bytes still missing. After any other failure WinINet is asked once, unless the failure
    // lies in the server's answer, in a security verdict or in the file name, which WinINet would meet the same
    // way. Nothing is fetched once the manager is cancelled, and a pause ends as soon as it is.
    // The file is written under a temporary name and put in place only when it is complete: after a failure
    // nothing of it remains, and a file of the same name that was there before is untouched.
    // Transfer errors never throw: they become the text, the last failure of each engine that ran
    // ("[WINHTTP] ..." then " [WININET]...") and then the number of attempts (" (3 attempts)").
    // The saved path and the attempts come back with the verdict, and whether the folder was missing, which the
    // caller tells the user. The download keeps the settings it began with.
    // A body whose length the server does not announce is refused unless `contentChecked` (a published hash or a
    // required signer will judge the file): nothing else tells it whole.
    download::FileOutcome DownloadFile(const std::wstring& url,
                                       HWND notifyWindow,
                                       const std::wstring& fileName,
                                       bool useTemporaryFolder,
                                       bool contentChecked = false);
    // One attempt of the WinINet engine on its own, under the same redirect rule and limits.
    download::FileOutcome DownloadFileWinInet(const std::wstring& url,
                                              HWND notifyWindow,
                                              const std::wstring& fileName,
                                              bool useTemporaryFolder);
    // Fetches `url` into memory (see download::FetchImage); never throws for transfer errors and returns an empty
    // vector when no attempt succeeds.
    DownloadedBytes DownloadToMemory(const std::wstring& url);
    // Runs DownloadToMemory on a new detached thread and returns at once; `callback` runs on that thread.
    // Raises std::system_error when no thread can be started.
    void DownloadToMemoryAsync(const std::wstring& url, DownloadCallback callback);

    // The selected folder joined with `fileName`; empty when the folder is not a directory, when the name is not a
    // plain file name (see path_rules::IsPlainFileName) or when the result does not fit MAX_PATH.
    std::wstring MakeDownloadPath(const std::wstring& fileName, bool useTemporaryFolder);
    // The same with the text after the URL's last "/" (query included) as the file name.
    std::wstring MakeDownloadPathFromUrl(const std::wstring& url, bool useTemporaryFolder);

    // The settings that downloads begun from now on are held to; one that runs keeps those it began with.
    void Configure(const download::Settings& settings);
    download::Settings CurrentSettings() const;

    // Called when the user leaves the wizard, and by the destructor: transfers stop at their next chunk, nothing
    // more is fetched, and image threads that finish afterwards deliver no bytes.
    void Cancel() { *m_cancelled = true; }
    bool IsCancelled() const { return *m_cancelled; }
    // Lets the process-wide manager fetch again once a wizard that was left is gone, as the tests do between
    // wizards.
    void Rearm() { *m_cancelled = false; }

private:
    DownloadManager(std::shared_ptr<ConfigurationManager> configuration, download::Settings settings);

    // Raises a final failure for an http URL.
    static void RefuseCleartext(const std::wstring& url);
    // The first attempt's plan for a file download under `settings`, settled on the caller's thread; the refusal,
    // with `tag` before its text, when the URL or the name cannot be downloaded. A missing folder leaves the plan's
    // target empty: the attempts then fail to open the file once the server has answered.
    std::optional<std::wstring> PlanFirstAttempt(const std::wstring& url,
                                                 HWND notifyWindow,
                                                 const std::wstring& fileName,
                                                 bool useTemporaryFolder,
                                                 const download::Settings& settings,
                                                 const wchar_t* tag,
                                                 download::AttemptPlan& plan);
    // Waits `pause`, or less when the manager is cancelled meanwhile; false when it is.
    bool PauseUnlessCancelled(std::chrono::milliseconds pause) const;
    // The target of a file download; raises a final failure with a clear text when the file name would not name
    // a plain file inside the download folder, or does not fit beside the folder's path.
    std::wstring ResolveTargetPath(const std::wstring& url, const std::wstring& fileName, bool useTemporaryFolder);
    std::wstring SelectFolder(bool useTemporaryFolder) const;

    std::shared_ptr<ConfigurationManager> m_configuration;
    // Shared with the transfers, which may outlive a download given up on.
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    mutable std::mutex m_settingsMutex;
    download::Settings m_settings;
};

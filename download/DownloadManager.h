// The one object through which the installer fetches files and images: installers go to disk through WinHTTP with
// WinINet as a rescue engine, offer images go to memory through WinHTTP alone. Installer downloads run as
// std::async tasks that the pages poll; image downloads run on detached threads that hand their bytes to a
// callback.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "download/Backoff.h"
#include "download/DownloadLimits.h"
#include "download/DownloadResult.h"

class ConfigurationManager;

namespace download {
struct AttemptPlan;
struct AttemptOutcome;

enum class Engine { WinHttp, WinInet };
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
    static std::shared_ptr<DownloadManager> Create(std::shared_ptr<ConfigurationManager> configuration);

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
    // way. Nothing is fetched once m_cancelled is set, and a pause ends as soon as it is.
    // The file is written under a temporary name and put in place only when it is complete: after a failure
    // nothing of it remains, and a file of the same name that was there before is untouched.
    // Transfer errors never throw: they become the text, the last failure of each engine that ran
    // ("[WINHTTP] ..." then " [WININET]...") and then the number of attempts (" (3 attempts)").
    // The saved path and the attempts come back with the verdict.
    download::FileOutcome DownloadFile(const std::wstring& url,
                                       HWND notifyWindow,
                                       const std::wstring& fileName,
                                       bool useTemporaryFolder);
    // One attempt of the WinINet engine on its own, under the same redirect rule and limits.
    download::FileOutcome DownloadFileWinInet(const std::wstring& url,
                                              HWND notifyWindow,
                                              const std::wstring& fileName,
                                              bool useTemporaryFolder);
    // Fetches `url` into memory with WinHTTP in at most two attempts, both within m_imageTimeLimit (no second
    // attempt after a failure that would only recur, such as a redirect loop); never throws for transfer errors
    // and returns an empty vector when no attempt succeeds.
    DownloadedBytes DownloadToMemory(const std::wstring& url);
    // Runs DownloadToMemory on a new detached thread and returns at once; `callback` runs on that thread.
    // Raises std::system_error when no thread can be started.
    void DownloadToMemoryAsync(const std::wstring& url, DownloadCallback callback);

    // The selected folder joined with `fileName`; empty when the folder is not a directory (after telling the
    // user "Invalid path"), when the name is not a plain file name (see IsPlainFileName) or when the result does
    // not fit MAX_PATH.
    std::wstring MakeDownloadPath(const std::wstring& fileName, bool useTemporaryFolder);
    // The same with the text after the URL's last "/" (query included) as the file name.
    std::wstring MakeDownloadPathFromUrl(const std::wstring& url, bool useTemporaryFolder);

    // The bounds of the attempts of a file download.
    download::RetryPolicy RetryBounds() const { return m_retry; }

    // The system's text for a Win32 error code, as the system returns it (line break included); empty when the
    // system has none, as for most WinHTTP and WinINet codes.
    static std::wstring GetSystemErrorText(DWORD code);

    // Set when the user leaves the wizard and by the destructor; never reset. WinHTTP transfers stop at their
    // next chunk, and image threads that finish afterwards deliver no bytes.
    std::atomic<bool> m_cancelled{false};
    // The bounds of DownloadLimits.h, which tests shorten here. Its pauseBase is the first pause between
    // attempts (the one before WinINet's first), from which the later ones grow.
    download::RetryPolicy m_retry;
    // The engine of the first attempt; tests start with WinINet to see it resume.
    download::Engine m_firstEngine{download::Engine::WinHttp};
    std::chrono::milliseconds m_stallTimeout{download::kStallTimeout};
    std::uint32_t m_minimumRate{download::kMinimumRate};
    std::chrono::milliseconds m_rateWindow{download::kRateWindow};
    std::chrono::milliseconds m_imageTimeLimit{download::kImageTimeLimit};

private:
    explicit DownloadManager(std::shared_ptr<ConfigurationManager> configuration);

    download::AttemptOutcome AttemptWinHttp(const download::AttemptPlan& plan);
    download::AttemptOutcome AttemptWinInet(const download::AttemptPlan& plan);
    // Raises a final failure for an http URL.
    static void RefuseCleartext(const std::wstring& url);
    // The first attempt's plan for a file download, settled on the caller's thread (telling the user about a
    // missing folder may take longer than any stall limit); the refusal, with `tag` before its text, when the URL
    // or the name cannot be downloaded.
    std::optional<std::wstring> PlanFirstAttempt(const std::wstring& url,
                                                 HWND notifyWindow,
                                                 const std::wstring& fileName,
                                                 bool useTemporaryFolder,
                                                 const wchar_t* tag,
                                                 download::AttemptPlan& plan);
    // Waits `pause`, or less when m_cancelled is set meanwhile; false when it is.
    bool PauseUnlessCancelled(std::chrono::milliseconds pause) const;
    void FetchToMemory(const std::wstring& url,
                       std::vector<char>& bytes,
                       std::chrono::steady_clock::time_point deadline);
    // The target of a file download; raises a final failure with a clear text when the file name would not name
    // a plain file inside the download folder, or does not fit beside the folder's path.
    std::wstring ResolveTargetPath(const std::wstring& url, const std::wstring& fileName, bool useTemporaryFolder);
    std::wstring SelectFolder(bool useTemporaryFolder) const;
    int StallTimeoutMs() const { return static_cast<int>(m_stallTimeout.count()); }

    std::shared_ptr<ConfigurationManager> m_configuration;
};

// True when `name` can only ever name a file directly inside a folder: not empty, no path separator, drive or
// stream colon, wildcard, control or other character that Windows refuses in a file name, no "..", no trailing
// dot or space (which Windows strips), and not a reserved device name such as CON or NUL.txt.
bool IsPlainFileName(const std::wstring& name);

// The text after the last "/" of `url` (everything, query included); empty when there is no "/".
std::wstring LastUrlSegment(const std::wstring& url);

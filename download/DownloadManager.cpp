#include "download/DownloadManager.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <thread>

#include "config/ConfigurationManager.h"
#include "diagnostics/RunFacts.h"
#include "diagnostics/RunLog.h"
#include "download/Attempt.h"
#include "download/Backoff.h"
#include "download/Engines.h"
#include "download/Failure.h"
#include "download/RedirectRule.h"
#include "download/UrlRules.h"
#include "win32/PathRules.h"

std::shared_ptr<DownloadManager> DownloadManager::GetInstance() {
    // Never destroyed: a thread that outlives the wizard (a loading run, an event send) may still ask for it while
    // the process ends.
    static const auto* instance = new std::shared_ptr<DownloadManager>(Create(ConfigurationManager::GetInstance()));
    return *instance;
}

std::shared_ptr<DownloadManager> DownloadManager::Create(std::shared_ptr<ConfigurationManager> configuration,
                                                         download::Settings settings) {
    return std::shared_ptr<DownloadManager>(new DownloadManager(std::move(configuration), settings));
}

DownloadManager::DownloadManager(std::shared_ptr<ConfigurationManager> configuration, download::Settings settings)
    : m_configuration(std::move(configuration)), m_settings(settings) {}

DownloadManager::~DownloadManager() {
    Cancel();
}

void DownloadManager::Configure(const download::Settings& settings) {
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    m_settings = settings;
}

download::Settings DownloadManager::CurrentSettings() const {
    std::lock_guard<std::mutex> lock(m_settingsMutex);
    return m_settings;
}

namespace {

using download::kWinHttpTag;
using download::kWinInetTag;

// The bytes of earlier attempts: a temporary file beside the target, removed when the download ends without it.
class KeptFile {
public:
    KeptFile() = default;
    ~KeptFile() { Drop(); }
    KeptFile(const KeptFile&) = delete;
    KeptFile& operator=(const KeptFile&) = delete;

    const std::wstring& Path() const { return m_path; }
    void Take(std::wstring path) {
        if (path != m_path)
            Drop();
        m_path = std::move(path);
    }
    // The file was put in place: its temporary name is gone.
    void Release() { m_path.clear(); }
    void Drop() {
        if (!m_path.empty())
            ::DeleteFileW(m_path.c_str());
        m_path.clear();
    }
    std::uint64_t Size() const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (m_path.empty() || !::GetFileAttributesExW(m_path.c_str(), GetFileExInfoStandard, &data))
            return 0;
        return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

private:
    std::wstring m_path;
};

std::wstring AttemptsText(int attempts) {
    return attempts == 1 ? L" (1 attempt)" : L" (" + std::to_wstring(attempts) + L" attempts)";
}

const char* EngineName(download::Engine engine) {
    return engine == download::Engine::WinInet ? "WinINet" : "WinHTTP";
}

}  // namespace

download::FileOutcome DownloadManager::DownloadFile(const std::wstring& url,
                                                    HWND notifyWindow,
                                                    const std::wstring& fileName,
                                                    bool useTemporaryFolder,
                                                    bool contentChecked) {
    using download::AttemptOutcome;
    using download::FailureKind;
    download::FileOutcome result;
    download::DownloadStats& stats = result.stats;
    const std::uint64_t started = diagnostics::GetTickMs();

    const download::Settings settings = CurrentSettings();
    download::AttemptPlan plan;
    if (auto refused = PlanFirstAttempt(url, notifyWindow, fileName, useTemporaryFolder, settings, kWinHttpTag, plan)) {
        result.text = std::move(*refused);
        return result;
    }
    result.folderMissing = plan.targetPath.empty();
    plan.contentChecked = contentChecked;

    download::Backoff backoff(settings.retry, std::chrono::steady_clock::now(), settings.random);
    KeptFile kept;
    download::FileIdentity identity;
    std::wstring winHttpText;
    std::wstring winInetText;
    bool tried[2] = {false, false};
    download::Engine engine = settings.firstEngine;
    for (;;) {
        // Once the user has left, nothing more is fetched.
        if (IsCancelled())
            break;
        const std::uint64_t before = kept.Size();
        plan.keptPath = kept.Path();
        plan.resume = download::ResumePoint();
        if (before > 0 && identity.CanContinue() && before < *identity.length) {
            plan.resume = download::ResumePoint{before, identity};
            ++stats.resumed;
        }
        const bool winInet = engine == download::Engine::WinInet;
        AttemptOutcome outcome = winInet ? download::AttemptWinInet(plan) : download::AttemptWinHttp(plan);
        ++stats.attempts;
        tried[winInet ? 1 : 0] = true;
        if (outcome.succeeded) {
            kept.Release();
            result.ok = true;
            result.savedPath = std::move(outcome.savedPath);
            result.savedId = outcome.savedId;
            diagnostics::RecordDownload(url, EngineName(engine), true, std::wstring(), result.savedPath, started,
                                        stats.attempts, stats.resumed);
            // After a rescue the text still holds what went wrong before.
            result.text = winHttpText + winInetText;
            return result;
        }
        kept.Take(std::move(outcome.keptPath));
        (winInet ? winInetText : winHttpText) = outcome.text;
        if (outcome.restart) {
            kept.Drop();
            identity = download::FileIdentity();
        } else if (!outcome.identity.validator.empty() || outcome.identity.length) {
            identity = outcome.identity;
        }
        if (outcome.failure == FailureKind::Final || IsCancelled())
            break;
        // A failure that does not pass is left to the other engine, once: WinHTTP may be unable to use a proxy
        // that WinINet takes from the system.
        const download::Engine other = winInet ? download::Engine::WinHttp : download::Engine::WinInet;
        if (outcome.failure == FailureKind::Lasting && tried[winInet ? 0 : 1])
            break;
        const std::uint64_t after = kept.Size();
        const bool advanced = after > before && after - before >= download::kMinimumAdvanceBytes;
        const std::optional<std::chrono::milliseconds> pause =
            backoff.Failed(advanced, outcome.retryAfter, std::chrono::steady_clock::now());
        if (!pause)
            break;
        const auto pauseStart = std::chrono::steady_clock::now();
        const bool continued = PauseUnlessCancelled(*pause);
        stats.paused +=
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - pauseStart);
        if (!continued)
            break;
        engine = other;
    }
    // Nothing of the file stays: the kept bytes go with `kept`.
    if (stats.attempts == 0)
        winHttpText = kWinHttpTag + std::wstring(L"Download cancelled.");
    result.text = winHttpText + winInetText + AttemptsText(stats.attempts);
    diagnostics::RecordDownload(url, EngineName(engine), false, result.text, std::wstring(), started, stats.attempts,
                                stats.resumed);
    return result;
}

download::FileOutcome DownloadManager::DownloadFileWinInet(const std::wstring& url,
                                                           HWND notifyWindow,
                                                           const std::wstring& fileName,
                                                           bool useTemporaryFolder) {
    download::FileOutcome result;
    download::AttemptPlan plan;
    if (auto refused =
            PlanFirstAttempt(url, notifyWindow, fileName, useTemporaryFolder, CurrentSettings(), kWinInetTag, plan)) {
        result.text = std::move(*refused);
        return result;
    }
    result.folderMissing = plan.targetPath.empty();
    download::AttemptOutcome outcome = download::AttemptWinInet(plan);
    result.stats.attempts = 1;
    KeptFile kept;
    kept.Take(std::move(outcome.keptPath));
    if (outcome.succeeded) {
        result.ok = true;
        result.savedPath = std::move(outcome.savedPath);
        result.savedId = outcome.savedId;
    } else {
        result.text = std::move(outcome.text);
    }
    return result;
}

std::optional<std::wstring> DownloadManager::PlanFirstAttempt(const std::wstring& url,
                                                              HWND notifyWindow,
                                                              const std::wstring& fileName,
                                                              bool useTemporaryFolder,
                                                              const download::Settings& settings,
                                                              const wchar_t* tag,
                                                              download::AttemptPlan& plan) {
    plan.url = url;
    plan.progress = std::make_shared<download::ProgressReporter>(notifyWindow);
    plan.limits = settings.transfer;
    plan.cancelled = m_cancelled;
    try {
        RefuseCleartext(url);
        plan.targetPath = ResolveTargetPath(url, fileName, useTemporaryFolder);
    } catch (const download::Failure& failure) {
        return download::TagFailure(tag, failure);
    }
    return std::nullopt;
}

bool DownloadManager::PauseUnlessCancelled(std::chrono::milliseconds pause) const {
    const auto end = std::chrono::steady_clock::now() + pause;
    for (;;) {
        if (IsCancelled())
            return false;
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        const auto step = std::min<std::chrono::steady_clock::duration>(left, download::kCancelCheckInterval);
        ::Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(step).count()));
    }
}

void DownloadManager::RefuseCleartext(const std::wstring& url) {
    // Only a redirect from https to http was refused before; an http URL of its own is just as open to whoever
    // sits on the way, and the file is run, often elevated.
    if (path_rules::IsHttpUrl(url) && !path_rules::IsHttpsUrl(url)) {
        download::FailFinally(L"Refused to download a file that will be run over a connection that is not secure: " +
                              download::QuotedValue(url));
    }
}

DownloadedBytes DownloadManager::DownloadToMemory(const std::wstring& url) {
    return std::make_unique<std::vector<char>>(download::FetchImage(url, CurrentSettings().transfer, m_cancelled));
}

void DownloadManager::DownloadToMemoryAsync(const std::wstring& url, DownloadCallback callback) {
    // The thread owns a share of the manager, so a manager released elsewhere (at process end, say) stays alive
    // until the thread is done with it.
    std::thread worker([manager = shared_from_this(), url, callback = std::move(callback)]() {
        // Nothing may escape a detached thread: it would end the process.
        try {
            const std::uint64_t started = diagnostics::GetTickMs();
            DownloadedBytes bytes = manager->DownloadToMemory(url);
            if (manager->IsCancelled())
                bytes.reset();
            diagnostics::Record("image %ls status=%s bytes=%zu ms=%llu", url.substr(0, url.find(L'?')).c_str(),
                                bytes && !bytes->empty() ? "done" : "failed", bytes ? bytes->size() : size_t{0},
                                diagnostics::GetTickMs() - started);
            if (callback)
                callback(std::move(bytes));
        } catch (...) {
        }
    });
    worker.detach();
}

std::wstring DownloadManager::SelectFolder(bool useTemporaryFolder) const {
    return useTemporaryFolder ? m_configuration->m_tempFolder : m_configuration->m_downloadFolder;
}

std::wstring DownloadManager::MakeDownloadPath(const std::wstring& fileName, bool useTemporaryFolder) {
    const std::wstring folder = SelectFolder(useTemporaryFolder);
    if (!::PathIsDirectoryW(folder.c_str()) || !path_rules::IsPlainFileName(fileName) || folder.size() >= MAX_PATH)
        return {};
    wchar_t path[MAX_PATH] = {};
    std::wmemcpy(path, folder.c_str(), folder.size());
    if (!::PathAppendW(path, fileName.c_str()))
        return {};
    return path;
}

std::wstring DownloadManager::MakeDownloadPathFromUrl(const std::wstring& url, bool useTemporaryFolder) {
    return MakeDownloadPath(LastUrlSegment(url), useTemporaryFolder);
}

std::wstring DownloadManager::ResolveTargetPath(const std::wstring& url,
                                                const std::wstring& fileName,
                                                bool useTemporaryFolder) {
    const std::wstring name = fileName.empty() ? LastUrlSegment(url) : fileName;
    // Refused before any request: a name that could reach outside the folder, or that Windows would read as a
    // device or a stream, must never be written, whatever the server sends.
    if (!path_rules::IsPlainFileName(name))
        download::FailFinally(L"Invalid file name for the download: " + download::QuotedValue(name));
    const std::wstring path = MakeDownloadPath(name, useTemporaryFolder);
    // A name that does not fit beside the folder could never be saved, whichever engine fetched it. (A folder that
    // is missing leaves the path empty as well, which opening the file reports after the server's answer.)
    if (path.empty() && ::PathIsDirectoryW(SelectFolder(useTemporaryFolder).c_str()))
        download::FailFinally(L"File name too long for the download folder: " + download::QuotedValue(name));
    return path;
}

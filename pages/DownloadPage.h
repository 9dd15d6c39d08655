// The pages that do the installer's work: they download the main product's installer and those of the accepted
// offers one after another while a progress bar moves, run them, report one event per package, and end by
// asking the frame for the finish page or the error page. The user presses nothing here.
//
// DownloadPageIsv runs the main product's installer and waits for its exit code, then starts the offers'.
// DownloadPageDlm stores the main product in the user's Downloads folder (the finish page opens it) and starts
// the offers' installers.
#pragma once

#include "download/InstallerFetch.h"
#include "download/InstallerLaunch.h"
#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"
#include "ui/AccessibleName.h"
#include "win32/Task.h"

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

class ConfigurationManager;
class DownloadManager;
class Package;
class StartedInstallers;

class DownloadPage : public IPage {
public:
    void OnNavigateToPage() override;
    PageKind GetKind() const override { return PageKind::Download; }
    int GetFirstFocusId() const override;

protected:
    // Where a package's installer is fetched from and saved to, and what the finished file must be before
    // anything runs it.
    using DownloadTarget = download::InstallerRequest;
    using HeldFile = download::HeldFile;
    // An installer that passed its checks, held until it runs.
    struct InstallItem {
        std::shared_ptr<Package> package;
        std::wstring file;
        HeldFile held;
    };

    static constexpr UINT_PTR kDownloadTimer = 0x1000;
    static constexpr UINT_PTR kMainInstallTimer = 0x1002;

    DownloadPage(std::shared_ptr<LanguageManager> languageManager,
                 UINT templateId,
                 std::shared_ptr<StartedInstallers> startedInstallers,
                 HWND parent);

    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnTimer(UINT_PTR id) override;
    void OnDestroy() override;

    // Runs the download of `target` and its checks on a task thread. Tests replace it to make the task fail in
    // ways a server cannot.
    virtual win32::Task<download::FetchedInstaller> StartDownloadTask(const DownloadTarget& target);

    // The steps in which the two flavours differ.
    virtual DownloadTarget MakeDownloadTarget(const Package& package) = 0;
    // True when the file joins the install queue; otherwise it has been handed over and is held until the page
    // finishes.
    virtual bool OnDownloadSucceeded(const std::shared_ptr<Package>& package, const std::wstring& path) = 0;
    virtual void OnDownloadsDone() = 0;
    // Unpacks `file` when it is an archive and returns the program to run.
    virtual std::wstring ResolveInstaller(const std::wstring& file) = 0;
    // `held` is the verified installer, to be held until its process has started.
    virtual void StartMainInstaller(const std::wstring& program, const std::wstring& arguments, HeldFile held) {}
    // The install queue has run empty; `startedAny` tells whether this pass started an installer.
    virtual void OnInstallQueueEmpty(bool startedAny) = 0;
    virtual const char* ErrorTitleKey() const = 0;
    virtual const char* ErrorTextKey() const = 0;

    // The offer's saved file name in the work folder, one of its own.
    DownloadTarget MakeOfferTarget(const Package& package);
    void StartNextDownload();
    void OnDownloadTimer();
    // The task numbered m_taskNumber has told the page of its end.
    virtual void OnTaskEnded();
    void TakeDownload();
    void ProcessInstallQueue();
    void FinishPage();
    // A failed download or installer of `package`: its event, and the main product's failure is remembered.
    void ReportFailure(const std::shared_ptr<Package>& package, const std::wstring& text);
    void ShowError();
    LRESULT OnDownloadProgress(WPARAM wParam, LPARAM lParam);
    LRESULT OnDownloadMarquee(WPARAM wParam, LPARAM lParam);
    void SetMarquee();
    bool IsClosing() const;

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::shared_ptr<DownloadManager> m_downloadManager;
    std::shared_ptr<StartedInstallers> m_startedInstallers;
    ui::ProgressBar m_progress;
    // The bar is named for screen readers by the page's title.
    ui::AccessibleName m_progressName;
    bool m_marquee = false;
    win32::Task<download::FetchedInstaller> m_downloadTask;
    win32::Task<ProcessResult> m_installTask;
    // The number of the latest task started, download or installer: a task's word of its end carries it.
    unsigned m_taskNumber = 0;
    bool m_mainFailed = false;
    std::deque<std::shared_ptr<Package>> m_downloadQueue;
    std::deque<InstallItem> m_installQueue;
    CStaticFromImage m_image;
    // The main product's verified file: held until its installer has run, or (kept in the user's Downloads
    // folder) until the page hands it over.
    HeldFile m_mainHeld;
    // Names already given to saved installers in the work folder.
    std::vector<std::wstring> m_savedNames;
    bool m_started = false;
};

class DownloadPageIsv : public DownloadPage {
public:
    DownloadPageIsv(std::shared_ptr<LanguageManager> languageManager,
                    std::shared_ptr<StartedInstallers> startedInstallers,
                    HWND parent = nullptr);

    std::wstring GetPageName() const override { return L"DownloadPageISV"; }

    // Set by the frame: the first runs when the installers start, the second when the last has been started.
    std::function<void()> m_onInstallersStarted;
    std::function<void()> m_onInstallersFinished;

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    DownloadTarget MakeDownloadTarget(const Package& package) override;
    bool OnDownloadSucceeded(const std::shared_ptr<Package>& package, const std::wstring& path) override;
    void OnDownloadsDone() override;
    std::wstring ResolveInstaller(const std::wstring& file) override;
    void StartMainInstaller(const std::wstring& program, const std::wstring& arguments, HeldFile held) override;
    void OnInstallQueueEmpty(bool startedAny) override;
    const char* ErrorTitleKey() const override { return "PAGE_ERROR_TITLE"; }
    const char* ErrorTextKey() const override { return "PAGE_ERROR_TEXT"; }

    void OnMainInstallTimer();
    void OnTaskEnded() override;
    void TakeMainInstall();
    void OnDestroy() override;

    std::wstring m_mainInstallerPath;
    // Stops the wait for the main installer when the page goes first; the installer itself runs on.
    std::shared_ptr<WaitCancellation> m_mainInstallWait = std::make_shared<WaitCancellation>();
};

class DownloadPageDlm : public DownloadPage {
public:
    DownloadPageDlm(std::shared_ptr<LanguageManager> languageManager,
                    std::shared_ptr<StartedInstallers> startedInstallers,
                    HWND parent = nullptr);

    std::wstring GetPageName() const override { return L"DownloadPageDLM"; }

protected:
    BOOL OnInitDialog() override;
    DownloadTarget MakeDownloadTarget(const Package& package) override;
    bool OnDownloadSucceeded(const std::shared_ptr<Package>& package, const std::wstring& path) override;
    void OnDownloadsDone() override;
    std::wstring ResolveInstaller(const std::wstring& file) override;
    void OnInstallQueueEmpty(bool startedAny) override;
    const char* ErrorTitleKey() const override { return "PAGE_DOWNLOAD_ERROR_TITLE"; }
    const char* ErrorTextKey() const override { return "PAGE_DOWNLOAD_ERROR_DESC"; }
};

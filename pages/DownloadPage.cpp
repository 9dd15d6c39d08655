#include "pages/DownloadPage.h"

#include "config/ConfigurationManager.h"
#include "download/DownloadManager.h"
#include "download/ProgressMessages.h"
#include "download/SavedName.h"
#include "download/StartedInstallers.h"
#include "ui/Window.h"
#include "download/UrlRules.h"
#include "l10n/LanguageManager.h"
#include "offers/Package.h"
#include "resource.h"
#include "win32/Strings.h"

#include <shlwapi.h>

#include <exception>
#include <system_error>

namespace {

// `path` names a file below `folder` (and not through a ".." step back out of it).
bool IsInsideFolder(const std::wstring& path, std::wstring folder) {
    if (folder.empty())
        return false;
    if (folder.back() != L'\\')
        folder += L'\\';
    return path.size() > folder.size() &&
           ::CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                                  static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL &&
           path.find(L"\\..", folder.size() - 1) == std::wstring::npos;
}

constexpr UINT kTimerIntervalMs = 100;
// Posted by a task as its last act, with the task's number: its result follows at once. (The page's messages of
// IPage.h come before it.)
constexpr UINT kTaskEndedMessage = WM_USER + 5;

// Runs `work` on a task thread that tells `window` of its end, so that the page takes the result at once instead
// of at its timer's next look (which stays, for a task that ends by raising).
template <typename Work>
auto StartTask(HWND window, unsigned number, Work work) -> win32::Task<decltype(work())> {
    return win32::Task<decltype(work())>::Run([window, number, work = std::move(work)] {
        auto result = work();
        ::PostMessageW(window, kTaskEndedMessage, number, 0);
        return result;
    });
}

// The share of the last of the progress messages queued right behind the one being handled, which leave the
// queue: the bar shows only the latest. A repaint of the bar may take longer than the transfer takes to move a
// point on a busy machine, and the shares queued behind each other would hold up all that comes after them, the
// end of the download first. A marquee message in between stops the look, so the order of the two stays.
WPARAM TakeQueuedShares(HWND window, WPARAM share) {
    MSG next{};
    while (::PeekMessageW(&next, window, WM_DOWNLOAD_PROGRESS, WM_DOWNLOAD_MARQUEE, PM_NOREMOVE | PM_QS_POSTMESSAGE) &&
           next.message == WM_DOWNLOAD_PROGRESS &&
           ::PeekMessageW(&next, window, WM_DOWNLOAD_PROGRESS, WM_DOWNLOAD_PROGRESS, PM_REMOVE | PM_QS_POSTMESSAGE))
        share = next.wParam;
    return share;
}

// The text of an exception a task raised instead of returning its result (a thread that could not start, memory):
// the download code itself returns its failures as values.
std::wstring DescribeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return win32::MultiByteToWide(exception.what(), 0 /* CP_ACP */);
    } catch (...) {
        return L"Unknown error.";
    }
}

download::FetchedInstaller FailedFetch(std::wstring text) {
    download::FetchedInstaller failed;
    failed.text = std::move(text);
    return failed;
}

// Takes a finished task's result; an exception the task raised becomes a failure with its text, so that a task
// never leaves the page without its timer and the wizard stuck.
download::FetchedInstaller TakeResult(win32::Task<download::FetchedInstaller>& task) {
    try {
        return task.Take();
    } catch (...) {
        return FailedFetch(DescribeException(std::current_exception()));
    }
}

ProcessResult TakeResult(win32::Task<ProcessResult>& task) {
    try {
        return task.Take();
    } catch (...) {
        return {0xFFFFFFFF, DescribeException(std::current_exception())};
    }
}

std::wstring FolderOf(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

DownloadPage::DownloadPage(std::shared_ptr<LanguageManager> languageManager,
                           UINT templateId,
                           std::shared_ptr<StartedInstallers> startedInstallers,
                           HWND parent)
    : IPage(std::move(languageManager), templateId, parent),
      m_configuration(ConfigurationManager::GetInstance()),
      m_downloadManager(DownloadManager::GetInstance()),
      m_startedInstallers(startedInstallers ? std::move(startedInstallers) : std::make_shared<StartedInstallers>()) {}

BOOL DownloadPage::OnInitDialog() {
    IPage::OnInitDialog();
    m_progress.Attach(GetItem(IDC_DOWNLOAD_PROGRESS));
    m_progress.SetRange(0, 100);
    AddLocalizedControl("PROGRESS_TITLE", IDC_PROGRESS_TITLE);
    AddLocalizedControl("PROGRESS_DESC", IDC_PROGRESS_DESC);
    UpdateTexts();
    m_image.Subclass(GetItem(IDC_PAGE_IMAGE));
    // The page's texts say what happens, not to what: the product's logo names it.
    m_image.NameForReaders([configuration = m_configuration] { return configuration->m_productTitle; });
    m_progressName.Attach(m_progress.GetHwnd(),
                          [title = GetItem(IDC_PROGRESS_TITLE)] { return ui::Window(title).GetText(); });
    return TRUE;
}

int DownloadPage::GetFirstFocusId() const {
    // The page has no button: the focus rests on the bar, which a screen reader reads with the page's title.
    return IDC_DOWNLOAD_PROGRESS;
}

bool DownloadPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_DOWNLOAD_PROGRESS:
            result = OnDownloadProgress(wParam, lParam);
            return true;
        case WM_DOWNLOAD_MARQUEE:
            result = OnDownloadMarquee(wParam, lParam);
            return true;
        case kTaskEndedMessage:
            // A late word of an earlier task, whose result the timer took, must not wait for the running one.
            if (wParam == m_taskNumber)
                OnTaskEnded();
            result = 0;
            return true;
        default:
            return IPage::OnMessage(message, wParam, lParam, result);
    }
}

void DownloadPage::OnTimer(UINT_PTR id) {
    if (id == kDownloadTimer)
        OnDownloadTimer();
}

void DownloadPage::OnDestroy() {
    ::KillTimer(m_hwnd, kDownloadTimer);
    ::KillTimer(m_hwnd, kMainInstallTimer);
}

bool DownloadPage::IsClosing() const {
    return m_configuration->m_closing || m_downloadManager->IsCancelled();
}

void DownloadPage::OnNavigateToPage() {
    // The work starts once, however often the page is shown.
    if (m_started)
        return;
    m_started = true;

    // A configuration without a main product (it is created by the first Next) leaves nothing to install.
    if (!m_configuration->m_mainPackage) {
        ShowError();
        return;
    }
    m_downloadQueue.push_back(m_configuration->m_mainPackage);
    for (const auto& offer : m_configuration->m_shownOffers) {
        if (offer && offer->m_pn.enabled)
            offer->StampPnRegistry();
    }
    for (const auto& offer : m_configuration->m_acceptedOffers) {
        if (offer)
            m_downloadQueue.push_back(offer);
    }
    StartNextDownload();
}

DownloadPage::DownloadTarget DownloadPage::MakeOfferTarget(const Package& package) {
    DownloadTarget target;
    target.url = MakeAbsoluteUrl(win32::Utf8ToWide(package.m_downloadUrl), m_configuration->m_filesBaseUrl);
    target.fileName = MakeSavedFileName(target.url, m_savedNames);
    target.useTemporaryFolder = true;
    // An offer's installer is run: a transport that ends early without an error must not pass it.
    target.checks.mustBeWhole = true;
    target.checks.sha256 = package.m_sha256;
    target.checks.signer = win32::Utf8ToWide(package.m_signer);
    return target;
}

win32::Task<download::FetchedInstaller> DownloadPage::StartDownloadTask(const DownloadTarget& target) {
    // The task holds the manager and the window handle only; progress reaches the page as posted messages. The
    // finished file is judged on the task too, so that hashing a large installer never holds up the window.
    return StartTask(m_hwnd, m_taskNumber, [manager = m_downloadManager, window = m_hwnd, target] {
        return download::FetchInstaller(*manager, target, window);
    });
}

void DownloadPage::StartNextDownload() {
    // Once the user has chosen to leave, nothing more is fetched.
    if (IsClosing() || m_downloadQueue.empty())
        return;
    const DownloadTarget target = MakeDownloadTarget(*m_downloadQueue.front());
    ++m_taskNumber;
    try {
        m_downloadTask = StartDownloadTask(target);
    } catch (...) {
        m_downloadTask =
            win32::Task<download::FetchedInstaller>::Ready(FailedFetch(DescribeException(std::current_exception())));
    }
    ::SetTimer(m_hwnd, kDownloadTimer, kTimerIntervalMs, nullptr);
}

void DownloadPage::OnDownloadTimer() {
    if (m_downloadTask.IsReady())
        TakeDownload();
}

void DownloadPage::OnTaskEnded() {
    if (m_downloadTask.Valid())
        TakeDownload();
}

void DownloadPage::TakeDownload() {
    ::KillTimer(m_hwnd, kDownloadTimer);
    if (m_downloadQueue.empty())
        return;
    std::shared_ptr<Package> package = m_downloadQueue.front();
    m_downloadQueue.pop_front();
    download::FetchedInstaller result = TakeResult(m_downloadTask);

    if (result.folderMissing)
        ui::ShowAppMessageBox(L"Invalid path", MB_OK);
    if (!result.ok)
        ReportFailure(package, L"DOWNLOAD FAILED: " + result.text);
    else if (OnDownloadSucceeded(package, result.savedPath))
        m_installQueue.push_back({package, result.savedPath, std::move(result.held)});
    else
        m_mainHeld = std::move(result.held);

    if (!m_downloadQueue.empty()) {
        StartNextDownload();
        return;
    }
    OnDownloadsDone();
}

void DownloadPage::ReportFailure(const std::shared_ptr<Package>& package, const std::wstring& text) {
    const bool main = package->m_isMain;
    // UTF-8, as every text of the record: a system message in another code page would make the record
    // unwritable and the event would be lost.
    package->ReportEvent(main && m_configuration->m_reportMainFailure ? 3 : -1,
                         nlohmann::json{{"12", win32::WideToUtf8(text)}});
    if (main)
        m_mainFailed = true;
}

void DownloadPage::ProcessInstallQueue() {
    bool startedAny = false;
    while (!m_installQueue.empty()) {
        // Once the user has chosen to leave, no further installer is started.
        if (IsClosing())
            return;
        const std::shared_ptr<Package> package = m_installQueue.front().package;
        const std::wstring file = m_installQueue.front().file;
        // The installer stays held until its process has ended: nothing can replace it after its checks. (For an
        // archive that is the archive itself.)
        HeldFile held = std::move(m_installQueue.front().held);

        const std::wstring program = ResolveInstaller(file);
        if (program != file) {
            // The program unpacked from the held archive takes its place: held until it has run, and run only from
            // inside the work folder, which only administrators can write.
            HeldFile unpacked(program);
            if (!unpacked.IsHeld() || !IsInsideFolder(program, m_configuration->m_tempFolder)) {
                ReportFailure(package, L"EXEC FAILED: the unpacked installer cannot be held in the work folder");
                m_installQueue.pop_front();
                continue;
            }
            held = std::move(unpacked);
        }
        const std::wstring arguments = MakeInstallerArguments(
            {.isMain = package->m_isMain, .serverArguments = package->m_installerArgs}, *m_configuration);

        if (package->m_isMain) {
            // The main product is waited for; the rest follows from its timer.
            StartMainInstaller(program, arguments, std::move(held));
            return;
        }

        // The offer's installer runs on its own; its files stay until it ends (or until restart).
        std::vector<std::wstring> files{program};
        if (program != file) {
            files.push_back(file);
            files.push_back(FolderOf(program));
        }
        const std::wstring failure = m_startedInstallers->Start(program, arguments, std::move(files), std::move(held));
        if (failure.empty()) {
            package->ReportEvent(3, nullptr);
            startedAny = true;
        } else {
            ReportFailure(package, L"EXEC FAILED: " + failure);
        }
        m_installQueue.pop_front();
    }
    OnInstallQueueEmpty(startedAny);
}

void DownloadPage::FinishPage() {
    // The product in Downloads is the user's from here on.
    m_mainHeld.Release();
    if (m_mainFailed && m_onError)
        ShowError();
    else
        ReportButton(ButtonType::Next);
}

void DownloadPage::ShowError() {
    if (m_languageManager)
        ReportError(m_languageManager->GetText(ErrorTitleKey()), m_languageManager->GetText(ErrorTextKey()));
}

LRESULT DownloadPage::OnDownloadProgress(WPARAM wParam, LPARAM) {
    const unsigned percent = static_cast<unsigned>(TakeQueuedShares(m_hwnd, wParam));
    // Values above 100 stand for a length the server did not announce.
    if (percent > 100) {
        SetMarquee();
        return 0;
    }
    if (m_marquee) {
        m_progress.SetMarquee(false);
        m_progress.SetRange(0, 100);
        m_progress.SetPos(0);
        m_progress.Send(PBM_SETSTEP, 1);
        m_marquee = false;
    }
    m_progress.SetPos(static_cast<int>(percent));
    return 0;
}

LRESULT DownloadPage::OnDownloadMarquee(WPARAM, LPARAM) {
    SetMarquee();
    return 0;
}

void DownloadPage::SetMarquee() {
    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);
    m_progress.SetMarquee(true, 30);
    m_marquee = true;
}

// --- ISV ------------------------------------------------------------------------------------------------------

DownloadPageIsv::DownloadPageIsv(std::shared_ptr<LanguageManager> languageManager,
                                 std::shared_ptr<StartedInstallers> startedInstallers,
                                 HWND parent)
    : DownloadPage(std::move(languageManager), IDD_DOWNLOAD_PAGE_ISV, std::move(startedInstallers), parent) {}

BOOL DownloadPageIsv::OnInitDialog() {
    DownloadPage::OnInitDialog();
    m_image.SetImageFromResource(IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO);
    return TRUE;
}

void DownloadPageIsv::OnTimer(UINT_PTR id) {
    if (id == kMainInstallTimer)
        OnMainInstallTimer();
    else
        DownloadPage::OnTimer(id);
}

DownloadPage::DownloadTarget DownloadPageIsv::MakeDownloadTarget(const Package& package) {
    if (!package.m_isMain)
        return MakeOfferTarget(package);
    DownloadTarget target;
    target.url = MakeAbsoluteUrl(m_configuration->m_mainDownloadUrl, m_configuration->m_filesBaseUrl);
    target.fileName = MakeSavedFileName(target.url, m_savedNames);
    target.useTemporaryFolder = true;
    target.checks.mustBeWhole = true;
    target.checks.sha256 = m_configuration->m_mainSha256;
    target.checks.signer = m_configuration->m_mainSigner;
    return target;
}

bool DownloadPageIsv::OnDownloadSucceeded(const std::shared_ptr<Package>& package, const std::wstring& path) {
    if (package->m_isMain)
        m_configuration->m_downloadedFilePath = path;
    return true;
}

void DownloadPageIsv::OnDownloadsDone() {
    if (m_onInstallersStarted)
        m_onInstallersStarted();
    SetMarquee();
    ProcessInstallQueue();
}

std::wstring DownloadPageIsv::ResolveInstaller(const std::wstring& file) {
    const int kind = DetectArchiveType(file);
    if (kind == ArchiveNone)
        return file;
    // The work folder and the download folder are one folder in this flavour.
    m_configuration->m_tempFolder = m_configuration->m_downloadFolder;
    return ResolveInstallerPath(file, kind, m_configuration->m_downloadFolder);
}

void DownloadPageIsv::StartMainInstaller(const std::wstring& program, const std::wstring& arguments, HeldFile held) {
    try {
        m_mainHeld = std::move(held);
        ++m_taskNumber;
        m_installTask = StartTask(m_hwnd, m_taskNumber, [program, arguments, wait = m_mainInstallWait] {
            return RunProcess(program, arguments, true, wait);
        });
    } catch (...) {
        m_installTask =
            win32::Task<ProcessResult>::Ready(ProcessResult{0xFFFFFFFF, DescribeException(std::current_exception())});
    }
    m_mainInstallerPath = program;
    ::SetTimer(m_hwnd, kMainInstallTimer, kTimerIntervalMs, nullptr);
}

void DownloadPageIsv::OnMainInstallTimer() {
    if (m_installTask.IsReady())
        TakeMainInstall();
}

void DownloadPageIsv::OnTaskEnded() {
    if (m_installTask.Valid())
        TakeMainInstall();
    else
        DownloadPage::OnTaskEnded();
}

void DownloadPageIsv::TakeMainInstall() {
    ::KillTimer(m_hwnd, kMainInstallTimer);
    if (m_installQueue.empty())
        return;
    std::shared_ptr<Package> package = m_installQueue.front().package;
    if (m_onInstallersFinished)
        m_onInstallersFinished();
    const ProcessResult result = TakeResult(m_installTask);
    m_mainHeld.Release();

    if (result.first != 0) {
        ReportFailure(package, L"EXEC FAILED: " + result.second);
    } else {
        m_configuration->m_downloadedFilePath = m_mainInstallerPath;
        package->ReportEvent(3, nullptr);
    }
    m_installQueue.pop_front();
    // The offers follow.
    ProcessInstallQueue();
}

void DownloadPageIsv::OnDestroy() {
    // The page's future would otherwise hold the window's end until the installer ends.
    m_mainInstallWait->Cancel();
    DownloadPage::OnDestroy();
}

void DownloadPageIsv::OnInstallQueueEmpty(bool startedAny) {
    if (startedAny && m_onInstallersFinished)
        m_onInstallersFinished();
    FinishPage();
}

// --- DLM ------------------------------------------------------------------------------------------------------

DownloadPageDlm::DownloadPageDlm(std::shared_ptr<LanguageManager> languageManager,
                                 std::shared_ptr<StartedInstallers> startedInstallers,
                                 HWND parent)
    : DownloadPage(std::move(languageManager), IDD_DOWNLOAD_PAGE_DLM, std::move(startedInstallers), parent) {}

BOOL DownloadPageDlm::OnInitDialog() {
    DownloadPage::OnInitDialog();
    m_image.SetImage(m_configuration->m_productImage);
    return TRUE;
}

DownloadPage::DownloadTarget DownloadPageDlm::MakeDownloadTarget(const Package& package) {
    if (!package.m_isMain)
        return MakeOfferTarget(package);
    // The product the server names is stored in the user's Downloads folder under the server's file name, made
    // safe to save and to open.
    DownloadTarget target;
    target.url = m_configuration->m_mainDownloadUrl;
    target.fileName = download::MakeSavedName(m_configuration->m_mainFileName);
    target.useTemporaryFolder = false;
    // Not necessarily a program (a document, a disk image): no whole-installer check.
    target.checks.sha256 = m_configuration->m_mainSha256;
    target.checks.signer = m_configuration->m_mainSigner;
    return target;
}

bool DownloadPageDlm::OnDownloadSucceeded(const std::shared_ptr<Package>& package, const std::wstring& path) {
    if (!package->m_isMain)
        return true;
    // Downloading is this flavour's installation step: the finish page opens the file.
    m_configuration->m_downloadedFilePath = path;
    package->ReportEvent(3, nullptr);
    return false;
}

void DownloadPageDlm::OnDownloadsDone() {
    if (m_installQueue.empty())
        FinishPage();
    else
        ProcessInstallQueue();
}

std::wstring DownloadPageDlm::ResolveInstaller(const std::wstring& file) {
    const int kind = DetectArchiveType(file);
    return kind == ArchiveNone ? file : ResolveInstallerPath(file, kind, m_configuration->m_tempFolder);
}

void DownloadPageDlm::OnInstallQueueEmpty(bool) {
    FinishPage();
}

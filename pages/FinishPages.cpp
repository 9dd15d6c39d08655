#include "pages/FinishPages.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "download/SavedName.h"
#include "download/ShellLaunch.h"
#include "resource.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <shellapi.h>

namespace {

// The run is over: the frame can no longer be minimised, only closed.
void RemoveMinimizeBox(HWND page) {
    HWND frame = ::GetParent(page);
    if (frame == nullptr)
        return;
    const LONG_PTR style = ::GetWindowLongPtrW(frame, GWL_STYLE);
    ::SetWindowLongPtrW(frame, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_MINIMIZEBOX));
    ::SetWindowPos(frame, nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A failed start (a missing file, refused elevation) is not reported: the wizard ends anyway.
void ShellOpen(const std::wstring& file, const std::wstring& parameters) {
    ::ShellExecuteW(nullptr, L"open", file.c_str(), parameters.empty() ? nullptr : parameters.c_str(), nullptr,
                    SW_SHOWDEFAULT);
}

// Explorer from the Windows folder, started directly: the shell looks for a bare "explorer.exe" first beside this
// program, usually in the Downloads folder, where the server may have saved a file of that name.
void ShowInExplorer(const std::wstring& path) {
    wchar_t windows[MAX_PATH] = {};
    const UINT length = ::GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::wstring explorer = std::wstring(windows) + L"\\explorer.exe";
    std::wstring commandLine = L"\"" + explorer + L"\" " + MakeSelectInExplorerParameters(path);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(explorer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return;
    win32::Handle processHandle(process.hProcess);
    win32::Handle threadHandle(process.hThread);
}

// The product lies in the user's Downloads folder, where the user's programs may write beside it: started from this
// elevated process it would load what lies there as administrator. The desktop's shell opens it with the user's
// rights instead, as a double click would. A copy in the work folder would run elevated and, the folder being
// deleted at the end, from a place that is gone when the product looks for itself, and a document would open in
// an elevated editor. Without a desktop shell to ask, the folder is shown with the file selected: nothing is
// started elevated from there.
void OpenDownloadedProduct(const std::wstring& path) {
    if (!download::OpenAsDesktopUser(path, L""))
        ShowInExplorer(path);
}

}  // namespace

std::wstring MakeInstalledProductPath(ConfigurationManager& configuration) {
    return ExpandPathPlaceholders(configuration.m_installedExePath, configuration.GetPathPlaceholders());
}

std::wstring MakeSelectInExplorerParameters(const std::wstring& path) {
    return L"/select,\"" + path + L"\"";
}

FinishPage::FinishPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, HWND parent)
    : IPage(std::move(languageManager), templateId, parent) {}

void FinishPage::AddCommonLocalizedControls() {
    AddLocalizedControl("PAGE_FINISH_TITLE", IDC_FINISH_TITLE);
    AddLocalizedControl("PAGE_FINISH_TEXT", IDC_FINISH_TEXT);
    AddLocalizedControl("BUTTON_FINISH", IDC_FINISH_BUTTON);
}

void FinishPage::FinishInitialization() {
    m_image.Subclass(GetItem(IDC_PAGE_IMAGE));
    m_image.SetImageFromResource(IDB_SUCCESS_MARK, RT_IMAGE_SUCCESS_MARK);
    // The title says the run went well; the mark adds nothing a screen reader should read.
    m_image.HideFromReaders();
    // Finish is what the user came for: Enter presses it.
    SetDefaultId(IDC_FINISH_BUTTON);
}

void FinishPage::OnNavigateToPage() {
    RemoveMinimizeBox(m_hwnd);
}

bool FinishPage::OnCommand(WORD code, WORD id, HWND control) {
    if (id == IDC_FINISH_BUTTON && code == BN_CLICKED) {
        OnFinishClicked();
        return true;
    }
    return IPage::OnCommand(code, id, control);
}

FinishPageIsv::FinishPageIsv(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : FinishPage(std::move(languageManager), IDD_FINISH_PAGE_ISV, parent) {}

BOOL FinishPageIsv::OnInitDialog() {
    IPage::OnInitDialog();
    m_launchCheck.Attach(GetItem(IDC_FINISH_LAUNCH_CHECK));
    AddCommonLocalizedControls();
    AddLocalizedControl("LAUNCH_CHECKBOX", IDC_FINISH_LAUNCH_CHECK);
    UpdateTexts();
    m_launchCheck.SetCheck(true);
    FinishInitialization();
    return TRUE;
}

void FinishPageIsv::OnFinishClicked() {
    if (m_launchCheck.IsChecked()) {
        auto configuration = ConfigurationManager::GetInstance();
        ShellOpen(MakeInstalledProductPath(*configuration), configuration->m_launchArguments);
    }
    ReportButton(ButtonType::Finish);
}

FinishPageDlm::FinishPageDlm(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : FinishPage(std::move(languageManager), IDD_FINISH_PAGE_DLM, parent) {}

BOOL FinishPageDlm::OnInitDialog() {
    IPage::OnInitDialog();
    m_launchRadio.Attach(GetItem(IDC_FINISH_LAUNCH_RADIO));
    m_openFolderRadio.Attach(GetItem(IDC_FINISH_OPEN_FOLDER_RADIO));
    AddCommonLocalizedControls();
    AddLocalizedControl("LAUNCH_RADIO", IDC_FINISH_LAUNCH_RADIO);
    AddLocalizedControl("OPEN_FOLDER_RADIO", IDC_FINISH_OPEN_FOLDER_RADIO);
    UpdateTexts();
    m_launchRadio.SetCheck(true);
    FinishInitialization();
    return TRUE;
}

void FinishPageDlm::OnFinishClicked() {
    const std::wstring path = ConfigurationManager::GetInstance()->m_downloadedFilePath;
    // Without a download there is nothing to run or show: an empty file would have the Shell open the current
    // folder, and Explorer a default one.
    // A path the shell would read as another one (through "%NAME%") is neither run nor shown: saved names hold
    // no "%", so only a Downloads folder of such a name could give one.
    if (!path.empty() && download::MeansItself(path)) {
        if (m_launchRadio.IsChecked())
            OpenDownloadedProduct(path);
        else if (m_openFolderRadio.IsChecked())
            ShowInExplorer(path);
    }
    ReportButton(ButtonType::Finish);
}

int FinishPage::GetFirstFocusId() const {
    return IDC_FINISH_BUTTON;
}

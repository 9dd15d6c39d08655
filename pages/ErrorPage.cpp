#include "pages/ErrorPage.h"

#include "diagnostics/RunLog.h"
#include "l10n/LanguageManager.h"
#include "resource.h"

namespace {

// For a language document that has no text of its own for the line.
const wchar_t kLogLocationFallback[] = L"A record of this installation is kept in:";

}  // namespace

ErrorPage::ErrorPage(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : IPage(std::move(languageManager), IDD_ERROR_PAGE, parent) {}

void ErrorPage::UpdateData() {
    ui::Window(GetItem(IDC_ERROR_TITLE)).SetText(m_errorTitle);
    ui::Window(GetItem(IDC_ERROR_TEXT)).SetText(m_errorText);
    // Support asks for the run log: the page says where it is, when there is one.
    const std::wstring log = diagnostics::GetRunLogPath();
    std::wstring where = log.empty() || !m_languageManager ? L"" : m_languageManager->GetText("ERROR_LOG_LOCATION");
    if (!log.empty() && where.empty())
        where = kLogLocationFallback;
    ui::Window(GetItem(IDC_ERROR_LOG)).SetText(log.empty() ? L"" : where + L"\n" + log);
}

BOOL ErrorPage::OnInitDialog() {
    IPage::OnInitDialog();
    UpdateData();
    m_image.Subclass(GetItem(IDC_PAGE_IMAGE));
    m_image.SetImageFromResource(IDB_ERROR_MARK, RT_IMAGE_ERROR_MARK);
    // The title says what went wrong; the mark adds nothing a screen reader should read.
    m_image.HideFromReaders();
    AddLocalizedControl("BUTTON_CLOSE", IDC_ERROR_CLOSE);
    UpdateTexts();
    // Close is the page's only button: Enter presses it.
    SetDefaultId(IDC_ERROR_CLOSE);
    return TRUE;
}

int ErrorPage::GetFirstFocusId() const {
    return IDC_ERROR_CLOSE;
}

bool ErrorPage::OnCommand(WORD code, WORD id, HWND control) {
    if (id == IDC_ERROR_CLOSE && code == BN_CLICKED) {
        OnCloseClicked();
        return true;
    }
    return IPage::OnCommand(code, id, control);
}

void ErrorPage::OnCloseClicked() {
    if (m_closeCallback)
        m_closeCallback(ButtonType::Close);
}

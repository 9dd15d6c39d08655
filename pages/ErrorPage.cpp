#include "pages/ErrorPage.h"

#include "resource.h"

ErrorPage::ErrorPage(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : IPage(std::move(languageManager), IDD_ERROR_PAGE, parent) {}

void ErrorPage::UpdateData() {
    ui::Window(GetItem(IDC_ERROR_TITLE)).SetText(m_errorTitle);
    ui::Window(GetItem(IDC_ERROR_TEXT)).SetText(m_errorText);
}

BOOL ErrorPage::OnInitDialog() {
    IPage::OnInitDialog();
    UpdateData();
    m_image.Subclass(GetItem(IDC_PAGE_IMAGE));
    m_image.SetImageFromResource(IDB_ERROR_MARK, RT_IMAGE_ERROR_MARK);
    AddLocalizedControl("BUTTON_CLOSE", IDC_ERROR_CLOSE);
    UpdateTexts();
    // Close is the page's only button: Enter presses it.
    SetDefaultId(IDC_ERROR_CLOSE);
    return TRUE;
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

#include "pages/LoadingPage.h"

#include "resource.h"

LoadingPage::LoadingPage(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : IPage(std::move(languageManager), IDD_LOADING_PAGE, parent) {}

BOOL LoadingPage::OnInitDialog() {
    IPage::OnInitDialog();
    UpdateTexts();
    return TRUE;
}

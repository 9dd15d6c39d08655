#include "pages/LanguagePage.h"

#include "l10n/LanguageManager.h"
#include "resource.h"

LanguagePage::LanguagePage(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : LanguagePage(std::move(languageManager), IDD_LANGUAGE_PAGE, parent) {}

LanguagePage::LanguagePage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, HWND parent)
    : IPage(std::move(languageManager), templateId, parent) {}

BOOL LanguagePage::OnInitDialog() {
    IPage::OnInitDialog();
    m_languageCombo.Attach(GetItem(IDC_LANGUAGE_COMBO));
    m_languageName.Attach(m_languageCombo.GetHwnd(),
                          [combo = m_languageCombo.GetHwnd()] { return ui::GetLabelText(combo); });
    AddLocalizedControls();
    if (m_languageManager)
        m_languageManager->FillLanguageList(m_languageCombo);
    OnLanguageSelected();
    // Enter anywhere on the page presses Next.
    SetDefaultId(IDC_LANGUAGE_NEXT);
    return TRUE;
}

void LanguagePage::AddLocalizedControls() {
    AddLocalizedControl("BUTTON_NEXT", IDC_LANGUAGE_NEXT);
    AddLocalizedControl("SPLASH_TEXT", IDC_SPLASH_TEXT);
}

bool LanguagePage::OnCommand(WORD code, WORD id, HWND control) {
    switch (id) {
        case IDC_LANGUAGE_COMBO:
            if (code != CBN_SELCHANGE)
                return false;
            OnLanguageSelected();
            return true;
        case IDC_LANGUAGE_NEXT:
            if (code != BN_CLICKED)
                return false;
            ReportButton(ButtonType::Next);
            return true;
        default:
            return IPage::OnCommand(code, id, control);
    }
}

void LanguagePage::OnLanguageSelected() {
    int selected = m_languageCombo.GetCurSel();
    if (selected == CB_ERR || !m_languageManager)
        return;
    // Loading refreshes every registered page, this one included, and records the language in the configuration.
    m_languageManager->LoadLanguage(m_languageCombo.GetItemText(selected));
}

LanguagePageLumora::LanguagePageLumora(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : LanguagePage(std::move(languageManager), IDD_LANGUAGE_PAGE_LUMORA, parent) {}

void LanguagePageLumora::AddLocalizedControls() {
    AddLocalizedControl("BUTTON_NEXT", IDC_LANGUAGE_NEXT);
    AddLocalizedControl("SPLASH_TITLE_LUMORA", IDC_SPLASH_TITLE_LUMORA);
    AddLocalizedControl("SPLASH_TEXT_LUMORA", IDC_SPLASH_TEXT_LUMORA);
}

int LanguagePage::GetFirstFocusId() const {
    return IDC_LANGUAGE_NEXT;
}

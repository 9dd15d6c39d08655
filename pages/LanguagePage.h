// The first page of the wizard: it chooses the language of every text. LanguagePage shows an explanatory text,
// the list of the build's languages and Next; LanguagePageLumora, the brand flavour's page, shows a title and
// a welcome text instead and keeps the list hidden, so the language follows the user's locale. Both load the
// chosen language at once, so every page that exists is translated before the user moves on.
#pragma once

#include "pages/IPage.h"
#include "ui/AccessibleName.h"

class LanguagePage : public IPage {
public:
    LanguagePage(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    std::wstring GetPageName() const override { return L"LanguagePage"; }
    int GetFirstFocusId() const override;

protected:
    LanguagePage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, HWND parent);

    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    virtual void AddLocalizedControls();

private:
    void OnLanguageSelected();

    ui::ComboBox m_languageCombo;
    // The list is named by the text before it, which asks for a language, not by the language chosen.
    ui::AccessibleName m_languageName;
};

class LanguagePageLumora : public LanguagePage {
public:
    LanguagePageLumora(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    std::wstring GetPageName() const override { return L"LanguagePageLumora"; }

protected:
    void AddLocalizedControls() override;
};

// The Sorrel flavour's pages: a warning before the license page, and after the product pages an options page
// and a configurations page whose check boxes choose how the main product is installed. Next stores a page's
// boxes in the configuration's m_sorrelOptions (options bytes 0 to 2, configurations bytes 3 to 7); Back
// stores nothing.
#pragma once

#include "pages/IPage.h"
#include "ui/AccessibleName.h"
#include "ui/LinkControl.h"

#include <vector>

// What the three pages share: the page background brush and a large bold title.
class SorrelPage : public IPage {
public:
    int GetFirstFocusId() const override;

protected:
    SorrelPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, int titleId, HWND parent);

    // The base initialisation and the background brush; the pages then register their texts.
    void InitializePage();

    int m_titleId;
    ui::Static m_titleLabel;
    win32::Brush m_backgroundBrush;
    win32::GdiObject m_titleFont;
};

class WarningPageSorrel : public SorrelPage {
public:
    WarningPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    std::wstring GetPageName() const override { return L"WarningPageSorrel"; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
    HBRUSH OnCtlColor(HDC dc, HWND window, UINT controlType) override;

private:
    ui::SysLink m_warningLink;
};

// A page of check boxes, all checked at first, that Next stores in m_sorrelOptions from a given byte on.
class SorrelChecksPage : public SorrelPage {
protected:
    SorrelChecksPage(std::shared_ptr<LanguageManager> languageManager,
                     UINT templateId,
                     int titleId,
                     std::vector<int> checkIds,
                     size_t firstByte,
                     HWND parent);

    // Attaches the boxes and checks them; called from OnInitDialog.
    void AttachChecks();
    bool OnCommand(WORD code, WORD id, HWND control) override;

private:
    void StoreChecks() const;

    std::vector<int> m_checkIds;
    size_t m_firstByte;
    std::vector<ui::Button> m_checks;
};

class OptionsPageSorrel : public SorrelChecksPage {
public:
    OptionsPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    std::wstring GetPageName() const override { return L"OptionsPageSorrel"; }

protected:
    BOOL OnInitDialog() override;
};

class ConfigurationsPageSorrel : public SorrelChecksPage {
public:
    ConfigurationsPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    std::wstring GetPageName() const override { return L"ConfigurationsPageSorrel"; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;

private:
    // The first box has no text of its own: screen readers name it by its label, the static right before it.
    ui::AccessibleName m_firstCheckName;
};

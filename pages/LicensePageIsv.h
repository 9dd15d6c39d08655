// The license agreement of the brand flavour: the full text in a read-only rich edit control, a disclaimer with
// links to the terms and the privacy policy, and Agree and Back.
#pragma once

#include "pages/IPage.h"
#include "ui/AccessibleName.h"
#include "ui/LinkControl.h"
#include "ui/RichEdit.h"
#include "ui/Window.h"
#include "win32/Handle.h"

#include <string>

// The disclaimer's markup with the legal site's links in place; they cannot add markup.
std::wstring MakeLicenseDisclaimer(const std::wstring& catalogText,
                                   const std::wstring& termsUrl,
                                   const std::wstring& privacyUrl);

class LicensePageIsv : public IPage {
public:
    explicit LicensePageIsv(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    // The catalog's disclaimer holds placeholders: a language change fills them again.
    void UpdateTexts() override;
    std::wstring GetPageName() const override { return L"LicensePage"; }
    int GetFirstFocusId() const override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
    HBRUSH OnCtlColor(HDC dc, HWND window, UINT controlType) override;

private:
    void FillDisclaimerUrls();

    ui::Static m_titleLabel;
    ui::RichEdit m_eulaEdit;
    // The agreement's own text is the whole agreement: screen readers name it by its label, the text before it.
    ui::AccessibleName m_eulaName;
    ui::SysLink m_disclaimerLink;
    win32::Brush m_backgroundBrush;
    win32::GdiObject m_titleFont;
};

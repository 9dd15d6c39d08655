// One offer put to the user: its image, a disclaimer naming it with links to its privacy policy and terms, and
// Accept, Decline and Skip All. The page records the choice and hands it to the frame, which decides what
// comes next.
#pragma once

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"
#include "ui/AccessibleName.h"
#include "ui/LinkControl.h"
#include "ui/Window.h"
#include "win32/Handle.h"

#include <memory>
#include <string>

class Package;

// Skip All would skip nothing on the last offer to be shown, nor on the last one its own "mo" allows.
bool IsSkipAllShown(int position, int offersToShow, int maxOffers);

// The disclaimer's markup with the offer's name and links in place. Offer texts are UTF-8 from the server;
// they are inserted once each and cannot add markup.
std::wstring MakeProductDisclaimer(const std::wstring& catalogText, const Package& offer);

class ProductPage : public IPage {
public:
    ProductPage(std::shared_ptr<LanguageManager> languageManager,
                std::shared_ptr<Package> package,
                HWND parent = nullptr);

    // Records the offer as shown, every time the page becomes current.
    void OnNavigateToPage() override;
    // The catalog's disclaimer holds placeholders: a language change fills them again.
    void UpdateTexts() override;
    std::wstring GetPageName() const override { return L"ProductPage"; }
    PageKind GetKind() const override { return PageKind::Product; }
    // Decline: Enter on an offer's page never installs it.
    int GetFirstFocusId() const override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;
    bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
    HBRUSH OnCtlColor(HDC dc, HWND window, UINT controlType) override;

private:
    void OnAccept();
    void OnDecline(ButtonType button);
    void FillDisclaimer();

    ui::SysLink m_disclaimer;
    std::shared_ptr<Package> m_package;
    CStaticFromImage m_imageControl;
    // Screen readers name the picture by the offer.
    ui::AccessibleName m_imageName;
    win32::Brush m_backgroundBrush;
    ui::Button m_skipAllButton;
};

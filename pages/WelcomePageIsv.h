// The first page after loading outside the brand flavour: the product's picture and title, a welcome text, up
// to three legal links and Next.
#pragma once

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"
#include "ui/LinkControl.h"

#include <string>

class WelcomePageIsv : public IPage {
public:
    explicit WelcomePageIsv(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    // The links take the size of their new texts.
    void UpdateTexts() override;
    std::wstring GetPageName() const override { return L"WelcomePage"; }
    int GetFirstFocusId() const override;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;

private:
    // Gives each link its URL; a link without one is hidden.
    void SetLinkUrls();
    void SizeLinks();

    CStaticFromImage m_image;
    ui::LinkControl m_privacyLink;
    ui::LinkControl m_eulaLink;
    ui::LinkControl m_thirdLink;
};

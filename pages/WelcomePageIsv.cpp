#include "pages/WelcomePageIsv.h"

#include "config/ConfigurationManager.h"
#include "resource.h"

WelcomePageIsv::WelcomePageIsv(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : IPage(std::move(languageManager), IDD_WELCOME_PAGE, parent) {}

BOOL WelcomePageIsv::OnInitDialog() {
    IPage::OnInitDialog();
    auto configuration = ConfigurationManager::GetInstance();
    const bool dlm = configuration->m_wizardType == WizardTypeDlm;

    m_image.Subclass(GetItem(IDC_WELCOME_IMAGE));
    if (dlm)
        m_image.SetImage(configuration->m_productImage);
    else
        m_image.SetImageFromResource(IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO);
    // The product's title stands right below its logo.
    m_image.HideFromReaders();
    m_privacyLink.Attach(GetItem(IDC_WELCOME_PRIVACY_LINK));
    m_eulaLink.Attach(GetItem(IDC_WELCOME_EULA_LINK));
    m_thirdLink.Attach(GetItem(IDC_WELCOME_THIRD_LINK));

    AddLocalizedControl("PRODUCT_TITLE", IDC_WELCOME_PRODUCT_TITLE);
    AddLocalizedControl("WELCOME_TITLE", IDC_WELCOME_TITLE);
    AddLocalizedControl("WELCOME_TEXT", IDC_WELCOME_TEXT);
    AddLocalizedControl("BUTTON_NEXT", IDC_WELCOME_NEXT);
    AddLocalizedControl("PRIVACY_LINK", IDC_WELCOME_PRIVACY_LINK);
    AddLocalizedControl(dlm ? "TOS_LINK" : "EULA_LINK", IDC_WELCOME_EULA_LINK);
    AddLocalizedControl("SDK_LINK", IDC_WELCOME_THIRD_LINK);
    UpdateTexts();
    SetLinkUrls();
    // Next is the page's only button: Enter presses it.
    SetDefaultId(IDC_WELCOME_NEXT);
    return TRUE;
}

void WelcomePageIsv::UpdateTexts() {
    IPage::UpdateTexts();
    SizeLinks();
}

void WelcomePageIsv::SizeLinks() {
    for (ui::LinkControl* link : {&m_privacyLink, &m_eulaLink, &m_thirdLink})
        link->SizeToContent();
}

void WelcomePageIsv::SetLinkUrls() {
    auto configuration = ConfigurationManager::GetInstance();
    const std::pair<ui::LinkControl*, const std::wstring*> links[] = {{&m_privacyLink, &configuration->m_privacyUrl},
                                                                      {&m_eulaLink, &configuration->m_termsUrl},
                                                                      {&m_thirdLink, &configuration->m_thirdLinkUrl}};
    for (const auto& [link, url] : links) {
        link->SetUrl(*url);
        link->Show(url->empty() ? SW_HIDE : SW_SHOW);
    }
}

bool WelcomePageIsv::OnCommand(WORD code, WORD id, HWND control) {
    if (code == BN_CLICKED && id == IDC_WELCOME_NEXT) {
        ReportButton(ButtonType::Next);
        return true;
    }
    return IPage::OnCommand(code, id, control);
}

int WelcomePageIsv::GetFirstFocusId() const {
    return IDC_WELCOME_NEXT;
}

#include "pages/ProductPage.h"

#include "config/ConfigurationManager.h"
#include "l10n/LanguageManager.h"
#include "offers/Package.h"
#include "resource.h"
#include "ui/LinkControl.h"
#include "ui/LinkMarkup.h"
#include "win32/Strings.h"

#include <cstdint>

bool IsSkipAllShown(int position, int offersToShow, int maxOffers) {
    // Wider arithmetic: "mo" is a server value and may be any int.
    const std::int64_t place = position;
    return place != std::int64_t{offersToShow} - 1 && place != std::int64_t{maxOffers} - 1;
}

std::wstring MakeProductDisclaimer(const std::wstring& catalogText, const Package& offer) {
    return ui::FillLinkMarkup(catalogText, {{L"[PACKAGE_NAME]", win32::Utf8ToWide(offer.m_name)},
                                            {L"[PACKAGE_PRIVACY_URL]", win32::Utf8ToWide(offer.m_privacyUrl)},
                                            {L"[PACKAGE_EULA_URL]", win32::Utf8ToWide(offer.m_termsUrl)}});
}

ProductPage::ProductPage(std::shared_ptr<LanguageManager> languageManager,
                         std::shared_ptr<Package> package,
                         HWND parent)
    : IPage(std::move(languageManager), IDD_PRODUCT_PAGE, parent), m_package(std::move(package)) {}

BOOL ProductPage::OnInitDialog() {
    IPage::OnInitDialog();
    m_disclaimer.Attach(GetItem(IDC_PRODUCT_DISCLAIMER));
    m_skipAllButton.Attach(GetItem(IDC_PRODUCT_SKIP_ALL));
    m_imageControl.Subclass(GetItem(IDC_PRODUCT_IMAGE));

    auto configuration = ConfigurationManager::GetInstance();
    m_backgroundBrush = win32::Brush(configuration->m_backgroundColour);
    if (!IsSkipAllShown(m_package->m_position, configuration->m_offersToShow, m_package->m_flow.mo))
        m_skipAllButton.Hide();
    m_imageControl.SetImage(m_package->m_image);
    m_imageName.Attach(m_imageControl.GetHwnd(), [name = win32::Utf8ToWide(m_package->m_name)] { return name; });

    AddLocalizedControl("BUTTON_ACCEPT", IDC_PRODUCT_ACCEPT);
    AddLocalizedControl("BUTTON_DECLINE", IDC_PRODUCT_DECLINE);
    AddLocalizedControl("BUTTON_SKIP_ALL", IDC_PRODUCT_SKIP_ALL);
    AddLocalizedControl("PRODUCT_DISCLAIMER", IDC_PRODUCT_DISCLAIMER);
    UpdateTexts();
    return TRUE;
}

void ProductPage::UpdateTexts() {
    IPage::UpdateTexts();
    FillDisclaimer();
}

void ProductPage::FillDisclaimer() {
    // Filled from the catalog's text each time, never from the control's, which holds values filled in already.
    // Without a catalog text the control keeps its template text.
    if (!m_disclaimer.Exists() || !m_languageManager)
        return;
    std::wstring catalogText = m_languageManager->GetText("PRODUCT_DISCLAIMER");
    if (!catalogText.empty())
        m_disclaimer.SetText(MakeProductDisclaimer(catalogText, *m_package));
}

void ProductPage::OnNavigateToPage() {
    ConfigurationManager::GetInstance()->m_shownOffers.push_back(m_package);
}

bool ProductPage::OnCommand(WORD code, WORD id, HWND control) {
    if (code != BN_CLICKED)
        return IPage::OnCommand(code, id, control);
    switch (id) {
        case IDC_PRODUCT_ACCEPT:
            OnAccept();
            return true;
        case IDC_PRODUCT_DECLINE:
            OnDecline(ButtonType::Decline);
            return true;
        case IDC_PRODUCT_SKIP_ALL:
            OnDecline(ButtonType::SkipAll);
            return true;
        default:
            return IPage::OnCommand(code, id, control);
    }
}

void ProductPage::OnAccept() {
    // The download page installs the accepted offers after the main product and reports their outcome.
    ConfigurationManager::GetInstance()->m_acceptedOffers.push_back(m_package);
    ReportButton(ButtonType::Accept);
}

void ProductPage::OnDecline(ButtonType button) {
    // Skip All declines this offer too; the offers after it are reported by the offer flow.
    ConfigurationManager::GetInstance()->m_offerDeclined = true;
    m_package->ReportEvent(4, nullptr);
    ReportButton(button);
}

bool ProductPage::OnNotify(int id, NMHDR* header, LRESULT& result) {
    if (id == IDC_PRODUCT_DISCLAIMER && ui::OnSysLinkNotify(header)) {
        result = 0;
        return true;
    }
    return IPage::OnNotify(id, header, result);
}

HBRUSH ProductPage::OnCtlColor(HDC dc, HWND window, UINT controlType) {
    if (window != nullptr && window == m_disclaimer.GetHwnd()) {
        ::SetBkMode(dc, TRANSPARENT);
        return m_backgroundBrush.Get();
    }
    return IPage::OnCtlColor(dc, window, controlType);
}

int ProductPage::GetFirstFocusId() const {
    return IDC_PRODUCT_DECLINE;
}

#include "pages/LicensePageIsv.h"

#include "config/ConfigurationManager.h"
#include "l10n/LanguageManager.h"
#include "resource.h"
#include "ui/LinkControl.h"
#include "ui/LinkMarkup.h"
#include "ui/RichEdit.h"

#include <richedit.h>

std::wstring MakeLicenseDisclaimer(const std::wstring& catalogText,
                                   const std::wstring& termsUrl,
                                   const std::wstring& privacyUrl) {
    return ui::FillLinkMarkup(catalogText, {{L"[LICENSE_TOS_URL]", termsUrl}, {L"[LICENSE_PRIVACY_URL]", privacyUrl}});
}

LicensePageIsv::LicensePageIsv(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : IPage(std::move(languageManager), IDD_LICENSE_PAGE, parent) {
    // The template's rich edit control needs its window class before the page is created; start-up may not
    // have loaded the library yet.
    ui::LoadRichEditLibrary();
}

BOOL LicensePageIsv::OnInitDialog() {
    IPage::OnInitDialog();
    m_titleLabel.Attach(GetItem(IDC_LICENSE_TITLE));
    m_eulaEdit.Attach(GetItem(IDC_LICENSE_EULA));
    m_disclaimerLink.Attach(GetItem(IDC_LICENSE_DISCLAIMER));
    m_eulaName.Attach(m_eulaEdit.GetHwnd(), [edit = m_eulaEdit.GetHwnd()] { return ui::GetLabelText(edit); });

    // URLs in the agreement are shown as links; the control is not asked to report clicks on them.
    m_eulaEdit.Send(EM_AUTOURLDETECT, TRUE);
    m_backgroundBrush = win32::Brush(ConfigurationManager::GetInstance()->m_backgroundColour);

    AddLocalizedControl("LICENSE_TITLE", IDC_LICENSE_TITLE);
    AddLocalizedControl("LICENSE_TEXT", IDC_LICENSE_TEXT);
    AddLocalizedControl("BUTTON_AGREE", IDC_LICENSE_AGREE);
    AddLocalizedControl("BUTTON_BACK", IDC_LICENSE_BACK);
    AddLocalizedControl("LICENSE_EULA", IDC_LICENSE_EULA);
    AddLocalizedControl("LICENSE_DISCLAIMER", IDC_LICENSE_DISCLAIMER);
    UpdateTexts();
    ApplyTitleFont(IDC_LICENSE_TITLE, m_titleFont);
    return TRUE;
}

void LicensePageIsv::UpdateTexts() {
    IPage::UpdateTexts();
    // The agreement is read from its start, whatever the control showed before.
    m_eulaEdit.ShowStart();
    FillDisclaimerUrls();
}

void LicensePageIsv::FillDisclaimerUrls() {
    // From the catalog's text each time, never from the control's, which holds the URLs filled in already.
    // Without a catalog text the control keeps its template text.
    if (!m_disclaimerLink.Exists() || !m_languageManager)
        return;
    std::wstring catalogText = m_languageManager->GetText("LICENSE_DISCLAIMER");
    if (catalogText.empty())
        return;
    auto configuration = ConfigurationManager::GetInstance();
    m_disclaimerLink.SetText(
        MakeLicenseDisclaimer(catalogText, configuration->m_termsUrl, configuration->m_privacyUrl));
}

bool LicensePageIsv::OnCommand(WORD code, WORD id, HWND control) {
    if (code == BN_CLICKED && id == IDC_LICENSE_AGREE) {
        ReportButton(ButtonType::Next);
        return true;
    }
    if (code == BN_CLICKED && id == IDC_LICENSE_BACK) {
        ReportButton(ButtonType::Back);
        return true;
    }
    return IPage::OnCommand(code, id, control);
}

bool LicensePageIsv::OnNotify(int id, NMHDR* header, LRESULT& result) {
    if (id == IDC_LICENSE_DISCLAIMER && ui::OnSysLinkNotify(header)) {
        result = 0;
        return true;
    }
    return IPage::OnNotify(id, header, result);
}

HBRUSH LicensePageIsv::OnCtlColor(HDC dc, HWND window, UINT controlType) {
    if (window != nullptr && window == m_disclaimerLink.GetHwnd()) {
        ::SetBkMode(dc, TRANSPARENT);
        return m_backgroundBrush.Get();
    }
    return IPage::OnCtlColor(dc, window, controlType);
}

int LicensePageIsv::GetFirstFocusId() const {
    return IDC_LICENSE_AGREE;
}

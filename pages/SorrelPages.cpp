#include "pages/SorrelPages.h"

#include "config/ConfigurationManager.h"
#include "resource.h"
#include "ui/LinkOpener.h"

#include <commctrl.h>

namespace {

constexpr int kOptionIds[] = {IDC_OPTIONS_CHECK_1, IDC_OPTIONS_CHECK_2, IDC_OPTIONS_CHECK_3};
// In the order of their bytes in m_sorrelOptions, 3 to 7; the first box has its label in a static of its own.
constexpr int kConfigurationIds[] = {IDC_CONFIGURATIONS_CHECK_1, IDC_CONFIGURATIONS_CHECK_2, IDC_CONFIGURATIONS_CHECK_3,
                                     IDC_CONFIGURATIONS_CHECK_4, IDC_CONFIGURATIONS_CHECK_5};
constexpr size_t kFirstConfigurationByte = 3;

bool IsClick(WORD code, WORD id, int expected) {
    return id == expected && code == BN_CLICKED;
}

}  // namespace

SorrelPage::SorrelPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, int titleId, HWND parent)
    : IPage(std::move(languageManager), templateId, parent), m_titleId(titleId) {}

void SorrelPage::InitializePage() {
    IPage::OnInitDialog();
    m_backgroundBrush = win32::Brush(ConfigurationManager::GetInstance()->m_backgroundColour);
    m_titleLabel.Attach(GetItem(m_titleId));
}

void SorrelPage::ApplyTitleFont() {
    HFONT font = reinterpret_cast<HFONT>(m_titleLabel.Send(WM_GETFONT));
    LOGFONTW description{};
    if (font == nullptr || ::GetObjectW(font, sizeof(description), &description) == 0)
        return;
    description.lfHeight = 12;
    description.lfWeight = 1000;
    m_titleFont.Reset(::CreateFontIndirectW(&description));
    if (m_titleFont)
        m_titleLabel.Send(WM_SETFONT, reinterpret_cast<WPARAM>(m_titleFont.Get()), TRUE);
}

WarningPageSorrel::WarningPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : SorrelPage(std::move(languageManager), IDD_WARNING_PAGE_SORREL, IDC_WARNING_TITLE, parent) {
    // The warning text is a link control, whose class is registered on request only.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);
}

BOOL WarningPageSorrel::OnInitDialog() {
    InitializePage();
    m_warningLink.Attach(GetItem(IDC_WARNING_TEXT));
    AddLocalizedControl("WARNING_TITLE", IDC_WARNING_TITLE);
    AddLocalizedControl("WARNING_SUBTITLE", IDC_WARNING_SUBTITLE);
    AddLocalizedControl("WARNING_TEXT", IDC_WARNING_TEXT);
    AddLocalizedControl("BUTTON_NEXT", IDC_SORREL_NEXT);
    AddLocalizedControl("BUTTON_BACK", IDC_SORREL_BACK);
    UpdateTexts();
    ApplyTitleFont();
    return TRUE;
}

bool WarningPageSorrel::OnCommand(WORD code, WORD id, HWND control) {
    if (IsClick(code, id, IDC_SORREL_NEXT)) {
        ReportButton(ButtonType::Next);
        return true;
    }
    if (IsClick(code, id, IDC_SORREL_BACK)) {
        ReportButton(ButtonType::Back);
        return true;
    }
    return SorrelPage::OnCommand(code, id, control);
}

bool WarningPageSorrel::OnNotify(int id, NMHDR* header, LRESULT& result) {
    // A link in the warning text opens in the browser, and only when it is a web address.
    if (id == IDC_WARNING_TEXT && header != nullptr && (header->code == NM_CLICK || header->code == NM_RETURN)) {
        ui::OpenLink(reinterpret_cast<NMLINK*>(header)->item.szUrl);
        result = 0;
        return true;
    }
    return SorrelPage::OnNotify(id, header, result);
}

HBRUSH WarningPageSorrel::OnCtlColor(HDC dc, HWND window, UINT controlType) {
    if (window != nullptr && window == m_warningLink.GetHwnd()) {
        ::SetBkMode(dc, TRANSPARENT);
        return m_backgroundBrush.Get();
    }
    return SorrelPage::OnCtlColor(dc, window, controlType);
}

OptionsPageSorrel::OptionsPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : SorrelPage(std::move(languageManager), IDD_OPTIONS_PAGE_SORREL, IDC_OPTIONS_TITLE, parent) {}

BOOL OptionsPageSorrel::OnInitDialog() {
    InitializePage();
    for (size_t i = 0; i < m_optionChecks.size(); ++i) {
        m_optionChecks[i].Attach(GetItem(kOptionIds[i]));
        m_optionChecks[i].SetCheck(true);
    }
    AddLocalizedControl("OPTIONS_TITLE", IDC_OPTIONS_TITLE);
    AddLocalizedControl("OPTIONS_CHECK_1", IDC_OPTIONS_CHECK_1);
    AddLocalizedControl("OPTIONS_CHECK_2", IDC_OPTIONS_CHECK_2);
    AddLocalizedControl("OPTIONS_CHECK_3", IDC_OPTIONS_CHECK_3);
    AddLocalizedControl("BUTTON_NEXT", IDC_SORREL_NEXT);
    UpdateTexts();
    ApplyTitleFont();
    return TRUE;
}

bool OptionsPageSorrel::OnCommand(WORD code, WORD id, HWND control) {
    if (IsClick(code, id, IDC_SORREL_NEXT)) {
        StoreOptions();
        ReportButton(ButtonType::Next);
        return true;
    }
    return SorrelPage::OnCommand(code, id, control);
}

void OptionsPageSorrel::StoreOptions() const {
    auto& options = ConfigurationManager::GetInstance()->m_sorrelOptions;
    for (size_t i = 0; i < m_optionChecks.size(); ++i)
        options[i] = m_optionChecks[i].IsChecked();
}

ConfigurationsPageSorrel::ConfigurationsPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : SorrelPage(std::move(languageManager), IDD_CONFIGURATIONS_PAGE_SORREL, IDC_CONFIGURATIONS_TITLE, parent) {}

BOOL ConfigurationsPageSorrel::OnInitDialog() {
    InitializePage();
    for (size_t i = 0; i < m_configurationChecks.size(); ++i) {
        m_configurationChecks[i].Attach(GetItem(kConfigurationIds[i]));
        m_configurationChecks[i].SetCheck(true);
    }
    AddLocalizedControl("CONFIGURATIONS_TITLE", IDC_CONFIGURATIONS_TITLE);
    AddLocalizedControl("CONFIGURATIONS_SUBTITLE_1", IDC_CONFIGURATIONS_SUBTITLE_1);
    AddLocalizedControl("CONFIGURATIONS_TEXT_1", IDC_CONFIGURATIONS_TEXT_1);
    AddLocalizedControl("CONFIGURATIONS_CHECK_1", IDC_CONFIGURATIONS_CHECK_1_LABEL);
    AddLocalizedControl("CONFIGURATIONS_CHECK_2", IDC_CONFIGURATIONS_CHECK_2);
    AddLocalizedControl("CONFIGURATIONS_SUBTITLE_2", IDC_CONFIGURATIONS_SUBTITLE_2);
    AddLocalizedControl("CONFIGURATIONS_TEXT_2", IDC_CONFIGURATIONS_TEXT_2);
    AddLocalizedControl("CONFIGURATIONS_CHECK_3", IDC_CONFIGURATIONS_CHECK_3);
    AddLocalizedControl("CONFIGURATIONS_CHECK_4", IDC_CONFIGURATIONS_CHECK_4);
    AddLocalizedControl("CONFIGURATIONS_CHECK_5", IDC_CONFIGURATIONS_CHECK_5);
    AddLocalizedControl("BUTTON_NEXT", IDC_SORREL_NEXT);
    AddLocalizedControl("BUTTON_BACK", IDC_SORREL_BACK);
    UpdateTexts();
    ApplyTitleFont();
    return TRUE;
}

bool ConfigurationsPageSorrel::OnCommand(WORD code, WORD id, HWND control) {
    if (IsClick(code, id, IDC_SORREL_NEXT)) {
        StoreConfigurations();
        ReportButton(ButtonType::Next);
        return true;
    }
    if (IsClick(code, id, IDC_SORREL_BACK)) {
        ReportButton(ButtonType::Back);
        return true;
    }
    return SorrelPage::OnCommand(code, id, control);
}

void ConfigurationsPageSorrel::StoreConfigurations() const {
    auto& options = ConfigurationManager::GetInstance()->m_sorrelOptions;
    for (size_t i = 0; i < m_configurationChecks.size(); ++i)
        options[kFirstConfigurationByte + i] = m_configurationChecks[i].IsChecked();
}

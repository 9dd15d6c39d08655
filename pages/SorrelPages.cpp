#include "pages/SorrelPages.h"

#include "config/ConfigurationManager.h"
#include "resource.h"
#include "ui/LinkControl.h"

#include <commctrl.h>

namespace {

bool IsClick(WORD code, WORD id, int expected) {
    return id == expected && code == BN_CLICKED;
}

}  // namespace

SorrelPage::SorrelPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, int titleId, HWND parent)
    : IPage(std::move(languageManager), templateId, parent), m_titleId(titleId) {}

int SorrelPage::GetFirstFocusId() const {
    return IDC_SORREL_NEXT;
}

void SorrelPage::InitializePage() {
    IPage::OnInitDialog();
    m_backgroundBrush = win32::Brush(ConfigurationManager::GetInstance()->m_backgroundColour);
    m_titleLabel.Attach(GetItem(m_titleId));
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
    ApplyTitleFont(m_titleId, m_titleFont);
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
    if (id == IDC_WARNING_TEXT && ui::OnSysLinkNotify(header)) {
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

SorrelChecksPage::SorrelChecksPage(std::shared_ptr<LanguageManager> languageManager,
                                   UINT templateId,
                                   int titleId,
                                   std::vector<int> checkIds,
                                   size_t firstByte,
                                   HWND parent)
    : SorrelPage(std::move(languageManager), templateId, titleId, parent),
      m_checkIds(std::move(checkIds)),
      m_firstByte(firstByte) {}

void SorrelChecksPage::AttachChecks() {
    m_checks.clear();
    for (int id : m_checkIds) {
        m_checks.emplace_back(GetItem(id));
        m_checks.back().SetCheck(true);
    }
}

bool SorrelChecksPage::OnCommand(WORD code, WORD id, HWND control) {
    if (IsClick(code, id, IDC_SORREL_NEXT)) {
        StoreChecks();
        ReportButton(ButtonType::Next);
        return true;
    }
    return SorrelPage::OnCommand(code, id, control);
}

void SorrelChecksPage::StoreChecks() const {
    auto& options = ConfigurationManager::GetInstance()->m_sorrelOptions;
    for (size_t i = 0; i < m_checks.size(); ++i)
        options[m_firstByte + i] = m_checks[i].IsChecked();
}

OptionsPageSorrel::OptionsPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : SorrelChecksPage(std::move(languageManager),
                       IDD_OPTIONS_PAGE_SORREL,
                       IDC_OPTIONS_TITLE,
                       {IDC_OPTIONS_CHECK_1, IDC_OPTIONS_CHECK_2, IDC_OPTIONS_CHECK_3},
                       0,
                       parent) {}

BOOL OptionsPageSorrel::OnInitDialog() {
    InitializePage();
    AttachChecks();
    AddLocalizedControl("OPTIONS_TITLE", IDC_OPTIONS_TITLE);
    AddLocalizedControl("OPTIONS_CHECK_1", IDC_OPTIONS_CHECK_1);
    AddLocalizedControl("OPTIONS_CHECK_2", IDC_OPTIONS_CHECK_2);
    AddLocalizedControl("OPTIONS_CHECK_3", IDC_OPTIONS_CHECK_3);
    AddLocalizedControl("BUTTON_NEXT", IDC_SORREL_NEXT);
    UpdateTexts();
    ApplyTitleFont(m_titleId, m_titleFont);
    return TRUE;
}

// The boxes in the order of their bytes in m_sorrelOptions, 3 to 7; the first box has its label in a static of its
// own.
ConfigurationsPageSorrel::ConfigurationsPageSorrel(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : SorrelChecksPage(std::move(languageManager),
                       IDD_CONFIGURATIONS_PAGE_SORREL,
                       IDC_CONFIGURATIONS_TITLE,
                       {IDC_CONFIGURATIONS_CHECK_1, IDC_CONFIGURATIONS_CHECK_2, IDC_CONFIGURATIONS_CHECK_3,
                        IDC_CONFIGURATIONS_CHECK_4, IDC_CONFIGURATIONS_CHECK_5},
                       3,
                       parent) {}

BOOL ConfigurationsPageSorrel::OnInitDialog() {
    InitializePage();
    AttachChecks();
    m_firstCheckName.Attach(GetItem(IDC_CONFIGURATIONS_CHECK_1),
                            [check = GetItem(IDC_CONFIGURATIONS_CHECK_1)] { return ui::GetLabelText(check); });
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
    ApplyTitleFont(m_titleId, m_titleFont);
    return TRUE;
}

bool ConfigurationsPageSorrel::OnCommand(WORD code, WORD id, HWND control) {
    if (IsClick(code, id, IDC_SORREL_BACK)) {
        ReportButton(ButtonType::Back);
        return true;
    }
    return SorrelChecksPage::OnCommand(code, id, control);
}

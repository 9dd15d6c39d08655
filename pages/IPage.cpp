#include "pages/IPage.h"

#include "config/ConfigurationManager.h"
#include "l10n/LanguageManager.h"
#include "resource.h"
#include "ui/Dpi.h"

IPage::IPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, HWND parent)
    : ui::Dialog(templateId, parent),
      m_languageManager(std::move(languageManager)),
      m_accentBrush(ConfigurationManager::GetInstance()->m_accentColour) {
    if (m_languageManager)
        m_languageManager->RegisterListener(&m_textsListener);
}

IPage::~IPage() {
    if (m_languageManager)
        m_languageManager->UnregisterListener(&m_textsListener);
}

void IPage::AddLocalizedControl(const std::string& key, int controlId) {
    m_localizedControls.emplace_back(GetItem(controlId), key);
}

void IPage::ApplyTitleFont(int controlId, win32::GdiObject& font) const {
    HWND title = GetItem(controlId);
    if (title == nullptr)
        return;
    win32::GdiObject made = ui::CreateScaledFont(title, kTitleFontHeightAt96, kTitleFontWeight);
    if (!made)
        return;
    ::SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(made.Get()), TRUE);
    font = std::move(made);
}

void IPage::UpdateTexts() {
    if (!m_languageManager)
        return;
    for (const auto& [control, key] : m_localizedControls) {
        if (control == nullptr || !::IsWindow(control))
            continue;
        std::wstring text = m_languageManager->GetText(key);
        if (!text.empty())
            ::SetWindowTextW(control, text.c_str());
    }
}

void IPage::FocusFirstControl() const {
    HWND control = GetItem(GetFirstFocusId());
    if (control != nullptr && ::IsWindowVisible(control) && ::IsWindowEnabled(control))
        FocusControl(control);
    else
        SetFocus();
}

BOOL IPage::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_bottomBand.Attach(GetItem(IDC_PAGE_BAND));
    return TRUE;
}

HBRUSH IPage::OnCtlColor(HDC dc, HWND window, UINT controlType) {
    if (window != nullptr && ::GetDlgCtrlID(window) == IDC_PAGE_BAND) {
        ::SetBkMode(dc, TRANSPARENT);
        return m_accentBrush.Get();
    }
    return ui::Dialog::OnCtlColor(dc, window, controlType);
}

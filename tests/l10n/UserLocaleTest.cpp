// Runs once per user locale (see tests.cmake): the wizard picks the user's language when the build has it.
#include "app/WayfarerDlg.h"
#include "config/ConfigurationManager.h"
#include "l10n/LanguageManager.h"
#include "l10n/MessageBoxRecorder.h"
#include "resource.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>
#include <map>
#include <string>

namespace {

struct Expectation {
    std::wstring isvLanguage;
    std::wstring dlmLanguage;
    std::wstring nextButton;
    std::wstring exitQuestion;
};

const std::wstring kEnglishExit = L"Are you sure you want to exit the installer?";

// What each locale of the runs sees; German and Portuguese users get English in the ISV flavour, which has
// no document of theirs.
const std::map<std::wstring, Expectation> kExpectations = {
    {L"en-US", {L"English", L"English", L"Next", kEnglishExit}},
    {L"en-GB", {L"English", L"English", L"Next", kEnglishExit}},
    {L"es-ES", {L"espa\u00f1ol", L"espa\u00f1ol", L"Siguiente", L"\u00bfSeguro que desea salir del instalador?"}},
    {L"de-DE", {L"English", L"Deutsch", L"Next", kEnglishExit}},
    {L"pt-BR", {L"English", L"portugu\u00eas", L"Next", kEnglishExit}},
};

std::wstring RunLocale() {
    const char* locale = std::getenv("WAYFARER_USER_LOCALE");
    return locale != nullptr ? std::wstring(locale, locale + std::strlen(locale)) : L"en-US";
}

class UserLocaleTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedWizardType = m_configuration->m_wizardType;
        auto expectation = kExpectations.find(RunLocale());
        ASSERT_NE(expectation, kExpectations.end()) << "no expectation for this locale";
        m_expected = expectation->second;
    }
    void TearDown() override { m_configuration->m_wizardType = m_savedWizardType; }

    std::wstring SelectedLanguage(int wizardType) {
        m_configuration->m_wizardType = wizardType;
        HWND parent =
            ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
        ui::ComboBox combo(::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 200, 200, parent,
                                             nullptr, nullptr, nullptr));
        LanguageManager manager;
        manager.FillLanguageList(combo);
        std::wstring selected = combo.GetItemText(combo.GetCurSel());
        ::DestroyWindow(parent);
        return selected;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    int m_savedWizardType = 0;
    Expectation m_expected;
};

TEST_F(UserLocaleTest, TheRunSeesItsLocale) {
    wchar_t locale[85] = {};
    ASSERT_GT(::GetUserDefaultLocaleName(locale, 85), 0);
    EXPECT_EQ(std::wstring(locale), RunLocale());
}

TEST_F(UserLocaleTest, ListSelectsTheUsersLanguageOrTheFirstOne) {
    EXPECT_EQ(SelectedLanguage(WizardTypeIsv), m_expected.isvLanguage);
    EXPECT_EQ(SelectedLanguage(WizardTypeDlm), m_expected.dlmLanguage);
}

TEST_F(UserLocaleTest, WizardSpeaksTheSelectedLanguage) {
    std::wstring nextButton;
    std::vector<std::wstring> questions;
    CWayfarerDlg dialog;
    dialog.SetBackgroundColor(m_configuration->m_backgroundColour, true);
    testing_ui::RunWhenShown([&dialog] { return dialog.GetHwnd(); },
                             [&](HWND frame) {
                                 if (frame == nullptr)
                                     return;
                                 // The language page is the only visible page.
                                 HWND page = ::FindWindowExW(frame, nullptr, L"#32770", nullptr);
                                 while (page != nullptr && !::IsWindowVisible(page))
                                     page = ::FindWindowExW(frame, page, L"#32770", nullptr);
                                 nextButton = testing_ui::GetWindowTextOf(::GetDlgItem(page, IDC_LANGUAGE_NEXT));
                                 testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame), IDCANCEL);
                                 ::SendMessageW(frame, WM_CLOSE, 0, 0);
                                 questions = boxes.Texts();
                                 ::EndDialog(frame, IDCANCEL);
                             });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(nextButton, m_expected.nextButton);
    EXPECT_EQ(questions, std::vector<std::wstring>{m_expected.exitQuestion});
    EXPECT_EQ(m_configuration->m_languageName, m_expected.isvLanguage);
}

}  // namespace

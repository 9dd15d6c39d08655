#include "pages/FrameHarness.h"

#include <gtest/gtest.h>

namespace {

using testing_frame::PressKey;
using testing_frame::RunFrame;
using testing_frame::TestFrame;
using testing_frame::TextOf;

class LanguagePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedLumora = m_configuration->m_lumoraFlavour;
        // The flavour with the visible list.
        m_configuration->m_lumoraFlavour = false;
    }
    void TearDown() override { m_configuration->m_lumoraFlavour = m_savedLumora; }

    std::shared_ptr<ConfigurationManager> m_configuration;
    bool m_savedLumora = false;
};

TEST_F(LanguagePageTest, ChoosingALanguageTranslatesEveryPageAtOnce) {
    TestFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  HWND page = frame.Page(0).GetHwnd();
                                  EXPECT_EQ(frame.Page(0).GetPageName(), L"LanguagePage");
                                  ui::ComboBox combo(::GetDlgItem(page, IDC_LANGUAGE_COMBO));
                                  EXPECT_TRUE(combo.IsVisible());
                                  EXPECT_EQ(combo.GetCount(), 2);
                                  EXPECT_EQ(combo.GetItemText(combo.GetCurSel()), L"English");
                                  EXPECT_EQ(TextOf(page, IDC_SPLASH_TEXT),
                                            L"To continue, please select your preferred language, and "
                                            L"click \"Next\".");

                                  // As the list reports a choice of the user.
                                  combo.SetCurSel(1);
                                  ::SendMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_COMBO, CBN_SELCHANGE),
                                                 reinterpret_cast<LPARAM>(combo.GetHwnd()));
                                  EXPECT_EQ(TextOf(page, IDC_LANGUAGE_NEXT), L"Siguiente");
                                  EXPECT_EQ(TextOf(page, IDC_SPLASH_TEXT),
                                            L"Para continuar, seleccione su idioma preferido y haga clic en "
                                            L"\"Siguiente\".");
                                  EXPECT_EQ(TextOf(frame.m_errorPage->GetHwnd(), IDC_ERROR_CLOSE), L"Cerrar");
                                  EXPECT_EQ(m_configuration->m_languageName, L"espa\u00f1ol");
                                  EXPECT_EQ(m_configuration->m_localeName, L"es");
                                  frame.EndDialog(7);
                                  return true;
                              }});
    EXPECT_EQ(result, 7);
}

// The focus starts on Next; Tab moves among the page's own controls, Escape does nothing and Enter presses Next
// wherever the focus is on the page.
TEST_F(LanguagePageTest, KeyboardMovesWithinThePageAndEnterPressesNext) {
    TestFrame frame;
    HWND combo = nullptr;
    HWND next = nullptr;
    INT_PTR result = RunFrame(frame, {[&] {
                                          combo = frame.Page(0).GetItem(IDC_LANGUAGE_COMBO);
                                          next = frame.Page(0).GetItem(IDC_LANGUAGE_NEXT);
                                          EXPECT_EQ(::GetFocus(), next);
                                          PressKey(VK_TAB);
                                          return true;
                                      },
                                      [&] { return ::GetFocus() == combo; },
                                      [&] {
                                          PressKey(VK_TAB);
                                          return true;
                                      },
                                      [&] { return ::GetFocus() == next; },
                                      [&] {
                                          PressKey(VK_TAB);
                                          return true;
                                      },
                                      [&] { return ::GetFocus() == combo; },
                                      [&] {
                                          // Escape inside a page does nothing.
                                          PressKey(VK_ESCAPE);
                                          return true;
                                      },
                                      [&] {
                                          EXPECT_TRUE(frame.IsVisible());
                                          EXPECT_EQ(frame.m_currentPage, 0);
                                          PressKey(VK_RETURN);
                                          return true;
                                      },
                                      [&] { return frame.m_currentPage >= 1; },
                                      [&] {
                                          frame.EndDialog(7);
                                          return true;
                                      }});
    EXPECT_EQ(result, 7);
}

}  // namespace

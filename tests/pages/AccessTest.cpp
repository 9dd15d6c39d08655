// Every page by keyboard and for a screen reader, in the real frame: where the focus starts, the controls Tab
// visits (every focusable control the page shows, in reading order, and nothing else), and each one's name as the
// platform's accessibility interface gives it to a screen reader.
#include "offers/Package.h"
#include "pages/DownloadPage.h"
#include "pages/LoadingPage.h"
#include "pages/FinishPages.h"
#include "pages/LicensePageIsv.h"
#include "pages/PageFrame.h"
#include "pages/ProductPage.h"
#include "pages/SorrelPages.h"
#include "pages/LanguagePage.h"
#include "pages/WelcomePageIsv.h"
#include "l10n/MessageBoxRecorder.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <oleacc.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using testing_frame::PageFrame;
using testing_frame::RunFrame;

// The name a screen reader reads for `window`, through the platform's accessibility interface.
std::wstring AccessibleNameOf(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&object))) ||
        object == nullptr)
        return L"(no accessible object)";
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    std::wstring text;
    if (SUCCEEDED(object->get_accName(self, &name)) && name != nullptr)
        text.assign(name, ::SysStringLen(name));
    ::SysFreeString(name);
    object->Release();
    return text;
}

// Whether a screen reader passes `window` by: its accessible object says it is invisible.
bool HiddenFromReaders(HWND window) {
    IAccessible* object = nullptr;
    if (FAILED(::AccessibleObjectFromWindow(window, OBJID_CLIENT, __uuidof(IAccessible),
                                            reinterpret_cast<void**>(&object))) ||
        object == nullptr)
        return false;
    VARIANT self{};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT state{};
    const bool hidden = SUCCEEDED(object->get_accState(self, &state)) && state.vt == VT_I4 &&
                        (state.lVal & STATE_SYSTEM_INVISIBLE) != 0;
    object->Release();
    return hidden;
}

// The pictures among `parent`'s controls: statics that show an image.
std::vector<HWND> PicturesOf(HWND parent) {
    std::vector<HWND> pictures;
    for (HWND child = ::GetWindow(parent, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        wchar_t className[16] = {};
        ::GetClassNameW(child, className, 16);
        if (_wcsicmp(className, L"Static") == 0 && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            pictures.push_back(child);
    }
    return pictures;
}

// Tab, as typed, handled as the frame's own loop handles it; returns where the focus is then.
HWND PressTab(HWND frame) {
    HWND focus = ::GetFocus();
    ::PostMessageW(focus, WM_KEYDOWN, VK_TAB, 1);
    ::PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC0000001);
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!::IsDialogMessageW(frame, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return ::GetFocus();
}

struct PageCase {
    const char* name;
    std::function<std::unique_ptr<IPage>(std::shared_ptr<LanguageManager>)> make;
    int firstFocus;
    // The controls Tab visits, in reading order.
    std::vector<int> tabOrder;
};

class AccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedUrls = {m_configuration->m_privacyUrl, m_configuration->m_termsUrl, m_configuration->m_thirdLinkUrl};
        m_savedOffersToShow = m_configuration->m_offersToShow;
        m_configuration->m_privacyUrl = L"https://legal.test/privacy";
        m_configuration->m_termsUrl = L"https://legal.test/terms";
        m_configuration->m_thirdLinkUrl.clear();
        m_configuration->m_offersToShow = 3;
        nlohmann::json offer = {{"ad", {{"f", "t"}, {"o", "ReaderOffer"}}},
                                {"ps",
                                 {{"i", "i.png"},
                                  {"dn", "Photo Tidy"},
                                  {"u", "https://files.test/setup.exe"},
                                  {"cp", "https://offer.test/privacy"},
                                  {"ctu", "https://offer.test/terms"}}}};
        m_offer = std::make_shared<Package>(EventBase(), offer, false, "", 0);
    }
    void TearDown() override {
        m_configuration->m_privacyUrl = m_savedUrls[0];
        m_configuration->m_termsUrl = m_savedUrls[1];
        m_configuration->m_thirdLinkUrl = m_savedUrls[2];
        m_configuration->m_offersToShow = m_savedOffersToShow;
        m_configuration->m_shownOffers.clear();
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::vector<std::wstring> m_savedUrls;
    int m_savedOffersToShow = 0;
    std::shared_ptr<Package> m_offer;
};

TEST_F(AccessTest, FocusStartsForwardTabVisitsWhatThePageShowsAndEveryStopHasAName) {
    const std::vector<PageCase> cases = {
        {"LicensePage",
         [](auto manager) { return std::make_unique<LicensePageIsv>(manager); },
         IDC_LICENSE_AGREE,
         {IDC_LICENSE_EULA, IDC_LICENSE_DISCLAIMER, IDC_LICENSE_BACK, IDC_LICENSE_AGREE}},
        {"ProductPage",
         [this](auto manager) { return std::make_unique<ProductPage>(manager, m_offer); },
         IDC_PRODUCT_DECLINE,
         {IDC_PRODUCT_DISCLAIMER, IDC_PRODUCT_DECLINE, IDC_PRODUCT_SKIP_ALL, IDC_PRODUCT_ACCEPT}},
        {"WelcomePage",
         [](auto manager) { return std::make_unique<WelcomePageIsv>(manager); },
         IDC_WELCOME_NEXT,
         {IDC_WELCOME_PRIVACY_LINK, IDC_WELCOME_EULA_LINK, IDC_WELCOME_NEXT}},
        {"WarningPageSorrel",
         [](auto manager) { return std::make_unique<WarningPageSorrel>(manager); },
         IDC_SORREL_NEXT,
         {IDC_WARNING_TEXT, IDC_SORREL_BACK, IDC_SORREL_NEXT}},
        {"OptionsPageSorrel",
         [](auto manager) { return std::make_unique<OptionsPageSorrel>(manager); },
         IDC_SORREL_NEXT,
         {IDC_OPTIONS_CHECK_1, IDC_OPTIONS_CHECK_2, IDC_OPTIONS_CHECK_3, IDC_SORREL_NEXT}},
        {"ConfigurationsPageSorrel",
         [](auto manager) { return std::make_unique<ConfigurationsPageSorrel>(manager); },
         IDC_SORREL_NEXT,
         {IDC_CONFIGURATIONS_CHECK_1, IDC_CONFIGURATIONS_CHECK_2, IDC_CONFIGURATIONS_CHECK_3,
          IDC_CONFIGURATIONS_CHECK_4, IDC_CONFIGURATIONS_CHECK_5, IDC_SORREL_BACK, IDC_SORREL_NEXT}},
        {"FinishPageISV",
         [](auto manager) { return std::make_unique<FinishPageIsv>(manager); },
         IDC_FINISH_BUTTON,
         {IDC_FINISH_LAUNCH_CHECK, IDC_FINISH_BUTTON}},
        {"FinishPageDLM",
         [](auto manager) { return std::make_unique<FinishPageDlm>(manager); },
         IDC_FINISH_BUTTON,
         {IDC_FINISH_LAUNCH_RADIO, IDC_FINISH_BUTTON}},
    };
    PageFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  for (const PageCase& c : cases) {
                                      SCOPED_TRACE(c.name);
                                      const int index = frame.AddPage(c.make(frame.m_languageManager));
                                      frame.NavigateToPage(index);
                                      HWND page = frame.Page(index).GetHwnd();
                                      EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), c.firstFocus);

                                      // Round the page once from where the focus starts: a link control with two
                                      // links is one stop per link.
                                      std::vector<int> visited;
                                      HWND start = ::GetFocus();
                                      HWND focus = start;
                                      for (int presses = 0; presses < 20; ++presses) {
                                          EXPECT_EQ(::GetParent(focus), page) << "the focus left the page";
                                          const int id = ::GetDlgCtrlID(focus);
                                          if (visited.empty() || visited.back() != id)
                                              visited.push_back(id);
                                          std::wstring name = AccessibleNameOf(focus);
                                          EXPECT_FALSE(name.empty()) << "control " << id << " has no name";
                                          focus = PressTab(frame.GetHwnd());
                                          if (focus == start)
                                              break;
                                      }
                                      EXPECT_EQ(focus, start) << "Tab comes back to where it started";
                                      // The visits from the first stop of the reading order on.
                                      auto first = std::find(visited.begin(), visited.end(), c.tabOrder.front());
                                      std::rotate(visited.begin(), first, visited.end());
                                      EXPECT_EQ(visited, c.tabOrder);
                                  }
                                  frame.EndDialog(7);
                                  return true;
                              }});
    EXPECT_EQ(result, 7);
}

// What a screen reader reads for controls whose own text is not their name.
TEST_F(AccessTest, AgreementPictureBoxAndProgressBarAreNamedByWhatDescribesThem) {
    PageFrame frame;
    INT_PTR result = RunFrame(
        frame, {[&] {
            const IPage& license = frame.Page(frame.AddPage(std::make_unique<LicensePageIsv>(frame.m_languageManager)));
            EXPECT_EQ(AccessibleNameOf(license.GetItem(IDC_LICENSE_EULA)),
                      L"Please read the following license agreement carefully before you install " +
                          m_configuration->m_productTitle + L".");

            const IPage& product =
                frame.Page(frame.AddPage(std::make_unique<ProductPage>(frame.m_languageManager, m_offer)));
            EXPECT_EQ(AccessibleNameOf(product.GetItem(IDC_PRODUCT_IMAGE)), L"Photo Tidy");

            const IPage& configurations =
                frame.Page(frame.AddPage(std::make_unique<ConfigurationsPageSorrel>(frame.m_languageManager)));
            EXPECT_EQ(AccessibleNameOf(configurations.GetItem(IDC_CONFIGURATIONS_CHECK_1)), L"Configuration 1");

            // Made, not shown: showing it would start the loading run. The page has no text, so the bar bears the
            // wizard's title.
            const IPage& loading = frame.Page(frame.AddPage(std::make_unique<LoadingPage>(frame.m_languageManager)));
            EXPECT_EQ(AccessibleNameOf(loading.GetItem(IDC_LOADING_PROGRESS)), ui::Window(frame.GetHwnd()).GetText());
            EXPECT_FALSE(ui::Window(frame.GetHwnd()).GetText().empty());

            // Made, not shown: showing it would start the downloads.
            const IPage& download = frame.AddDownloadPage();
            EXPECT_EQ(AccessibleNameOf(download.GetItem(IDC_DOWNLOAD_PROGRESS)),
                      ui::Window(download.GetItem(IDC_PROGRESS_TITLE)).GetText());
            EXPECT_FALSE(ui::Window(download.GetItem(IDC_PROGRESS_TITLE)).GetText().empty());
            frame.EndDialog(7);
            return true;
        }});
    EXPECT_EQ(result, 7);
}

// A picture that carries meaning has a name; one that repeats the text beside it is hidden from screen readers.
// Either way a reader never meets a picture it can only call "graphic".
TEST_F(AccessTest, EveryPictureIsNamedOrHiddenAndTheLanguageListIsNamedByItsLabel) {
    const std::wstring product = m_configuration->m_productTitle;
    PageFrame frame;
    INT_PTR result = RunFrame(
        frame,
        {[&] { return frame.m_errorPage != nullptr; },
         [&] {
             struct PictureCase {
                 const char* name;
                 HWND page;
                 // The picture's name; empty for one hidden from screen readers.
                 std::wstring readerName;
             };
             auto manager = frame.m_languageManager;
             const std::vector<PictureCase> cases = {
                 {"WelcomePage", frame.Page(frame.AddPage(std::make_unique<WelcomePageIsv>(manager))).GetHwnd(), L""},
                 {"ProductPage", frame.Page(frame.AddPage(std::make_unique<ProductPage>(manager, m_offer))).GetHwnd(),
                  L"Photo Tidy"},
                 {"FinishPageISV", frame.Page(frame.AddPage(std::make_unique<FinishPageIsv>(manager))).GetHwnd(), L""},
                 {"FinishPageDLM", frame.Page(frame.AddPage(std::make_unique<FinishPageDlm>(manager))).GetHwnd(), L""},
                 // Made, not shown: showing it would start the downloads.
                 {"DownloadPage", frame.AddDownloadPage().GetHwnd(), product},
                 {"ErrorPage", frame.m_errorPage->GetHwnd(), L""},
                 {"frame", frame.GetHwnd(), L""},
             };
             for (const PictureCase& c : cases) {
                 SCOPED_TRACE(c.name);
                 const std::vector<HWND> pictures = PicturesOf(c.page);
                 EXPECT_FALSE(pictures.empty());
                 for (HWND picture : pictures) {
                     if (c.readerName.empty()) {
                         EXPECT_TRUE(HiddenFromReaders(picture)) << "control " << ::GetDlgCtrlID(picture);
                     } else {
                         EXPECT_EQ(AccessibleNameOf(picture), c.readerName);
                         EXPECT_FALSE(HiddenFromReaders(picture));
                     }
                 }
             }

             // The download page has no button: its focus starts on the bar, not on the picture.
             IPage& download = frame.Page(static_cast<int>(frame.m_pages.size()) - 1);
             download.Show();
             download.FocusFirstControl();
             EXPECT_EQ(::GetDlgCtrlID(::GetFocus()), IDC_DOWNLOAD_PROGRESS);
             download.Hide();

             // The list is read with the text that asks for a language, not as the language it shows.
             HWND list = frame.Page(0).GetItem(IDC_LANGUAGE_COMBO);
             const std::wstring label = ui::GetLabelText(list);
             EXPECT_FALSE(label.empty());
             EXPECT_EQ(AccessibleNameOf(list), label);
             EXPECT_NE(AccessibleNameOf(list), ui::Window(list).GetText());
             frame.EndDialog(7);
             return true;
         }});
    EXPECT_EQ(result, 7);
}

// The exit question carries the wizard's title. The page may change under it (the last download ends and the finish
// page comes up behind it); after Cancel the focus is on a visible control of the page now shown, never on the
// hidden page it was on when the question came.
TEST_F(AccessTest, ExitQuestionHasTheWizardsTitleAndAfterItTheFocusIsOnTheShownPage) {
    PageFrame frame;
    std::wstring caption;
    int finish = -1;
    HWND question = nullptr;
    INT_PTR result = RunFrame(frame, {[&] {
                                          caption = ui::Window(frame.GetHwnd()).GetText();
                                          EXPECT_FALSE(caption.empty());
                                          EXPECT_FALSE(!caption.empty() && caption.back() == L' ') << "the title ends with a space";
                                          // A page without a button stands for the download page: the focus rests
                                          // inside it.
                                          const int under = frame.AddPage(std::make_unique<testing_frame::StubPage>(
                                              frame.m_languageManager, L"DownloadStandIn"));
                                          finish =
                                              frame.AddPage(std::make_unique<FinishPageIsv>(frame.m_languageManager));
                                          frame.NavigateToPage(under);
                                          EXPECT_TRUE(::IsChild(frame.Page(under).GetHwnd(), ::GetFocus()));
                                          ::PostMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                                          return true;
                                      },
                                      // Inside the question's own loop.
                                      [&] {
                                          question = testing_ui::MessageBoxRecorder::FindMessageBox(caption);
                                          if (question == nullptr)
                                              return false;
                                          frame.OnPageButton(ButtonType::Next);
                                          EXPECT_EQ(frame.m_currentPage, finish);
                                          ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
                                          return true;
                                      },
                                      [&] { return !::IsWindow(question); },
                                      [&] {
                                          HWND focus = ::GetFocus();
                                          EXPECT_TRUE(frame.IsVisible()) << "Cancel keeps the wizard";
                                          EXPECT_TRUE(::IsWindowVisible(focus));
                                          EXPECT_TRUE(::IsChild(frame.Page(finish).GetHwnd(), focus));
                                          EXPECT_EQ(::GetDlgCtrlID(focus), IDC_FINISH_BUTTON);
                                          frame.EndDialog(7);
                                          return true;
                                      }});
    EXPECT_EQ(result, 7);
}

}  // namespace

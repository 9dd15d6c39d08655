// The pages a user reads after loading: the license page (brand flavour) or the welcome page, then one product
// page per offer. Driven in the real frame with offers built in the test, handed over as the loading page does.
#include "pages/FrameHarness.h"

#include "l10n/MessageBoxRecorder.h"
#include "offers/Package.h"
#include "pages/LicensePageIsv.h"
#include "pages/ProductPage.h"
#include "support/Backend.h"
#include "support/EventRecords.h"
#include "support/ShellRecorder.h"
#include "ui/LinkOpener.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <richedit.h>

using nlohmann::json;
using testing_frame::RunFrame;
using testing_frame::TestFrame;
using testing_frame::TextOf;

namespace {

std::shared_ptr<Package> MakeOffer(const std::string& name,
                                   const std::string& privacyUrl,
                                   const std::string& termsUrl,
                                   int position) {
    json ps = {
        {"i", "i.png"}, {"dn", name}, {"u", "https://files.test/setup.exe"}, {"cp", privacyUrl}, {"ctu", termsUrl}};
    json offer = {{"ad", {{"f", "t"}, {"o", "Offer" + std::to_string(position)}}}, {"ps", ps}};
    return std::make_shared<Package>(EventBase(), offer, false, "", position);
}

// The URLs of a SysLink control's links, in order: as many entries as the control shows links.
std::vector<std::wstring> LinkUrls(HWND syslink) {
    std::vector<std::wstring> urls;
    for (int index = 0;; ++index) {
        LITEM item{};
        item.mask = LIF_ITEMINDEX | LIF_URL;
        item.iLink = index;
        if (!::SendMessageW(syslink, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)))
            return urls;
        urls.emplace_back(item.szUrl);
    }
}

// Clicks link `index` of a SysLink control with the mouse, where the control itself draws it.
bool ClickLink(HWND syslink, int index) {
    RECT client{};
    ::GetClientRect(syslink, &client);
    for (int y = 1; y < client.bottom; y += 2) {
        for (int x = 1; x < client.right; x += 2) {
            LHITTESTINFO hit{};
            hit.pt = {x, y};
            if (::SendMessageW(syslink, LM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)) && hit.item.iLink == index) {
                ::SendMessageW(syslink, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
                ::SendMessageW(syslink, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
                return true;
            }
        }
    }
    return false;
}

// The whole text of a window, however long.
std::wstring FullText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void ClickButton(const IPage& page, int id) {
    ::SendMessageW(page.GetItem(id), BM_CLICK, 0, 0);
}

class ReadingFrame : public TestFrame {
public:
    // The offers arrive from another thread, as from the loading page at its end. The loading page itself is not
    // run: the frame is put where it would be while it is current.
    void LoadWith(std::vector<std::shared_ptr<Package>> offers) {
        // As the first Next does before it shows the loading page.
        StartMainPackage();
        Page(0).Hide();
        m_currentPage = 1;
        std::thread([this, offers] { Loading().m_onLoadComplete(offers); }).join();
    }
    // A product page of its own, outside the page order.
    ProductPage& AddProductPage(std::shared_ptr<Package> offer) {
        auto page = std::make_unique<ProductPage>(m_languageManager, std::move(offer));
        ProductPage& added = *page;
        CreateAndAddPage(std::move(page), GetPageRect());
        return added;
    }
};

class ReadingPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        backend::Reset();
        m_configuration = ConfigurationManager::GetInstance();
        m_saved = {m_configuration->m_privacyUrl, m_configuration->m_termsUrl, m_configuration->m_thirdLinkUrl};
        m_savedLumora = m_configuration->m_lumoraFlavour;
        m_savedOffersToShow = m_configuration->m_offersToShow;
        m_configuration->m_lumoraFlavour = true;
        m_configuration->m_privacyUrl = L"https://legal.test/privacy";
        m_configuration->m_termsUrl = L"https://legal.test/terms";
        m_configuration->m_thirdLinkUrl.clear();
        m_configuration->m_offersToShow = 3;
        ResetRun();
    }
    void TearDown() override {
        ResetRun();
        m_configuration->m_privacyUrl = m_saved[0];
        m_configuration->m_termsUrl = m_saved[1];
        m_configuration->m_thirdLinkUrl = m_saved[2];
        m_configuration->m_lumoraFlavour = m_savedLumora;
        m_configuration->m_offersToShow = m_savedOffersToShow;
        m_configuration->m_closing = false;
        // Closing the wizard deletes the run's temporary folder.
        m_configuration->m_tempFolder = CreateUniqueTempFolder();
    }
    void ResetRun() {
        m_configuration->m_offerDeclined = false;
        m_configuration->m_acceptedOffers.clear();
        m_configuration->m_shownOffers.clear();
        m_configuration->m_mainPackage.reset();
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::vector<std::wstring> m_saved;
    bool m_savedLumora = false;
    int m_savedOffersToShow = 0;
};

}  // namespace

TEST(SkipAllVisibility, HiddenOnTheLastOfferShownAndOnTheLastItsOwnLimitAllows) {
    struct Case {
        int position, offersToShow, maxOffers;
        bool shown;
    };
    const Case cases[] = {
        {0, 3, INT_MAX, true}, {1, 3, INT_MAX, true}, {2, 3, INT_MAX, false}, {0, 1, INT_MAX, false},
        {0, 3, 1, false},      {1, 3, 1, true},       {1, 3, 2, false},       {0, 3, INT_MIN, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSkipAllShown(c.position, c.offersToShow, c.maxOffers), c.shown)
            << c.position << " of " << c.offersToShow << ", mo " << c.maxOffers;
}

// Brand flavour: the license page after loading, then the product pages; every link goes through the shared path
// and every choice reaches the configuration and the analytics endpoint.
TEST_F(ReadingPagesTest, LicenseThenProductPagesRecordChoicesAndOpenOnlyTheirLinks) {
    auto first =
        MakeOffer("Caf\xc3\xa9 \xd0\x9f\xd1\x80\xd0\xb8\xd0\xbc\xd0\xb5\xd1\x80", "https://first.test/privacy", "", 0);
    // A hostile offer: its name holds markup and a placeholder, its privacy URL ends its attribute.
    const std::string hostileName = "[PACKAGE_PRIVACY_URL] <a href=\"file:///C:/Windows/System32/calc.exe\">run</a>";
    auto second = MakeOffer(hostileName, "https://second.test/p\"><a href=\"file:///C:/calc.exe\">",
                            "https://second.test/terms", 1);
    auto third = MakeOffer("Third", "https://third.test/privacy", "file:///C:/Windows/System32/calc.exe", 2);
    testing_ui::ShellRecorder shell;
    ReadingFrame frame;
    std::shared_ptr<Package> mainPackage;
    INT_PTR result = RunFrame(
        frame,
        {[&] {
             frame.LoadWith({first, second, third});
             return true;
         },
         [&] { return frame.m_currentPage == 2; },
         [&] {
             const IPage& license = frame.Page(2);
             EXPECT_EQ(license.GetPageName(), L"LicensePage");
             EXPECT_EQ(frame.m_pages.size(), 8u)
                 << "language, loading, license, one page per offer, download and finish";
             HWND eula = license.GetItem(IDC_LICENSE_EULA);
             std::wstring agreement = FullText(eula);
             EXPECT_EQ(agreement.rfind(m_configuration->m_productTitle + L" END USER LICENSE AGREEMENT", 0), 0u);
             const std::wstring ending = L"Copyright \u00a9 Quarvel Software. All rights reserved.";
             EXPECT_EQ(agreement.substr(agreement.size() - std::min(agreement.size(), ending.size())), ending)
                 << "the whole agreement, non-ASCII included";
             EXPECT_TRUE(::SendMessageW(eula, EM_GETAUTOURLDETECT, 0, 0));
             // The focus starts on Accept (Enter accepts the agreement); the agreement is shown from its start,
             // nothing selected.
             EXPECT_EQ(::GetFocus(), license.GetItem(IDC_LICENSE_AGREE));
             DWORD selectionStart = 1, selectionEnd = 1;
             ::SendMessageW(eula, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                            reinterpret_cast<LPARAM>(&selectionEnd));
             EXPECT_EQ(selectionStart, 0u);
             EXPECT_EQ(selectionEnd, 0u);
             EXPECT_EQ(::SendMessageW(eula, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
             // Read-only: typing changes nothing.
             ::SendMessageW(eula, WM_CHAR, L'x', 1);
             EXPECT_EQ(FullText(eula), agreement);
             EXPECT_EQ(TextOf(license.GetHwnd(), IDC_LICENSE_AGREE), L"Accept");
             EXPECT_EQ(TextOf(license.GetHwnd(), IDC_LICENSE_BACK), L"Back");

             LOGFONTW title{};
             ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(license.GetItem(IDC_LICENSE_TITLE), WM_GETFONT, 0, 0)),
                          sizeof(title), &title);
             EXPECT_GE(title.lfWeight, FW_BOLD);

             HWND disclaimer = license.GetItem(IDC_LICENSE_DISCLAIMER);
             EXPECT_EQ(LinkUrls(disclaimer),
                       (std::vector<std::wstring>{L"https://legal.test/terms", L"https://legal.test/privacy"}));
             EXPECT_TRUE(ClickLink(disclaimer, 1));
             EXPECT_EQ(shell.Opened(), std::vector<std::wstring>{L"https://legal.test/privacy"});
             EXPECT_EQ(frame.m_currentPage, 2) << "a link keeps the wizard where it is";

             // Back returns to the language page; Next there comes straight back without loading again.
             mainPackage = m_configuration->m_mainPackage;
             ClickButton(license, IDC_LICENSE_BACK);
             EXPECT_EQ(frame.m_currentPage, 0);
             ClickButton(frame.Page(0), IDC_LANGUAGE_NEXT);
             EXPECT_EQ(frame.m_currentPage, 2);
             EXPECT_EQ(frame.m_pages.size(), 8u);
             EXPECT_EQ(m_configuration->m_mainPackage, mainPackage) << "no second start of the main product";

             ClickButton(license, IDC_LICENSE_AGREE);
             EXPECT_EQ(frame.m_currentPage, 3);
             return true;
         },
         [&] {
             const IPage& page = frame.Page(3);
             EXPECT_EQ(page.GetPageName(), L"ProductPage");
             EXPECT_TRUE(ui::Window(page.GetItem(IDC_PRODUCT_SKIP_ALL)).IsVisible());
             EXPECT_EQ(TextOf(page.GetHwnd(), IDC_PRODUCT_ACCEPT), L"Accept");
             EXPECT_EQ(TextOf(page.GetHwnd(), IDC_PRODUCT_SKIP_ALL), L"Skip All");
             HWND disclaimer = page.GetItem(IDC_PRODUCT_DISCLAIMER);
             // The control holds the markup; the links it made of it are checked below.
             EXPECT_NE(testing_ui::GetWindowTextOf(disclaimer)
                           .find(L"you agree to install Caf\u00e9 \u041f\u0440\u0438\u043c\u0435\u0440 and accept"),
                       std::wstring::npos);
             EXPECT_EQ(LinkUrls(disclaimer), (std::vector<std::wstring>{L"https://first.test/privacy", L""}));
             EXPECT_TRUE(ClickLink(disclaimer, 1));
             EXPECT_EQ(shell.Opened().size(), 1u) << "a link without a URL opens nothing";
             EXPECT_EQ(m_configuration->m_shownOffers, std::vector<std::shared_ptr<Package>>{first});

             ClickButton(page, IDC_PRODUCT_ACCEPT);
             EXPECT_EQ(m_configuration->m_acceptedOffers, std::vector<std::shared_ptr<Package>>{first});
             EXPECT_FALSE(m_configuration->m_offerDeclined);
             EXPECT_EQ(frame.m_currentPage, 4);
             return true;
         },
         [&] {
             const IPage& page = frame.Page(4);
             HWND disclaimer = page.GetItem(IDC_PRODUCT_DISCLAIMER);
             EXPECT_NE(testing_ui::GetWindowTextOf(disclaimer)
                           .find(L"install [PACKAGE_PRIVACY_URL] \u2039a href=\"file:///C:/Windows/System32/calc.exe\">"
                                 L"run\u2039/a> and accept"),
                       std::wstring::npos);
             EXPECT_EQ(LinkUrls(disclaimer), (std::vector<std::wstring>{
                                                 L"https://second.test/p%22%3E%3Ca%20href=%22file:///C:/calc.exe%22%3E",
                                                 L"https://second.test/terms"}))
                 << "no link added by the name or the URL";
             EXPECT_TRUE(ClickLink(disclaimer, 0));
             EXPECT_EQ(shell.Opened().back(), L"https://second.test/p%22%3E%3Ca%20href=%22file:///C:/calc.exe%22%3E");

             ClickButton(page, IDC_PRODUCT_DECLINE);
             EXPECT_TRUE(m_configuration->m_offerDeclined);
             EXPECT_EQ(m_configuration->m_acceptedOffers.size(), 1u);
             EXPECT_EQ(frame.m_currentPage, 5);
             return true;
         },
         // The decline is delivered before the window closes: a delivered final state ends the offer's reports.
         [&] { return second->m_events.IsClosed(); },
         [&] {
             const IPage& page = frame.Page(5);
             EXPECT_FALSE(ui::Window(page.GetItem(IDC_PRODUCT_SKIP_ALL)).IsVisible()) << "the last offer to show";
             EXPECT_EQ(TextOf(page.GetHwnd(), IDC_PRODUCT_ACCEPT), L"Accept") << "an offer without an image";
             EXPECT_EQ(m_configuration->m_shownOffers, (std::vector<std::shared_ptr<Package>>{first, second, third}));
             // A link to a local program is shown but not opened.
             HWND disclaimer = page.GetItem(IDC_PRODUCT_DISCLAIMER);
             EXPECT_EQ(LinkUrls(disclaimer).at(1), L"file:///C:/Windows/System32/calc.exe");
             const size_t openedBefore = shell.Opened().size();
             EXPECT_TRUE(ClickLink(disclaimer, 1));
             EXPECT_EQ(shell.Opened().size(), openedBefore);
             testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
             ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
             return true;
         }});
    EXPECT_EQ(result, IDCANCEL);
    ASSERT_TRUE(mainPackage);
    // The main product reports under the product title.
    const std::string mainName = win32::WideToUtf8(m_configuration->m_productTitle);
    EXPECT_EQ(backend::ReceivedEvents(5),
              (std::vector<std::pair<std::string, std::string>>{
                  {"1", mainName}, {"4", "Offer1"}, {"5", "Offer0"}, {"5", "Offer2"}, {"5", mainName}}));
    auto decline = json::parse(json::parse(backend::Requests("/zbd")[1].body).at("data").get<std::string>());
    EXPECT_EQ(decline.at("10"), 2);
    EXPECT_EQ(decline.at("17"), "2");
    EXPECT_EQ(decline.at("13"), "") << "a decline carries no reason";
}

// Accept, Decline and Skip All each leave their own trace; Skip All declines the offer on its page.
TEST_F(ReadingPagesTest, EachChoiceReportsItsButtonAndItsRecords) {
    struct Case {
        int button;
        ButtonType reported;
        bool accepted;
        bool declined;
    };
    const Case cases[] = {
        {IDC_PRODUCT_ACCEPT, ButtonType::Accept, true, false},
        {IDC_PRODUCT_DECLINE, ButtonType::Decline, false, true},
        {IDC_PRODUCT_SKIP_ALL, ButtonType::SkipAll, false, true},
    };
    ReadingFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  for (const Case& c : cases) {
                                      ResetRun();
                                      backend::ClearRequests();
                                      auto offer = MakeOffer("Offer", "https://p.test/", "https://t.test/", 0);
                                      ProductPage& page = frame.AddProductPage(offer);
                                      std::vector<ButtonType> reported;
                                      page.SetButtonCallback([&reported](ButtonType b) { reported.push_back(b); });
                                      ClickButton(page, c.button);
                                      offer->WaitForEvents();
                                      EXPECT_EQ(reported, std::vector<ButtonType>{c.reported});
                                      EXPECT_EQ(m_configuration->m_acceptedOffers.size(), c.accepted ? 1u : 0u);
                                      EXPECT_EQ(m_configuration->m_offerDeclined, c.declined);
                                      using Events = std::vector<std::pair<std::string, std::string>>;
                                      const Events expected = c.declined ? Events{{"4", "Offer0"}} : Events{};
                                      EXPECT_EQ(backend::ReceivedEvents(0), expected);
                                      page.SetButtonCallback(nullptr);
                                  }
                                  frame.EndDialog(7);
                                  return true;
                              }});
    EXPECT_EQ(result, 7);
}

// Each product page shows its own offer: its image (none for an offer without one), and Skip All by the offer's
// own "mo" as well as by the number of offers to show.
TEST_F(ReadingPagesTest, ProductPagesShowTheirOffersImageAndLimit) {
    auto limited = MakeOffer("Limited", "https://p.test/", "https://t.test/", 0);
    limited->m_flow.mo = 1;
    limited->m_image = LoadImageFromResource(::GetModuleHandleW(nullptr), IDB_ERROR_MARK, RT_IMAGE_ERROR_MARK);
    ASSERT_TRUE(limited->m_image);
    auto unlimited = MakeOffer("Unlimited", "https://p.test/", "https://t.test/", 0);
    ReadingFrame frame;
    INT_PTR result = RunFrame(frame, {[&] {
                                  for (auto* offer : {&limited, &unlimited}) {
                                      ProductPage& page = frame.AddProductPage(*offer);
                                      const bool isLimited = offer == &limited;
                                      page.Show();
                                      EXPECT_EQ(ui::Window(page.GetItem(IDC_PRODUCT_SKIP_ALL)).IsVisible(), !isLimited);
                                      // Left of the image's centre lies the error mark's red disc, drawn round
                                      // and centred in the wider box: a quarter of its height from the centre.
                                      HWND image = page.GetItem(IDC_PRODUCT_IMAGE);
                                      RECT area{};
                                      ::GetClientRect(image, &area);
                                      COLORREF pixel = testing_ui::ReadClientPixel(
                                          image, area.right / 2 - area.bottom / 4, area.bottom / 2);
                                      EXPECT_EQ(GetRValue(pixel) > 180 && GetGValue(pixel) < 90, isLimited);
                                      page.Hide();
                                  }
                                  frame.EndDialog(7);
                                  return true;
                              }});
    EXPECT_EQ(result, 7);
}

// Without the brand flavour: the welcome page with its picture and links; choosing another language later fills
// the disclaimers again instead of showing the catalog's placeholders.
TEST_F(ReadingPagesTest, WelcomePageLinksAndALanguageChangeAfterLoading) {
    m_configuration->m_lumoraFlavour = false;
    auto offer = MakeOffer("Caf\xc3\xa9", "https://offer.test/privacy", "https://offer.test/terms", 0);
    testing_ui::ShellRecorder shell;
    ReadingFrame frame;
    int englishWidth = 0;
    INT_PTR result = RunFrame(
        frame, {[&] {
                    frame.LoadWith({offer});
                    return true;
                },
                [&] { return frame.m_currentPage == 2; },
                [&] {
                    const IPage& welcome = frame.Page(2);
                    HWND page = welcome.GetHwnd();
                    EXPECT_EQ(welcome.GetPageName(), L"WelcomePage");
                    EXPECT_EQ(TextOf(page, IDC_WELCOME_TITLE), L"Welcome to");
                    EXPECT_EQ(TextOf(page, IDC_WELCOME_PRODUCT_TITLE), m_configuration->m_productTitle);
                    EXPECT_EQ(TextOf(page, IDC_WELCOME_PRIVACY_LINK), L"Privacy Policy");
                    EXPECT_EQ(TextOf(page, IDC_WELCOME_EULA_LINK), L"License Agreement");
                    ui::Window privacy(welcome.GetItem(IDC_WELCOME_PRIVACY_LINK));
                    EXPECT_TRUE(privacy.IsVisible());
                    EXPECT_TRUE(ui::Window(welcome.GetItem(IDC_WELCOME_EULA_LINK)).IsVisible());
                    EXPECT_FALSE(ui::Window(welcome.GetItem(IDC_WELCOME_THIRD_LINK)).IsVisible()) << "it has no URL";
                    RECT rect = privacy.GetWindowRect();
                    englishWidth = rect.right - rect.left;

                    ::SendMessageW(privacy.GetHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
                    ::SendMessageW(privacy.GetHwnd(), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
                    ::SendMessageW(welcome.GetItem(IDC_WELCOME_EULA_LINK), WM_LBUTTONDOWN, MK_LBUTTON,
                                   MAKELPARAM(3, 3));
                    ::SendMessageW(welcome.GetItem(IDC_WELCOME_EULA_LINK), WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
                    EXPECT_EQ(shell.Opened(),
                              (std::vector<std::wstring>{L"https://legal.test/privacy", L"https://legal.test/terms"}));

                    ClickButton(welcome, IDC_WELCOME_NEXT);
                    EXPECT_EQ(frame.m_currentPage, 3);
                    // Back to the language page, through the welcome page.
                    frame.OnPageButton(ButtonType::Back);
                    frame.OnPageButton(ButtonType::Back);
                    EXPECT_EQ(frame.m_currentPage, 0);
                    ui::ComboBox combo(frame.Page(0).GetItem(IDC_LANGUAGE_COMBO));
                    combo.SetCurSel(1);
                    ::SendMessageW(frame.Page(0).GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_LANGUAGE_COMBO, CBN_SELCHANGE),
                                   reinterpret_cast<LPARAM>(combo.GetHwnd()));

                    HWND disclaimer = frame.Page(3).GetItem(IDC_PRODUCT_DISCLAIMER);
                    std::wstring spanish = testing_ui::GetWindowTextOf(disclaimer);
                    EXPECT_NE(spanish.find(L"Al hacer clic en \"Aceptar\", acepta instalar Caf\u00e9, as\u00ed"),
                              std::wstring::npos);
                    EXPECT_EQ(spanish.find(L"[PACKAGE_"), std::wstring::npos);
                    EXPECT_EQ(LinkUrls(disclaimer),
                              (std::vector<std::wstring>{L"https://offer.test/privacy", L"https://offer.test/terms"}));
                    EXPECT_EQ(TextOf(page, IDC_WELCOME_PRIVACY_LINK), L"Pol\u00edtica de privacidad");
                    rect = privacy.GetWindowRect();
                    EXPECT_GT(rect.right - rect.left, englishWidth) << "the link takes the size of its new text";
                    frame.EndDialog(7);
                    return true;
                }});
    EXPECT_EQ(result, 7);
}

// Hostile configuration answers served to the real frame: the pages a user reads after them show bounded,
// clean names and stay responsive, and a broken answer ends where the loading page sends it.
#include "pages/LoadingTesting.h"

#include "offers/OfferTesting.h"
#include "pages/LicensePageIsv.h"
#include "pages/ProductPage.h"
#include "win32/ServerText.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

using nlohmann::json;
using testing_frame::RunFrame;
using testing_frame::TextOf;
using testing_loading::LoadingFrame;
using testing_offers::Offer;
using testing_offers::ReceivedReasons;

namespace {

void Click(HWND button) {
    ::SendMessageW(button, BM_CLICK, 0, 0);
}

std::wstring FullText(HWND window) {
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Asks `window` for its text length from another thread, as a user's input would reach it: the answer comes only
// if the window's thread is free.
struct ResponsivenessProbe {
    std::atomic<bool> done{false};
    std::atomic<bool> answered{false};
};

std::shared_ptr<ResponsivenessProbe> Probe(HWND window) {
    auto probe = std::make_shared<ResponsivenessProbe>();
    std::thread([probe, window] {
        DWORD_PTR length = 0;
        probe->answered =
            ::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length) != 0 && length > 0;
        probe->done = true;
    }).detach();
    return probe;
}

class HostileAnswerPagesTest : public testing_loading::LoadingFrameTest {
protected:
    void SetUp() override {
        LoadingFrameTest::SetUp();
        m_savedBrand = m_configuration->m_lumoraFlavour;
        m_configuration->m_lumoraFlavour = true;
        m_configuration->m_offersToShow = 0;
        m_configuration->m_offerCounter = 0;
        m_configuration->m_programVersion = L"2.0.0.0";
    }
    void TearDown() override {
        m_configuration->m_lumoraFlavour = m_savedBrand;
        m_configuration->m_acceptedOffers.clear();
        m_configuration->m_closing = false;
    }

    bool m_savedBrand = false;
};

}  // namespace

// A DLM title of 64 K characters once reached the license agreement through its product title and brought the
// rich edit down; bounded where it enters, it leaves the page whole and answering.
TEST_F(HostileAnswerPagesTest, ALongProductTitleLeavesTheLicensePageResponsive) {
    m_configuration->m_wizardType = WizardTypeDlm;
    const std::wstring bounded(server_text::kMaxNameChars, L'T');
    backend::Script(
        "/o",
        {{.body =
              json{{"i", {{"ct", "\u202E" + std::string(65536, 'T')}, {"cu", "https://localhost/p.exe"}}}}.dump()}});
    LoadingFrame frame;
    std::shared_ptr<ResponsivenessProbe> probe;
    INT_PTR result =
        RunFrame(frame, {[&] {
                             Click(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT));
                             return true;
                         },
                         [&] { return frame.m_currentPage == 2; },
                         [&] {
                             const IPage& license = frame.Page(2);
                             EXPECT_EQ(license.GetPageName(), L"LicensePage");
                             HWND eula = license.GetItem(IDC_LICENSE_EULA);
                             EXPECT_EQ(FullText(eula).rfind(bounded + L" END USER LICENSE AGREEMENT", 0), 0u);
                             EXPECT_EQ(testing_ui::GetWindowTextOf(frame.GetHwnd()), bounded + L" Setup");
                             probe = Probe(eula);
                             return true;
                         },
                         [&] { return probe->done.load(); },
                         [&] {
                             EXPECT_TRUE(probe->answered) << "the agreement did not answer";
                             Click(frame.Page(2).GetItem(IDC_LICENSE_BACK));
                             EXPECT_EQ(frame.m_currentPage, 0) << "the page still takes its buttons";
                             frame.EndDialog(1);
                             return true;
                         }});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(m_configuration->m_productTitle, bounded);
}

// Offers with a name of a megabyte, a requirement beyond the 64-bit range and a right-to-left override: the
// first and last are shown with bounded, clean names, the second is refused with the usual reason.
TEST_F(HostileAnswerPagesTest, ProductPagesShowBoundedCleanNamesAndExtremeRequirementsRefuse) {
    const json answer = {
        {"l", "US"},
        {"f", {{"m", 5}}},
        {"o",
         {Offer("big", {{"v", 1}, {"dn", std::string(1 << 20, 'N')}}), Offer("huge-disk", {{"v", 2}, {"disk", 1e20}}),
          Offer("bidi", {{"v", 3}, {"dn", "setup\u202Egnp.exe"}})}}};
    backend::Script("/o", {{.body = answer.dump()}});
    const std::wstring boundedName(server_text::kMaxNameChars, L'N');
    LoadingFrame frame;
    std::wstring firstDisclaimer, secondDisclaimer;
    INT_PTR result = RunFrame(
        frame, {[&] {
                    Click(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT));
                    return true;
                },
                [&] { return frame.m_currentPage == 2; },
                [&] {
                    EXPECT_EQ(frame.m_offers.size(), 2u);
                    Click(frame.Page(2).GetItem(IDC_LICENSE_AGREE));
                    return true;
                },
                [&] { return frame.m_currentPage == 3; },
                [&] {
                    firstDisclaimer = testing_ui::GetWindowTextOf(frame.Page(3).GetItem(IDC_PRODUCT_DISCLAIMER));
                    Click(frame.Page(3).GetItem(IDC_PRODUCT_DECLINE));
                    return true;
                },
                [&] { return frame.m_currentPage == 4; },
                [&] {
                    secondDisclaimer = testing_ui::GetWindowTextOf(frame.Page(4).GetItem(IDC_PRODUCT_DISCLAIMER));
                    frame.EndDialog(1);
                    return true;
                }});
    EXPECT_EQ(result, 1);
    EXPECT_NE(firstDisclaimer.find(L"install " + boundedName + L" and accept"), std::wstring::npos)
        << firstDisclaimer.substr(0, 200);
    EXPECT_NE(secondDisclaimer.find(L"install setupgnp.exe and accept"), std::wstring::npos) << secondDisclaimer;
    EXPECT_EQ(secondDisclaimer.find(L'\u202E'), std::wstring::npos);
    EXPECT_EQ(ReceivedReasons(1),
              (std::vector<std::pair<std::string, std::string>>{{"huge-disk", "NOT ENOUGH DISK SPACE"}}));
}

// An answer cut short: the ISV wizard goes on without offers, the DLM wizard ends on its error page.
TEST_F(HostileAnswerPagesTest, AnAnswerCutShortEndsWhereEachWizardSendsIt) {
    const std::string cut = json{{"l", "US"}, {"f", {{"m", 3}}}, {"o", {Offer("one")}}}.dump().substr(0, 40);
    for (const int wizardType : {WizardTypeIsv, WizardTypeDlm}) {
        SCOPED_TRACE(wizardType);
        backend::Reset();
        backend::Script("/o", {{.body = cut}});
        m_configuration->m_wizardType = wizardType;
        LoadingFrame frame;
        bool errorShown = false;
        bool offersEmpty = false;
        RunFrame(frame, {[&] {
                             Click(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT));
                             return true;
                         },
                         [&] { return frame.m_errorShown || frame.m_currentPage == 2; },
                         [&] {
                             errorShown = frame.m_errorShown;
                             offersEmpty = frame.m_offers.empty();
                             frame.EndDialog(1);
                             return true;
                         }});
        EXPECT_EQ(errorShown, wizardType == WizardTypeDlm);
        EXPECT_TRUE(offersEmpty);
    }
}

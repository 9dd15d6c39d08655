// What the frame does with the loading's outcome: it takes the offers handed over, follows the product the
// server described, and decides at display time which product pages are skipped.
#include "pages/LoadingTesting.h"

#include "l10n/LanguageManager.h"
#include "offers/OfferTesting.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <thread>

using nlohmann::json;
using testing_frame::RunFrame;
using testing_frame::StubPage;
using testing_frame::TextOf;
using testing_loading::LoadingFrame;
using testing_loading::Offers;
using testing_offers::FlowOffer;
using testing_offers::ReceivedReasons;
using Reasons = std::vector<std::pair<std::string, std::string>>;

namespace {

std::shared_ptr<Package> MakeOffer(const std::string& name, const json& cfs, int position) {
    return std::make_shared<Package>(EventBase(), FlowOffer(name, cfs), false, "", position);
}

using LoadingFlowTest = testing_loading::LoadingFrameTest;

TEST_F(LoadingFlowTest, LoadCompleteTakesTheOffersAndFollowsTheServersProduct) {
    const Offers handed = {MakeOffer("A", json::object(), 0), MakeOffer("B", json::object(), 1)};
    LoadingFrame frame;
    size_t pagesAfterFirst = 0;
    RunFrame(frame, {[&] {
                         frame.StartMainPackage();
                         // What the answer may change before the loading completes.
                         m_configuration->m_productTitle = L"Zephyr";
                         m_configuration->m_mainCh = L"ch-9";
                         m_configuration->m_mainCfl = L"cfl-9";
                         std::thread([&frame, handed] { frame.Loading().m_onLoadComplete(handed); }).join();
                         return true;
                     },
                     [&] { return frame.m_loadCompleteMessages == 1; },
                     [&] {
                         EXPECT_EQ(frame.m_offers, handed);
                         // Texts that name the product follow the title the server sent.
                         EXPECT_EQ(TextOf(frame.Page(0).GetHwnd(), IDC_SPLASH_TITLE_LUMORA),
                                   L"Welcome to Zephyr Setup");
                         const Package& main = *m_configuration->m_mainPackage;
                         EXPECT_EQ(main.m_offerName, "QuarvelProduct");
                         EXPECT_EQ(main.m_name, "Zephyr");
                         EXPECT_EQ(main.m_offerTag, "cfl-9");
                         EXPECT_EQ(main.m_eventTag, "ch-9");
                         EXPECT_EQ(main.m_eventFields.at("22"), "Zephyr");
                         EXPECT_EQ(main.m_eventFields.at("5"), "Zephyr");
                         EXPECT_EQ(main.m_eventFields.at("21"), "ch-9");
                         EXPECT_EQ(main.m_eventFields.at("19"), "cfl-9");
                         pagesAfterFirst = frame.m_pages.size();
                         // A second hand-over creates nothing twice.
                         frame.Loading().m_onLoadComplete({});
                         frame.Post(WM_LOAD_COMPLETE);
                         return true;
                     },
                     [&] { return frame.m_loadCompleteMessages == 2; },
                     [&] {
                         EXPECT_EQ(frame.m_offers, handed);
                         EXPECT_EQ(frame.m_pages.size(), pagesAfterFirst);
                         frame.EndDialog(1);
                         return true;
                     }});
}

TEST_F(LoadingFlowTest, ProductPageButtonsSkipWhatTheFlowRulesForbid) {
    struct Case {
        const char* name;
        ButtonType button;
        json cfsA, cfsB;
        int maxOffers;
        bool declined;
        int counter;
        int landing;  // page index; product pages are 3, 4 and 5, the download page 6
        int offerIndex;
        Reasons reasons;
        int counterAfter;
    };
    const Case cases[] = {
        {"accept", ButtonType::Accept, {}, {}, 3, false, 0, 4, 1, {}, 0},
        {"decline", ButtonType::Decline, {}, {}, 3, false, 0, 4, 1, {}, 0},
        {"skip all on the first of three",
         ButtonType::SkipAll,
         {},
         {},
         3,
         false,
         0,
         6,
         2,
         {{"B", "SKIP ALL CLICKED"}, {"C", "SKIP ALL CLICKED"}},
         0},
        {"decline an offer that skips the rest",
         ButtonType::Decline,
         {{"saad", true}},
         {},
         3,
         false,
         0,
         6,
         2,
         {{"B", "SKIP ALL AFTER DECLINE OFFER DECLINED"}, {"C", "SKIP ALL AFTER DECLINE OFFER DECLINED"}},
         0},
        {"skips past the limit leave no trace",
         ButtonType::Decline,
         {{"saad", true}},
         {},
         2,
         false,
         0,
         6,
         2,
         {{"B", "SKIP ALL AFTER DECLINE OFFER DECLINED"}},
         0},
        {"accept an offer that allows one offer in the flow",
         ButtonType::Accept,
         {{"mo", 1}},
         {},
         3,
         false,
         0,
         6,
         2,
         {{"B", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW"}, {"C", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW"}},
         0},
        {"accept an offer that allows two offers in the flow",
         ButtonType::Accept,
         {{"mo", 2}},
         {},
         3,
         false,
         0,
         4,
         1,
         {},
         0},
        {"after a decline, an offer that is skipped then",
         ButtonType::Decline,
         {},
         {{"sied", true}},
         3,
         true,
         1,
         5,
         2,
         {{"B", "SKIPPED BECAUSE OF EARLIER DECLINE"}},
         0},
        {"without a decline it is shown", ButtonType::Accept, {}, {{"sied", true}}, 3, false, 1, 4, 1, {}, 1},
        // Where two reasons hold, Skip All wins, and an earlier decline wins over the limit of the flow.
        {"skip all on an offer that skips the rest",
         ButtonType::SkipAll,
         {{"saad", true}},
         {},
         3,
         false,
         0,
         6,
         2,
         {{"B", "SKIP ALL CLICKED"}, {"C", "SKIP ALL CLICKED"}},
         0},
        {"skip all after a decline, before an offer skipped then",
         ButtonType::SkipAll,
         {},
         {{"sied", true}},
         3,
         true,
         1,
         6,
         2,
         {{"B", "SKIP ALL CLICKED"}, {"C", "SKIP ALL CLICKED"}},
         1},
        {"skip all on an offer that allows one offer in the flow",
         ButtonType::SkipAll,
         {{"mo", 1}},
         {},
         3,
         false,
         0,
         6,
         2,
         {{"B", "SKIP ALL CLICKED"}, {"C", "SKIP ALL CLICKED"}},
         0},
        {"an offer skipped for an earlier decline past the limit of the flow",
         ButtonType::Accept,
         {{"mo", 1}},
         {{"sied", true}},
         3,
         true,
         1,
         6,
         2,
         {{"B", "SKIPPED BECAUSE OF EARLIER DECLINE"}, {"C", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW"}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        m_configuration->m_maxOffersInFlow = c.maxOffers;
        m_configuration->m_offerDeclined = c.declined;
        m_configuration->m_offerCounter = c.counter;
        LoadingFrame frame;
        RunFrame(frame, {[&] {
                     frame.AddStubPage(L"LicensePage");
                     StubPage& first = frame.AddStubPage(L"ProductPage");
                     frame.AddStubPage(L"ProductPage");
                     frame.AddStubPage(L"ProductPage");
                     frame.AddStubPage(L"DownloadPageISV");
                     frame.m_offers = {MakeOffer("A", c.cfsA, 0), MakeOffer("B", c.cfsB, 1),
                                       MakeOffer("C", json::object(), 2)};
                     frame.NavigateToPage(3);
                     first.ReportButton(c.button);
                     EXPECT_EQ(frame.m_currentPage, c.landing);
                     EXPECT_EQ(frame.m_offerIndex, c.offerIndex);
                     frame.EndDialog(1);
                     return true;
                 }});
        EXPECT_EQ(ReceivedReasons(c.reasons.size()), c.reasons);
        EXPECT_EQ(m_configuration->m_offerCounter, c.counterAfter);
    }
}

TEST_F(LoadingFlowTest, SkipsAreStickyForTheRestOfTheWizard) {
    m_configuration->m_maxOffersInFlow = 5;
    LoadingFrame frame;
    RunFrame(frame, {[&] {
                 StubPage& first = frame.AddStubPage(L"ProductPage");
                 StubPage& second = frame.AddStubPage(L"ProductPage");
                 frame.AddStubPage(L"ProductPage");
                 frame.AddStubPage(L"ProductPage");
                 frame.AddStubPage(L"DownloadPageISV");
                 frame.m_offers = {MakeOffer("A", json::object(), 0), MakeOffer("B", {{"saad", true}}, 1),
                                   MakeOffer("C", json::object(), 2), MakeOffer("D", json::object(), 3)};
                 frame.NavigateToPage(2);
                 first.ReportButton(ButtonType::Accept);
                 EXPECT_EQ(frame.m_currentPage, 3);
                 // B was reached by Accept; declining it, as it asks, skips every later product page.
                 second.ReportButton(ButtonType::Decline);
                 EXPECT_EQ(frame.m_currentPage, 6);
                 EXPECT_EQ(frame.m_offerIndex, 3);
                 frame.EndDialog(1);
                 return true;
             }});
    EXPECT_EQ(ReceivedReasons(2), (Reasons{{"C", "SKIP ALL AFTER DECLINE OFFER DECLINED"},
                                           {"D", "SKIP ALL AFTER DECLINE OFFER DECLINED"}}));
}

}  // namespace

// The frame's part in event reporting: the first Next starts the run's main product and reports it, and
// leaving the wizard reports every shown offer and then the main product before the window goes.
#include "pages/FrameHarness.h"

#include "l10n/MessageBoxRecorder.h"
#include "offers/Package.h"
#include "support/Backend.h"
#include "support/EventRecords.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

using backend::ReceivedEvents;
using nlohmann::json;
using testing_frame::RunFrame;
using testing_frame::TestFrame;

namespace {

std::shared_ptr<Package> ShownOffer(const std::string& name) {
    json offer = {{"ad", {{"f", "t"}, {"o", name}}}, {"ps", {{"i", "i.png"}, {"dn", name}, {"u", "https://x/"}}}};
    return std::make_shared<Package>(EventBase(), offer, false, "", 0);
}

class FrameEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        backend::Reset();
        m_configuration = ConfigurationManager::GetInstance();
        m_configuration->m_mainPackage.reset();
        m_configuration->m_shownOffers.clear();
    }
    void TearDown() override {
        m_configuration->m_mainPackage.reset();
        m_configuration->m_shownOffers.clear();
        m_configuration->m_closing = false;
        m_configuration->m_tempFolder = CreateUniqueTempFolder();
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
};

}  // namespace

TEST_F(FrameEventsTest, FirstNextReportsTheMainProductAndClosingReportsShownOffersThenIt) {
    TestFrame frame;
    INT_PTR result =
        RunFrame(frame, {[&] {
                             testing_frame::PressKey(VK_RETURN);
                             return true;
                         },
                         [&] { return frame.m_currentPage >= 1; },
                         [&] {
                             EXPECT_TRUE(m_configuration->m_mainPackage);
                             EXPECT_EQ(ReceivedEvents(1).size(), 1u);
                             // Offers whose pages were shown, as the product pages record them.
                             m_configuration->m_shownOffers = {ShownOffer("First"), ShownOffer("Second")};
                             testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
                             ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                             return true;
                         }});
    EXPECT_EQ(result, IDCANCEL);
    // OnClose waits for each report before the next one, so they arrive in this order.
    EXPECT_EQ(ReceivedEvents(4), (std::vector<std::pair<std::string, std::string>>{
                                     {"1", "Quarvel"}, {"5", "First"}, {"5", "Second"}, {"5", "Quarvel"}}));
    auto first = json::parse(json::parse(backend::Requests("/zbd")[0].body)["data"].get<std::string>());
    EXPECT_EQ(first["10"], 1);
    EXPECT_EQ(first["22"], "Quarvel");
}

TEST_F(FrameEventsTest, ClosingWaitsForReportsStillInFlight) {
    backend::Script("/zbd", {{.body = "{}", .delaySeconds = 1.5}});
    TestFrame frame;
    std::chrono::steady_clock::time_point closed;
    RunFrame(frame, {[&] {
                         testing_frame::PressKey(VK_RETURN);
                         return true;
                     },
                     [&] { return frame.m_currentPage >= 1; },
                     [&] {
                         testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
                         closed = std::chrono::steady_clock::now();
                         ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                         return true;
                     }});
    // Both the start report (still in flight) and the close report were delivered before the dialog ended.
    EXPECT_GE(std::chrono::steady_clock::now() - closed, std::chrono::milliseconds(1400));
    EXPECT_EQ(backend::Requests("/zbd").size(), 2u);
}

// An analytics endpoint that takes the reports and never answers: the close waits for them as long as Finish
// would, in all, not once per package, and the work folder still goes.
TEST_F(FrameEventsTest, ClosingWithAStalledEndpointWaitsNoLongerThanFinishInAll) {
    backend::Script("/zbd", {{.body = "{}", .delaySeconds = 60}});
    const std::wstring folder = m_configuration->m_tempFolder;
    ASSERT_TRUE(::PathFileExistsW(folder.c_str()));
    TestFrame frame;
    std::chrono::steady_clock::time_point closed;
    INT_PTR result =
        RunFrame(frame, {[&] {
                             testing_frame::PressKey(VK_RETURN);
                             return true;
                         },
                         [&] { return frame.m_currentPage >= 1; },
                         [&] {
                             m_configuration->m_shownOffers = {ShownOffer("First"), ShownOffer("Second")};
                             testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
                             closed = std::chrono::steady_clock::now();
                             ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                             return true;
                         }});
    const auto waited = std::chrono::steady_clock::now() - closed;
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_GE(waited, TestFrame::kLastEventsWait - std::chrono::milliseconds(500));
    EXPECT_LT(waited, TestFrame::kLastEventsWait + std::chrono::seconds(5));
    // The first offer's report took the whole wait; the later ones still went out, unwaited.
    EXPECT_EQ(backend::Requests("/zbd", 4, 10).size(), 4u);
    EXPECT_FALSE(::PathFileExistsW(folder.c_str()));
}

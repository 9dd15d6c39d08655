// What the loading page's tests share: a frame that counts the loading's hand-overs, and a fixture that
// puts the configuration back after each test.
#pragma once

#include "offers/OfferTesting.h"
#include "offers/Package.h"
#include "pages/FrameHarness.h"
#include "support/Backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace testing_loading {

using Offers = std::vector<std::shared_ptr<Package>>;

class LoadingFrame : public testing_frame::TestFrame {
public:
    using CWayfarerDlg::CountSkippedOffers;
    using CWayfarerDlg::m_languageManager;
    using CWayfarerDlg::m_offerIndex;
    using CWayfarerDlg::m_offers;
    using CWayfarerDlg::StartMainPackage;

    // Wraps the loading page's hand-over so that the test sees every call, on whatever thread it comes.
    void CountHandOvers() {
        auto original = Loading().m_onLoadComplete;
        Loading().m_onLoadComplete = [calls = m_handOvers, original](Offers offers) {
            ++*calls;
            original(std::move(offers));
        };
    }

    // Shared with the wrapped callback, which may outlive the frame.
    std::shared_ptr<std::atomic<int>> m_handOvers = std::make_shared<std::atomic<int>>(0);
    int m_loadCompleteMessages = 0;

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        if (message == WM_LOAD_COMPLETE)
            ++m_loadCompleteMessages;
        return TestFrame::OnMessage(message, wParam, lParam, result);
    }
};

// The frame tests of loading: GDI+ for the images, a fresh backend, and the configuration put back afterwards.
class LoadingFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        backend::Reset();
    }

    testing_offers::ConfigurationGuard m_guard;
    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
};

}  // namespace testing_loading

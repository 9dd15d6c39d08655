// What the loading page's tests share: a frame that counts the loading's hand-overs, and the configuration
// fields a loading run writes, restored after each test.
#pragma once

#include "download/DownloadManager.h"
#include "offers/Package.h"
#include "pages/FrameHarness.h"
#include "support/Backend.h"

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

// Saves what a loading run and the frame write into the configuration and puts it back.
class ConfigurationGuard {
public:
    ConfigurationGuard() : m_configuration(ConfigurationManager::GetInstance()), m_saved(Take(*m_configuration)) {}
    ~ConfigurationGuard() {
        Put(m_saved, *m_configuration);
        m_configuration->m_productImage.reset();
        m_configuration->m_mainPackage.reset();
        m_configuration->m_shownOffers.clear();
        m_configuration->m_closing = false;
        m_configuration->m_tempFolder = CreateUniqueTempFolder();
        DownloadManager::GetInstance()->m_cancelled = false;
    }
    ConfigurationGuard(const ConfigurationGuard&) = delete;
    ConfigurationGuard& operator=(const ConfigurationGuard&) = delete;

private:
    struct Fields {
        int wizardType, maxOffersInFlow, offerCounter, offersToShow;
        bool offerDeclined;
        std::wstring productTitle, mainDownloadUrl, mainFileName, mainCl, mainCh, mainCfl, privacyUrl, termsUrl;
        std::string serverL, serverFa, mainCb;
    };
    static Fields Take(const ConfigurationManager& c) {
        return {c.m_wizardType,    c.m_maxOffersInFlow, c.m_offerCounter,    c.m_offersToShow,
                c.m_offerDeclined, c.m_productTitle,    c.m_mainDownloadUrl, c.m_mainFileName,
                c.m_mainCl,        c.m_mainCh,          c.m_mainCfl,         c.m_privacyUrl,
                c.m_termsUrl,      c.m_serverL,         c.m_serverFa,        c.m_mainCb};
    }
    static void Put(const Fields& f, ConfigurationManager& c) {
        c.m_wizardType = f.wizardType;
        c.m_maxOffersInFlow = f.maxOffersInFlow;
        c.m_offerCounter = f.offerCounter;
        c.m_offersToShow = f.offersToShow;
        c.m_offerDeclined = f.offerDeclined;
        c.m_productTitle = f.productTitle;
        c.m_mainDownloadUrl = f.mainDownloadUrl;
        c.m_mainFileName = f.mainFileName;
        c.m_mainCl = f.mainCl;
        c.m_mainCh = f.mainCh;
        c.m_mainCfl = f.mainCfl;
        c.m_privacyUrl = f.privacyUrl;
        c.m_termsUrl = f.termsUrl;
        c.m_serverL = f.serverL;
        c.m_serverFa = f.serverFa;
        c.m_mainCb = f.mainCb;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    Fields m_saved;
};

}  // namespace testing_loading

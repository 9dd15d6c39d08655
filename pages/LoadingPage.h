// The page shown while the configuration is fetched and the offers are evaluated: a moving bar and no buttons.
// Entering it starts the loading run on a thread of its own; when the run has ended the page fetches the
// admitted offers' images in parallel and, once the last one has arrived, hands the offers to the frame.
#pragma once

#include "offers/LoadingPipeline.h"
#include "pages/IPage.h"
#include "ui/AccessibleName.h"
#include "win32/Task.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class LoadCountdown;
class Package;
class RunEnd;

class LoadingPage : public IPage {
public:
    LoadingPage(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);
    // Disarms the image countdown: downloads still under way end without reaching the frame, and their images
    // are refused. A loading run still under way (the user left meanwhile) gets up to kRunEndWait to end.
    ~LoadingPage() override;

    // How long the page, as it goes, waits for a loading run still under way. Once the user has left, a run stops
    // at its next step; only a configuration request the network holds takes longer, and the program ends without
    // it (what such a run still reads lives as long as the process).
    static constexpr std::chrono::seconds kRunEndWait{5};

    void OnNavigateToPage() override;
    std::wstring GetPageName() const override { return L"LoadingPage"; }

    // Reports the configuration error of the wizard type through the error callback.
    void ShowConfigurationError();

    // Set by the frame when it creates the page; receives the admitted offers, once. It runs on whichever
    // thread finished the last image, under the countdown's lock: it must only hand the list over.
    std::function<void(std::vector<std::shared_ptr<Package>>)> m_onLoadComplete;

protected:
    BOOL OnInitDialog() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    // WM_LOADING_FINISHED: the run has ended; starts the image downloads.
    LRESULT OnRequestComplete(WPARAM wParam, LPARAM lParam);

private:
    void StartLogoDownload(const std::shared_ptr<LoadCountdown>& countdown);

    ui::ProgressBar m_progress;
    ui::AccessibleName m_progressName;
    std::shared_ptr<win32::ResultSlot<LoadingOutcome>> m_evaluation;
    bool m_configurationError = false;
    std::shared_ptr<LoadCountdown> m_countdown;
    // Marked by the loading run's thread when it has ended; empty until the page is entered.
    std::shared_ptr<RunEnd> m_runEnd;
    // The offers whose images are on their way; their images are dropped with the page.
    std::vector<std::shared_ptr<Package>> m_loadingOffers;
};

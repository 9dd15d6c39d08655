#include "pages/LoadingPage.h"

#include "config/ConfigurationManager.h"
#include "l10n/LanguageManager.h"
#include "offers/LoadingCountdown.h"
#include "offers/Package.h"
#include "offers/PictureFetch.h"
#include "resource.h"

#include <chrono>
#include <thread>
#include <utility>

LoadingPage::LoadingPage(std::shared_ptr<LanguageManager> languageManager, HWND parent)
    : IPage(std::move(languageManager), IDD_LOADING_PAGE, parent) {}

LoadingPage::~LoadingPage() {
    if (m_runEnd)
        m_runEnd->WaitUntil(std::chrono::steady_clock::now() + kRunEndWait);
    if (m_countdown)
        m_countdown->Disarm();
    for (const auto& offer : m_loadingOffers)
        offer->DropImage();
}

BOOL LoadingPage::OnInitDialog() {
    IPage::OnInitDialog();
    m_progress.Attach(GetItem(IDC_LOADING_PROGRESS));
    // The page has no text of its own: the bar is named for the wizard, whose window title says what is loading.
    m_progressName.Attach(m_progress.GetHwnd(),
                          [page = m_hwnd] { return ui::Window(::GetAncestor(page, GA_ROOT)).GetText(); });
    UpdateTexts();
    return TRUE;
}

bool LoadingPage::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message == WM_LOADING_FINISHED) {
        result = OnRequestComplete(wParam, lParam);
        return true;
    }
    return IPage::OnMessage(message, wParam, lParam, result);
}

void LoadingPage::OnNavigateToPage() {
    m_progress.Send(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    m_progress.SetPos(0);
    m_progress.SetMarquee(true, 30);

    // The run's thread reaches the page only through the posted message; its outcome waits in the slot, and a
    // page that goes away meanwhile does not wait for it.
    auto slot = std::make_shared<win32::ResultSlot<LoadingOutcome>>();
    m_evaluation = slot;
    const HWND page = m_hwnd;
    auto runEnd = std::make_shared<RunEnd>();
    m_runEnd = runEnd;
    auto run = [slot, page, runEnd] {
        try {
            slot->Set(LoadConfiguration(ConfigurationManager::GetInstance()));
        } catch (...) {
            slot->Fail(std::current_exception());
        }
        ::PostMessageW(page, WM_LOADING_FINISHED, 0, 0);
        runEnd->Finish();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        slot->Fail(std::current_exception());
        runEnd->Finish();
        Post(WM_LOADING_FINISHED);
    }
}

LRESULT LoadingPage::OnRequestComplete(WPARAM, LPARAM) {
    // Only the message of the run whose outcome is ready counts.
    if (!m_evaluation || !m_evaluation->IsReady())
        return 0;
    auto configuration = ConfigurationManager::GetInstance();
    LoadingOutcome outcome;
    bool failed = false;
    try {
        outcome = std::exchange(m_evaluation, nullptr)->Take();
    } catch (...) {
        failed = true;
    }
    if (outcome.configurationError) {
        m_configurationError = true;
        ShowConfigurationError();
        return 0;
    }
    if (failed && configuration->m_wizardType == WizardTypeDlm) {
        ShowConfigurationError();
        return 0;
    }
    // The ISV wizard carries on without offers when the configuration failed.

    const bool logo = configuration->m_wizardType == WizardTypeDlm && !configuration->m_mainCl.empty();
    m_loadingOffers = outcome.offers;
    // One count per image, one for the logo, and one that this handler holds until every download has been
    // started, so that the offers are delivered once, after the last, whichever finishes first.
    auto countdown = std::make_shared<LoadCountdown>(outcome.offers, m_onLoadComplete,
                                                     static_cast<int>(outcome.offers.size()) + (logo ? 1 : 0) + 1);
    if (m_countdown)
        m_countdown->Disarm();
    m_countdown = countdown;
    if (logo)
        StartLogoDownload(countdown);
    for (const auto& offer : outcome.offers)
        offer->DownloadImage([countdown] { countdown->CompleteOne(); });
    countdown->CompleteOne();
    return 0;
}

void LoadingPage::StartLogoDownload(const std::shared_ptr<LoadCountdown>& countdown) {
    FetchPicture(
        ConfigurationManager::GetInstance()->m_mainCl,
        [countdown](const std::vector<char>& bytes) {
            // Under the countdown's lock: a page that has gone (and GDI+ after it) gets no image.
            countdown->RunIfArmed(
                [&bytes] { ConfigurationManager::GetInstance()->m_productImage = MakeImageFromBytes(bytes); });
        },
        [countdown] { countdown->CompleteOne(); });
}

void LoadingPage::ShowConfigurationError() {
    switch (ConfigurationManager::GetInstance()->m_wizardType) {
        case WizardTypeDlm:
            ReportError(m_languageManager->GetText("PAGE_CONFIGURATION_ERROR_TITLE"),
                        m_languageManager->GetText("PAGE_CONFIGURATION_ERROR_DESC"));
            break;
        case WizardTypeIsv:
            ReportError(m_languageManager->GetText("PAGE_ERROR_TITLE"), L"");
            break;
        case WizardTypeNone:
            ReportError(L"", L"");
            break;
        default:
            break;
    }
}

#include "app/WayfarerDlg.h"

#include "app/AboutDlg.h"
#include "config/ConfigurationManager.h"
#include "config/WorkFolder.h"
#include "diagnostics/RunFacts.h"
#include "diagnostics/RunLog.h"
#include "download/DownloadManager.h"
#include "download/StartedInstallers.h"
#include "l10n/LanguageManager.h"
#include "offers/DisplayFlow.h"
#include "offers/Package.h"
#include "pages/DownloadPage.h"
#include "pages/FinishPages.h"
#include "pages/LanguagePage.h"
#include "pages/LicensePageIsv.h"
#include "pages/LoadingPage.h"
#include "pages/ProductPage.h"
#include "pages/SorrelPages.h"
#include "pages/WelcomePageIsv.h"
#include "resource.h"

#include <chrono>

CWayfarerDlg::CWayfarerDlg(HWND parent)
    : ui::Dialog(IDD_WAYFARER_DIALOG, parent),
      m_languageManager(std::make_shared<LanguageManager>()),
      m_startedInstallers(std::make_shared<StartedInstallers>()) {
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    m_languageManager->RegisterListener(&m_captionListener);
}

CWayfarerDlg::~CWayfarerDlg() {
    m_languageManager->UnregisterListener(&m_captionListener);
    {
        std::lock_guard<std::mutex> lock(m_loadHandoff->mutex);
        m_loadHandoff->armed = false;
        m_loadHandoff->offers.clear();
    }
    // The pages go first: the loading page disarms the image downloads still under way, so that none of them
    // stores an image after the ones below are dropped.
    m_pages.clear();
    m_errorPage.reset();
    // A page may have waited for its task above (a download the close cancelled goes on writing into the work
    // folder until it ends): once the pages are gone, what the close could not delete goes as well.
    if (ConfigurationManager::GetInstance()->m_closing)
        DeleteTempFolder();
    // Every GDI+ image must be gone before GDI+ shuts down, after this dialog: the shared ones are dropped here.
    auto configuration = ConfigurationManager::GetInstance();
    configuration->m_productImage.reset();
    for (const auto* list : {&configuration->m_acceptedOffers, &configuration->m_shownOffers})
        for (const auto& package : *list)
            package->DropImage();
    for (const auto& package : m_offers)
        package->DropImage();
}

std::wstring CWayfarerDlg::MakeInstanceMutexName(const std::wstring& wizardTypeKey) {
    return L"Global\\Wayfarer" + wizardTypeKey + L"SingleInstanceMutex";
}

bool CWayfarerDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_QUERYDRAGICON:
            result = reinterpret_cast<LRESULT>(m_hIcon);
            return true;
        case WM_LOAD_COMPLETE:
            result = OnLoadCompleteMessage(wParam, lParam);
            return true;
        case WM_CREATE_HIDDEN_PAGES:
            CreateHiddenInitialPages();
            result = 0;
            return true;
        case WM_ACTIVATE:
            // The dialog manager restores the focus it saved first; the check follows.
            if (LOWORD(wParam) != WA_INACTIVE)
                Post(WM_RESTORE_PAGE_FOCUS, 0, 0);
            return ui::Dialog::OnMessage(message, wParam, lParam, result);
        case WM_RESTORE_PAGE_FOCUS:
            RestorePageFocus();
            result = 0;
            return true;
        default:
            return ui::Dialog::OnMessage(message, wParam, lParam, result);
    }
}

BOOL CWayfarerDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_titleStatic.Attach(GetItem(IDC_TITLE));
    m_headerImage.Subclass(GetItem(IDC_HEADER_IMAGE));
    // The product's title stands beside its logo.
    m_headerImage.HideFromReaders();
    m_headerLine.Attach(GetItem(IDC_HEADER_LINE));
    m_bottomBand.Attach(GetItem(IDC_BOTTOM_BAND));

    if (HMENU systemMenu = ::GetSystemMenu(m_hwnd, FALSE)) {
        wchar_t aboutText[256] = {};
        if (::LoadStringW(::GetModuleHandleW(nullptr), IDS_ABOUTBOX, aboutText, 256) > 0) {
            ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText);
        }
    }
    Send(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    Send(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // One installer of this build at a time on the machine; a build of the other wizard type has its own name.
    std::wstring mutexName = MakeInstanceMutexName(ConfigurationManager::GetWizardTypeKey());
    m_instanceMutex.Reset(::CreateMutexW(nullptr, TRUE, mutexName.c_str()));
    if (m_instanceMutex && ::GetLastError() == ERROR_ALREADY_EXISTS) {
        m_instanceMutex.Reset();
        // This copy made its temporary folder on the way here and will never use it. It goes before the message,
        // which may wait for a long time and never be answered: a copy ended while it waits leaves no folder.
        DeleteTempFolder();
        ui::ShowMessageBox(m_hwnd, L"Another setup is already running, please close it and try again", L"Error",
                           MB_ICONERROR | MB_SYSTEMMODAL);
        EndDialog(1);
        return FALSE;
    }

    auto configuration = ConfigurationManager::GetInstance();
    switch (configuration->m_wizardType) {
        case WizardTypeDlm:
            UpdateCaption();
            break;
        case WizardTypeIsv:
            SetText(configuration->m_productTitle);
            break;
        default:
            ui::ShowAppMessageBox(L"Invalid wizard type", MB_ICONERROR | MB_SYSTEMMODAL);
            EndDialog(1);
            return FALSE;
    }

    m_accentBrush = win32::Brush(configuration->m_accentColour);
    m_titleStatic.SetText(configuration->m_productTitle);
    bool pagesShown = CreateInitialPages();
    if (configuration->m_wizardType == WizardTypeIsv) {
        m_headerImage.Hide();
        m_headerLine.Hide();
    }
    m_titleStatic.Hide();
    // With the first page shown, the focus is in it: returning TRUE would let the dialog manager move it to the
    // frame's first tab stop, out of reach of the page's keyboard handling.
    return pagesShown ? FALSE : TRUE;
}

HBRUSH CWayfarerDlg::OnCtlColor(HDC dc, HWND window, UINT controlType) {
    if (window != nullptr && window == m_bottomBand.GetHwnd()) {
        ::SetBkMode(dc, TRANSPARENT);
        return m_accentBrush.Get();
    }
    return ui::Dialog::OnCtlColor(dc, window, controlType);
}

bool CWayfarerDlg::OnSysCommand(UINT command, LPARAM lParam) {
    if ((command & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(m_hwnd);
        about.DoModal();
        return true;
    }
    return false;
}

bool CWayfarerDlg::OnPaint() {
    if (!::IsIconic(m_hwnd))
        return false;
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(m_hwnd, &paint);
    Send(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client = GetClientRect();
    int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hwnd, &paint);
    return true;
}

RECT CWayfarerDlg::GetPageRect() const {
    return ui::Window(GetItem(IDC_PAGE_AREA)).GetRectInParent();
}

bool CWayfarerDlg::CreateInitialPages() {
    auto configuration = ConfigurationManager::GetInstance();
    RECT rect = GetPageRect();

    if (configuration->m_lumoraFlavour)
        CreateAndAddPage(std::make_unique<LanguagePageLumora>(m_languageManager), rect);
    else
        CreateAndAddPage(std::make_unique<LanguagePage>(m_languageManager), rect);
    // The first window shows the language page alone: the error and loading pages are made as soon as it is on
    // screen, before any input or timer reaches the frame (posted messages come first).
    Post(WM_CREATE_HIDDEN_PAGES, 0, 0);

    m_currentPage = 0;
    if (m_pages.empty())
        return false;
    ShowPage(*m_pages[0]);
    m_pages[0]->FocusFirstControl();
    return true;
}

void CWayfarerDlg::CreateHiddenInitialPages() {
    // The frame has just been shown; it and its first page are painted now, before the hidden pages are made,
    // or the window would stand unpainted on the screen meanwhile (the longer, the larger the display's scale).
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rect = GetPageRect();
    // The error page is kept apart: it can replace any page and is never navigated to.
    m_errorPage = std::make_unique<ErrorPage>(m_languageManager);
    CreatePage(*m_errorPage, rect);
    // May run on a download thread, even after the frame is gone: it only leaves the offers in the shared handoff
    // and wakes the GUI thread, which takes them when the message arrives.
    auto loading = std::make_unique<LoadingPage>(m_languageManager);
    m_loadHandoff->frame = m_hwnd;
    loading->m_onLoadComplete = [handoff = m_loadHandoff](std::vector<std::shared_ptr<Package>> offers) {
        std::lock_guard<std::mutex> lock(handoff->mutex);
        if (!handoff->armed || handoff->delivered)
            return;
        handoff->delivered = true;
        handoff->offers = std::move(offers);
        handoff->ready = true;
        ::PostMessageW(handoff->frame, WM_LOAD_COMPLETE, 0, 0);
    };
    CreateAndAddPage(std::move(loading), rect);
    // The frame is active by now, and no key has reached it yet (this message comes before any input): the focus
    // starts where the first page wants it, whatever activating the frame chose.
    if (IsValidPageIndex(m_currentPage))
        m_pages[static_cast<size_t>(m_currentPage)]->FocusFirstControl();
}

void CWayfarerDlg::ShowPage(IPage& page) {
    // Above the frame's own controls it lies over (the page area, the band), which clip themselves by it: none of
    // them paints over the page, whatever order the system paints them in.
    ::SetWindowPos(page.GetHwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CWayfarerDlg::CreatePage(IPage& page, const RECT& rect) {
    page.Create(m_hwnd);
    page.SetBackgroundColor(ConfigurationManager::GetInstance()->m_backgroundColour, true);
    page.SetButtonCallback([this](ButtonType button) { OnPageButton(button); });
    page.Hide();
    ::SetWindowPos(page.GetHwnd(), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWayfarerDlg::CreateAndAddPage(std::unique_ptr<IPage> page, const RECT& rect) {
    CreatePage(*page, rect);
    page->SetErrorCallback([this](const std::wstring& title, const std::wstring& text) { ShowErrorPage(title, text); });
    m_pages.push_back(std::move(page));
}

LRESULT CWayfarerDlg::OnLoadCompleteMessage(WPARAM, LPARAM) {
    {
        // The later pages are created once: a message without offers handed over is not the loading's end.
        std::lock_guard<std::mutex> lock(m_loadHandoff->mutex);
        if (!m_loadHandoff->ready)
            return 0;
        m_loadHandoff->ready = false;
        m_offers = std::move(m_loadHandoff->offers);
        m_loadHandoff->offers.clear();
    }
    auto configuration = ConfigurationManager::GetInstance();
    // Texts that use PRODUCT_TITLE follow the title the server sent.
    m_languageManager->LoadLanguage(configuration->m_languageName);

    if (configuration->m_wizardType == WizardTypeDlm) {
        m_headerImage.SetImage(configuration->m_productImage);
        m_headerImage.Show();
        m_titleStatic.SetText(configuration->m_productTitle);
        m_titleStatic.Show();
        UpdateCaption();
    }

    if (configuration->m_mainPackage) {
        const std::wstring& offerName =
            configuration->m_wizardType == WizardTypeDlm ? configuration->m_productTitle : configuration->m_productKey;
        configuration->m_mainPackage->ReinitializeMain(EventBase(), offerName, configuration->m_mainCfl,
                                                       configuration->m_productTitle, configuration->m_mainCh);
    }

    CreatePagesAfterLoading(GetPageRect());
    OnPageButton(ButtonType::Next);
    return 0;
}

void CWayfarerDlg::CreatePagesAfterLoading(const RECT& rect) {
    // Each page plugs in here, in this order, as it is written:
    // 1. brand flavour: WarningPageSorrel (Sorrel flavour only), then LicensePageIsv; otherwise WelcomePageIsv;
    // 2. one ProductPage per entry of m_offers, in list order, each given its offer's package;
    // 3. Sorrel flavour: OptionsPageSorrel, then ConfigurationsPageSorrel;
    // 4. DLM: DownloadPageDlm, then FinishPageDlm. ISV: DownloadPageIsv, whose m_onInstallersStarted and
    //    m_onInstallersFinished set and clear m_installersRunning, then FinishPageIsv.
    auto configuration = ConfigurationManager::GetInstance();

    // 1.
    if (configuration->m_lumoraFlavour) {
        if (configuration->m_sorrelFlavour)
            CreateAndAddPage(std::make_unique<WarningPageSorrel>(m_languageManager), rect);
        CreateAndAddPage(std::make_unique<LicensePageIsv>(m_languageManager), rect);
    } else {
        CreateAndAddPage(std::make_unique<WelcomePageIsv>(m_languageManager), rect);
    }

    // 2.
    for (const auto& offer : m_offers)
        CreateAndAddPage(std::make_unique<ProductPage>(m_languageManager, offer), rect);

    // 3.
    if (configuration->m_sorrelFlavour) {
        CreateAndAddPage(std::make_unique<OptionsPageSorrel>(m_languageManager), rect);
        CreateAndAddPage(std::make_unique<ConfigurationsPageSorrel>(m_languageManager), rect);
    }

    // 4.
    CreateDownloadPage(rect);
    if (configuration->m_wizardType == WizardTypeDlm)
        CreateAndAddPage(std::make_unique<FinishPageDlm>(m_languageManager), rect);
    else if (configuration->m_wizardType == WizardTypeIsv)
        CreateAndAddPage(std::make_unique<FinishPageIsv>(m_languageManager), rect);
}

void CWayfarerDlg::CreateDownloadPage(const RECT& rect) {
    auto configuration = ConfigurationManager::GetInstance();
    if (configuration->m_wizardType == WizardTypeDlm) {
        CreateAndAddPage(std::make_unique<DownloadPageDlm>(m_languageManager, m_startedInstallers), rect);
    } else if (configuration->m_wizardType == WizardTypeIsv) {
        auto page = std::make_unique<DownloadPageIsv>(m_languageManager, m_startedInstallers);
        page->m_onInstallersStarted = [this] { m_installersRunning = true; };
        page->m_onInstallersFinished = [this] { m_installersRunning = false; };
        CreateAndAddPage(std::move(page), rect);
    }
}

void CWayfarerDlg::StartMainPackage() {
    auto configuration = ConfigurationManager::GetInstance();
    diagnostics::Record("language %ls (%ls)", configuration->m_localeName.c_str(),
                        configuration->m_languageName.c_str());
    // The same roles as when the package is re-initialised after loading: the product key names the offer,
    // "cfl" tags it, the title is its name and "ch" its event tag. The DLM flavour learns its product from the
    // server, so its strings stay empty until then.
    const bool isv = configuration->m_wizardType == WizardTypeIsv;
    configuration->m_mainPackage = std::make_shared<Package>(
        EventBase(), true, isv ? configuration->m_productTitle : L"", isv ? configuration->m_productKey : L"",
        isv ? configuration->m_mainCfl : L"", isv ? configuration->m_mainCh : L"", 0);
    configuration->m_mainPackage->ReportEvent(1, nullptr);
}

void CWayfarerDlg::OnPageButton(ButtonType button) {
    switch (button) {
        case ButtonType::Next:
            if (m_currentPage == 0 && m_returnedToStart) {
                // The configuration was loaded already: straight back to the page after the loading page.
                NavigateToPage(2);
            } else if (m_currentPage == 0) {
                StartMainPackage();
                NavigateToPage(1);
            } else {
                NavigateToPage(m_currentPage + 1);
            }
            break;
        case ButtonType::SkipAll:
        case ButtonType::Decline:
        case ButtonType::Accept:
            ApplyOfferChoice(m_offers, m_offerIndex,
                             button == ButtonType::Accept    ? OfferChoice::Accept
                             : button == ButtonType::Decline ? OfferChoice::Decline
                                                             : OfferChoice::SkipAll,
                             m_displayFlags);
            NavigateToPage(m_currentPage + 1 + CountSkippedOffers());
            break;
        case ButtonType::Back:
            m_returnedToStart = true;
            NavigateToPage(m_currentPage == 2 ? 0 : m_currentPage - 1);
            break;
        case ButtonType::Finish:
            FinishRun();
            EndDialog(1);
            break;
        case ButtonType::Close:
            // The temporary folder stays.
            EndDialog(1);
            break;
        default:
            break;
    }
}

int CWayfarerDlg::CountSkippedOffers() {
    // The walk itself is the offers' rule; the frame only knows how many product pages follow this one.
    int productPagesAhead = 0;
    for (int index = m_currentPage + 1;
         IsValidPageIndex(index) && m_pages[static_cast<size_t>(index)]->GetKind() == PageKind::Product; ++index)
        ++productPagesAhead;
    const OfferPageWalk walk =
        WalkOfferPages(m_offers, m_offerIndex, productPagesAhead, m_displayFlags, *ConfigurationManager::GetInstance());
    return static_cast<int>(walk.skipped.size());
}

void CWayfarerDlg::NavigateToPage(int index) {
    if (!IsValidPageIndex(index))
        return;
    IPage& page = *m_pages[static_cast<size_t>(index)];
    ShowPage(page);
    page.FocusFirstControl();
    // Painted whole over the page it replaces before that one goes: the user never sees a page half drawn, however
    // long its pictures take at a large scale.
    ::RedrawWindow(page.GetHwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (IsValidPageIndex(m_currentPage) && m_currentPage != index)
        m_pages[static_cast<size_t>(m_currentPage)]->Hide();
    // What hiding it left to paint is painted now, before the page starts its work: the messages a download
    // posts all come before any painting still owed.
    ::RedrawWindow(m_hwnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    m_currentPage = index;
    page.OnNavigateToPage();

    if (HMENU systemMenu = ::GetSystemMenu(m_hwnd, FALSE)) {
        // The window cannot be closed while installers are downloaded and run; the finish pages allow it again.
        if (page.GetKind() == PageKind::Download)
            ::RemoveMenu(systemMenu, SC_CLOSE, MF_BYCOMMAND);
        else if (page.GetKind() == PageKind::Finish)
            ::AppendMenuW(systemMenu, MF_STRING, SC_CLOSE, L"Close");
    }
    const std::wstring name = page.GetPageName();
    ::OutputDebugStringW((name + L"\n").c_str());
    diagnostics::Record("page %ls", name.c_str());
}

void CWayfarerDlg::UpdateCaption() {
    auto configuration = ConfigurationManager::GetInstance();
    if (!Exists() || configuration->m_wizardType != WizardTypeDlm)
        return;
    if (!configuration->m_productTitle.empty()) {
        SetText(configuration->m_productTitle + L" Setup");
        return;
    }
    const std::wstring caption = m_languageManager->GetText("SETUP_CAPTION_UNNAMED");
    SetText(caption.empty() ? L"Setup" : caption);
}

IPage* CWayfarerDlg::GetShownPage() const {
    if (m_errorShown && m_errorPage)
        return m_errorPage.get();
    return IsValidPageIndex(m_currentPage) ? m_pages[static_cast<size_t>(m_currentPage)].get() : nullptr;
}

void CWayfarerDlg::RestorePageFocus() {
    IPage* page = GetShownPage();
    if (page == nullptr || !page->IsVisible() || !IsVisible())
        return;
    HWND focus = ::GetFocus();
    if (focus != nullptr && focus != page->GetHwnd() && ::IsChild(page->GetHwnd(), focus) && ::IsWindowVisible(focus))
        return;
    page->FocusFirstControl();
}

void CWayfarerDlg::ShowErrorPage(const std::wstring& title, const std::wstring& text) {
    if (IsValidPageIndex(m_currentPage))
        m_pages[static_cast<size_t>(m_currentPage)]->Hide();
    if (m_errorPage) {
        m_errorPage->m_errorTitle = title;
        m_errorPage->UpdateData();
        m_errorPage->m_errorText = text;
        m_errorPage->UpdateData();
        ShowPage(*m_errorPage);
        m_errorPage->FocusFirstControl();
    }
    m_errorShown = true;
    diagnostics::Record("error page title=%ls text=%ls", title.c_str(), text.c_str());
    if (HMENU systemMenu = ::GetSystemMenu(m_hwnd, FALSE))
        ::AppendMenuW(systemMenu, MF_STRING, SC_CLOSE, L"Close");
}

void CWayfarerDlg::OnClose() {
    if (m_askingToExit)
        return;
    // Leaving while the wizard is under way asks first; on the last page (the finish page, once the later pages
    // exist) and on the error page the wizard is over anyway.
    bool underWay = m_currentPage != static_cast<int>(m_pages.size()) - 1 || m_pages.size() == 2;
    if (!m_errorShown && underWay) {
        std::wstring question = m_languageManager->GetText(m_installersRunning ? "PROGRESS_QUIT" : "MSG_EXIT");
        m_askingToExit = true;
        // Captioned with the wizard's title, as a screen reader announces the question's window by it.
        int answer = ui::ShowMessageBox(m_hwnd, question, GetText(), MB_OKCANCEL | MB_ICONQUESTION);
        m_askingToExit = false;
        if (answer != IDOK) {
            RestorePageFocus();
            return;
        }
    }

    if (m_instanceMutex) {
        ::ReleaseMutex(m_instanceMutex.Get());
        m_instanceMutex.Reset();
    }
    Hide();

    auto configuration = ConfigurationManager::GetInstance();
    diagnostics::Record("close: the user left the wizard");
    configuration->m_closing = true;
    DownloadManager::GetInstance()->Cancel();

    // The window is hidden already; the user does not watch the reports of the close go out.
    ReportClose();

    DeleteTempFolder();
    EndDialog(IDCANCEL);
}

void CWayfarerDlg::ReportClose() {
    auto configuration = ConfigurationManager::GetInstance();
    // One deadline for all: an analytics endpoint that does not answer holds the end of the wizard no longer
    // than it holds Finish, however many offers were shown.
    const auto deadline = std::chrono::steady_clock::now() + kLastEventsWait;
    std::vector<std::shared_ptr<Package>> packages = configuration->m_shownOffers;
    packages.push_back(configuration->m_mainPackage);
    for (const auto& package : packages) {
        if (!package)
            continue;
        package->ReportEvent(5, nullptr);
        package->m_events.WaitUntil(deadline);
    }
}

void CWayfarerDlg::FinishRun() {
    diagnostics::Record("finish");
    Hide();
    auto configuration = ConfigurationManager::GetInstance();
    const auto deadline = std::chrono::steady_clock::now() + kLastEventsWait;
    // Every package that may have an event in flight: the main product, the offers shown and those accepted.
    std::vector<std::shared_ptr<Package>> packages{configuration->m_mainPackage};
    for (const auto* list : {&configuration->m_shownOffers, &configuration->m_acceptedOffers})
        packages.insert(packages.end(), list->begin(), list->end());
    for (const auto& package : packages) {
        if (package)
            package->m_events.WaitUntil(deadline);
    }
    // The offers' installers run from the work folder; those still running after the wait keep their files.
    m_startedInstallers->WaitUntil(deadline);
    DeleteTempFolder();
}

void CWayfarerDlg::DeleteTempFolder() {
    auto configuration = ConfigurationManager::GetInstance();
    if (!configuration->m_tempFolder.empty())
        DeleteDirectoryTree(configuration->m_tempFolder, m_startedInstallers->FilesInUse());
    diagnostics::RecordWorkFolderDeletion(configuration->m_tempFolder);
}

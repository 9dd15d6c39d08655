// The frame the user sees: a fixed-size dialog with a header, a page area and a coloured button band. It
// refuses to run twice, owns the wizard pages, and decides navigation between them.
#pragma once

#include "l10n/LanguageListener.h"
#include "offers/DisplayFlow.h"
#include "pages/CStaticFromImage.h"
#include "pages/ErrorPage.h"
#include "pages/IPage.h"
#include "ui/Dialog.h"
#include "win32/Handle.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class LanguageManager;
class Package;
class StartedInstallers;

class CWayfarerDlg : public ui::Dialog {
public:
    explicit CWayfarerDlg(HWND parent = nullptr);
    ~CWayfarerDlg() override;

    // Name of the single-instance mutex for a build whose wizard-type key is `wizardTypeKey`.
    static std::wstring MakeInstanceMutexName(const std::wstring& wizardTypeKey);

    // How long the end of the wizard, by Finish or by closing the window, waits in all for the last events still
    // on their way (and, after Finish, for the offers' installers), whatever the number of packages.
    static constexpr std::chrono::seconds kLastEventsWait{15};

protected:
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(HDC dc, HWND window, UINT controlType) override;
    bool OnSysCommand(UINT command, LPARAM lParam) override;
    bool OnPaint() override;
    // Enter does nothing in the frame; Escape keeps the dialog's own behaviour.
    void OnOK() override {}
    void OnClose() override;

    // Page framework and navigation.
    // Creates and shows the language page; the error page (kept apart) and the loading page follow at once from
    // WM_CREATE_HIDDEN_PAGES (CreateHiddenInitialPages), once the frame is on screen.
    bool CreateInitialPages();
    void CreateHiddenInitialPages();
    static constexpr UINT WM_CREATE_HIDDEN_PAGES = WM_APP + 1;
    // Posted when the frame is activated (a message box closed, the user came back), once the dialog manager has
    // put the focus back where it was: RestorePageFocus runs then.
    static constexpr UINT WM_RESTORE_PAGE_FOCUS = WM_APP + 2;
    // The page on screen: the error page once it replaced the others; null before any page exists.
    IPage* GetShownPage() const;
    // The focus goes back where it was only when that is a visible control of the page on screen: the page may
    // have changed under a message box (a download ended), leaving the focus on a hidden page. Otherwise it
    // starts where the page wants it.
    void RestorePageFocus();
    // Shows `page` on top of the frame's controls.
    void ShowPage(IPage& page);
    // Creates `page` over `rect`, hidden, with the button callback; the frame keeps ownership elsewhere.
    void CreatePage(IPage& page, const RECT& rect);
    // As CreatePage, with the error callback, and appends the page to the list, which owns it.
    void CreateAndAddPage(std::unique_ptr<IPage> page, const RECT& rect);
    // WM_LOAD_COMPLETE: the offers are known; reloads the language, creates the later pages and moves on.
    LRESULT OnLoadCompleteMessage(WPARAM wParam, LPARAM lParam);
    // The pages that follow the loading page, created once the offers are known, in page order.
    void CreatePagesAfterLoading(const RECT& rect);
    // The flavour's download page, wired to the installers-running flag.
    void CreateDownloadPage(const RECT& rect);
    void OnPageButton(ButtonType button);
    // Creates the main product's package for this run and reports that the wizard started.
    void StartMainPackage();
    // The number of product pages directly after the current one that are not to be shown.
    int CountSkippedOffers();
    void NavigateToPage(int index);
    void ShowErrorPage(const std::wstring& title, const std::wstring& text);
    // Finish: the window goes, the last events and the started installers get a bounded time to end, and the
    // work folder is deleted.
    void FinishRun();
    // Reports each shown offer's close and then the main product's, each after the previous one was delivered,
    // until kLastEventsWait has passed in all; the reports not sent by then go out without being waited for.
    void ReportClose();
    // Deletes the work folder, except what an installer that still runs may use.
    void DeleteTempFolder();
    // The page area (control 1014) in client coordinates: every page of the run is placed there.
    RECT GetPageRect() const;
    bool IsValidPageIndex(int index) const { return index >= 0 && index < static_cast<int>(m_pages.size()); }

    HICON m_hIcon = nullptr;
    std::vector<std::unique_ptr<IPage>> m_pages;
    int m_currentPage = 0;
    std::unique_ptr<ErrorPage> m_errorPage;
    std::shared_ptr<LanguageManager> m_languageManager;
    bool m_errorShown = false;
    bool m_installersRunning = false;
    bool m_returnedToStart = false;
    ui::Static m_titleStatic;
    CStaticFromImage m_headerImage;
    ui::Static m_headerLine;
    ui::Static m_bottomBand;
    win32::Brush m_accentBrush;
    std::vector<std::shared_ptr<Package>> m_offers;
    int m_offerIndex = 0;
    // The sticky choices of the product pages, which decide the pages after them.
    DisplayFlags m_displayFlags;
    win32::Handle m_instanceMutex;
    // The offers' installers started by the download page, which may still run when the wizard ends.
    std::shared_ptr<StartedInstallers> m_startedInstallers;
    // Set while the exit question is open, so that a second close request does not ask again.
    bool m_askingToExit = false;

    // What the loading page's completion shares with the frame: it may run on a download thread after the frame
    // is gone, so it holds this and the window handle, never the frame. The destructor disarms it.
    struct LoadHandoff {
        std::mutex mutex;
        bool armed = true;
        // One delivery per wizard: the later pages are created once.
        bool delivered = false;
        bool ready = false;
        HWND frame = nullptr;
        std::vector<std::shared_ptr<Package>> offers;
    };
    std::shared_ptr<LoadHandoff> m_loadHandoff = std::make_shared<LoadHandoff>();

    // The DLM caption: the product's, once the server named it; before that the catalog's, in the chosen language.
    void UpdateCaption();
    struct CaptionListener : ILanguageListener {
        explicit CaptionListener(CWayfarerDlg& frame) : m_frame(frame) {}
        void UpdateTexts() override { m_frame.UpdateCaption(); }
        CWayfarerDlg& m_frame;
    } m_captionListener{*this};
};

// The frame the user sees: a fixed-size dialog with a header, a page area and a coloured button band. It
// refuses to run twice, owns the wizard pages, and decides navigation between them.
#pragma once

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"
#include "ui/Dialog.h"
#include "win32/Handle.h"

#include <memory>
#include <string>
#include <vector>

class LanguageManager;
class Package;

class CWayfarerDlg : public ui::Dialog {
public:
    explicit CWayfarerDlg(HWND parent = nullptr);
    ~CWayfarerDlg() override;

    // Name of the single-instance mutex for a build whose wizard-type key is `wizardTypeKey`.
    static std::wstring MakeInstanceMutexName(const std::wstring& wizardTypeKey);

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
    bool CreateInitialPages();
    void CreatePage(IPage& page, const RECT& rect);
    void CreateAndAddPage(std::unique_ptr<IPage> page, const RECT& rect);
    LRESULT OnLoadCompleteMessage(WPARAM wParam, LPARAM lParam);
    void OnPageButton(ButtonType button);
    void NavigateToPage(int index);
    void ShowErrorPage(const std::wstring& title, const std::wstring& text);
    int CountSkippedOffers();
    void DeleteTempFolder();
    static void DeleteDirectoryTree(const std::wstring& path);
    RECT GetPageRect() const;

    HICON m_hIcon = nullptr;
    std::vector<std::unique_ptr<IPage>> m_pages;
    int m_currentPage = 0;
    std::unique_ptr<IPage> m_errorPage;
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
    bool m_skipAllClicked = false;
    bool m_skipRestAfterDecline = false;
    bool m_maxOffersReached = false;
    win32::Handle m_instanceMutex;
};

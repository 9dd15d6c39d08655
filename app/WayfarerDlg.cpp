#include "app/WayfarerDlg.h"

#include "app/AboutDlg.h"
#include "config/ConfigurationManager.h"
#include "l10n/LanguageManager.h"
#include "resource.h"

#include <shlwapi.h>

CWayfarerDlg::CWayfarerDlg(HWND parent)
    : ui::Dialog(IDD_WAYFARER_DIALOG, parent), m_languageManager(std::make_shared<LanguageManager>(this)) {
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CWayfarerDlg::~CWayfarerDlg() {
    // Every GDI+ image must be gone before GDI+ shuts down, after this dialog: the shared ones are dropped here.
    auto configuration = ConfigurationManager::GetInstance();
    configuration->m_productImage.reset();
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
        default:
            return ui::Dialog::OnMessage(message, wParam, lParam, result);
    }
}

BOOL CWayfarerDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_titleStatic.Attach(GetItem(IDC_TITLE));
    m_headerImage.Subclass(GetItem(IDC_HEADER_IMAGE));
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
        ui::ShowMessageBox(m_hwnd, L"Another setup is already running, please close it and try again", L"Error",
                           MB_ICONERROR | MB_SYSTEMMODAL);
        EndDialog(1);
        return FALSE;
    }

    auto configuration = ConfigurationManager::GetInstance();
    switch (configuration->m_wizardType) {
        case WizardTypeDlm:
            SetText(L"Setup");
            break;
        case WizardTypeIsv:
            SetText(configuration->m_productTitle + L" ");
            break;
        default:
            ui::ShowAppMessageBox(L"Invalid wizard type", MB_ICONERROR | MB_SYSTEMMODAL);
            EndDialog(1);
            return FALSE;
    }

    m_accentBrush = win32::Brush(configuration->m_accentColour);
    m_titleStatic.SetText(configuration->m_productTitle);
    CreateInitialPages();
    if (configuration->m_wizardType == WizardTypeIsv) {
        m_headerImage.Hide();
        m_headerLine.Hide();
    }
    m_titleStatic.Hide();
    return TRUE;
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
    m_currentPage = 0;
    return !m_pages.empty();
}

void CWayfarerDlg::CreatePage(IPage& page, const RECT& rect) {
    page.Create(m_hwnd);
    page.SetBackgroundColor(ConfigurationManager::GetInstance()->m_backgroundColour, true);
    page.SetButtonCallback([this](ButtonType button) { OnPageButton(button); });
    page.Hide();
    ::SetWindowPos(page.GetHwnd(), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOZORDER);
}

void CWayfarerDlg::CreateAndAddPage(std::unique_ptr<IPage> page, const RECT& rect) {
    CreatePage(*page, rect);
    page->SetErrorCallback([this](const std::wstring& title, const std::wstring& text) { ShowErrorPage(title, text); });
    m_pages.push_back(std::move(page));
}

LRESULT CWayfarerDlg::OnLoadCompleteMessage(WPARAM, LPARAM) {
    return 0;
}

void CWayfarerDlg::OnPageButton(ButtonType button) {}

void CWayfarerDlg::NavigateToPage(int index) {}

void CWayfarerDlg::ShowErrorPage(const std::wstring& title, const std::wstring& text) {}

int CWayfarerDlg::CountSkippedOffers() {
    return 0;
}

void CWayfarerDlg::OnClose() {
    m_instanceMutex.Reset();
    DeleteTempFolder();
    EndDialog(IDCANCEL);
}

void CWayfarerDlg::DeleteTempFolder() {
    auto configuration = ConfigurationManager::GetInstance();
    if (!configuration->m_tempFolder.empty())
        DeleteDirectoryTree(configuration->m_tempFolder);
}

void CWayfarerDlg::DeleteDirectoryTree(const std::wstring& path) {
    if (!::PathFileExistsW(path.c_str()))
        return;
    ::RemoveDirectoryW(path.c_str());
}

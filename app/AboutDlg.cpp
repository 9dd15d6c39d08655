#include "app/AboutDlg.h"

#include "config/ConfigurationManager.h"
#include "resource.h"
#include "win32/Strings.h"

CAboutDlg::CAboutDlg(HWND parent) : ui::Dialog(IDD_ABOUTBOX, parent) {}

BOOL CAboutDlg::OnInitDialog() {
    ui::Dialog::OnInitDialog();
    m_versionStatic.Attach(GetItem(IDC_ABOUT_VERSION));
    m_versionStatic.SetText(
        win32::FormatWide(L"Wayfarer, Version %ls", ConfigurationManager::GetInstance()->m_programVersion.c_str()));
    return TRUE;
}

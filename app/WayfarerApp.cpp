#include "app/WayfarerApp.h"

#include "app/WayfarerDlg.h"
#include "config/ConfigurationManager.h"
#include "ui/RichEdit.h"

#include <commctrl.h>

CWayfarerApp::CWayfarerApp() {
    m_gdiplusStartupInput.GdiplusVersion = 1;
    m_gdiplusStartupInput.DebugEventCallback = nullptr;
    m_gdiplusStartupInput.SuppressBackgroundThread = FALSE;
    m_gdiplusStartupInput.SuppressExternalCodecs = FALSE;
}

CWayfarerApp::~CWayfarerApp() {
    if (m_gdiplusToken != 0)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
}

BOOL CWayfarerApp::InitInstance() {
    // The link class is asked for by name: Windows registers it only on request.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);

    // The pages use rich edit controls; without the library no page could be shown, so nothing is.
    // The library stays loaded for the life of the process, as its window classes must.
    if (!ui::LoadRichEditLibrary())
        return FALSE;

    Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, nullptr);

    {
        CWayfarerDlg dialog;
        auto configuration = ConfigurationManager::GetInstance();
        dialog.SetBackgroundColor(configuration->m_backgroundColour, true);
        dialog.DoModal();
    }
    return FALSE;
}

#include "app/WayfarerApp.h"

#include "app/WayfarerDlg.h"
#include "config/ConfigurationManager.h"
#include "diagnostics/RunFacts.h"
#include "diagnostics/RunLog.h"
#include "net/ApiManager.h"
#include "win32/GdiplusSession.h"
#include "win32/SystemLibraries.h"

#include <commctrl.h>

namespace {

bool IsRichEditLibraryPresent() {
    // Looked for in System32 alone, where it is loaded from.
    const DWORD attributes = ::GetFileAttributesW(win32::SystemLibraryPath(L"riched32.dll").c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

CWayfarerApp::~CWayfarerApp() {
    win32::GdiplusSession::Process().End();
}

BOOL CWayfarerApp::InitInstance() {
    diagnostics::StartRunLog();
    // The link class is asked for by name: Windows registers it only on request.
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES | ICC_LINK_CLASS};
    ::InitCommonControlsEx(&controls);

    // Pages with rich text load the library themselves before they create their controls
    // (ui::LoadRichEditLibrary); loading it here would make every start wait for it and the libraries it needs,
    // for pages the user sees later. A machine without it still gets no window at all: it is looked for here.
    if (!IsRichEditLibraryPresent())
        return FALSE;

    {
        CWayfarerDlg dialog;
        auto configuration = ConfigurationManager::GetInstance();
        diagnostics::RecordRunStart(*configuration, GetOsVersionString());
        dialog.SetBackgroundColor(configuration->m_backgroundColour, true);
        dialog.DoModal();
    }
    return FALSE;
}

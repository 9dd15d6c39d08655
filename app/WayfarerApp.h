// The application object: prepares the process (common controls, rich edit, GDI+) and runs the frame dialog.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

class CWayfarerApp {
public:
    CWayfarerApp();
    ~CWayfarerApp();
    CWayfarerApp(const CWayfarerApp&) = delete;
    CWayfarerApp& operator=(const CWayfarerApp&) = delete;

    // Runs the wizard; returns FALSE in every case, so that the application ends when the dialog ends.
    BOOL InitInstance();

private:
    Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
    ULONG_PTR m_gdiplusToken = 0;
};

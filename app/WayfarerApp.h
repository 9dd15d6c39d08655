// The application object: prepares the process (common controls, rich edit) and runs the frame dialog; GDI+ is
// started by the first picture and ended here.
#pragma once

#include <windows.h>

class CWayfarerApp {
public:
    CWayfarerApp() = default;
    // Ends GDI+ if a picture started it: the dialog, which held the pictures, is gone by then.
    ~CWayfarerApp();
    CWayfarerApp(const CWayfarerApp&) = delete;
    CWayfarerApp& operator=(const CWayfarerApp&) = delete;

    // Runs the wizard; returns FALSE in every case, so that the application ends when the dialog ends.
    BOOL InitInstance();
};

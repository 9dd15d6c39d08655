// GDI+ for the process: started by the first picture that needs it rather than before the first window, on
// whichever thread makes that picture, and ended once after every picture has been released.
#pragma once

#include <windows.h>

#include <mutex>

namespace win32 {

class GdiplusSession {
public:
    GdiplusSession() = default;
    ~GdiplusSession() { End(); }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // Starts GDI+ on the first call, from any thread; true while it runs. False when it could not start or has
    // been ended: a picture must not be made then.
    bool Ensure();
    // Ends GDI+ if it was started; later calls of Ensure start nothing. Every picture must be gone by now.
    void End();
    bool IsRunning() const;

    // The session of the installer's process: whoever makes a picture calls Ensure on it, and the application
    // object ends it when the wizard has released its pictures.
    static GdiplusSession& Process();

private:
    mutable std::mutex m_mutex;
    ULONG_PTR m_token = 0;
    bool m_ended = false;
};

}  // namespace win32

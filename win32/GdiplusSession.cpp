#include "win32/GdiplusSession.h"

#include <objidl.h>
#include <gdiplus.h>

namespace win32 {

bool GdiplusSession::Ensure() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_ended)
        return false;
    if (m_token == 0) {
        // Version 1, no debug callback, with GDI+'s own background thread and the system's codecs.
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
            return false;
        m_token = token;
    }
    return true;
}

void GdiplusSession::End() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    if (m_token != 0) {
        Gdiplus::GdiplusShutdown(m_token);
        m_token = 0;
    }
}

bool GdiplusSession::IsRunning() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_token != 0;
}

GdiplusSession& GdiplusSession::Process() {
    // Never destroyed: the application object ends it explicitly, before the runtime tears statics down.
    static GdiplusSession* session = new GdiplusSession;
    return *session;
}

}  // namespace win32

// Keeps a Wine prefix's desktop process alive for a whole test session. Wine starts that process for the first
// program that needs a window and ends it a moment after the last one exits; a test program starting at that
// moment found no desktop (no window could be made), or started a new one that inherited the test runner's
// output and held it open. One hidden window that lives until the session's wineserver is stopped avoids both.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"WayfarerKeepDesktop";
    if (::RegisterClassW(&windowClass) == 0)
        return 1;
    // A hidden top-level window, not a message-only one: only a window on the desktop keeps the desktop.
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                                    instance, nullptr);
    if (window == nullptr)
        return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&message);
    return 0;
}

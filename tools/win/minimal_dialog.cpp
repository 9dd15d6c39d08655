// The smallest dialog program built like the installer: the baseline of the start-up benchmark.
#include <windows.h>
#include <commctrl.h>

static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        ::EndDialog(hwnd, 0);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    return static_cast<int>(::DialogBoxParamW(instance, MAKEINTRESOURCEW(101), nullptr, DialogProc, 0));
}

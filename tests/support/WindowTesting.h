// Helpers for tests that drive real windows under Wine: running a modal dialog while a script inspects it,
// finding windows of other processes, and reading what was painted.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace testing_ui {

// Calls `script` from the dialog's own message loop once the window `findWindow` returns is visible (or after
// the timeout, with null). The script must end the dialog (e.g. by posting WM_CLOSE or calling EndDialog).
// Returns false when the script never ran.
bool RunWhenShown(std::function<HWND()> findWindow,
                  std::function<void(HWND)> script,
                  std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Polls until `condition` holds or the timeout passes, pumping this thread's messages meanwhile.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(20));

// The first visible top-level window with this class name ("#32770" for dialogs) and caption, of any process.
HWND FindTopWindow(const wchar_t* className, const std::wstring& caption);

// Text of a window (another process's windows included).
std::wstring GetWindowTextOf(HWND hwnd);
// Text of the first static control of a message box (its message).
std::wstring GetMessageBoxText(HWND messageBox);

// Colour of a pixel of `hwnd`'s client area as it is painted now.
COLORREF ReadClientPixel(HWND hwnd, int x, int y);

// Runs a program and returns its process handle (the caller closes it); null when it could not start.
HANDLE StartProgram(const std::wstring& path, const std::wstring& arguments = L"");

}  // namespace testing_ui

namespace testing_ui {

// Watches, on a thread of its own, for a visible dialog-class window with `caption` (a message box, the About
// box); when it appears, records the text `read` returns for it and then presses `button` in it.
class DialogWatcher {
public:
    DialogWatcher(std::wstring caption, std::function<std::wstring(HWND)> read = GetMessageBoxText, int button = IDOK);
    ~DialogWatcher();
    DialogWatcher(const DialogWatcher&) = delete;
    DialogWatcher& operator=(const DialogWatcher&) = delete;

    // Waits for the dialog to have been seen and answered; returns its recorded text (empty when it never came).
    std::wstring Wait(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    bool Seen() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Starts GDI+ once for the test process.
void EnsureGdiplus();

}  // namespace testing_ui

// Borrowed window wrappers: each holds an HWND it does not own, and each method sends one message or makes
// one call. They check that their window exists before they act, so a wrapper that was never bound is inert.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace ui {

class Window {
public:
    Window() = default;
    explicit Window(HWND hwnd) : m_hwnd(hwnd) {}
    virtual ~Window() = default;

    HWND GetHwnd() const { return m_hwnd; }
    void Attach(HWND hwnd) { m_hwnd = hwnd; }
    bool Exists() const { return m_hwnd != nullptr && ::IsWindow(m_hwnd); }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return Exists() ? ::SendMessageW(m_hwnd, message, wParam, lParam) : 0;
    }
    bool Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return m_hwnd != nullptr && ::PostMessageW(m_hwnd, message, wParam, lParam);
    }

    void SetText(const std::wstring& text) const {
        if (Exists())
            ::SetWindowTextW(m_hwnd, text.c_str());
    }
    std::wstring GetText() const;

    void Show(int command = SW_SHOW) const {
        if (Exists())
            ::ShowWindow(m_hwnd, command);
    }
    void Hide() const { Show(SW_HIDE); }
    bool IsVisible() const { return Exists() && ::IsWindowVisible(m_hwnd); }
    void SetFocus() const {
        if (Exists())
            ::SetFocus(m_hwnd);
    }
    void Invalidate(bool erase = true) const {
        if (Exists())
            ::InvalidateRect(m_hwnd, nullptr, erase);
    }

    HWND GetItem(int id) const { return Exists() ? ::GetDlgItem(m_hwnd, id) : nullptr; }
    RECT GetClientRect() const;
    RECT GetWindowRect() const;
    // The window rectangle of this window expressed in the client coordinates of its parent.
    RECT GetRectInParent() const;

protected:
    HWND m_hwnd = nullptr;
};

class Static : public Window {
public:
    using Window::Window;
};

class Button : public Window {
public:
    using Window::Window;
    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetCheck(bool checked) const { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class ComboBox : public Window {
public:
    using Window::Window;
    int GetCount() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    int GetCurSel() const { return Exists() ? static_cast<int>(Send(CB_GETCURSEL)) : CB_ERR; }
    void SetCurSel(int index) const { Send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    int AddString(const std::wstring& text) const {
        return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    void ResetContent() const { Send(CB_RESETCONTENT); }
    std::wstring GetItemText(int index) const;
};

class ProgressBar : public Window {
public:
    using Window::Window;
    void SetRange(int low, int high) const { Send(PBM_SETRANGE32, static_cast<WPARAM>(low), high); }
    void SetPos(int pos) const { Send(PBM_SETPOS, static_cast<WPARAM>(pos)); }
    int GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }
    // Switches the bar to marquee mode (the style must be set for the animation to run).
    void SetMarquee(bool on, UINT intervalMs = 30) const;
};

// A window whose messages pass through the wrapper first (comctl32 subclassing). Used where a control paints
// itself differently from its class.
class SubclassedWindow : public Window {
public:
    SubclassedWindow() = default;
    ~SubclassedWindow() override;
    SubclassedWindow(const SubclassedWindow&) = delete;
    SubclassedWindow& operator=(const SubclassedWindow&) = delete;

    bool Subclass(HWND hwnd);
    void Unsubclass();

protected:
    // Returns true when the message was handled and `result` holds its result.
    virtual bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

// A message box owned by `owner` (or by the active window of the thread when null); returns the button.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style);

// The plain application message box: captioned with the program's name, owned by the active window.
int ShowAppMessageBox(const std::wstring& text, UINT style = MB_OK);

}  // namespace ui

#include "ui/Dialog.h"

namespace ui {

namespace {

bool IsColourMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// Marks the windows of this layer's dialogs.
const wchar_t kDialogProperty[] = L"ui::Dialog";

// Set while the filter hands a message to a child dialog: that call runs the filter again, which must pass.
thread_local bool t_filteringKeys = false;

}  // namespace

Dialog::Dialog(UINT templateId, HWND parent) : m_parent(parent), m_templateId(templateId) {}

Dialog::~Dialog() {
    // A modeless dialog dies with its wrapper; the procedure must not reach a destroyed object afterwards.
    if (Exists()) {
        ::SetWindowLongPtrW(m_hwnd, DWLP_USER, 0);
        if (!m_modal)
            ::DestroyWindow(m_hwnd);
    }
}

INT_PTR Dialog::DoModal() {
    m_modal = true;
    // The dialog manager's modal loop offers every message to this filter before it handles the keyboard for
    // the dialog itself.
    win32::Hook keyboardFilter(::SetWindowsHookExW(WH_MSGFILTER, KeyboardFilterProc, nullptr, ::GetCurrentThreadId()));
    INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_parent,
                                       DialogProc, reinterpret_cast<LPARAM>(this));
    m_hwnd = nullptr;
    return result;
}

bool Dialog::Create(HWND parent) {
    m_modal = false;
    m_parent = parent;
    HWND hwnd = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), parent, DialogProc,
                                     reinterpret_cast<LPARAM>(this));
    return hwnd != nullptr;
}

void Dialog::EndDialog(INT_PTR result) {
    if (!Exists())
        return;
    if (m_modal)
        ::EndDialog(m_hwnd, result);
    else
        ::DestroyWindow(m_hwnd);
}

void Dialog::SetBackgroundColor(COLORREF colour, bool repaint) {
    m_backgroundColour = colour;
    m_backgroundBrush = win32::Brush(colour);
    if (repaint)
        Invalidate();
}

bool Dialog::OnCommand(WORD code, WORD id, HWND control) {
    if (control != nullptr && code != BN_CLICKED)
        return false;
    switch (id) {
        case IDOK:
            OnOK();
            return true;
        case IDCANCEL:
            OnCancel();
            return true;
        default:
            return false;
    }
}

HBRUSH Dialog::OnCtlColor(HDC dc, HWND window, UINT controlType) {
    if (!m_backgroundBrush)
        return nullptr;
    ::SetBkColor(dc, m_backgroundColour);
    return m_backgroundBrush.Get();
}

bool Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog();
            return true;
        case WM_COMMAND:
            return OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        case WM_NOTIFY:
            return OnNotify(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), result);
        case WM_TIMER:
            OnTimer(wParam);
            return true;
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<UINT>(wParam), lParam);
        case WM_PAINT:
            return OnPaint();
        case WM_CLOSE:
            OnClose();
            return true;
        case WM_DESTROY:
            OnDestroy();
            return false;
        default:
            if (IsColourMessage(message)) {
                // The dialog class maps these to WM_CTLCOLORDLG for the dialog's own background.
                UINT type = message - WM_CTLCOLORMSGBOX;
                HBRUSH brush = OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), type);
                result = reinterpret_cast<LRESULT>(brush);
                return brush != nullptr;
            }
            return false;
    }
}

HWND Dialog::FindChildDialog(HWND hwnd) {
    for (HWND window = hwnd; window != nullptr && (::GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD) != 0;
         window = ::GetParent(window)) {
        if (::GetPropW(window, kDialogProperty) != nullptr)
            return window;
    }
    return nullptr;
}

LRESULT CALLBACK Dialog::KeyboardFilterProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && !t_filteringKeys && lParam != 0) {
        auto* message = reinterpret_cast<MSG*>(lParam);
        if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST) {
            if (HWND child = FindChildDialog(message->hwnd)) {
                t_filteringKeys = true;
                BOOL handled = ::IsDialogMessageW(child, message);
                t_filteringKeys = false;
                if (handled)
                    return 1;
            }
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        ::SetPropW(hwnd, kDialogProperty, reinterpret_cast<HANDLE>(lParam));
        self->m_hwnd = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (self == nullptr)
        return FALSE;

    LRESULT result = 0;
    bool handled = false;
    try {
        handled = self->OnMessage(message, wParam, lParam, result);
    } catch (...) {
        // No exception may cross into the dialog manager.
        handled = false;
    }
    if (message == WM_NCDESTROY) {
        ::RemovePropW(hwnd, kDialogProperty);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->m_hwnd = nullptr;
        return FALSE;
    }
    if (!handled)
        return FALSE;
    // These messages return their result directly; every other one through DWLP_MSGRESULT.
    if (message == WM_INITDIALOG || IsColourMessage(message) || message == WM_QUERYDRAGICON ||
        message == WM_COMPAREITEM || message == WM_VKEYTOITEM || message == WM_CHARTOITEM)
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace ui

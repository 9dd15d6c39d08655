#include "ui/Dialog.h"

namespace ui {

namespace {

bool IsColourMessage(UINT message) {
    return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
}

// Marks the windows of this layer's dialogs.
const wchar_t kDialogProperty[] = L"ui::Dialog";

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

void Dialog::FocusControl(HWND control) const {
    if (!Exists() || control == nullptr)
        return;
    // The outermost dialog: the one whose dialog manager handles the keyboard for this one and its controls.
    HWND root = m_hwnd;
    while ((::GetWindowLongPtrW(root, GWL_STYLE) & WS_CHILD) != 0 && ::GetParent(root) != nullptr &&
           ::GetPropW(::GetParent(root), kDialogProperty) != nullptr)
        root = ::GetParent(root);
    ::SendMessageW(root, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
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
            if (ForwardToFocusedChild(wParam, lParam)) {
                result = 0;
                return true;
            }
            return OnCommand(HIWORD(wParam), LOWORD(wParam), reinterpret_cast<HWND>(lParam));
        case DM_GETDEFID:
            // Enter presses the default button of the child dialog the user is in; it has none of its own.
            if (HWND child = FindFocusedChildDialog()) {
                result = ::SendMessageW(child, DM_GETDEFID, 0, 0);
                return true;
            }
            return false;
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

HWND Dialog::FindFocusedChildDialog() const {
    HWND focus = ::GetFocus();
    if (!Exists() || focus == nullptr || !::IsChild(m_hwnd, focus))
        return nullptr;
    HWND child = FindChildDialog(focus);
    return child != m_hwnd ? child : nullptr;
}

bool Dialog::ForwardToFocusedChild(WPARAM wParam, LPARAM lParam) const {
    const auto control = reinterpret_cast<HWND>(lParam);
    const WORD id = LOWORD(wParam);
    // A control's own notifications reach its parent directly; only what the dialog manager sends on the
    // keyboard's behalf comes here for a control that is not this dialog's child.
    const bool nested = control != nullptr ? ::GetParent(control) != m_hwnd && ::IsChild(m_hwnd, control)
                                           : (id == IDOK || id == IDCANCEL);
    if (!nested)
        return false;
    HWND child = FindFocusedChildDialog();
    if (child == nullptr)
        return false;
    // The control of that id in the child the user is in, whichever hidden page the dialog manager found it in.
    ::SendMessageW(child, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(::GetDlgItem(child, id)));
    return true;
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

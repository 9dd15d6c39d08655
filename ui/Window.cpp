#include "ui/Window.h"

#include <vector>

namespace ui {

std::wstring Window::GetText() const {
    if (!Exists())
        return {};
    int length = ::GetWindowTextLengthW(m_hwnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = ::GetWindowTextW(m_hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

RECT Window::GetClientRect() const {
    RECT rect{};
    if (Exists())
        ::GetClientRect(m_hwnd, &rect);
    return rect;
}

RECT Window::GetWindowRect() const {
    RECT rect{};
    if (Exists())
        ::GetWindowRect(m_hwnd, &rect);
    return rect;
}

RECT Window::GetRectInParent() const {
    RECT rect = GetWindowRect();
    HWND parent = Exists() ? ::GetParent(m_hwnd) : nullptr;
    if (parent != nullptr)
        ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ComboBox::GetItemText(int index) const {
    LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR || length < 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

void ProgressBar::SetMarquee(bool on, UINT intervalMs) const {
    if (!Exists())
        return;
    LONG_PTR style = ::GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    LONG_PTR wanted = on ? (style | PBS_MARQUEE) : (style & ~static_cast<LONG_PTR>(PBS_MARQUEE));
    if (wanted != style)
        ::SetWindowLongPtrW(m_hwnd, GWL_STYLE, wanted);
    Send(PBM_SETMARQUEE, on ? TRUE : FALSE, static_cast<LPARAM>(intervalMs));
}

SubclassedWindow::~SubclassedWindow() {
    Unsubclass();
}

bool SubclassedWindow::Subclass(HWND hwnd) {
    Unsubclass();
    if (hwnd == nullptr || !::SetWindowSubclass(hwnd, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this)))
        return false;
    m_hwnd = hwnd;
    return true;
}

void SubclassedWindow::Unsubclass() {
    if (m_hwnd != nullptr && ::IsWindow(m_hwnd))
        ::RemoveWindowSubclass(m_hwnd, SubclassProc, 1);
    m_hwnd = nullptr;
}

LRESULT CALLBACK
SubclassedWindow::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR refData) {
    auto* self = reinterpret_cast<SubclassedWindow*>(refData);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(hwnd, SubclassProc, 1);
        self->m_hwnd = nullptr;
        return ::DefSubclassProc(hwnd, message, wParam, lParam);
    }
    try {
        LRESULT result = 0;
        if (self->OnSubclassMessage(message, wParam, lParam, result))
            return result;
    } catch (...) {
        // No exception may cross into the window procedure of the system.
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT style) {
    return ::MessageBoxW(owner != nullptr ? owner : ::GetActiveWindow(), text.c_str(), caption.c_str(), style);
}

int ShowAppMessageBox(const std::wstring& text, UINT style) {
    // Captioned like the program itself: its file name without the extension.
    std::vector<wchar_t> path(MAX_PATH);
    DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring name(path.data(), length);
    size_t slash = name.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
        name.erase(0, slash + 1);
    size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos)
        name.erase(dot);
    return ShowMessageBox(nullptr, text, name, style);
}

}  // namespace ui

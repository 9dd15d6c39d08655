#include "ui/LinkControl.h"

#include "ui/LinkOpener.h"

namespace ui {
namespace {

constexpr COLORREF kLinkColour = RGB(0, 102, 204);

}  // namespace

bool LinkControl::Open() const {
    return OpenLink(m_url);
}

HFONT LinkControl::GetLinkFont() {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(m_hwnd, WM_GETFONT, 0, 0));
    if (font == nullptr)
        font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    if (!m_linkFont || font != m_baseFont) {
        LOGFONTW description{};
        ::GetObjectW(font, sizeof(description), &description);
        description.lfUnderline = TRUE;
        m_linkFont.Reset(::CreateFontIndirectW(&description));
        m_baseFont = font;
    }
    return m_linkFont ? static_cast<HFONT>(m_linkFont.Get()) : font;
}

void LinkControl::SizeToContent() {
    if (!Exists())
        return;
    std::wstring text = GetText();
    HDC dc = ::GetDC(m_hwnd);
    if (dc == nullptr)
        return;
    HGDIOBJ previous = ::SelectObject(dc, GetLinkFont());
    RECT bounds{0, 0, 0, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, previous);
    ::ReleaseDC(m_hwnd, dc);
    // Room for the focus rectangle around the text.
    ::SetWindowPos(m_hwnd, nullptr, 0, 0, bounds.right + 2, bounds.bottom + 2,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Invalidate();
}

void LinkControl::OnPaint() {
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(m_hwnd, &paint);
    RECT client = GetClientRect();
    // The page decides the background, as it does for every static control on it.
    HWND parent = ::GetParent(m_hwnd);
    auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hwnd)));
    ::FillRect(dc, &client, brush != nullptr ? brush : ::GetSysColorBrush(COLOR_WINDOW));

    std::wstring text = GetText();
    HGDIOBJ previous = ::SelectObject(dc, GetLinkFont());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::IsWindowEnabled(m_hwnd) ? kLinkColour : ::GetSysColor(COLOR_GRAYTEXT));
    RECT textRect = client;
    ::InflateRect(&textRect, -1, -1);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(dc, previous);
    if (::GetFocus() == m_hwnd)
        ::DrawFocusRect(dc, &client);
    ::EndPaint(m_hwnd, &paint);
}

bool LinkControl::OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_PAINT:
            OnPaint();
            return true;
        case WM_SETCURSOR:
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            result = TRUE;
            return true;
        case WM_LBUTTONDOWN:
            ::SetFocus(m_hwnd);
            ::SetCapture(m_hwnd);
            m_pressed = true;
            return false;
        case WM_LBUTTONUP: {
            // As a button: a press opens the link when it is released over it.
            if (!m_pressed)
                return false;
            m_pressed = false;
            ::ReleaseCapture();
            POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            RECT client = GetClientRect();
            if (::PtInRect(&client, point))
                Open();
            return false;
        }
        case WM_CAPTURECHANGED:
            m_pressed = false;
            return false;
        case WM_GETDLGCODE:
            // Enter and Space on a focused link open it instead of pressing the page's default button.
            if (lParam != 0) {
                const auto* key = reinterpret_cast<const MSG*>(lParam);
                if (key->message == WM_KEYDOWN && (key->wParam == VK_RETURN || key->wParam == VK_SPACE)) {
                    result = DLGC_WANTMESSAGE;
                    return true;
                }
            }
            return false;
        case WM_KEYDOWN:
            if (wParam == VK_RETURN || wParam == VK_SPACE) {
                Open();
                result = 0;
                return true;
            }
            return false;
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_ENABLE:
            Invalidate();
            return false;
        case WM_SETTEXT:
            // The static control would paint the new text itself, in its own way.
            result = ::DefSubclassProc(m_hwnd, message, wParam, lParam);
            Invalidate();
            return true;
        default:
            return false;
    }
}

std::pair<int, int> SysLink::FocusedLink() const {
    int focused = -1;
    int count = 0;
    for (;; ++count) {
        LITEM item{};
        item.mask = LIF_ITEMINDEX | LIF_STATE;
        item.iLink = count;
        item.stateMask = LIS_FOCUSED;
        if (!::SendMessageW(m_hwnd, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)))
            break;
        if ((item.state & LIS_FOCUSED) != 0)
            focused = count;
    }
    return {focused, count};
}

bool SysLink::OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_GETDLGCODE || lParam == 0)
        return false;
    const auto* key = reinterpret_cast<const MSG*>(lParam);
    if (key->message != WM_KEYDOWN || key->wParam != VK_TAB)
        return false;
    result = ::DefSubclassProc(m_hwnd, message, wParam, lParam);
    const bool backwards = ::GetKeyState(VK_SHIFT) < 0;
    const auto [focused, count] = FocusedLink();
    const bool atEnd = focused < 0 || (backwards ? focused == 0 : focused == count - 1);
    if (atEnd)
        result &= ~static_cast<LRESULT>(DLGC_WANTTAB);
    return true;
}

bool OnSysLinkNotify(const NMHDR* header) {
    if (header == nullptr || (header->code != NM_CLICK && header->code != NM_RETURN))
        return false;
    const auto* link = reinterpret_cast<const NMLINK*>(header);
    OpenLink(link->item.szUrl);
    return true;
}

}  // namespace ui

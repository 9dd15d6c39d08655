// A text link the user can click or press: a static control (SS_NOTIFY, WS_TABSTOP in the template) drawn as
// underlined link-coloured text with the hand cursor. Clicking it, or Space or Enter while it has the focus,
// opens its URL through OpenLink. Also the one handler for clicks on SysLink controls.
#pragma once

#include "ui/Window.h"
#include "win32/Handle.h"

#include <string>
#include <utility>

namespace ui {

class LinkControl : public SubclassedWindow {
public:
    // Takes over the template's control `hwnd`; false when there is none.
    bool Attach(HWND hwnd) { return Subclass(hwnd); }

    void SetUrl(std::wstring url) { m_url = std::move(url); }

    // Resizes the control to its text, keeping its top-left corner.
    void SizeToContent();
    // Opens the URL as a click does; false when nothing was opened.
    bool Open() const;

private:
    bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void OnPaint();
    // The control's font, underlined; made again when the control's font changes.
    HFONT GetLinkFont();

    std::wstring m_url;
    bool m_pressed = false;
    HFONT m_baseFont = nullptr;
    win32::GdiObject m_linkFont;
};

// A SysLink control that lets Tab go on once its last link has had the focus (Shift+Tab: its first), and at once
// when it holds no link: the control itself wants every Tab while it has the focus, and the keyboard would stay
// trapped in it.
class SysLink : public SubclassedWindow {
public:
    bool Attach(HWND hwnd) { return Subclass(hwnd); }

private:
    bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    // The index of the link that has the focus and the number of links.
    std::pair<int, int> FocusedLink() const;
};

// WM_NOTIFY from a SysLink control: for a click on a link (or Enter on it), opens the link's URL through
// OpenLink and returns true; false for any other notification. An empty URL opens nothing.
bool OnSysLinkNotify(const NMHDR* header);

}  // namespace ui

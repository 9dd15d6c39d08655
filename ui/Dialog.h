// Dialogs from templates, modal or modeless, with one dialog procedure that stores `this` and routes every
// message through one virtual `OnMessage` to typed handlers. Exceptions stop at the procedure.
//
// A child dialog inside another (a page over a frame) carries the container style (DS_CONTROL) in its template, so
// that the outer dialog's keyboard handling walks into it: Tab and Shift+Tab reach the child's controls in their
// order, arrows move within a group, Space presses the focused button. The dialog manager sends what a key means
// (Enter on a button, Enter, Escape) to the outer dialog; the outer one hands it to the child dialog that holds the
// focus, so Enter presses the child's focused or default button and Escape reaches the child's OnCancel.
#pragma once

#include "ui/Window.h"
#include "win32/Handle.h"

namespace ui {

class Dialog : public Window {
public:
    explicit Dialog(UINT templateId, HWND parent = nullptr);
    ~Dialog() override;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally and returns the value it ended with (-1 when it could not be created).
    INT_PTR DoModal();
    // Creates the dialog modelessly as a child or owned window of `parent`; false when it could not be created.
    bool Create(HWND parent);

    // Ends a modal dialog with `result`; a modeless one is destroyed.
    void EndDialog(INT_PTR result);

    // Makes push button `id` the default one: Enter presses it.
    void SetDefaultId(int id) const { Send(DM_SETDEFID, static_cast<WPARAM>(id)); }
    // Gives the keyboard focus to `control` as Tab would: a push button becomes the default one, so that Enter
    // presses it. The outermost dialog around this one moves the focus, whose keyboard handling owns it.
    void FocusControl(HWND control) const;

    // Background of the dialog and of the controls that ask their parent for a colour.
    void SetBackgroundColor(COLORREF colour, bool repaint = true);

protected:
    // The one switch every message passes through. Returns true when handled, with the message result in
    // `result`. Derived dialogs add their own messages and call this for the rest.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    virtual BOOL OnInitDialog() { return TRUE; }
    // WM_COMMAND: returns true when handled. The default turns IDOK and IDCANCEL into OnOK and OnCancel.
    virtual bool OnCommand(WORD code, WORD id, HWND control);
    virtual bool OnNotify(int id, NMHDR* header, LRESULT& result) { return false; }
    virtual void OnTimer(UINT_PTR id) {}
    // WM_CTLCOLOR*: the default paints with the background colour when one is set.
    virtual HBRUSH OnCtlColor(HDC dc, HWND window, UINT controlType);
    virtual bool OnSysCommand(UINT command, LPARAM lParam) { return false; }
    virtual bool OnPaint() { return false; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // WM_CLOSE: the default behaves as a dialog does, through OnCancel.
    virtual void OnClose() { OnCancel(); }
    virtual void OnDestroy() {}

    HWND m_parent = nullptr;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The innermost child dialog of this layer that holds `hwnd`; null when there is none.
    static HWND FindChildDialog(HWND hwnd);
    // The child dialog inside this one that holds the keyboard focus; null when the focus is elsewhere.
    HWND FindFocusedChildDialog() const;
    // A command the dialog manager sent here for a control of the child dialog that holds the focus (Enter on a
    // focused button, Enter or Escape): handed to that child dialog. False when it is this dialog's own.
    bool ForwardToFocusedChild(WPARAM wParam, LPARAM lParam) const;

    UINT m_templateId;
    bool m_modal = false;
    COLORREF m_backgroundColour = CLR_INVALID;
    win32::Brush m_backgroundBrush;
};

}  // namespace ui

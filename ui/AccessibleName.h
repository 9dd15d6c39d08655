// Names for screen readers where a control's own text is none: a read-only agreement (whose text is the whole
// agreement), a progress bar, a check box whose label is a static of its own, a picture; or a picture hidden from
// them, when it only repeats what the text beside it says. Screen readers ask a
// window for its accessible object (WM_GETOBJECT); the answer here is the system's own object for the control,
// with the given name, so that its role, state and value stay the system's.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace ui {

class AccessibleName {
public:
    AccessibleName() = default;
    ~AccessibleName();
    AccessibleName(const AccessibleName&) = delete;
    AccessibleName& operator=(const AccessibleName&) = delete;

    // From now on `window` is named by what `name` returns when a screen reader asks (so that it follows the
    // language); false when `window` is null.
    bool Attach(HWND window, std::function<std::wstring()> name);
    // From now on screen readers pass `window` by (a picture that only repeats the text beside it): it says it
    // is invisible to them, and has no name. False when `window` is null.
    bool AttachHidden(HWND window);

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND m_window = nullptr;
    std::function<std::wstring()> m_name;
    bool m_hidden = false;
};

// The text of the window right before `window` among its siblings (its label, by the order of the controls),
// empty when there is none.
std::wstring GetLabelText(HWND window);

}  // namespace ui

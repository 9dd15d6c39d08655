// Names for screen readers where a control's own text is none: a read-only agreement (whose text is the whole
// agreement), a progress bar, a check box whose label is a static of its own, a picture. Screen readers ask a
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

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

    HWND m_window = nullptr;
    std::function<std::wstring()> m_name;
};

// The text of the window right before `window` among its siblings (its label, by the order of the controls),
// empty when there is none.
std::wstring GetLabelText(HWND window);

}  // namespace ui

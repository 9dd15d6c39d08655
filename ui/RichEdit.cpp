#include "ui/RichEdit.h"

#include "win32/SystemLibraries.h"

#include <windows.h>

#include <mutex>

namespace ui {

bool LoadRichEditLibrary() {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] { loaded = win32::LoadSystemLibrary(L"riched32.dll") != nullptr; });
    return loaded;
}

void RichEdit::ShowStart() const {
    Send(EM_SETSEL, 0, 0);
    Send(EM_SCROLLCARET);
}

bool RichEdit::OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_GETDLGCODE)
        return false;
    result = ::DefSubclassProc(m_hwnd, message, wParam, lParam) & ~DLGC_HASSETSEL;
    return true;
}

}  // namespace ui

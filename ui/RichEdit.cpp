#include "ui/RichEdit.h"

#include <windows.h>

#include <mutex>

namespace ui {

bool LoadRichEditLibrary() {
    static std::once_flag once;
    static bool loaded = false;
    std::call_once(once, [] { loaded = ::LoadLibraryW(L"RICHED32.DLL") != nullptr; });
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

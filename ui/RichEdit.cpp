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

}  // namespace ui

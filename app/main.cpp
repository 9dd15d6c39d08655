#include "app/WayfarerApp.h"
#include "win32/SystemLibraries.h"

#include <cstdlib>

// The runtime's default reaction to an uncaught exception names its type on standard error, which a GUI program
// does not have, and for that links a symbol demangler of some 46 KB. The installer ends the same way without it.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

// The image's load configuration: Windows reads it before the program's first line, and its dependent-load flags
// confine the libraries the imports pull in (the common controls' own, among them) to System32, where the
// program's folder would otherwise come first. Windows before 10 version 1607 ignores the field; the program
// limits the search itself as it starts. The linker fills the image's directory entry from this symbol's name
// (CMakeLists.txt keeps it from being dropped); no structured exception handler table, no security cookie.
extern "C" __attribute__((used)) constinit const IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used = {
    .Size = sizeof(IMAGE_LOAD_CONFIG_DIRECTORY),
    .Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32,  // DependentLoadFlags in newer headers
};

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // Before anything can load a library.
    win32::RestrictLibrarySearch();
    CWayfarerApp app;
    app.InitInstance();
    return 0;
}

#include "app/WayfarerApp.h"

#include <cstdlib>

// The runtime's default reaction to an uncaught exception names its type on standard error, which a GUI program
// does not have, and for that links a symbol demangler of some 46 KB. The installer ends the same way without it.
namespace __gnu_cxx {
void __verbose_terminate_handler() {
    std::abort();
}
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CWayfarerApp app;
    app.InitInstance();
    return 0;
}

#include "app/WayfarerApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CWayfarerApp app;
    app.InitInstance();
    return 0;
}

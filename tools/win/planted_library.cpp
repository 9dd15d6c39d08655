// A library planted under a system library's name beside a program, for the test that the installer loads none
// of them: loading it leaves a marker, "<its path>.loaded", naming the program that loaded it, and then refuses
// to load, so that no program goes on with it in place of the system's.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD length = ::GetModuleFileNameW(instance, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return FALSE;
    lstrcatW(path, L".loaded");
    wchar_t program[MAX_PATH] = {};
    const DWORD programLength = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    HANDLE marker = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(marker, program, programLength * sizeof(wchar_t), &written, nullptr);
        ::WriteFile(marker, L"\n", sizeof(wchar_t), &written, nullptr);
        ::CloseHandle(marker);
    }
    return FALSE;
}

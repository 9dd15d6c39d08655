#include "win32/SystemLibraries.h"

#include <delayimp.h>

#include <iterator>

namespace win32 {
namespace {

// Set once, first thing in the process, before any other thread exists.
bool g_searchLimited = false;

// Libraries that system components load by name on our behalf: the theme library and the desktop composition
// library (the common controls and the window frames); loaded first by full path, a later load by name finds
// them in memory. Without the search limit (Windows 7 without its update), those that its components are known
// to load by name as well.
const wchar_t* const kLoadedForUs[] = {L"uxtheme.dll", L"dwmapi.dll"};
const wchar_t* const kLoadedForUsWithoutLimit[] = {L"cryptbase.dll", L"userenv.dll", L"profapi.dll", L"propsys.dll",
                                                   L"apphelp.dll",   L"clbcatq.dll", L"sspicli.dll", L"ntmarta.dll"};

// The delay-load helper would load a library by its bare name, which without the search limit means the
// program's folder first. Every delay-loaded library is a system one: it is loaded from System32, and one that
// is not there fails as a missing library would, never found elsewhere.
FARPROC WINAPI LoadDelayedFromSystem32(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
        return nullptr;
    wchar_t name[MAX_PATH] = {};
    HMODULE module = nullptr;
    if (::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH) > 0)
        module = LoadSystemLibrary(name);
    if (module == nullptr) {
        info->dwLastError = ::GetLastError();
        ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
        ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    }
    return reinterpret_cast<FARPROC>(module);
}

}  // namespace

bool RestrictLibrarySearch() {
    // Resolved at run time: Windows 7 without its update lacks it, and a static import of it would not start.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories"));
    g_searchLimited =
        setDefaultDllDirectories != nullptr && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
    if (!g_searchLimited)
        ::SetDllDirectoryW(L"");  // takes the current folder out of the search
    __pfnDliNotifyHook2 = LoadDelayedFromSystem32;
    for (const wchar_t* name : kLoadedForUs)
        LoadSystemLibrary(name);
    if (!g_searchLimited) {
        for (const wchar_t* name : kLoadedForUsWithoutLimit)
            LoadSystemLibrary(name);
    }
    return g_searchLimited;
}

std::wstring SystemLibraryPath(const wchar_t* name) {
    const std::wstring file = name != nullptr ? name : L"";
    if (file.empty() || file.find_first_of(L"\\/:") != std::wstring::npos || file == L"." || file == L"..")
        return std::wstring();
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, static_cast<UINT>(std::size(folder)));
    if (length == 0 || length >= std::size(folder))
        return std::wstring();
    return std::wstring(folder, length) + L"\\" + file;
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
    const std::wstring path = SystemLibraryPath(name);
    if (path.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    // With the limit, a full path's dependencies come from System32 as every other load's; without it, the
    // altered search looks in the library's own folder, System32, first.
    return ::LoadLibraryExW(path.c_str(), nullptr,
                            g_searchLimited ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace win32

// What the whole-run tests share: the test's environment, and the wizard driver (tools/win/wizard_driver.cpp)
// walking a built installer.
#pragma once

#include "support/ProgramOutput.h"
#include "win32/Handle.h"

#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string>

namespace whole_run_testing {

inline std::wstring Environment(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2] = {};
    DWORD length = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    return length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

inline std::wstring FolderOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

// Runs the wizard driver on `installer` and returns what it printed; `options` are the driver's further options
// (the keyboard walks).
inline std::string RunDriver(const std::wstring& driver,
                             const std::wstring& installer,
                             const std::wstring& options = L"") {
    return testing_programs::RunCapturingOutput(L"\"" + driver + L"\" \"" + installer +
                                                L"\" --pause 400 --timeout 200" +
                                                (options.empty() ? L"" : L" " + options))
        .output;
}

// Removes the DLM product that earlier runs (the demo's, another test's) left in the Downloads folder of the
// project's prefix, whose user folders are its own (tools/wine-run): a download never replaces a file of its
// name, so a leftover would make this run's copy a numbered one.
inline void RemoveEarlierProductDownloads() {
    PWSTR folder = nullptr;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_Downloads, 0, nullptr, &folder)))
        return;
    const std::wstring downloads = folder;
    ::CoTaskMemFree(folder);
    WIN32_FIND_DATAW found{};
    win32::FindHandle search(::FindFirstFileW((downloads + L"\\Quarvel Setup*.exe").c_str(), &found));
    if (!search)
        return;
    do {
        ::DeleteFileW((downloads + L"\\" + found.cFileName).c_str());
    } while (::FindNextFileW(search.Get(), &found));
}

}  // namespace whole_run_testing

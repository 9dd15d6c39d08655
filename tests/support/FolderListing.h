// The entries of a folder, for tests that look at what a run left behind.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "win32/Handle.h"

namespace testing_files {

// Names of the entries of `folder` (files and folders, without "." and "..").
inline std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry{};
    win32::FindHandle search(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
    if (!search)
        return names;
    do {
        const std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(search.Get(), &entry));
    return names;
}

}  // namespace testing_files

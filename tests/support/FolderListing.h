// The entries of a folder, for tests that make what a run leaves behind and look at it.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
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

inline bool Exists(const std::wstring& path) {
    return ::PathFileExistsW(path.c_str()) != FALSE;
}

// Creates or replaces the file `path` with `content`.
inline void WriteFile(const std::wstring& path, const char* content = "data") {
    win32::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.Get(), content, static_cast<DWORD>(std::strlen(content)), &written, nullptr);
}

}  // namespace testing_files

#include "config/WorkFolder.h"

#include "win32/Handle.h"

#include <shlwapi.h>

#include <algorithm>

namespace {

void DeleteAtReboot(const std::wstring& path) {
    ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

bool SamePath(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// Leaves `path` (a file, or a folder with everything in it) for deletion at reboot, contents before folders.
void DeleteTreeAtReboot(const std::wstring& path, bool isDirectory) {
    if (isDirectory) {
        WIN32_FIND_DATAW entry{};
        win32::FindHandle search(::FindFirstFileW((path + L"\\*.*").c_str(), &entry));
        if (search) {
            do {
                std::wstring name = entry.cFileName;
                if (name == L"." || name == L"..")
                    continue;
                const bool childIsDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                                              (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
                DeleteTreeAtReboot(path + L"\\" + name, childIsDirectory);
            } while (::FindNextFileW(search.Get(), &entry));
        }
    }
    DeleteAtReboot(path);
}

// Deletes everything inside the folder `path`; each sub-folder is emptied first and then removed once.
void DeleteDirectoryContents(const std::wstring& path, const std::vector<std::wstring>& inUse) {
    if (::PathIsDirectoryEmptyW(path.c_str()))
        return;
    WIN32_FIND_DATAW entry{};
    win32::FindHandle search(::FindFirstFileW((path + L"\\*.*").c_str(), &entry));
    if (!search)
        return;
    do {
        std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..")
            continue;
        std::wstring child = path + L"\\" + name;
        const bool isDirectory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (std::any_of(inUse.begin(), inUse.end(), [&](const std::wstring& used) { return SamePath(used, child); })) {
            // A running installer may still read it.
            DeleteTreeAtReboot(child, isDirectory && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0);
            continue;
        }
        if (isDirectory) {
            // A junction or directory link is removed itself: what it points to lies outside the tree.
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                DeleteDirectoryContents(child, inUse);
            if (!::RemoveDirectoryW(child.c_str())) {
                DWORD error = ::GetLastError();
                if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
                    DeleteAtReboot(child);
            }
        } else if (!::DeleteFileW(child.c_str())) {
            DWORD error = ::GetLastError();
            if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
                DeleteAtReboot(child);
        }
    } while (::FindNextFileW(search.Get(), &entry));
}

}  // namespace

void DeleteDirectoryTree(const std::wstring& path, const std::vector<std::wstring>& inUse) {
    if (!::PathFileExistsW(path.c_str()))
        return;
    // An empty folder is removed as well: the temporary folder itself is usually empty when the wizard ends early.
    DeleteDirectoryContents(path, inUse);
    if (!::RemoveDirectoryW(path.c_str()))
        DeleteAtReboot(path);
}

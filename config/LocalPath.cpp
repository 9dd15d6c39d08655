#include "config/LocalPath.h"

#include <windows.h>
#include <shlwapi.h>

#include "win32/PathRules.h"

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// "..", "...", ". ." and the like: Windows trims trailing dots and spaces, so every run of them but a lone "."
// may climb out of its folder.
bool IsDotRun(std::wstring_view name) {
    if (name == L".")
        return false;
    for (wchar_t c : name)
        if (c != L'.' && c != L' ')
            return false;
    return !name.empty();
}

}  // namespace

bool IsPlainLocalPath(std::wstring_view path) {
    if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != L':' || !IsSeparator(path[2]))
        return false;
    size_t start = 3;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::wstring_view name = path.substr(start, end - start);
        for (wchar_t c : name)
            if (path_rules::IsForbiddenInFileName(c))
                return false;
        if (IsDotRun(name) || path_rules::IsDeviceName(name))
            return false;
        start = end + 1;
    }
    return true;
}

bool ProbeFileSystem(const wchar_t* path) {
    return ::PathFileExistsW(path) != FALSE;
}

bool LocalFileExists(const std::wstring& path, FileProbe probe) {
    if (!IsPlainLocalPath(path))
        return false;
    return (probe ? probe : ProbeFileSystem)(path.c_str());
}

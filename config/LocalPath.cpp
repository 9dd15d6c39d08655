#include "config/LocalPath.h"

#include <windows.h>
#include <shlwapi.h>

#include <array>
#include <cwctype>

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Characters no file name holds; some of them make the file system read a name as a pattern or a stream.
bool IsForbiddenCharacter(wchar_t c) {
    return c < 0x20 || c == L':' || c == L'*' || c == L'?' || c == L'"' || c == L'<' || c == L'>' || c == L'|';
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

// "CON", "nul.txt", "COM1 " and the other names Windows opens as devices in any folder.
bool IsDeviceName(std::wstring_view name) {
    std::wstring base(name.substr(0, name.find(L'.')));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (wchar_t& c : base)
        c = static_cast<wchar_t>(std::towupper(c));
    static const std::array<std::wstring_view, 6> kNames = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
    for (std::wstring_view device : kNames)
        if (base == device)
            return true;
    if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0)) {
        const wchar_t digit = base[3];
        // Superscript one, two and three count as digits here too.
        return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
    }
    return false;
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
            if (IsForbiddenCharacter(c))
                return false;
        if (IsDotRun(name) || IsDeviceName(name))
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

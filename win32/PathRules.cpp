#include "win32/PathRules.h"

#include "win32/Strings.h"

#include <algorithm>
#include <cwchar>

namespace path_rules {
namespace {

wchar_t ToUpperAscii(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The digits of COM and LPT ports, superscript one, two and three among them.
bool IsPortDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

}  // namespace

bool IsForbiddenInFileName(wchar_t c) {
    return c < 0x20 || std::wcschr(L"<>:\"/\\|?*", c) != nullptr;
}

bool IsDeviceName(std::wstring_view name) {
    std::size_t length = std::min(name.find(L'.'), name.size());
    while (length > 0 && name[length - 1] == L' ')
        --length;
    // The last two take a digit after them.
    static const wchar_t kDevices[][8] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"COM", L"LPT"};
    constexpr int kNumbered = 6;
    for (int d = 0; d < 8; ++d) {
        const wchar_t* device = kDevices[d];
        std::size_t i = 0;
        while (device[i] != 0 && i < length && ToUpperAscii(name[i]) == device[i])
            ++i;
        if (device[i] != 0)
            continue;
        if (d < kNumbered ? i == length : length == 4 && IsPortDigit(name[3]))
            return true;
    }
    return false;
}

bool IsPlainFileName(std::wstring_view name) {
    if (name.empty() || name.size() > kMaxFileNameChars)
        return false;
    wchar_t previous = 0;
    for (wchar_t c : name) {
        if (IsForbiddenInFileName(c) || (c == L'.' && previous == L'.'))
            return false;
        previous = c;
    }
    if (previous == L'.' || previous == L' ')
        return false;
    return !IsDeviceName(name);
}

bool IsHttpUrl(std::wstring_view url) {
    return win32::StartsWithNoCase(url, L"http://") || IsHttpsUrl(url);
}

bool IsHttpsUrl(std::wstring_view url) {
    return win32::StartsWithNoCase(url, L"https://");
}

}  // namespace path_rules

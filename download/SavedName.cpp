#include "download/SavedName.h"

#include <windows.h>

#include <algorithm>

#include "win32/ServerText.h"

namespace download {

std::wstring MakeSavedName(std::wstring_view serverName) {
    std::wstring name = server_text::StripInvisibleFormatting(serverName);
    for (wchar_t& c : name) {
        if (c == L'%')
            c = L'_';
    }
    return name;
}

std::wstring MakeNumberedName(const std::wstring& name, int number, std::size_t maxChars) {
    const size_t dot = name.rfind(L'.');
    const size_t stemEnd = dot == std::wstring::npos || dot == 0 ? name.size() : dot;
    const std::wstring suffix = L" (" + std::to_wstring(number) + L")" + name.substr(stemEnd);
    if (suffix.size() >= maxChars)
        return {};
    size_t stemChars = std::min(stemEnd, maxChars - suffix.size());
    // Never split a surrogate pair.
    if (stemChars > 0 && stemChars < stemEnd && IS_HIGH_SURROGATE(name[stemChars - 1]))
        --stemChars;
    if (stemChars == 0)
        return {};
    return name.substr(0, stemChars) + suffix;
}

bool MeansItself(const std::wstring& path) {
    const DWORD size = ::ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (size == 0)
        return false;
    std::wstring expanded(size, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(path.c_str(), expanded.data(), size);
    if (written == 0 || written > size)
        return false;
    expanded.resize(written - 1);
    return expanded == path;
}

}  // namespace download

#include "download/UrlRules.h"

#include "win32/ServerText.h"
#include "win32/PathRules.h"

#include <windows.h>

#include <algorithm>

namespace {

bool EqualsNoCase(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) == CSTR_EQUAL;
}

// Keeps the name readable (an installer may read its own name) while making it a plain file name.
std::wstring CleanFileName(std::wstring name) {
    name = server_text::StripInvisibleFormatting(name);
    for (wchar_t& c : name) {
        if (path_rules::IsForbiddenInFileName(c))
            c = L'_';
    }
    // Windows strips trailing dots and spaces, which would make two names the same file.
    while (!name.empty() && (name.back() == L'.' || name.back() == L' '))
        name.pop_back();
    // Long names risk the MAX_PATH limit of the folder joined with the name.
    constexpr size_t kMaxLength = 80;
    if (name.size() > kMaxLength) {
        size_t dot = name.rfind(L'.');
        std::wstring extension = dot != std::wstring::npos && name.size() - dot <= 8 ? name.substr(dot) : L"";
        name = name.substr(0, kMaxLength - extension.size()) + extension;
    }
    return name;
}

}  // namespace

std::wstring LastUrlSegment(const std::wstring& url) {
    const size_t slash = url.rfind(L'/');
    return slash == std::wstring::npos ? std::wstring() : url.substr(slash + 1);
}

std::wstring MakeAbsoluteUrl(const std::wstring& url, const std::wstring& filesBaseUrl) {
    return path_rules::IsHttpUrl(url) ? url : filesBaseUrl + url;
}

std::wstring MakeSavedFileName(const std::wstring& url, std::vector<std::wstring>& takenNames) {
    std::wstring path = url.substr(0, url.find_first_of(L"?#"));
    std::wstring name = CleanFileName(LastUrlSegment(path));
    size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot == 0)
        name += L".exe";
    if (name == L".exe" || !path_rules::IsPlainFileName(name))
        name = L"installer.exe";

    dot = name.rfind(L'.');
    const std::wstring stem = name.substr(0, dot);
    const std::wstring extension = name.substr(dot);
    std::wstring candidate = name;
    for (int number = 2; std::any_of(takenNames.begin(), takenNames.end(),
                                     [&](const std::wstring& taken) { return EqualsNoCase(taken, candidate); });
         ++number)
        candidate = stem + L" (" + std::to_wstring(number) + L")" + extension;
    takenNames.push_back(candidate);
    return candidate;
}

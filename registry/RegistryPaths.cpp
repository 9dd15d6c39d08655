#include "registry/RegistryPaths.h"

#include <cwctype>
#include <stdexcept>

namespace registry {

namespace {

struct Abbreviation {
    const wchar_t* shortName;
    const wchar_t* fullName;
};

constexpr Abbreviation kAbbreviations[] = {
    {L"hklm", L"hkey_local_machine"}, {L"hkcu", L"hkey_current_user"},   {L"hkcr", L"hkey_classes_root"},
    {L"hku", L"hkey_users"},          {L"hkcc", L"hkey_current_config"},
};

struct Hive {
    const wchar_t* name;
    HKEY handle;
};

// Table order is the order in which a path's hive is recognised.
const Hive kHives[] = {
    {L"hkey_local_machine", HKEY_LOCAL_MACHINE},   {L"hkey_current_user", HKEY_CURRENT_USER},
    {L"hkey_classes_root", HKEY_CLASSES_ROOT},     {L"hkey_users", HKEY_USERS},
    {L"hkey_current_config", HKEY_CURRENT_CONFIG},
};

constexpr const wchar_t* kSoftwarePrefixes[] = {L"hkey_local_machine\\software\\", L"hkey_current_user\\software\\"};
constexpr const wchar_t* kWow6432NodePrefixes[] = {L"hkey_local_machine\\software\\wow6432node\\",
                                                   L"hkey_current_user\\software\\wow6432node\\"};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool Is64BitWindows() {
    static const bool windows64 = [] {
#ifdef _WIN64
        return true;
#endif
        BOOL wow64 = FALSE;
        return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
    }();
    return windows64;
}

std::wstring LowerCase(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

std::vector<std::wstring> ExpandKeyPath(const std::wstring& path, bool windows64) {
    if (path.empty())
        return {};
    if (StartsWith(path, L"hkey")) {
        for (const Hive& hive : kHives) {
            if (StartsWith(path, std::wstring(hive.name) + L"\\"))
                return {path};
        }
    }
    if (StartsWith(path, L"hk")) {
        for (const Abbreviation& abbreviation : kAbbreviations) {
            const std::wstring shortName = abbreviation.shortName;
            if (StartsWith(path, shortName + L"\\"))
                return {abbreviation.fullName + path.substr(shortName.size())};
        }
    }
    std::vector<std::wstring> candidates;
    for (const wchar_t* prefix : kSoftwarePrefixes)
        candidates.push_back(prefix + path);
    if (windows64) {
        for (const wchar_t* prefix : kWow6432NodePrefixes)
            candidates.push_back(prefix + path);
    }
    return candidates;
}

bool ResolveRegistryView(std::wstring& path, std::wstring& removed, REGSAM& flags, bool windows64) {
    size_t prefixLength = 0;
    for (const wchar_t* prefix : kSoftwarePrefixes) {
        if (StartsWith(path, prefix))
            prefixLength = std::wstring(prefix).size();
    }
    if (prefixLength == 0) {
        flags |= kProcessView;
        return false;
    }

    // The component right after "software\" decides the view.
    const size_t end = path.find(L'\\', prefixLength);
    const std::wstring third = path.substr(prefixLength, end == std::wstring::npos ? end : end - prefixLength);
    if (third == L"wow6432node") {
        if (!windows64)
            return true;
        const std::wstring segment = L"wow6432node\\";
        const size_t at = path.find(segment);
        if (at != std::wstring::npos)
            path.erase(at, segment.size());
        removed = segment;
        flags |= kProcessView;
        return false;
    }
    if (windows64)
        flags |= KEY_WOW64_64KEY;
    return false;
}

std::pair<std::wstring, std::wstring> SplitKeyPath(const std::wstring& fullPath) {
    const size_t slash = fullPath.find(L'\\');
    if (slash == std::wstring::npos)
        return {fullPath, std::wstring()};
    return {fullPath.substr(0, slash), fullPath.substr(slash + 1)};
}

HKEY HiveHandle(const std::wstring& hiveName) {
    for (const Hive& hive : kHives) {
        if (hiveName == hive.name)
            return hive.handle;
    }
    throw std::out_of_range("invalid unordered_map<K, T> key");
}

}  // namespace registry

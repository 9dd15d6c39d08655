#include "registry/Registry.h"

#include <cstdint>
#include <cwchar>
#include <string>
#include <string_view>

namespace registry {

namespace {

// A view, not a string: a loading run still under way while the process ends may read it.
constexpr std::wstring_view kSoftware = L"software";

bool UnderSoftware(const std::wstring& fullPath) {
    for (const wchar_t* prefix : {L"hkey_local_machine\\software\\", L"hkey_current_user\\software\\"}) {
        if (fullPath.compare(0, std::wcslen(prefix), prefix) == 0)
            return true;
    }
    return false;
}

win32::RegKey OpenKeyOrThrow(HKEY parent, const std::wstring& subkey, REGSAM access) {
    win32::RegKey key;
    LSTATUS status = ::RegOpenKeyExW(parent, subkey.c_str(), 0, access, key.Put());
    if (status != ERROR_SUCCESS)
        throw win32::RegistryError("Cannot open registry key: RegOpenKeyEx failed.", status);
    return key;
}

DWORD ReadDword(HKEY key, const std::wstring& valueName) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    LSTATUS status = ::RegGetValueW(key, nullptr, valueName.c_str(), RRF_RT_REG_DWORD, nullptr, &value, &size);
    if (status != ERROR_SUCCESS)
        throw win32::RegistryError("Cannot read DWORD from registry.", status);
    return value;
}

std::uint64_t ReadQword(HKEY key, const std::wstring& valueName) {
    std::uint64_t value = 0;
    DWORD size = sizeof(value);
    LSTATUS status = ::RegGetValueW(key, nullptr, valueName.c_str(), RRF_RT_REG_QWORD, nullptr, &value, &size);
    if (status != ERROR_SUCCESS)
        throw win32::RegistryError("Cannot read QWORD from registry.", status);
    return value;
}

}  // namespace

win32::RegKey OpenKey(HKEY parent, const std::wstring& subkey, REGSAM access) {
    win32::RegKey key;
    if (::RegOpenKeyExW(parent, subkey.c_str(), 0, access, key.Put()) != ERROR_SUCCESS)
        key.Reset();
    return key;
}

std::vector<std::wstring> EnumerateSubkeys(HKEY key) {
    DWORD count = 0;
    DWORD longest = 0;
    LSTATUS status = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        throw win32::RegistryError("RegQueryInfoKey failed while preparing for subkey enumeration.", status);

    std::vector<std::wstring> names;
    names.reserve(count);
    std::wstring buffer(static_cast<size_t>(longest) + 1, L'\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = static_cast<DWORD>(buffer.size());
        status = ::RegEnumKeyExW(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
        // Keys removed since the count was taken simply end the list early.
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            throw win32::RegistryError("Cannot enumerate subkeys: RegEnumKeyEx failed.", status);
        names.push_back(LowerCase(buffer.substr(0, length)));
    }
    return names;
}

bool ValueExists(HKEY key, const std::wstring& valueName) {
    return ::RegGetValueW(key, nullptr, valueName.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

DWORD GetValueType(HKEY key, const std::wstring& valueName) {
    DWORD type = 0;
    if (::RegQueryValueExW(key, valueName.c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return type;
}

std::wstring ReadString(HKEY key, const std::wstring& subkey, const std::wstring& valueName) {
    const wchar_t* subkeyText = subkey.empty() ? nullptr : subkey.c_str();
    DWORD size = 0;
    LSTATUS status = ::RegGetValueW(key, subkeyText, valueName.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size);
    if (status != ERROR_SUCCESS)
        throw win32::RegistryError("Cannot read string from registry", status);

    // Room for a terminator the registry may add to a value stored without one.
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status = ::RegGetValueW(key, subkeyText, valueName.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &size);
    if (status != ERROR_SUCCESS)
        throw win32::RegistryError("Cannot read string from registry", status);

    // The length comes from what was read; an empty value may arrive with no terminator at all.
    text.resize(size / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

bool ValueDataMatches(DWORD type, HKEY key, const std::wstring& valueName, const std::wstring& expected) {
    switch (type) {
        case REG_SZ:
            return LowerCase(ReadString(key, std::wstring(), valueName)) == expected;
        case REG_DWORD:
            return ReadDword(key, valueName) == std::stoul(expected, nullptr, 10);
        case REG_QWORD:
            return ReadQword(key, valueName) == std::stoull(expected, nullptr, 10);
        default:
            return false;
    }
}

RegistryAccess::RegistryAccess(bool useSubkeyCache, bool windows64)
    : m_useSubkeyCache(useSubkeyCache), m_windows64(windows64) {}

const RegistryAccess::SoftwareKey* RegistryAccess::FindSoftwareKey(HKEY hive, REGSAM view) {
    auto found = m_softwareKeys.find({hive, view});
    if (found != m_softwareKeys.end())
        return &found->second;
    SoftwareKey software;
    try {
        software.key = OpenKeyOrThrow(hive, std::wstring(kSoftware), KEY_READ | view);
        for (std::wstring& name : EnumerateSubkeys(software.key.Get()))
            software.subkeys.insert(std::move(name));
    } catch (const win32::RegistryError&) {
        // Not remembered: the next probe tries again.
        return nullptr;
    }
    return &m_softwareKeys.emplace(std::make_pair(hive, view), std::move(software)).first->second;
}

bool RegistryAccess::KeyExists(const std::wstring& fullPath) {
    if (!UnderSoftware(fullPath)) {
        auto [hiveName, subkey] = SplitKeyPath(fullPath);
        return OpenKey(HiveHandle(hiveName), subkey, KEY_READ | kProcessView).IsValid();
    }

    std::wstring path = fullPath;
    std::wstring removed;
    REGSAM view = 0;
    if (ResolveRegistryView(path, removed, view, m_windows64))
        return false;

    // hive \ software \ rest
    auto [hiveName, belowHive] = SplitKeyPath(path);
    const HKEY hive = HiveHandle(hiveName);
    const std::wstring rest = SplitKeyPath(belowHive).second;
    if (!m_useSubkeyCache) {
        win32::RegKey software = OpenKey(hive, std::wstring(kSoftware), KEY_READ | view);
        return software && OpenKey(software.Get(), rest, KEY_READ | view).IsValid();
    }

    const SoftwareKey* software = FindSoftwareKey(hive, view);
    // The listing is lower case and the registry ignores case, so the name the rules pass (as the server
    // wrote it, for the "pn" path) is lower-cased to find its key.
    if (software == nullptr || software->subkeys.count(LowerCase(SplitKeyPath(rest).first)) == 0)
        return false;
    return OpenKey(software->key.Get(), rest, KEY_READ | view).IsValid();
}

bool RegistryAccess::ReadValueAsText(const std::wstring& root,
                                     const std::wstring& keyPath,
                                     const std::wstring& valueName,
                                     std::wstring& text) {
    std::vector<std::wstring> candidates = {root + L"\\" + keyPath};
    if (m_windows64 && keyPath.compare(0, kSoftware.size(), kSoftware) == 0)
        candidates.push_back(root + L"\\" + keyPath.substr(0, kSoftware.size()) + L"\\wow6432node" +
                             keyPath.substr(kSoftware.size()));

    for (const std::wstring& candidate : candidates) {
        if (!KeyExists(candidate))
            continue;
        std::wstring path = candidate;
        std::wstring removed;
        REGSAM flags = KEY_READ;
        if (ResolveRegistryView(path, removed, flags, m_windows64))
            continue;
        auto [hiveName, subkey] = SplitKeyPath(path);
        win32::RegKey key = OpenKey(HiveHandle(hiveName), subkey, flags);
        if (!key || !ValueExists(key.Get(), valueName))
            continue;
        try {
            switch (GetValueType(key.Get(), valueName)) {
                case REG_SZ:
                    text = ReadString(key.Get(), std::wstring(), valueName);
                    return true;
                case REG_DWORD:
                    text = std::to_wstring(ReadDword(key.Get(), valueName));
                    return true;
                case REG_QWORD: {
                    // Not std::to_wstring: it formats 64-bit numbers with "%llu" through the system's C runtime,
                    // which not every Windows reads.
                    const std::string digits = std::to_string(ReadQword(key.Get(), valueName));
                    text.assign(digits.begin(), digits.end());
                    return true;
                }
                default:
                    break;
            }
        } catch (const win32::RegistryError&) {
            // A value that cannot be read counts as absent in this candidate.
        }
    }
    return false;
}

}  // namespace registry

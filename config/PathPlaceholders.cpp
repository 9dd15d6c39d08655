#include "config/PathPlaceholders.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

std::wstring ExpandPathPlaceholders(std::wstring path, const PlaceholderTable& table) {
    for (const auto& [name, value] : table) {
        const std::wstring token = L"{" + name + L"}";
        // Scanning resumes after the inserted value, so a value holding its own token cannot loop.
        for (size_t at = path.find(token); at != std::wstring::npos; at = path.find(token, at + value.size()))
            path.replace(at, token.size(), value);
    }
    return path;
}

std::wstring GetKnownFolderPath(REFKNOWNFOLDERID id) {
    PWSTR folder = nullptr;
    HRESULT result = ::SHGetKnownFolderPath(id, 0, nullptr, &folder);
    std::wstring path;
    if (SUCCEEDED(result) && folder != nullptr)
        path = folder;
    // The buffer is freed on failure too: the call may allocate one either way.
    ::CoTaskMemFree(folder);
    return path;
}

bool IsWow64() {
#ifdef _WIN64
    // A 64-bit build (the test build of machines without 32-bit code) runs on a 64-bit Windows by definition,
    // and sees the machine the way the 32-bit installer sees it under WOW64.
    return true;
#else
    BOOL wow64 = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
#endif
}

void BuildPathPlaceholderTables(PlaceholderTable& pathPlaceholders, PlaceholderTable& pf64Placeholders) {
    const bool wow64 = IsWow64();
    pathPlaceholders.clear();
    pf64Placeholders.clear();
    pathPlaceholders.emplace_back(L"commonpf", wow64 ? L"{commonpf64}" : L"{commonpf32}");
    pathPlaceholders.emplace_back(L"localappdata", GetKnownFolderPath(FOLDERID_LocalAppData));
    // Deliberately the user's roaming folder, not the machine-wide one: that is where the product installs.
    pathPlaceholders.emplace_back(L"commonappdata", GetKnownFolderPath(FOLDERID_RoamingAppData));
    pathPlaceholders.emplace_back(L"programdata", GetKnownFolderPath(FOLDERID_ProgramData));
    pathPlaceholders.emplace_back(L"commonpf32", GetKnownFolderPath(FOLDERID_ProgramFilesX86));
    if (wow64) {
        // A 32-bit process sees the 64-bit program files folder only through this variable.
        wchar_t programFiles64[MAX_PATH] = {};
        DWORD length = ::GetEnvironmentVariableW(L"ProgramW6432", programFiles64, MAX_PATH);
        if (length >= 1 && length < MAX_PATH) {
            pathPlaceholders.emplace_back(L"commonpf64", programFiles64);
            pf64Placeholders.emplace_back(L"commonpf64", programFiles64);
        }
    }
}

void ConfigurationManager::BuildPathPlaceholders() {
    BuildPathPlaceholderTables(m_pathPlaceholders, m_pf64Placeholders);
    m_placeholdersReady = true;
}

PlaceholderTable ConfigurationManager::GetPathPlaceholders() {
    if (!m_placeholdersReady)
        BuildPathPlaceholders();
    return m_pathPlaceholders;
}

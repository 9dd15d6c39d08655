#include "offers/PresenceChecks.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "offers/Package.h"
#include "offers/PnStamp.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <ctime>
#include <limits>

using registry::LowerCase;

namespace {

const wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A key path and the last component after it ("a\b\c" → "a\b", "c"); false without a backslash.
bool SplitAtLastBackslash(const std::wstring& text, std::wstring& head, std::wstring& tail) {
    const size_t slash = text.rfind(L'\\');
    if (slash == std::wstring::npos)
        return false;
    head = text.substr(0, slash);
    tail = text.substr(slash + 1);
    return true;
}

// Opens the key of a full path in the view the path selects; invalid when it cannot exist here or be opened.
win32::RegKey OpenInItsView(const std::wstring& fullPath, bool windows64) {
    std::wstring path = fullPath;
    std::wstring removed;
    REGSAM flags = KEY_READ;
    if (registry::ResolveRegistryView(path, removed, flags, windows64))
        return win32::RegKey();
    auto [hiveName, subkey] = registry::SplitKeyPath(path);
    return registry::OpenKey(registry::HiveHandle(hiveName), subkey, flags);
}

}  // namespace

bool AnyFileExists(const std::vector<std::wstring>& paths, FileProbe probe) {
    return std::any_of(paths.begin(), paths.end(),
                       [probe](const std::wstring& path) { return LocalFileExists(path, probe); });
}

bool ProcessNameMatches(const std::wstring& name, const std::wstring& processName) {
    const auto dots = [](const std::wstring& text) { return std::count(text.begin(), text.end(), L'.'); };
    std::wstring compared = processName;
    if (dots(processName) > dots(name))
        compared.erase(processName.rfind(L'.'));
    return name == compared;
}

bool UninstallHoldActive(std::uint64_t storedTime, bool milliseconds, int minDays, std::uint64_t now) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t uninstalled = milliseconds ? storedTime / 1000 : storedTime;
    // 64-bit arithmetic that stops at the ends: days beyond 24855 overflow 32 bits, and a stored time near the
    // top must not wrap round to the distant past.
    const std::uint64_t hold =
        static_cast<std::uint64_t>(minDays < 0 ? -static_cast<std::int64_t>(minDays) : minDays) * 86400u;
    std::uint64_t until;
    if (minDays >= 0)
        until = uninstalled > kMax - hold ? kMax : uninstalled + hold;
    else
        until = uninstalled > hold ? uninstalled - hold : 0;
    return now < until;
}

PresenceChecks::PresenceChecks(bool useSubkeyCache, FileProbe fileProbe)
    : m_registry(useSubkeyCache), m_fileProbe(fileProbe) {}

std::string PresenceChecks::CheckRegistry(const Package& offer) {
    if (!offer.m_registryKeys.empty() && AnyKeyExists(offer.m_registryKeys))
        return "REGISTRY KEY EXISTS";
    if (!offer.m_includeRegistryKeys.empty() && !AnyKeyExists(offer.m_includeRegistryKeys))
        return "NONE OF THE REGISTRY KEYS EXISTS";
    if (AnyValueExists(offer.m_registryValueNames))
        return "REGISTRY VALUE EXISTS";
    if (AnyValueDataMatches(offer.m_registryValueData))
        return "REGISTRY VALUE DATA MATCHES";
    return {};
}

std::string PresenceChecks::CheckFiles(const Package& offer) {
    if (!offer.m_excludeFiles.empty() && AnyFileExists(offer.m_excludeFiles, m_fileProbe))
        return "FILE EXISTS";
    if (!offer.m_includeFiles.empty() && !AnyFileExists(offer.m_includeFiles, m_fileProbe))
        return "NONE OF THE FILES EXISTS";
    return {};
}

std::string PresenceChecks::CheckMachineState(const Package& offer) {
    for (const std::string& name : offer.m_processNames) {
        if (IsRunning(name))
            return "APPLICATION RUNNING";
    }
    for (const std::wstring& name : offer.m_includeAppPaths) {
        if (!AppPathFound(name))
            return "REGISTRY INCLUDE APP NOT FOUND";
    }
    for (const std::wstring& name : offer.m_excludeAppPaths) {
        if (AppPathFound(name))
            return "REGISTRY EXCLUDE APP FOUND";
    }
    if (RecentlyUninstalled(offer))
        return "MIN DAYS UNINSTALL CHECKER";
    std::string browser = CheckBrowser(offer);
    if (!browser.empty())
        return browser;
    if (offer.m_checksIeVersion && HasOldInternetExplorer())
        return "OLD IE VERSION";
    if (PnDateNotReached(offer))
        return "PN NO SHOW";
    return {};
}

bool PresenceChecks::AnyKeyExists(const std::vector<std::wstring>& entries) {
    for (const std::wstring& entry : entries) {
        const std::vector<std::wstring> candidates = registry::ExpandKeyPath(LowerCase(entry), m_registry.Windows64());
        // An entry that names no key at all ends the search: the rule reads the list as unusable.
        if (candidates.empty())
            return false;
        for (const std::wstring& candidate : candidates) {
            if (m_registry.KeyExists(candidate))
                return true;
        }
    }
    return false;
}

bool PresenceChecks::AnyValueExists(const std::vector<std::wstring>& entries) {
    for (const std::wstring& entry : entries) {
        for (const std::wstring& candidate : registry::ExpandKeyPath(LowerCase(entry), m_registry.Windows64())) {
            std::wstring keyPath, valueName;
            if (!SplitAtLastBackslash(candidate, keyPath, valueName) || !m_registry.KeyExists(keyPath))
                continue;
            win32::RegKey key = OpenInItsView(keyPath, m_registry.Windows64());
            if (key && registry::ValueExists(key.Get(), valueName))
                return true;
        }
    }
    return false;
}

bool PresenceChecks::AnyValueDataMatches(const std::vector<std::wstring>& entries) {
    for (const std::wstring& entry : entries) {
        for (const std::wstring& candidate : registry::ExpandKeyPath(LowerCase(entry), m_registry.Windows64())) {
            std::wstring rest, data, keyPath, valueName;
            if (!SplitAtLastBackslash(candidate, rest, data) || !SplitAtLastBackslash(rest, keyPath, valueName) ||
                !m_registry.KeyExists(keyPath))
                continue;
            win32::RegKey key = OpenInItsView(keyPath, m_registry.Windows64());
            if (!key || !registry::ValueExists(key.Get(), valueName))
                continue;
            const DWORD type = registry::GetValueType(key.Get(), valueName);
            if (type == 0)
                continue;
            try {
                if (registry::ValueDataMatches(type, key.Get(), valueName, data))
                    return true;
            } catch (const win32::RegistryError&) {
                // Unreadable data is treated as absent; a malformed expected number is not caught here.
            }
        }
    }
    return false;
}

bool PresenceChecks::IsRunning(const std::string& name) {
    if (!m_processesListed) {
        m_processesListed = true;
        win32::FileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (snapshot) {
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof(entry);
            for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more;
                 more = ::Process32NextW(snapshot.Get(), &entry))
                m_processes.push_back(LowerCase(entry.szExeFile));
        }
    }
    const std::wstring wanted = LowerCase(win32::Utf8ToWide(name));
    return std::any_of(m_processes.begin(), m_processes.end(),
                       [&](const std::wstring& process) { return ProcessNameMatches(wanted, process); });
}

bool PresenceChecks::AppPathFound(const std::wstring& name) {
    if (!m_appPathsListed) {
        m_appPathsListed = true;
        std::vector<REGSAM> views = {0};
        if (m_registry.Windows64())
            views.push_back(KEY_WOW64_64KEY);
        for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            for (REGSAM view : views) {
                win32::RegKey root = registry::OpenKey(hive, kAppPathsKey, KEY_READ | view);
                if (!root)
                    continue;
                try {
                    for (const std::wstring& subkey : registry::EnumerateSubkeys(root.Get()))
                        m_appPaths[subkey].push_back(AppPathEntry{hive, view, std::wstring()});
                } catch (const win32::RegistryError&) {
                    // A root that cannot be listed adds nothing.
                }
            }
        }
    }
    auto found = m_appPaths.find(name);
    if (found == m_appPaths.end())
        return false;
    for (AppPathEntry& entry : found->second) {
        if (!entry.resolved) {
            entry.resolved = true;
            win32::RegKey key = registry::OpenKey(entry.hive, kAppPathsKey + name, KEY_READ | entry.view);
            try {
                if (key)
                    entry.path = registry::ReadString(key.Get(), std::wstring(), std::wstring());
            } catch (const win32::RegistryError&) {
                entry.path.clear();
            }
        }
        // The server chose the name; whatever path the machine keeps under it is still only looked up locally.
        if (LocalFileExists(entry.path, m_fileProbe))
            return true;
    }
    return false;
}

bool PresenceChecks::RecentlyUninstalled(const Package& offer) {
    for (const UninstallCheck& check : offer.m_uninstallChecks) {
        std::wstring text;
        if (!m_registry.ReadValueAsText(LowerCase(check.utr), LowerCase(check.utk), LowerCase(check.utvn), text))
            continue;
        // A stored text that is no number raises here and ends the run.
        const std::uint64_t stored = std::stoull(text, nullptr, 10);
        if (UninstallHoldActive(stored, check.utms, check.umd, static_cast<std::uint64_t>(std::time(nullptr))))
            return true;
    }
    return false;
}

std::string PresenceChecks::CheckBrowser(const Package& offer) {
    if (!offer.m_needsChrome && !offer.m_needsNoChrome)
        return {};
    const PlaceholderTable placeholders = ConfigurationManager::GetInstance()->GetPathPlaceholders();
    std::vector<std::wstring> candidates;
    for (const wchar_t* path :
         {L"{commonpf}\\Chromium\\Application\\chrome.exe", L"{commonpf}\\Google\\Chrome\\Application\\chrome.exe",
          L"{localappdata}\\Chromium\\Application\\chrome.exe"})
        candidates.push_back(ExpandPathPlaceholders(path, placeholders));
    std::wstring folder;
    if (m_registry.ReadValueAsText(L"hkey_local_machine", std::wstring(kAppPathsKey) + L"chrome.exe", L"Path", folder))
        candidates.push_back(folder + L"\\chrome.exe");
    std::wstring beacon;
    if (m_registry.ReadValueAsText(L"hkey_current_user", L"SOFTWARE\\Google\\Chrome\\BLBeacon", L"Path", beacon))
        candidates.push_back(beacon);

    const bool present = AnyFileExists(candidates, m_fileProbe);
    if (offer.m_needsChrome && !present)
        return "NO CHROME";
    if (offer.m_needsNoChrome && present)
        return "HAVE CHROME";
    return {};
}

bool PresenceChecks::HasOldInternetExplorer() {
    std::wstring version;
    if (!m_registry.ReadValueAsText(L"hkey_local_machine", L"SOFTWARE\\Microsoft\\Internet Explorer", L"Version",
                                    version))
        return false;
    // The leading number only ("11.0" of "11.0.9600.19596"); a text without one raises and ends the run.
    const float major = std::stof(version);
    return major * 10.0f < 90.0f;
}

bool PresenceChecks::PnDateNotReached(const Package& offer) {
    if (!offer.m_pn.enabled)
        return false;
    std::wstring keyPath;
    std::wstring valueName;
    std::wstring stored;
    if (!pn_stamp::SplitValuePath(offer.m_pn.registryValuePath, keyPath, valueName) ||
        !m_registry.ReadValueAsText(L"hkey_local_machine", keyPath, valueName, stored))
        return false;
    return pn_stamp::LocalDateDigits(std::time(nullptr)) < stored;
}

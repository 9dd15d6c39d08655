// The rules that admit or refuse an offer by what is already on the machine: registry keys, values and data,
// files, running programs, App Paths, a recent uninstall, the browser, an old Internet Explorer and a stored
// no-show date. One instance serves one evaluation run and keeps the listings it builds for the whole run.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "config/LocalPath.h"
#include "registry/Registry.h"

class Package;

class PresenceChecks {
public:
    // `useSubkeyCache` off makes every key probe open the registry; only the benchmark compares the two.
    // `fileProbe` answers for the file system; only plain local paths ever reach it (config/LocalPath.h).
    explicit PresenceChecks(bool useSubkeyCache = true, FileProbe fileProbe = ProbeFileSystem);

    // Each check returns the reason the offer is refused for, or an empty text when it passes. A registry text
    // that should be a number and is not raises the standard library's conversion error, which ends the run.

    // "r", then "ir", then "rvn", then "rvd".
    std::string CheckRegistry(const Package& offer);
    // "fe", then "ife".
    std::string CheckFiles(const Package& offer);
    // "a", "iapp" and "eapp", "cmdu", the browser, the Internet Explorer version and the "pn" no-show date.
    std::string CheckMachineState(const Package& offer);

private:
    struct AppPathEntry {
        HKEY hive;
        REGSAM view;
        std::wstring path;
        bool resolved = false;
    };

    bool AnyKeyExists(const std::vector<std::wstring>& entries);
    bool AnyValueExists(const std::vector<std::wstring>& entries);
    bool AnyValueDataMatches(const std::vector<std::wstring>& entries);
    bool IsRunning(const std::string& name);
    bool AppPathFound(const std::wstring& name);
    bool RecentlyUninstalled(const Package& offer);
    std::string CheckBrowser(const Package& offer);
    bool HasOldInternetExplorer();
    bool PnDateNotReached(const Package& offer);

    registry::RegistryAccess m_registry;
    FileProbe m_fileProbe;
    // Filled on first use and kept for the run: a program started or registered meanwhile is not seen.
    std::vector<std::wstring> m_processes;
    bool m_processesListed = false;
    std::unordered_map<std::wstring, std::vector<AppPathEntry>> m_appPaths;
    bool m_appPathsListed = false;
};

// Whether any of the paths names an existing file or folder; stops at the first that does. A path that is not
// a plain local one counts as absent and is never looked up.
bool AnyFileExists(const std::vector<std::wstring>& paths, FileProbe probe = ProbeFileSystem);

// Whether a process whose lower-case executable name is `processName` answers to the lower-case `name`: a name
// with fewer dots than the process's matches it without its last extension ("chrome" is "chrome.exe"), so
// "chrome.exe" must match in full.
bool ProcessNameMatches(const std::wstring& name, const std::wstring& processName);

// Whether an uninstall at `storedTime` (seconds since 1970, or milliseconds when `milliseconds`) still holds an
// offer back at `now` (seconds since 1970) for `minDays` days. Saturates instead of wrapping, so a huge
// stored time or day count holds the offer back rather than releasing it.
bool UninstallHoldActive(std::uint64_t storedTime, bool milliseconds, int minDays, std::uint64_t now);

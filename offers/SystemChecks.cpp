#include "offers/SystemChecks.h"

#include "config/PathPlaceholders.h"
#include "net/Codecs.h"
#include "net/WinHttpSettings.h"
#include "offers/Package.h"
#include "win32/Handle.h"

#include <knownfolders.h>

#include <algorithm>
#include <climits>
#include <vector>

bool MachineFacts::GetFreeDiskMiB(const std::wstring& folder, std::uint64_t& mib, DWORD& error) {
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) {
        error = ::GetLastError();
        return false;
    }
    mib = available.QuadPart >> 20;
    return true;
}

bool MachineFacts::GetTotalRamMiB(std::uint64_t& mib, DWORD& error) {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status)) {
        error = ::GetLastError();
        return false;
    }
    mib = status.ullTotalPhys >> 20;
    return true;
}

MachineFacts::CpuRead MachineFacts::GetCpuMHz(DWORD& mhz) {
    win32::RegKey key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0,
                        KEY_READ | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
        return CpuRead::OpenFailed;
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (::RegQueryValueExA(key.Get(), "~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof(value))
        return CpuRead::ReadFailed;
    mhz = value;
    return CpuRead::Ok;
}

bool MachineFacts::IsWindowsVersionOrGreater(WORD major, WORD minor, WORD servicePack) {
    return IsWindowsVersionAtLeast(major, minor, servicePack);
}

namespace {

// The number a version part starts with, as _wtoi reads it; a part too large for an int counts as the largest.
long long ReadVersionPart(const std::wstring& part) {
    size_t at = 0;
    while (at < part.size() && (part[at] == L' ' || part[at] == L'\t'))
        ++at;
    bool negative = false;
    if (at < part.size() && (part[at] == L'+' || part[at] == L'-'))
        negative = part[at++] == L'-';
    long long value = 0;
    for (; at < part.size() && part[at] >= L'0' && part[at] <= L'9'; ++at)
        value = std::min<long long>(value * 10 + (part[at] - L'0'), INT_MAX);
    return negative ? -value : value;
}

std::vector<long long> SplitVersion(const std::wstring& version) {
    std::vector<long long> parts;
    size_t start = 0;
    while (start <= version.size()) {
        size_t dot = version.find(L'.', start);
        if (dot == std::wstring::npos)
            dot = version.size();
        if (dot > start)
            parts.push_back(ReadVersionPart(version.substr(start, dot - start)));
        start = dot + 1;
    }
    return parts;
}

}  // namespace

int CompareDottedVersions(const std::wstring& installed, const std::wstring& required) {
    const std::vector<long long> have = SplitVersion(installed);
    const std::vector<long long> need = SplitVersion(required);
    for (size_t i = 0; i < std::max(have.size(), need.size()); ++i) {
        const long long a = i < have.size() ? have[i] : 0;
        const long long b = i < need.size() ? need[i] : 0;
        if (a != b)
            return a < b ? -1 : 1;
    }
    return 0;
}

SystemChecks::SystemChecks(std::shared_ptr<MachineFacts> facts)
    : m_facts(facts ? std::move(facts) : std::make_shared<MachineFacts>()) {}

std::string SystemChecks::CheckDisk(const Package& offer) {
    if (offer.m_minDiskMiB == 0)
        return {};
    if (!m_freeDiskValid) {
        // The whole path, not its first three characters: a Desktop redirected to another volume or to a share
        // must be measured where it lies.
        DWORD error = 0;
        if (!m_facts->GetFreeDiskMiB(GetKnownFolderPath(FOLDERID_Desktop), m_freeDiskMiB, error))
            return "DISK SPACE CHECK FAILED " + std::to_string(error);
        m_freeDiskValid = true;
    }
    return m_freeDiskMiB < offer.m_minDiskMiB ? "NOT ENOUGH DISK SPACE" : "";
}

std::string SystemChecks::CheckRam(const Package& offer) {
    if (offer.m_minRamMiB == 0)
        return {};
    if (!m_totalRamValid) {
        DWORD error = 0;
        if (!m_facts->GetTotalRamMiB(m_totalRamMiB, error))
            return "RAM CHECK FAILED " + std::to_string(error);
        m_totalRamValid = true;
    }
    return m_totalRamMiB < offer.m_minRamMiB ? "NOT ENOUGH RAM" : "";
}

std::string SystemChecks::CheckCpu(const Package& offer) {
    if (offer.m_minCpuMHz == 0)
        return {};
    if (!m_cpuValid) {
        switch (m_facts->GetCpuMHz(m_cpuMHz)) {
            case MachineFacts::CpuRead::OpenFailed:
                return "CPU CHECK FAILED: Couldn't open registry";
            case MachineFacts::CpuRead::ReadFailed:
                return "CPU CHECK FAILED: Couldn't read value";
            case MachineFacts::CpuRead::Ok:
                m_cpuValid = true;
                break;
        }
    }
    return offer.m_minCpuMHz > 0xFFFFFFFFull || m_cpuMHz < offer.m_minCpuMHz ? "NOT ENOUGH CPU" : "";
}

std::string SystemChecks::CheckOsVersion(const Package& offer) {
    if (offer.m_minOsCode <= 0)
        return {};
    WORD major = 0;
    WORD minor = 0;
    switch (offer.m_minOsCode) {
        case 61:
            major = 6, minor = 1;
            break;
        case 62:
            major = 6, minor = 2;
            break;
        case 63:
            major = 6, minor = 3;
            break;
        case 100:
            major = 10, minor = 0;
            break;
        default:
            return "UNSUPPORTED OS VERSION";
    }
    return m_facts->IsWindowsVersionOrGreater(major, minor, 0) ? "" : "UNSUPPORTED OS VERSION";
}

std::string SystemChecks::CheckPlatformVersion(const Package& offer, const std::wstring& installerVersion) {
    if (offer.m_minInstallerVersion.empty())
        return {};
    return CompareDottedVersions(installerVersion, Utf8ToWide(offer.m_minInstallerVersion)) < 0
               ? "UNSUPPORTED PLATFORM VERSION"
               : "";
}

std::string SystemChecks::Check64Bit(const Package& offer) {
    if (!offer.m_needs64Bit)
        return {};
    return IsWow64() ? "" : "64 BIT OS REQUIRED";
}

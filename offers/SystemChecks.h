// The machine-capability rules of an offer: free disk space, installed memory, processor speed, the Windows
// version, the installer's own version and a 64-bit Windows. Each rule measures the machine at most once per
// evaluation run (a failed measurement is tried again for the next offer that needs it) and returns the reason
// the offer is refused for, or an empty text when it passes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

class Package;

// The four measurements the rules compare against. The real machine answers by default; tests give facts of
// their own to reach every outcome, failures included.
class MachineFacts {
public:
    enum class CpuRead { Ok, OpenFailed, ReadFailed };

    virtual ~MachineFacts() = default;
    // Free bytes available to this user on the volume of `folder`, in MiB. False with the Win32 error on failure.
    virtual bool GetFreeDiskMiB(const std::wstring& folder, std::uint64_t& mib, DWORD& error);
    // Installed physical memory in MiB. False with the Win32 error on failure.
    virtual bool GetTotalRamMiB(std::uint64_t& mib, DWORD& error);
    // The clock of processor 0 in MHz, as Windows recorded it at start-up.
    virtual CpuRead GetCpuMHz(DWORD& mhz);
    // Whether Windows is at least major.minor with that service pack.
    virtual bool IsWindowsVersionOrGreater(WORD major, WORD minor, WORD servicePack);
};

// -1, 0 or 1 as `installed` is lower than, equal to or higher than `required`. Both are dotted numbers; empty
// parts are skipped, a part without leading digits counts 0 and a missing position counts 0.
int CompareDottedVersions(const std::wstring& installed, const std::wstring& required);

class SystemChecks {
public:
    // `facts` null: the real machine.
    explicit SystemChecks(std::shared_ptr<MachineFacts> facts = nullptr);

    // "disk", measured on the volume that holds the user's Desktop folder.
    std::string CheckDisk(const Package& offer);
    // "ram".
    std::string CheckRam(const Package& offer);
    // "cpu".
    std::string CheckCpu(const Package& offer);
    // "ov": 61, 62, 63 or 100.
    std::string CheckOsVersion(const Package& offer);
    // "pv" against the installer's own version.
    std::string CheckPlatformVersion(const Package& offer, const std::wstring& installerVersion);
    // "win64": this 32-bit program must run under WOW64.
    std::string Check64Bit(const Package& offer);

private:
    std::shared_ptr<MachineFacts> m_facts;
    std::uint64_t m_freeDiskMiB = 0;
    bool m_freeDiskValid = false;
    std::uint64_t m_totalRamMiB = 0;
    bool m_totalRamValid = false;
    DWORD m_cpuMHz = 0;
    bool m_cpuValid = false;
};

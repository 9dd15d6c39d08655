// Times the registry and file presence rules as one evaluation run meets them: 50 offers of 20 probes each
// (vendor keys, values, value data and files, most of them absent, as on a typical machine), against a
// registry holding a few thousand vendor keys under "Software", with the per-run subkey listing and without.
// Usage: bench_presence.exe [runs] [--keep]   (default 5 runs of each kind; --keep leaves the keys in place)
// Prints, for each kind, the best and median time of a whole run (a fresh rule object, so the listing of
// "Software" is part of every cached run) and of the same offers once more on that object (the probes alone).
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "offers/Package.h"
#include "offers/PresenceChecks.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

namespace {

constexpr int kOffers = 50;
// A few thousand keys laid out as on a real machine: vendors, each with a few products.
constexpr int kVendors = 250;
constexpr int kProductsPerVendor = 12;
constexpr int kVendorKeys = kVendors * kProductsPerVendor;
const wchar_t kPrefix[] = L"WayfarerBench";

std::string Narrow(const std::wstring& text) {
    return win32::WideToUtf8(text);
}

std::wstring VendorName(int vendor) {
    return win32::FormatWide(L"%s%03d", kPrefix, vendor);
}

// "<vendor>\\<product>" of the index-th product key.
std::wstring ProductPath(int index) {
    return VendorName(index / kProductsPerVendor) + win32::FormatWide(L"\\Product%02d", index % kProductsPerVendor);
}

// Product keys in both views of HKLM and in HKCU, each with an "App" subkey holding two values. A vendor's
// products share its view and hive.
bool CreateVendorKeys() {
    for (int index = 0; index < kVendorKeys; ++index) {
        const int vendor = index / kProductsPerVendor;
        const HKEY hive = vendor % 6 == 5 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        const REGSAM view = vendor % 2 == 0 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
        win32::RegKey key;
        const std::wstring path = L"Software\\" + ProductPath(index) + L"\\App";
        if (::RegCreateKeyExW(hive, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, key.Put(), nullptr) !=
            ERROR_SUCCESS)
            return false;
        const DWORD version = static_cast<DWORD>(index);
        const wchar_t mode[] = L"installed";
        ::RegSetValueExW(key.Get(), L"Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof(version));
        ::RegSetValueExW(key.Get(), L"Mode", 0, REG_SZ, reinterpret_cast<const BYTE*>(mode), sizeof(mode));
    }
    return true;
}

void RemoveVendorKeys() {
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            win32::RegKey software;
            if (::RegOpenKeyExW(hive, L"Software", 0, KEY_ALL_ACCESS | view, software.Put()) != ERROR_SUCCESS)
                continue;
            for (int vendor = 0; vendor < kVendors; ++vendor)
                ::RegDeleteTreeW(software.Get(), VendorName(vendor).c_str());
        }
    }
}

// 20 probes: 6 absent keys (absent vendors, an absent product of a present vendor, an absent key below a present
// product), 4 include keys of which the last exists, 4 absent values, 2 data that do not match,
// 2 absent files and 2 include files of which the last exists. Every rule runs to its end for every offer.
nlohmann::json MakeOffer(int n, const std::wstring& presentFile) {
    using nlohmann::json;
    auto vendor = [&](int k) { return Narrow(ProductPath((n * 37 + k * 101) % kVendorKeys)); };
    auto missing = [&](int k) { return "WayfarerAbsentVendor" + std::to_string(n * 20 + k) + "\\App"; };
    json ps = {{"i", "i.png"}, {"dn", "Offer"}, {"u", "https://files.test/setup.exe"}};
    ps["r"] = {missing(0),
               missing(1),
               missing(2),
               "hklm\\software\\" + missing(3),
               Narrow(VendorName(n % kVendors)) + "\\NoSuchProduct",
               vendor(5) + "\\NotThere"};
    ps["ir"] = {missing(6), missing(7), "hkcu\\software\\" + missing(8), vendor(9) + "\\App"};
    ps["rvn"] = {missing(10) + "\\Version", vendor(11) + "\\App\\Absent", vendor(12) + "\\App\\Other",
                 missing(13) + "\\Mode"};
    ps["rvd"] = {vendor(14) + "\\App\\Mode\\removed", vendor(15) + "\\App\\Version\\99999"};
    ps["fe"] = {"{localappdata}\\WayfarerAbsent\\" + std::to_string(n) + ".exe",
                "{commonpf}\\WayfarerAbsent\\" + std::to_string(n) + ".exe"};
    ps["ife"] = {"{programdata}\\WayfarerAbsent\\" + std::to_string(n) + ".dat", Narrow(presentFile)};
    return json{{"ad", {{"f", "tag"}, {"o", "Offer" + std::to_string(n)}}}, {"ps", ps}};
}

double TimeOffers(PresenceChecks& checks, const std::vector<std::shared_ptr<Package>>& offers, int& refused) {
    const auto start = std::chrono::steady_clock::now();
    refused = 0;
    for (const auto& offer : offers) {
        if (!checks.CheckRegistry(*offer).empty() || !checks.CheckFiles(*offer).empty())
            ++refused;
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

struct Figures {
    std::vector<double> cold;  // a fresh rule object: one evaluation run as the installer makes it
    std::vector<double> warm;  // the same object again: the probes alone, listings already made
};

void Print(const char* kind, std::vector<double> times, int refused) {
    std::sort(times.begin(), times.end());
    std::printf("%-34s best %7.1f ms, median %7.1f ms over %d runs (%d offers refused)\n", kind, times.front(),
                times[times.size() / 2], static_cast<int>(times.size()), refused);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = argc > 1 ? std::max(1, _wtoi(argv[1])) : 5;
    const bool keep = argc > 2 && std::wstring(argv[2]) == L"--keep";

    RemoveVendorKeys();
    if (!CreateVendorKeys()) {
        std::printf("cannot create the benchmark's registry keys\n");
        return 1;
    }
    const std::wstring presentFile = ExpandPathPlaceholders(L"{localappdata}\\WayfarerBenchFiles.dat",
                                                            ConfigurationManager::GetInstance()->GetPathPlaceholders());
    {
        win32::FileHandle file(
            ::CreateFileW(presentFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }

    std::vector<std::shared_ptr<Package>> offers;
    for (int n = 0; n < kOffers; ++n)
        offers.push_back(std::make_shared<Package>(EventBase(), MakeOffer(n, presentFile), false, "", 0));

    std::printf("%d offers x 20 probes against %d product keys of %d vendors (%s Windows)\n", kOffers, kVendorKeys,
                kVendors, registry::Is64BitWindows() ? "64-bit" : "32-bit");
    int status = 0;
    for (bool cached : {true, false}) {
        Figures figures;
        int refused = 0;
        for (int run = 0; run < runs; ++run) {
            PresenceChecks checks(cached);
            figures.cold.push_back(TimeOffers(checks, offers, refused));
            if (refused != 0)
                status = 1;  // the offers are built to pass: a refusal means the probes did not all run
            figures.warm.push_back(TimeOffers(checks, offers, refused));
        }
        Print(cached ? "with subkey listing, one run:" : "opening every key, one run:", figures.cold, refused);
        Print(cached ? "with subkey listing, probes only:" : "opening every key, probes only:", figures.warm, refused);
    }

    ::DeleteFileW(presentFile.c_str());
    if (!keep)
        RemoveVendorKeys();
    return status;
}

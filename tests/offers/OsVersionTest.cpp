// The Windows-version rule against a Windows that really reports an older version: Wine's per-program version
// setting makes this test program run as Windows 7 in a second process of its own.
#include "net/ApiManager.h"
#include "offers/Package.h"
#include "offers/SystemChecks.h"
#include "offers/OfferTesting.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using nlohmann::json;

namespace {

constexpr wchar_t kChildVariable[] = L"WAYFARER_OS_VERSION_CHILD";

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
}

std::wstring AppDefaultsKey() {
    std::wstring path = OwnPath();
    return L"Software\\Wine\\AppDefaults\\" + path.substr(path.find_last_of(L"\\/") + 1);
}

std::string Reason(SystemChecks& checks, int code) {
    Package offer(EventBase(), testing_offers::Offer("A", {{"ov", code}}), false, "", 0);
    return checks.CheckOsVersion(offer);
}

}  // namespace

TEST(OsVersionRuleTest, OnWindows7OnlyTheWindows7CodePasses) {
    if (std::getenv("WAYFARER_OS_VERSION_CHILD") == nullptr) {
        // The parent: set the version for this program's name, run the test again as Windows 7, clean up.
        win32::RegKey key;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, AppDefaultsKey().c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    key.Put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t version[] = L"win7";
        ASSERT_EQ(
            ::RegSetValueExW(key.Get(), L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version), sizeof(version)),
            ERROR_SUCCESS);
        key.Reset();
        ::SetEnvironmentVariableW(kChildVariable, L"1");
        // The second run shares no handle with this one: whatever Wine starts for it must not hold the test
        // runner's output open. Its result comes back as a report file.
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        const std::wstring report = std::wstring(folder) + L"wayfarer-os-version.json";
        ::DeleteFileW(report.c_str());
        std::wstring command =
            L"\"" + OwnPath() + L"\" --gtest_filter=OsVersionRuleTest.* --gtest_output=json:" + report;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                              nullptr, nullptr, &startup, &process);
        ::SetEnvironmentVariableW(kChildVariable, nullptr);
        DWORD exitCode = 1;
        if (started) {
            win32::Handle processHandle(process.hProcess);
            win32::Handle threadHandle(process.hThread);
            ::WaitForSingleObject(processHandle.Get(), 120000);
            ::GetExitCodeProcess(processHandle.Get(), &exitCode);
        }
        ::RegDeleteKeyW(HKEY_CURRENT_USER, AppDefaultsKey().c_str());
        ASSERT_TRUE(started);
        std::string details;
        if (FILE* file = _wfopen(report.c_str(), L"rb")) {
            char buffer[4096];
            for (size_t read; (read = std::fread(buffer, 1, sizeof(buffer), file)) > 0;)
                details.append(buffer, read);
            std::fclose(file);
        }
        ::DeleteFileW(report.c_str());
        EXPECT_EQ(exitCode, 0u) << "the Windows 7 run failed:\n" << details;
        EXPECT_NE(details.find("\"failures\": 0"), std::string::npos) << details;
        return;
    }

    ASSERT_EQ(GetOsVersionString().rfind("6.1.", 0), 0u) << GetOsVersionString();
    SystemChecks checks;
    EXPECT_EQ(Reason(checks, 0), "");
    EXPECT_EQ(Reason(checks, 61), "");
    EXPECT_EQ(Reason(checks, 62), "UNSUPPORTED OS VERSION");
    EXPECT_EQ(Reason(checks, 63), "UNSUPPORTED OS VERSION");
    EXPECT_EQ(Reason(checks, 100), "UNSUPPORTED OS VERSION");
}

#include "config/ConfigurationManager.h"

#include "BuildSettings.h"
#include "support/WindowTesting.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::wstring KnownFolder(const GUID& id) {
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(::SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = path;
    ::CoTaskMemFree(path);
    return result;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(ConfigurationManager, IsvBuildCarriesItsProductEndpointsAndColours) {
    ConfigurationManager configuration(L"ISV");
    EXPECT_EQ(configuration.m_wizardType, WizardTypeIsv);
    EXPECT_TRUE(configuration.m_lumoraFlavour);
    EXPECT_FALSE(configuration.m_sorrelFlavour);
    EXPECT_TRUE(configuration.m_reportMainFailure);
    EXPECT_EQ(configuration.m_productTitle, L"Quarvel");
    EXPECT_EQ(configuration.m_productKey, L"QuarvelProduct");
    EXPECT_EQ(configuration.m_installerVariant, L"QuarvelProduct_CPP");
    EXPECT_EQ(configuration.m_brand, L"Lumora");
    EXPECT_EQ(configuration.m_installerArguments, L"/S");
    EXPECT_EQ(configuration.m_installedExePath, L"{commonappdata}\\Quarvel\\quarvel.exe");
    EXPECT_EQ(configuration.m_launchArguments, L"/RUNONSTARTUP");
    EXPECT_TRUE(configuration.m_mainFileName.empty());
    EXPECT_TRUE(configuration.m_thirdLinkUrl.empty());

    EXPECT_EQ(configuration.m_configUrl, WAYFARER_CONFIG_URL);
    EXPECT_TRUE(EndsWith(configuration.m_configUrl, L"/o"));
    EXPECT_TRUE(EndsWith(configuration.m_analyticsUrl, L"/zbd"));
    EXPECT_TRUE(EndsWith(configuration.m_filesBaseUrl, L"/f/"));
    EXPECT_TRUE(EndsWith(configuration.m_mainDownloadUrl, L"/endpoint/quarvel/os/riserollout/track/beta"));
    EXPECT_EQ(configuration.m_privacyUrl, std::wstring(WAYFARER_LEGAL_SITE) + L"/legal/privacy-policy/");
    EXPECT_EQ(configuration.m_termsUrl, std::wstring(WAYFARER_LEGAL_SITE) + L"/legal/terms-of-use/");
    for (const auto* url : {&configuration.m_configUrl, &configuration.m_analyticsUrl, &configuration.m_filesBaseUrl,
                            &configuration.m_mainDownloadUrl, &configuration.m_privacyUrl})
        EXPECT_EQ(url->rfind(L"https://", 0), 0u) << *url;

    // COLORREF is 0x00BBGGRR: the accent is red 103, green 51, blue 153.
    EXPECT_EQ(configuration.m_backgroundColour, RGB(255, 255, 255));
    EXPECT_EQ(GetRValue(configuration.m_accentColour), 103);
    EXPECT_EQ(GetGValue(configuration.m_accentColour), 51);
    EXPECT_EQ(GetBValue(configuration.m_accentColour), 153);
    EXPECT_EQ(configuration.m_programVersion, L"" WAYFARER_VERSION_TEXT);
}

TEST(ConfigurationManager, IsvDownloadsIntoItsOwnNewTemporaryFolder) {
    ConfigurationManager first(L"ISV");
    ConfigurationManager second(L"ISV");
    ASSERT_FALSE(first.m_tempFolder.empty());
    EXPECT_TRUE(::PathIsDirectoryW(first.m_tempFolder.c_str()));
    EXPECT_TRUE(::PathIsDirectoryEmptyW(first.m_tempFolder.c_str()));
    EXPECT_EQ(first.m_downloadFolder, first.m_tempFolder);
    EXPECT_NE(first.m_tempFolder, second.m_tempFolder);

    wchar_t tempPath[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tempPath);
    std::wstring expectedStart = std::wstring(tempPath) + L"ISV";
    EXPECT_EQ(_wcsnicmp(first.m_tempFolder.c_str(), expectedStart.c_str(), expectedStart.size()), 0)
        << first.m_tempFolder;

    ::RemoveDirectoryW(first.m_tempFolder.c_str());
    ::RemoveDirectoryW(second.m_tempFolder.c_str());
}

TEST(ConfigurationManager, DlmDownloadsIntoTheUsersDownloadsFolder) {
    static const GUID kDownloads = {0x374DE290, 0x123F, 0x4565, {0x91, 0x64, 0x39, 0xC4, 0x92, 0x5E, 0x46, 0x7B}};
    ConfigurationManager configuration(L"DLM");
    EXPECT_EQ(configuration.m_wizardType, WizardTypeDlm);
    EXPECT_EQ(configuration.m_downloadFolder, KnownFolder(kDownloads));
    EXPECT_TRUE(::PathIsDirectoryW(configuration.m_tempFolder.c_str()));
    EXPECT_NE(configuration.m_downloadFolder, configuration.m_tempFolder);
    // The DLM flavour takes its product from the server.
    EXPECT_TRUE(configuration.m_productTitle.empty());
    EXPECT_TRUE(configuration.m_installerArguments.empty());
    EXPECT_TRUE(configuration.m_installedExePath.empty());
    ::RemoveDirectoryW(configuration.m_tempFolder.c_str());
}

TEST(ConfigurationManager, UnknownWizardTypeKeyIsReportedAndLeavesTypeZero) {
    testing_ui::DialogWatcher box(L"app_tests");
    ConfigurationManager configuration(L"XYZ");
    EXPECT_EQ(box.Wait(), L"Unknown wizard type");
    EXPECT_EQ(configuration.m_wizardType, WizardTypeNone);
    EXPECT_TRUE(configuration.m_tempFolder.empty());
    EXPECT_TRUE(configuration.m_productTitle.empty());
}

TEST(ConfigurationManager, InstanceIsCreatedOnceWhicheverThreadAsksFirst) {
    std::vector<std::shared_ptr<ConfigurationManager>> seen(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&seen, i] { seen[i] = ConfigurationManager::GetInstance(); });
    for (auto& thread : threads)
        thread.join();
    for (const auto& instance : seen)
        EXPECT_EQ(instance.get(), seen[0].get());
    EXPECT_EQ(seen[0]->m_wizardType, WizardTypeIsv);
}

// Runs only in the child process the next test starts, where no instance exists yet: threads released at once
// all make the first call together.
TEST(ConfigurationManagerChild, ConcurrentFirstCallsShareOneInstance) {
    if (::GetEnvironmentVariableW(L"WAYFARER_FIRST_CALL_CHILD", nullptr, 0) == 0)
        GTEST_SKIP() << "only meaningful in the child process";
    constexpr size_t kThreads = 16;
    std::vector<std::shared_ptr<ConfigurationManager>> seen(kThreads);
    std::mutex mutex;
    std::condition_variable released;
    size_t waiting = 0;
    bool go = false;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            {
                std::unique_lock<std::mutex> lock(mutex);
                ++waiting;
                released.notify_all();
                released.wait(lock, [&go] { return go; });
            }
            seen[i] = ConfigurationManager::GetInstance();
        });
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&waiting] { return waiting == kThreads; });
        go = true;
    }
    released.notify_all();
    for (auto& thread : threads)
        thread.join();
    for (const auto& instance : seen) {
        // A second construction would also have left a temporary folder of its own behind.
        if (instance.get() != seen[0].get() && instance)
            ::RemoveDirectoryW(instance->m_tempFolder.c_str());
        EXPECT_EQ(instance.get(), seen[0].get());
    }
    ASSERT_TRUE(seen[0]);
    EXPECT_EQ(seen[0]->m_wizardType, WizardTypeIsv);
    ::RemoveDirectoryW(seen[0]->m_tempFolder.c_str());
}

TEST(ConfigurationManager, ConcurrentFirstCallsInAFreshProcessShareOneInstance) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    std::wstring commandLine = L"\"" + std::wstring(self) +
                               L"\" --gtest_filter=ConfigurationManagerChild.ConcurrentFirstCallsShareOneInstance";
    ::SetEnvironmentVariableW(L"WAYFARER_FIRST_CALL_CHILD", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started =
        ::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    ::SetEnvironmentVariableW(L"WAYFARER_FIRST_CALL_CHILD", nullptr);
    ASSERT_TRUE(started);
    win32::Handle childProcess(process.hProcess);
    win32::Handle childThread(process.hThread);
    ASSERT_EQ(::WaitForSingleObject(childProcess.Get(), 120000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(childProcess.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u) << "the child saw more than one instance (its output is in this test's log)";
}

TEST(ConfigurationManager, TimestampIsFourteenLocalDigitsFixedForTheRun) {
    ConfigurationManager configuration(L"ISV");
    std::string first = configuration.GetTimestamp();
    ASSERT_EQ(first.size(), 14u);
    EXPECT_EQ(first.find_first_not_of("0123456789"), std::string::npos);
    SYSTEMTIME local{};
    ::GetLocalTime(&local);
    EXPECT_EQ(first.substr(0, 4), std::to_string(local.wYear));
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    EXPECT_EQ(configuration.GetTimestamp(), first);
    ::RemoveDirectoryW(configuration.m_tempFolder.c_str());
}

TEST(ConfigurationManager, MillisecondsNowIsTheEpochClockInDecimal) {
    FILETIME fileTime{};
    ::GetSystemTimeAsFileTime(&fileTime);
    ULARGE_INTEGER ticks{{fileTime.dwLowDateTime, fileTime.dwHighDateTime}};
    long long expected = static_cast<long long>((ticks.QuadPart - 116444736000000000ULL) / 10000ULL);
    std::string text = ConfigurationManager::GetMillisecondsNow();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_LT(std::llabs(std::stoll(text) - expected), 5000);
}

#include "net/ApiManager.h"

#include <gtest/gtest.h>

#include <vector>

TEST(InstallerToken, IsTheSevenCharactersAfterTheLastUnderscore) {
    struct Case {
        const wchar_t* path;
        const wchar_t* expected;
    };
    const std::vector<Case> cases = {
        {L"C:\\Downloads\\Setup_ab-12cd.exe", L"ab-12cd"},
        {L"C:\\Downloads\\Setup_ab-12cd", L"ab-12cd"},      // no extension to cut
        {L"C:\\Downloads\\Setup_ab-1.2c.exe", L"ab-1.2c"},  // only the last "." cuts
        {L"C:\\x_ab-12cd.d\\setup", L"ab-12cd"},            // directories count too
        {L"C:\\my_files\\setup.exe", L""},                  // "files\\setup" has 11 characters
        {L"C:\\Downloads\\Setup_abc1234.exe", L""},         // no "-"
        {L"C:\\Downloads\\Setup_ab-12cde.exe", L""},        // 8 characters
        {L"C:\\Downloads\\Setup_ab-12c.exe", L""},          // 6 characters
        {L"C:\\Downloads\\Setup_ab-12cd.tar.exe", L""},     // "ab-12cd.tar"
        {L"C:\\Downloads\\Setup_.exe", L""},
        {L"C:\\Downloads\\Setup.exe", L""},
        {L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExtractInstallerToken(c.path), c.expected) << c.path;
}

TEST(InstallerToken, OfThisTestProgramIsEmpty) {
    // The test program's name has an underscore but no token after it.
    EXPECT_EQ(GetInstallerToken(), L"");
}

TEST(OsVersionString, IsMajorMinorBuildOfTheRunningWindows) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(::GetVersionExW(&info));
#pragma GCC diagnostic pop
    EXPECT_EQ(GetOsVersionString(), std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) +
                                        "." + std::to_string(info.dwBuildNumber));
}

// The one set of rules for names and addresses the program did not choose, as the configuration's paths, the
// downloads' file names, the run log's name and the installers' addresses meet them.
#include "win32/PathRules.h"

#include <gtest/gtest.h>

#include <string>

#include "config/LocalPath.h"
#include "win32/Strings.h"

TEST(PathRules, OneTableForFileNamesDevicesAndPathsOnThisMachine) {
    const struct {
        std::wstring name;
        bool plainFileName;  // may be saved as a download
        bool device;         // Windows opens it as a device
        bool inLocalPath;    // "C:\dir\<name>" may be looked up
    } cases[] = {
        {L"setup.exe", true, false, true},
        {L"Установка Quarvel.exe", true, false, true},
        {L"CON", false, true, false},
        {L"nul.txt", false, true, false},
        {L"Aux .log", false, true, false},
        {L"COM1", false, true, false},
        {L"lpt\u00B9.bin", false, true, false},
        {L"CONOUT$", false, true, false},
        {L"COM10", true, false, true},
        {L"console.exe", true, false, true},
        {L"a:b.exe", false, false, false},
        {L"a*b.exe", false, false, false},
        {L"a?b.exe", false, false, false},
        {L"a\"b.exe", false, false, false},
        {L"a<b>.exe", false, false, false},
        {L"a|b.exe", false, false, false},
        {L"tab\there.exe", false, false, false},
        {L"..", false, false, false},
        {L"a..b.exe", false, false, true},
        {L"trailing.", false, false, true},
        {L"trailing ", false, false, true},
        {L"", false, false, true},
        {std::wstring(path_rules::kMaxFileNameChars, L'a'), true, false, true},
        {std::wstring(path_rules::kMaxFileNameChars + 1, L'a'), false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(win32::WideToUtf8(c.name.substr(0, 40)));
        EXPECT_EQ(path_rules::IsPlainFileName(c.name), c.plainFileName);
        EXPECT_EQ(path_rules::IsDeviceName(c.name), c.device);
        EXPECT_EQ(IsPlainLocalPath(L"C:\\dir\\" + c.name), c.inLocalPath);
    }
    // A separator ends a name inside a path, never inside a file name.
    EXPECT_FALSE(path_rules::IsPlainFileName(L"dir\\setup.exe"));
    EXPECT_FALSE(path_rules::IsPlainFileName(L"dir/setup.exe"));
    EXPECT_TRUE(IsPlainLocalPath(L"C:\\dir/setup.exe"));
}

TEST(PathRules, OnlyHttpAndHttpsAddressesAreAbsolute) {
    const struct {
        const wchar_t* url;
        bool http;
        bool https;
    } cases[] = {
        {L"https://a.test/f.exe", true, true},
        {L"HTTPS://a.test/f.exe", true, true},
        {L"http://a.test/f.exe", true, false},
        {L"Http://a.test/f.exe", true, false},
        {L"ftp://a.test/f.exe", false, false},
        {L"httpx://a.test/f.exe", false, false},
        {L"https:/a.test/f.exe", false, false},
        {L"/files/f.exe", false, false},
        {L"f.exe", false, false},
        {L"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(win32::WideToUtf8(c.url));
        EXPECT_EQ(path_rules::IsHttpUrl(c.url), c.http);
        EXPECT_EQ(path_rules::IsHttpsUrl(c.url), c.https);
    }
}

#include "download/UrlRules.h"
#include "win32/PathRules.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace {

const std::wstring kFiles = L"https://files.example.test/f/";

TEST(DownloadUrlRules, TellsAbsoluteFromRelativeByTheSchemeAlone) {
    struct Case {
        std::wstring url;
        bool absolute;
    };
    const std::vector<Case> cases = {
        {L"https://localhost/endpoint/quarvel/os/riserollout/track/beta", true},
        {L"https://localhost:8443/setup.exe", true},
        {L"http://127.0.0.1/setup.exe", true},
        {L"https://[::1]:443/setup.exe", true},
        {L"HTTPS://CDN.Example.com/Setup.exe", true},
        {L"HtTp://cdn.example.com", true},
        {L"https://cdn.example.com/a?b=c#d", true},
        {L"folder/setup.exe", false},
        {L"setup", false},
        // A bare file name with an extension looks like a host name, but it names a file on the file endpoint.
        {L"setup.exe", false},
        {L"cdn.example.com/setup.exe", false},
        {L"ftp://cdn.example.com/setup.exe", false},
        {L"file:///C:/Windows/notepad.exe", false},
        {L"https:/one-slash.example.com/x", false},
        {L" https://leading-space.example.com/x", false},
        {L"", false},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(path_rules::IsHttpUrl(test.url), test.absolute) << std::string(test.url.begin(), test.url.end());
        EXPECT_EQ(MakeAbsoluteUrl(test.url, kFiles), test.absolute ? test.url : kFiles + test.url)
            << std::string(test.url.begin(), test.url.end());
    }
}

// A long URL is decided in time proportional to nothing but its start (no backtracking over the text).
TEST(DownloadUrlRules, DecidesAHundredKibibyteUrlAtOnce) {
    const std::wstring tail(100 * 1024, L'a');
    const std::wstring dotted = [] {
        std::wstring text;
        while (text.size() < 100 * 1024)
            text += L"a.";
        return text;
    }();
    EXPECT_TRUE(path_rules::IsHttpUrl(L"https://" + tail));
    EXPECT_TRUE(path_rules::IsHttpUrl(L"https://" + dotted + L"!"));
    EXPECT_FALSE(path_rules::IsHttpUrl(dotted + L"!"));
    EXPECT_EQ(MakeAbsoluteUrl(tail, kFiles), kFiles + tail);
}

TEST(DownloadUrlRules, SavedNamesAreOnePerPackageAndRunnable) {
    struct Case {
        std::wstring url;
        std::wstring name;
    };
    std::vector<std::wstring> taken;
    const std::vector<Case> cases = {
        // Our own main URL ends without an extension: the saved program still has one.
        {L"https://localhost/endpoint/quarvel/os/riserollout/track/beta", L"beta.exe"},
        {L"https://cdn.example.com/offer/setup.exe", L"setup.exe"},
        // Same last segment, different package: a file of its own.
        {L"https://other.example.com/x/setup.exe", L"setup (2).exe"},
        {L"https://third.example.com/SETUP.EXE?campaign=1", L"SETUP (3).EXE"},
        {L"https://cdn.example.com/tool.zip#part", L"tool.zip"},
        {L"https://cdn.example.com/dir/", L"installer.exe"},
        {L"https://cdn.example.com/a%3Cb:c.exe", L"a%3Cb_c.exe"},
        {L"https://cdn.example.com/CON", L"installer (2).exe"},
        {L"https://cdn.example.com/trailing.exe.", L"trailing.exe"},
        {L"https://cdn.example.com/.hidden", L".hidden.exe"},
        // Invisible formatting goes, as it goes from shown names: this one would show as "offerexe.pdf".
        {L"https://cdn.example.com/offer\u202Efdp.exe", L"offerfdp.exe"},
        {L"https://cdn.example.com/\u2066setup\u2069.exe", L"setup (4).exe"},
    };
    for (const auto& test : cases)
        EXPECT_EQ(MakeSavedFileName(test.url, taken), test.name) << std::string(test.url.begin(), test.url.end());
    EXPECT_EQ(taken.size(), cases.size());

    std::vector<std::wstring> fresh;
    std::wstring longName = MakeSavedFileName(L"https://cdn.example.com/" + std::wstring(5000, L'x') + L".msi", fresh);
    EXPECT_LE(longName.size(), 80u);
    EXPECT_EQ(longName.substr(longName.size() - 4), L".msi");
}

}  // namespace

// The names a download is kept under in the user's folder: what the server's name becomes, and the numbered
// names beside a file that is already there.
#include "download/SavedName.h"

#include "download/DownloadManager.h"
#include "win32/PathRules.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

using download::MakeNumberedName;
using download::MakeSavedName;
using download::MeansItself;

namespace {

std::string Narrow(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

}  // namespace

TEST(SavedName, LosesWhatCouldMakeItMeanAnotherFileAndKeepsTheRest) {
    const struct {
        std::wstring server;
        std::wstring saved;
    } cases[] = {
        {L"Quarvel Setup.exe", L"Quarvel Setup.exe"},
        // A name without an extension keeps the server's choice.
        {L"Quarvel", L"Quarvel"},
        {L"quarvel.tar.gz", L"quarvel.tar.gz"},
        {L"\u00dcber Setup.exe", L"\u00dcber Setup.exe"},
        // The shell would expand these when the file is opened.
        {L"%USERNAME%.exe", L"_USERNAME_.exe"},
        {L"%SystemRoot%", L"_SystemRoot_"},
        {L"100%.exe", L"100_.exe"},
        {L"%%.exe", L"__.exe"},
        // Shown as "setupexe.pdf" with the override left in; saved as what it is.
        {L"setup\u202Efdp.exe", L"setupfdp.exe"},
        {L"\u2066Quarvel\u2069 \u200BSetup\uFEFF.exe", L"Quarvel Setup.exe"},
        {L"Quarvel\u200E\u200F\u202A\u202B\u202C\u202D.exe", L"Quarvel.exe"},
        // Right-to-left letters are text, not formatting.
        {L"\u05E9\u05DC\u05D5\u05DD.exe", L"\u05E9\u05DC\u05D5\u05DD.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.server));
        EXPECT_EQ(MakeSavedName(c.server), c.saved);
        EXPECT_EQ(MakeSavedName(c.saved), c.saved);
    }
}

// What cleaning leaves is still judged by the plain-name rule: taking the formatting out of a name must not
// make it one that leaves the folder or names a device.
TEST(SavedName, IsStillJudgedAfterCleaning) {
    for (const wchar_t* name : {L".\u200B.", L"..\u202E\\evil.exe", L"CON\u200B", L"NUL\u2066.txt", L"\u200B"})
        EXPECT_FALSE(path_rules::IsPlainFileName(MakeSavedName(name))) << Narrow(name);
}

TEST(SavedName, NumberedNamesGoBeforeTheExtensionAndFitTheRoomLeft) {
    const struct {
        std::wstring name;
        int number;
        size_t maxChars;
        std::wstring numbered;
    } cases[] = {
        {L"Quarvel Setup.exe", 1, 255, L"Quarvel Setup (1).exe"},
        {L"Quarvel Setup.exe", 100, 255, L"Quarvel Setup (100).exe"},
        {L"Quarvel", 2, 255, L"Quarvel (2)"},
        {L"quarvel.tar.gz", 1, 255, L"quarvel.tar (1).gz"},
        {L".quarvel", 1, 255, L".quarvel (1)"},
        {L"a.b.c.exe", 3, 255, L"a.b.c (3).exe"},
        // Too long with its number: the stem gives way, never the number or the extension.
        {L"abcdefgh.exe", 1, 12, L"abcd (1).exe"},
        {L"abcdefgh.exe", 10, 12, L"abc (10).exe"},
        // A surrogate pair is kept whole or dropped whole.
        {L"ab\U0001F600.exe", 1, 11, L"ab (1).exe"},
        {L"ab\U0001F600.exe", 1, 12, L"ab\U0001F600 (1).exe"},
        // No room even for one character of the stem.
        {L"abcdefgh.exe", 1, 8, L""},
        {L"abcdefgh.exe", 1, 3, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.name) + " " + std::to_string(c.number) + " " + std::to_string(c.maxChars));
        EXPECT_EQ(MakeNumberedName(c.name, c.number, c.maxChars), c.numbered);
    }
}

TEST(SavedName, APathMeansItselfUnlessTheShellWouldExpandIt) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"WAYFARER_DECOY", L"decoy"));
    EXPECT_TRUE(MeansItself(L"C:\\Users\\me\\Downloads\\Quarvel Setup.exe"));
    EXPECT_TRUE(MeansItself(L"C:\\Users\\me\\Downloads\\_WAYFARER_DECOY_.exe"));
    // Left as it is when nothing of that name is set; still nothing the shell changes.
    EXPECT_TRUE(MeansItself(L"C:\\Downloads\\%WAYFARER_UNSET_NAME%.exe"));
    EXPECT_FALSE(MeansItself(L"C:\\Users\\me\\Downloads\\%WAYFARER_DECOY%.exe"));
    EXPECT_FALSE(MeansItself(L"C:\\%WAYFARER_DECOY%\\Quarvel Setup.exe"));
    ::SetEnvironmentVariableW(L"WAYFARER_DECOY", nullptr);
}

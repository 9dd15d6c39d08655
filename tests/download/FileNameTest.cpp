// A file name that comes from the server (the URL's last segment, or a name it sends) must only ever name a file
// inside the download folder.
#include "download/DownloadManager.h"

#include <gtest/gtest.h>

#include <string>

#include "download/DownloadTesting.h"
#include "download/UrlRules.h"
#include "win32/PathRules.h"
#include "support/Backend.h"

using namespace download_testing;

TEST(PlainFileName, AcceptsOrdinaryNames) {
    for (const wchar_t* name :
         {L"setup.exe", L"Quarvel Setup (2).exe", L"beta", L"%2e%2e%5cevil.exe", L"console.exe", L"com10.exe",
          L"nullsoft.exe", L"a.b.c", L"\u00fcber-setup.exe", L" leading space.exe", L"#hash.exe"})
        EXPECT_TRUE(path_rules::IsPlainFileName(name)) << name;
}

TEST(PlainFileName, RefusesNamesThatLeaveTheFolderOrNameNoFile) {
    const std::wstring tooLong(256, L'a');
    for (const std::wstring& name : {std::wstring(),
                                     std::wstring(L"."),
                                     std::wstring(L".."),
                                     std::wstring(L"..\\evil.exe"),
                                     std::wstring(L"a\\b.exe"),
                                     std::wstring(L"a/b.exe"),
                                     std::wstring(L"C:evil.exe"),
                                     std::wstring(L"setup.exe:stream"),
                                     std::wstring(L"setup.exe?x=1"),
                                     std::wstring(L"*.exe"),
                                     std::wstring(L"a<b"),
                                     std::wstring(L"a>b"),
                                     std::wstring(L"a|b"),
                                     std::wstring(L"a\"b"),
                                     std::wstring(L"tab\there"),
                                     std::wstring(L"nul\0byte", 8),
                                     std::wstring(L"setup..exe"),
                                     std::wstring(L"setup.exe."),
                                     std::wstring(L"setup.exe "),
                                     std::wstring(L"CON"),
                                     std::wstring(L"con"),
                                     std::wstring(L"NUL.txt"),
                                     std::wstring(L"nul .txt"),
                                     std::wstring(L"Aux.exe"),
                                     std::wstring(L"PRN"),
                                     std::wstring(L"COM1"),
                                     std::wstring(L"lpt9.exe"),
                                     std::wstring(L"COM\u00b9"),
                                     std::wstring(L"CONIN$"),
                                     std::wstring(L"conout$.log"),
                                     tooLong})
        EXPECT_FALSE(path_rules::IsPlainFileName(name)) << name;
}

TEST(UrlSegment, IsEverythingAfterTheLastSlash) {
    EXPECT_EQ(LastUrlSegment(L"https://host/a/setup.exe?x=1"), L"setup.exe?x=1");
    EXPECT_EQ(LastUrlSegment(L"https://host/a/"), L"");
    EXPECT_EQ(LastUrlSegment(L"setup.exe"), L"");
}

namespace {

class HostileFileName : public DownloadTest {};

}  // namespace

TEST_F(HostileFileName, IsAFailedDownloadBeforeAnyRequestAndNothingIsWritten) {
    backend::ScriptPrefix("/files/", {{.body = "payload"}});
    const std::wstring parent = m_folder.substr(0, m_folder.rfind(L'\\'));
    struct Case {
        std::wstring url;
        std::wstring fileName;
        std::wstring shownName;
    } cases[] = {
        {L"/files/setup.exe?x=1", L"", L"setup.exe?x=1"},
        {L"/files/..", L"", L".."},
        {L"/files/..\\..\\wayfarer-evil.exe", L"", L"..\\..\\wayfarer-evil.exe"},
        {L"/files/x\\..\\..\\wayfarer-evil.exe", L"", L"x\\..\\..\\wayfarer-evil.exe"},
        {L"/files/C:wayfarer-evil.exe", L"", L"C:wayfarer-evil.exe"},
        {L"/files/setup.exe:hidden", L"", L"setup.exe:hidden"},
        {L"/files/NUL", L"", L"NUL"},
        {L"/files/con.exe", L"", L"con.exe"},
        {L"/files/", L"", L""},
        {L"/files/setup.exe", L"..\\wayfarer-evil.exe", L"..\\wayfarer-evil.exe"},
        {L"/files/setup.exe", L"C:\\wayfarer-evil.exe", L"C:\\wayfarer-evil.exe"},
        // Names that would reach a share of another host, a device or the folder above: none reaches the file
        // system (a UNC name would hand the host the user's credentials).
        {L"/files/setup.exe", L"\\\\localhost\\share\\setup.exe", L"\\\\localhost\\share\\setup.exe"},
        {L"/files/setup.exe", L"//localhost/share/setup.exe", L"//localhost/share/setup.exe"},
        {L"/files/setup.exe", L"\\\\?\\UNC\\localhost\\share\\setup.exe", L"\\\\?\\UNC\\localhost\\share\\setup.exe"},
        {L"/files/setup.exe", L"\\\\?\\C:\\wayfarer-evil.exe", L"\\\\?\\C:\\wayfarer-evil.exe"},
        {L"/files/setup.exe", L"\\\\.\\pipe\\wayfarer", L"\\\\.\\pipe\\wayfarer"},
        {L"/files/setup.exe", L"C:..\\wayfarer-evil.exe", L"C:..\\wayfarer-evil.exe"},
        {L"/files/setup.exe", L"..\\..\\wayfarer-evil.exe", L"..\\..\\wayfarer-evil.exe"},
        {L"/files/setup.exe", L"COM1.exe", L"COM1.exe"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.url.begin(), c.url.end()));
        backend::ClearRequests();
        const std::wstring url = L"https://localhost" + c.url;

        const download::FileOutcome result = Download(url, c.fileName);

        const std::wstring text = L"Invalid file name for the download: \"" + c.shownName + L"\"";
        // Refused once: the second engine would only refuse it the same way.
        EXPECT_EQ(Verdict(result), DownloadResult(false, L"[WINHTTP] " + text));
        EXPECT_TRUE(backend::Requests().empty());
        EXPECT_EQ(ListFolder(m_folder).size(), 0u);
        EXPECT_FALSE(FileExists(parent + L"\\wayfarer-evil.exe"));
        EXPECT_FALSE(FileExists(L"C:\\wayfarer-evil.exe"));
        if (c.fileName.empty())
            EXPECT_EQ(m_manager->MakeDownloadPathFromUrl(url, true), L"");
        else
            EXPECT_EQ(m_manager->MakeDownloadPath(c.fileName, true), L"");
    }
}

TEST_F(HostileFileName, EncodedSeparatorsStayALiteralNameInsideTheFolder) {
    backend::ScriptPrefix("/files/", {{.body = "payload"}});

    const download::FileOutcome result = Download(L"https://localhost/files/%2e%2e%5cwayfarer-evil.exe");

    EXPECT_EQ(Verdict(result), DownloadResult(true, L""));
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"%2e%2e%5cwayfarer-evil.exe")), "payload");
    EXPECT_EQ(ListFolder(m_folder).size(), 1u);
}

// Which server paths may be looked up at all: only plain paths on this machine's drives; shares, devices and
// paths that climb or depend on a current folder are absent before the file system is asked.
#include "config/LocalPath.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_probed;

bool RecordingProbe(const wchar_t* path) {
    g_probed.push_back(path);
    return true;
}

struct PathCase {
    const wchar_t* path;
    bool local;
};

}  // namespace

TEST(LocalPath, OnlyPlainDrivePathsAreLocalAndNoOtherReachesTheProbe) {
    const std::vector<PathCase> cases = {
        {L"C:\\Program Files\\Vendor\\app.exe", true},
        {L"c:/ProgramData/Vendor/data.bin", true},
        {L"D:\\", true},
        {L"C:\\Users\\me\\.config\\x.txt", true},
        {L"C:\\a\\.\\b.txt", true},
        {L"C:\\folder\\console.log", true},
        {L"C:\\folder\\com10.txt", true},
        // Another host's share, in every spelling.
        {L"\\\\host\\share\\x.exe", false},
        {L"//host/share/x.exe", false},
        {L"\\/host\\share\\x.exe", false},
        {L"\\\\?\\UNC\\host\\share\\x.exe", false},
        {L"//?/UNC/host/share/x.exe", false},
        // Device and NT paths.
        {L"\\\\?\\C:\\Windows\\notepad.exe", false},
        {L"\\\\.\\C:\\Windows\\notepad.exe", false},
        {L"\\\\.\\pipe\\name", false},
        {L"//./PhysicalDrive0", false},
        {L"\\??\\C:\\Windows\\notepad.exe", false},
        {L"\\Device\\Mup\\host\\share\\x.exe", false},
        {L"\\\\?\\GLOBALROOT\\Device\\Mup\\host\\share", false},
        {L"C:\\folder\\NUL", false},
        {L"C:\\folder\\con.txt", false},
        {L"C:\\folder\\COM1 ", false},
        {L"C:/folder/lpt3.log", false},
        {L"C:\\folder\\conout$", false},
        // Drive-relative, root-relative and relative paths, and climbing.
        {L"C:..\\x.exe", false},
        {L"C:x.exe", false},
        {L"C:", false},
        {L"\\Windows\\notepad.exe", false},
        {L"/Windows/notepad.exe", false},
        {L"..\\..\\x.exe", false},
        {L"../../x.exe", false},
        {L"folder\\x.exe", false},
        {L"C:\\Program Files\\..\\..\\x.exe", false},
        {L"C:/a/../b.txt", false},
        {L"C:\\a\\...\\b.txt", false},
        {L"C:\\a\\.. \\b.txt", false},
        // Streams, wildcards, control characters, placeholders left without a value.
        {L"C:\\a\\b.txt:stream", false},
        {L"C:\\a\\*.exe", false},
        {L"C:\\a\\b?.exe", false},
        {L"C:\\a\\b\nc.exe", false},
        {L"{commonpf64}\\Vendor\\app.exe", false},
        {L"", false},
        {L"1:\\x", false},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "path #" << (&c - cases.data()));
        EXPECT_EQ(IsPlainLocalPath(c.path), c.local);
        g_probed.clear();
        EXPECT_EQ(LocalFileExists(c.path, RecordingProbe), c.local);
        EXPECT_EQ(g_probed, c.local ? std::vector<std::wstring>{c.path} : std::vector<std::wstring>{});
    }
    // An embedded NUL would cut the path short at the file system.
    EXPECT_FALSE(IsPlainLocalPath(std::wstring(L"C:\\a\0\\\\host\\x", 14)));
}

TEST(LocalPath, PlainLocalPathGetsTheFileSystemsRealAnswer) {
    wchar_t own[MAX_PATH] = {};
    const std::wstring program(own, ::GetModuleFileNameW(nullptr, own, MAX_PATH));
    ASSERT_TRUE(IsPlainLocalPath(program));
    EXPECT_TRUE(LocalFileExists(program));
    EXPECT_FALSE(LocalFileExists(program + L".missing"));
}

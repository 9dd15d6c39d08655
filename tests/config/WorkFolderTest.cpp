#include "config/WorkFolder.h"

#include "config/ConfigurationManager.h"
#include "support/FolderListing.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using testing_files::Exists;
using testing_files::WriteFile;

// Reboot-time deletions wait in this value: pairs of "\??\path" and an empty new name.
class PendingRenames {
public:
    PendingRenames() {
        m_saved = Read(&m_existed);
        Delete();
    }
    ~PendingRenames() {
        Delete();
        if (m_existed) {
            win32::RegKey key;
            if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Put()) ==
                ERROR_SUCCESS) {
                ::RegSetValueExW(key.Get(), kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(m_saved.data()),
                                 static_cast<DWORD>(m_saved.size() * sizeof(wchar_t)));
            }
        }
    }
    // The strings of the value, in order.
    std::vector<std::wstring> Entries() const {
        bool existed = false;
        std::wstring raw = Read(&existed);
        std::vector<std::wstring> entries;
        size_t start = 0;
        while (start < raw.size()) {
            size_t end = raw.find(L'\0', start);
            if (end == std::wstring::npos)
                end = raw.size();
            entries.push_back(raw.substr(start, end - start));
            start = end + 1;
        }
        // The list ends with an empty string of its own.
        while (!entries.empty() && entries.back().empty() && entries.size() % 2 == 1)
            entries.pop_back();
        return entries;
    }

private:
    static constexpr const wchar_t* kKey = L"System\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const wchar_t* kValue = L"PendingFileRenameOperations";

    static std::wstring Read(bool* existed) {
        win32::RegKey key;
        *existed = false;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, key.Put()) != ERROR_SUCCESS)
            return {};
        DWORD size = 0;
        if (::RegQueryValueExW(key.Get(), kValue, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
            return {};
        std::wstring raw(size / sizeof(wchar_t), L'\0');
        ::RegQueryValueExW(key.Get(), kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(raw.data()), &size);
        *existed = true;
        return raw;
    }
    static void Delete() {
        win32::RegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, key.Put()) == ERROR_SUCCESS)
            ::RegDeleteValueW(key.Get(), kValue);
    }

    std::wstring m_saved;
    bool m_existed = false;
};

TEST(WorkFolderTest, RemovesNestedFoldersAndLeavesHeldFilesForReboot) {
    PendingRenames pending;

    // A nested tree, empty folders included, goes entirely and schedules nothing.
    std::wstring tree = CreateUniqueTempFolder();
    for (const wchar_t* folder : {L"\\a", L"\\a\\b", L"\\a\\b\\c", L"\\empty"})
        ASSERT_TRUE(::CreateDirectoryW((tree + folder).c_str(), nullptr));
    for (const wchar_t* file : {L"\\top.bin", L"\\a\\one.bin", L"\\a\\b\\c\\deep.bin"})
        WriteFile(tree + file);
    ::SetFileAttributesW((tree + L"\\a\\one.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
    DeleteDirectoryTree(tree);
    EXPECT_FALSE(Exists(tree));
    EXPECT_TRUE(pending.Entries().empty());

    // An empty folder goes too, and a missing one is no error.
    std::wstring empty = CreateUniqueTempFolder();
    DeleteDirectoryTree(empty);
    EXPECT_FALSE(Exists(empty));
    DeleteDirectoryTree(empty);
    EXPECT_TRUE(pending.Entries().empty());

    // A file held open without delete sharing cannot go now: it and the folders above it are scheduled, the
    // file first, so that the folders are empty when their turn comes at reboot.
    std::wstring held = CreateUniqueTempFolder();
    ASSERT_TRUE(::CreateDirectoryW((held + L"\\sub").c_str(), nullptr));
    WriteFile(held + L"\\sub\\running.exe");
    WriteFile(held + L"\\sub\\done.txt");
    win32::FileHandle open(::CreateFileW((held + L"\\sub\\running.exe").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(open);
    DeleteDirectoryTree(held);
    EXPECT_TRUE(Exists(held + L"\\sub\\running.exe"));
    EXPECT_FALSE(Exists(held + L"\\sub\\done.txt"));
    EXPECT_EQ(pending.Entries(), (std::vector<std::wstring>{L"\\??\\" + held + L"\\sub\\running.exe", L"",
                                                            L"\\??\\" + held + L"\\sub", L"", L"\\??\\" + held, L""}));

    open.Reset();
    DeleteDirectoryTree(held);
    EXPECT_FALSE(Exists(held));
}

// Makes `link` a junction to the folder `target`, as a user who wants the installer to delete elsewhere would, or
// else a directory symbolic link; false when this system makes neither (Wine 8 makes no junction).
bool MakeFolderLink(const std::wstring& link, const std::wstring& target) {
    if (!::CreateDirectoryW(link.c_str(), nullptr))
        return false;
    bool made = false;
    {
        win32::FileHandle folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        // The mount-point layout of REPARSE_DATA_BUFFER, which the user-mode headers leave out: tag, data length,
        // reserved, then the substitute and print names' offsets and lengths and the two names, each terminated.
        const std::wstring substitute = L"\\??\\" + target;
        const WORD substituteBytes = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
        std::vector<WORD> data(4 + 4 + substitute.size() + 2, 0);
        std::memcpy(data.data() + 8, substitute.c_str(), substituteBytes);
        const WORD dataLength = static_cast<WORD>(8 + substituteBytes + 2 * sizeof(wchar_t));
        const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
        std::memcpy(data.data(), &tag, sizeof(tag));
        data[2] = dataLength;
        data[4] = 0;                                                     // substitute name offset
        data[5] = substituteBytes;                                       // substitute name length
        data[6] = static_cast<WORD>(substituteBytes + sizeof(wchar_t));  // print name offset (empty name)
        data[7] = 0;                                                     // print name length
        DWORD returned = 0;
        made = folder && ::DeviceIoControl(folder.Get(), FSCTL_SET_REPARSE_POINT, data.data(), 8u + dataLength,
                                           nullptr, 0, &returned, nullptr);
    }
    if (!made) {
        ::RemoveDirectoryW(link.c_str());
        ::CreateSymbolicLinkW(link.c_str(), target.c_str(),
                              SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    }
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// One work folder as a run may leave it, and what its deletion must leave behind.
struct LeftoverCase {
    const char* name;
    // Makes the case's entries in `root`; `outside` is a folder beside it whose file must survive. Files to hold
    // open go to `held`, the paths a running installer uses to `inUse`. False when this system cannot make them.
    std::function<bool(const std::wstring& root,
                       const std::wstring& outside,
                       std::vector<win32::FileHandle>& held,
                       std::vector<std::wstring>& inUse)>
        make;
    // Below `root` ("" for the folder itself): what is still there, and what waits for the reboot, in order.
    std::vector<std::wstring> remaining;
    std::vector<std::wstring> scheduled;
};

TEST(WorkFolderTest, LeavesWhatCannotGoForTheRebootAndNeverReachesOutside) {
    const LeftoverCase cases[] = {
        {"a junction to a folder outside is removed, not followed",
         [](const std::wstring& root, const std::wstring& outside, auto&, auto&) {
             WriteFile(root + L"\\setup.exe");
             return MakeFolderLink(root + L"\\link", outside);
         },
         {},
         {}},
        {"a file held open without delete sharing waits for the reboot with the folders above it",
         [](const std::wstring& root, const std::wstring&, auto& held, auto&) {
             WriteFile(root + L"\\setup.exe");
             ::CreateDirectoryW((root + L"\\unpacked").c_str(), nullptr);
             WriteFile(root + L"\\unpacked\\running.exe");
             held.emplace_back(::CreateFileW((root + L"\\unpacked\\running.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
             return static_cast<bool>(held.back());
         },
         {L"\\unpacked\\running.exe"},
         {L"\\unpacked\\running.exe", L"\\unpacked", L""}},
        {"a file a running installer uses is left for the reboot although nothing holds it",
         [](const std::wstring& root, const std::wstring&, auto&, auto& inUse) {
             WriteFile(root + L"\\offer.exe");
             WriteFile(root + L"\\done.exe");
             inUse.push_back(root + L"\\OFFER.EXE");
             return true;
         },
         {L"\\offer.exe"},
         {L"\\offer.exe", L""}},
        {"a read-only file is refused now and waits for the reboot",
         [](const std::wstring& root, const std::wstring&, auto&, auto&) {
             WriteFile(root + L"\\readme.txt");
             return ::SetFileAttributesW((root + L"\\readme.txt").c_str(), FILE_ATTRIBUTE_READONLY) != FALSE;
         },
         {L"\\readme.txt"},
         {L"\\readme.txt", L""}},
    };
    for (const LeftoverCase& c : cases) {
        SCOPED_TRACE(c.name);
        PendingRenames pending;
        const std::wstring root = CreateUniqueTempFolder();
        const std::wstring outside = CreateUniqueTempFolder();
        ASSERT_FALSE(root.empty());
        WriteFile(outside + L"\\keep.txt");
        std::vector<win32::FileHandle> held;
        std::vector<std::wstring> inUse;
        if (!c.make(root, outside, held, inUse)) {
                        std::printf("[  SKIPPED ] %s: not possible on this system\n", c.name);
            DeleteDirectoryTree(root);
            DeleteDirectoryTree(outside);
            continue;
        }

        DeleteDirectoryTree(root, inUse);

        EXPECT_TRUE(Exists(outside + L"\\keep.txt")) << "the deletion reached outside the work folder";
        for (const std::wstring& path : c.remaining)
            EXPECT_TRUE(Exists(root + path)) << "gone: " << testing::PrintToString(path);
        EXPECT_EQ(Exists(root), !c.remaining.empty());
        std::vector<std::wstring> expected;
        for (const std::wstring& path : c.scheduled) {
            expected.push_back(L"\\??\\" + root + path);
            expected.push_back(L"");
        }
        EXPECT_EQ(pending.Entries(), expected);

        held.clear();
        for (const std::wstring& path : c.remaining)
            ::SetFileAttributesW((root + path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteDirectoryTree(root);
        DeleteDirectoryTree(outside);
    }
}

}  // namespace

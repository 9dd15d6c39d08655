#include "config/ConfigurationManager.h"
#include "win32/Handle.h"

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the folder creation asked the system for. Wine accepts a descriptor but neither keeps nor enforces it,
// so the test looks at the descriptor itself.
struct CreatedFolder {
    std::wstring path;
    std::wstring descriptor;  // the DACL in SDDL, "" when none was given
    bool created = false;
};
std::vector<CreatedFolder> g_created;
int g_refusals = 0;

BOOL WINAPI RecordCreateDirectory(LPCWSTR path, LPSECURITY_ATTRIBUTES attributes) {
    CreatedFolder folder{path, L"", false};
    LPWSTR text = nullptr;
    if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr &&
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(attributes->lpSecurityDescriptor, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr)) {
        folder.descriptor = text;
        ::LocalFree(text);
    }
    if (g_refusals > 0) {
        // Another program made a folder of this name first.
        --g_refusals;
        ::CreateDirectoryW(path, nullptr);
        ::SetLastError(ERROR_ALREADY_EXISTS);
        g_created.push_back(folder);
        return FALSE;
    }
    folder.created = ::CreateDirectoryW(path, attributes) != FALSE;
    g_created.push_back(folder);
    return folder.created;
}

class DownloadWorkFolder : public ::testing::Test {
protected:
    void SetUp() override {
        g_created.clear();
        g_refusals = 0;
    }
    void TearDown() override {
        for (const auto& folder : g_created)
            ::RemoveDirectoryW(folder.path.c_str());
    }
};

TEST_F(DownloadWorkFolder, OnlyAdministratorsAndTheSystemMayWriteIntoIt) {
    const std::wstring folder = CreateUniqueTempFolder(RecordCreateDirectory);
    ASSERT_EQ(g_created.size(), 1u);
    EXPECT_EQ(folder, g_created[0].path);
    EXPECT_TRUE(::PathIsDirectoryW(folder.c_str()));

    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(g_created[0].descriptor.c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr))
        << "no descriptor given";
    win32::LocalMemory owner(descriptor);
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
    // Nothing is inherited from the user's temporary folder, where the user has full control.
    EXPECT_NE(control & SE_DACL_PROTECTED, 0);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
    ASSERT_TRUE(present);
    // A null list would give everyone everything.
    ASSERT_NE(dacl, nullptr);

    const DWORD writeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                              FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    bool administratorsHaveFullControl = false;
    bool ownerRightsCut = false;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        ASSERT_TRUE(::GetAce(dacl, index, reinterpret_cast<void**>(&header)));
        ASSERT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        LPWSTR sidText = nullptr;
        ASSERT_TRUE(::ConvertSidToStringSidW(&ace->SidStart, &sidText));
        std::wstring sid = sidText;
        ::LocalFree(sidText);
        const bool inherited = (header->AceFlags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) ==
                               (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
        if ((ace->Mask & writeRights) != 0) {
            EXPECT_TRUE(sid == L"S-1-5-32-544" || sid == L"S-1-5-18")
                << "write access for " << std::string(sid.begin(), sid.end());
        }
        if (sid == L"S-1-5-32-544" && (ace->Mask & FILE_ALL_ACCESS) == FILE_ALL_ACCESS && inherited)
            administratorsHaveFullControl = true;
        // Without it the folder's owner (the user, when created unelevated) could rewrite the list.
        if (sid == L"S-1-3-4" && (ace->Mask & WRITE_DAC) == 0)
            ownerRightsCut = true;
    }
    EXPECT_TRUE(administratorsHaveFullControl);
    EXPECT_TRUE(ownerRightsCut);
}

// Between the unique name and the folder another program may create a folder of that name, with its own
// access list: that folder is never used.
TEST_F(DownloadWorkFolder, AFolderSomeoneElseCreatedFirstIsNeverUsed) {
    g_refusals = 2;
    const std::wstring folder = CreateUniqueTempFolder(RecordCreateDirectory);
    ASSERT_EQ(g_created.size(), 3u);
    EXPECT_EQ(folder, g_created[2].path);
    EXPECT_NE(folder, g_created[0].path);
    EXPECT_NE(folder, g_created[1].path);
    EXPECT_TRUE(::PathIsDirectoryEmptyW(folder.c_str()));

    g_refusals = 1000;
    EXPECT_EQ(CreateUniqueTempFolder(RecordCreateDirectory), L"");
}

TEST_F(DownloadWorkFolder, TheRunsFolderIsTheFreshOne) {
    const std::wstring first = CreateUniqueTempFolder(RecordCreateDirectory);
    const std::wstring second = CreateUniqueTempFolder(RecordCreateDirectory);
    ASSERT_FALSE(first.empty());
    EXPECT_NE(first, second);
    auto configuration = ConfigurationManager::GetInstance();
    EXPECT_TRUE(::PathIsDirectoryW(configuration->m_tempFolder.c_str()));
}

}  // namespace

#include "config/PathPlaceholders.h"

#include <gtest/gtest.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

// Whether the prefix is a 64-bit Windows, asked in a way that does not go through IsWow64Process.
bool IsNative64Bit() {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

std::wstring FolderFromCsidl(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
        return std::wstring();
    return path;
}

std::wstring Lookup(const PlaceholderTable& table, const std::wstring& name) {
    for (const auto& [key, value] : table) {
        if (key == name)
            return value;
    }
    return L"<absent>";
}

std::vector<std::wstring> Keys(const PlaceholderTable& table) {
    std::vector<std::wstring> keys;
    for (const auto& entry : table)
        keys.push_back(entry.first);
    return keys;
}

PlaceholderTable BuildTables(PlaceholderTable* pf64 = nullptr) {
    PlaceholderTable paths;
    PlaceholderTable pf64Table;
    BuildPathPlaceholderTables(paths, pf64Table);
    if (pf64 != nullptr)
        *pf64 = pf64Table;
    return paths;
}

}  // namespace

TEST(PathPlaceholderExpansion, ReplacesEntriesInTableOrder) {
    struct Case {
        const wchar_t* name;
        PlaceholderTable table;
        std::wstring path;
        std::wstring expected;
    };
    const std::vector<Case> cases = {
        {L"every occurrence of a name", {{L"a", L"A"}}, L"{a}\\x\\{a}", L"A\\x\\A"},
        {L"a name without an entry stays", {{L"a", L"A"}}, L"{zzz}\\{a}", L"{zzz}\\A"},
        {L"names are matched with their braces", {{L"a", L"A"}}, L"a{a}a", L"aAa"},
        {L"a value naming a later entry is expanded by it", {{L"p", L"{q}"}, {L"q", L"Q"}}, L"{p}\\x", L"Q\\x"},
        {L"a value naming an earlier entry is not", {{L"q", L"Q"}, {L"p", L"{q}"}}, L"{p}\\x", L"{q}\\x"},
        {L"a value holding its own name does not loop", {{L"a", L"<{a}>"}}, L"{a}{a}", L"<{a}><{a}>"},
        {L"an empty value removes the name", {{L"a", L""}}, L"{a}\\x", L"\\x"},
        {L"an empty path", {{L"a", L"A"}}, L"", L""},
        {L"an empty table", {}, L"{a}", L"{a}"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandPathPlaceholders(c.path, c.table), c.expected) << c.name;
}

TEST(PathPlaceholderTables, ListNamesInInsertionOrder) {
    PlaceholderTable pf64;
    PlaceholderTable paths = BuildTables(&pf64);
    std::vector<std::wstring> expected = {L"commonpf", L"localappdata", L"commonappdata", L"programdata",
                                          L"commonpf32"};
    if (IsNative64Bit()) {
        expected.push_back(L"commonpf64");
        EXPECT_EQ(Keys(pf64), std::vector<std::wstring>{L"commonpf64"});
    } else {
        EXPECT_TRUE(pf64.empty());
    }
    EXPECT_EQ(Keys(paths), expected);
}

TEST(PathPlaceholderTables, MapUserAndMachineFoldersLikeTheShellDoes) {
    PlaceholderTable paths = BuildTables();
    // commonappdata is the user's roaming folder, not the machine-wide one: the product installs per user.
    EXPECT_EQ(Lookup(paths, L"commonappdata"), FolderFromCsidl(CSIDL_APPDATA));
    EXPECT_EQ(Lookup(paths, L"localappdata"), FolderFromCsidl(CSIDL_LOCAL_APPDATA));
    EXPECT_EQ(Lookup(paths, L"programdata"), FolderFromCsidl(CSIDL_COMMON_APPDATA));
    EXPECT_NE(Lookup(paths, L"commonappdata"), Lookup(paths, L"programdata"));
    EXPECT_FALSE(Lookup(paths, L"commonappdata").empty());

    EXPECT_EQ(ExpandPathPlaceholders(L"{commonappdata}\\Quarvel\\quarvel.exe", paths),
              FolderFromCsidl(CSIDL_APPDATA) + L"\\Quarvel\\quarvel.exe");
}

TEST(PathPlaceholderTables, CommonpfIsTheNativeProgramFilesFolder) {
    PlaceholderTable paths = BuildTables();
    EXPECT_EQ(IsWow64(), IsNative64Bit());
    const std::wstring expanded = ExpandPathPlaceholders(L"{commonpf}\\Vendor\\app.exe", paths);
    if (IsNative64Bit()) {
        EXPECT_EQ(Lookup(paths, L"commonpf"), L"{commonpf64}");
        EXPECT_EQ(expanded, L"C:\\Program Files\\Vendor\\app.exe");
        EXPECT_EQ(ExpandPathPlaceholders(L"{commonpf32}\\Vendor", paths), L"C:\\Program Files (x86)\\Vendor");
    } else {
        // On 32-bit Windows the x86 program files folder is the only one, and "{commonpf64}" means nothing.
        EXPECT_EQ(Lookup(paths, L"commonpf"), L"{commonpf32}");
        EXPECT_EQ(expanded, L"C:\\Program Files\\Vendor\\app.exe");
        EXPECT_EQ(ExpandPathPlaceholders(L"{commonpf64}\\Vendor", paths), L"{commonpf64}\\Vendor");
    }
}

TEST(PathPlaceholderTables, LeaveOutCommonpf64WhenProgramW6432IsMissingOrTooLong) {
    if (!IsNative64Bit())
        GTEST_SKIP() << "ProgramW6432 is read only under WOW64";
    wchar_t saved[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"ProgramW6432", saved, MAX_PATH), 0u);

    const std::vector<std::wstring> values = {std::wstring(MAX_PATH - 1, L'p'), std::wstring(MAX_PATH, L'p'), L""};
    for (const std::wstring& value : values) {
        if (value.empty())
            ::SetEnvironmentVariableW(L"ProgramW6432", nullptr);
        else
            ::SetEnvironmentVariableW(L"ProgramW6432", value.c_str());
        PlaceholderTable pf64;
        PlaceholderTable paths = BuildTables(&pf64);
        if (value.size() == MAX_PATH - 1) {
            EXPECT_EQ(Lookup(paths, L"commonpf64"), value) << "259 characters still fit";
            EXPECT_EQ(pf64.size(), 1u);
        } else {
            EXPECT_EQ(Lookup(paths, L"commonpf64"), L"<absent>") << value.size() << " characters";
            EXPECT_TRUE(pf64.empty());
            EXPECT_EQ(ExpandPathPlaceholders(L"{commonpf}\\x", paths), L"{commonpf64}\\x");
        }
    }
    ::SetEnvironmentVariableW(L"ProgramW6432", saved);
}

TEST(KnownFolders, UnknownFolderGivesEmptyPath) {
    const KNOWNFOLDERID unknown = {0x01234567, 0x89ab, 0xcdef, {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef}};
    EXPECT_EQ(GetKnownFolderPath(unknown), L"");
    EXPECT_EQ(GetKnownFolderPath(FOLDERID_ProgramData), FolderFromCsidl(CSIDL_COMMON_APPDATA));
}

TEST(ConfigurationPlaceholders, AreBuiltOnFirstUseAndKept) {
    ConfigurationManager& configuration = *ConfigurationManager::GetInstance();
    PlaceholderTable first = configuration.GetPathPlaceholders();
    EXPECT_TRUE(configuration.m_placeholdersReady);
    EXPECT_EQ(first, BuildTables());

    // Later calls hand out the table as it stands; nothing rebuilds it behind a caller's back.
    configuration.m_pathPlaceholders.emplace_back(L"extra", L"E");
    PlaceholderTable second = configuration.GetPathPlaceholders();
    EXPECT_EQ(Lookup(second, L"extra"), L"E");
    configuration.m_pathPlaceholders.pop_back();
}

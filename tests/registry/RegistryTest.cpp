#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "tests/registry/ScratchKeys.h"

using scratch::kView32;
using scratch::kView64;

namespace {

const wchar_t kVendor[] = L"WayfarerRegistryTest";

class RegistryTest : public ::testing::Test {
protected:
    // Whether any candidate of a (lower-case) path exists, the way the key rules ask.
    static bool AnyCandidateExists(registry::RegistryAccess& access, const std::wstring& path) {
        for (const std::wstring& candidate : registry::ExpandKeyPath(path)) {
            if (access.KeyExists(candidate))
                return true;
        }
        return false;
    }

    // The key Software\<vendor>\Values in the view a plain "software" path selects on this machine.
    win32::RegKey OpenValues() {
        return registry::OpenKey(HKEY_LOCAL_MACHINE, m_keys.Path(L"Values"), KEY_READ | kView64);
    }

    scratch::ScratchKeys m_keys{kVendor};
};

}  // namespace

TEST_F(RegistryTest, FindsKeysInTheViewTheirPathSelects) {
    m_keys.CreateKey(HKEY_LOCAL_MACHINE, kView32, L"Only32");
    m_keys.CreateKey(HKEY_LOCAL_MACHINE, kView64, L"Only64");
    m_keys.CreateKey(HKEY_CURRENT_USER, kView64, L"User\\Deeper");
    const bool windows64 = scratch::Is64BitPrefix();
    ASSERT_EQ(registry::Is64BitWindows(), windows64);

    for (bool cached : {true, false}) {
        SCOPED_TRACE(cached ? "with the subkey listing" : "opening every key");
        registry::RegistryAccess access(cached);
        // A bare vendor path finds the key whichever view holds it.
        EXPECT_TRUE(AnyCandidateExists(access, L"wayfarerregistrytest\\only32"));
        EXPECT_TRUE(AnyCandidateExists(access, L"wayfarerregistrytest\\only64"));
        EXPECT_TRUE(AnyCandidateExists(access, L"wayfarerregistrytest\\user\\deeper"));
        EXPECT_FALSE(AnyCandidateExists(access, L"wayfarerregistrytest\\missing"));
        EXPECT_FALSE(AnyCandidateExists(access, L"wayfarernosuchvendor\\x"));

        // An explicit hive path under "software" is the 64-bit view; "wow6432node" is the 32-bit one.
        EXPECT_EQ(access.KeyExists(L"hkey_local_machine\\software\\wayfarerregistrytest\\only32"), !windows64);
        EXPECT_TRUE(access.KeyExists(L"hkey_local_machine\\software\\wayfarerregistrytest\\only64"));
        EXPECT_EQ(access.KeyExists(L"hkey_local_machine\\software\\wow6432node\\wayfarerregistrytest\\only32"),
                  windows64);
        EXPECT_FALSE(access.KeyExists(L"hkey_local_machine\\software\\wow6432node\\wayfarerregistrytest\\missing"));

        // Outside "software" the path is opened as written, in this process's own view.
        EXPECT_TRUE(access.KeyExists(L"hkey_local_machine\\system"));
        EXPECT_FALSE(access.KeyExists(L"hkey_local_machine\\wayfarernosuchkey"));
        EXPECT_THROW(access.KeyExists(L"hkey_nowhere\\x"), std::out_of_range);
    }
}

TEST_F(RegistryTest, FindsKeysWhateverTheCaseOfTheirPath) {
    m_keys.Everywhere([&](HKEY hive, REGSAM view) { m_keys.CreateKey(hive, view, L"MixedCase\\Inner"); });
    registry::RegistryAccess access;
    for (const wchar_t* path : {L"hkey_local_machine\\software\\wayfarerregistrytest\\mixedcase\\inner",
                                L"hkey_local_machine\\software\\WayfarerRegistryTest\\MixedCase\\Inner",
                                L"hkey_current_user\\software\\WAYFARERREGISTRYTEST\\mixedcase",
                                L"hkey_local_machine\\software\\wow6432node\\WayfarerRegistryTest\\MixedCase"}) {
        const bool wow6432node = std::wstring(path).find(L"wow6432node") != std::wstring::npos;
        EXPECT_EQ(access.KeyExists(path), !wow6432node || scratch::Is64BitPrefix()) << path;
    }
}

TEST_F(RegistryTest, ListsSubkeysInLowerCase) {
    m_keys.CreateKey(HKEY_CURRENT_USER, kView64, L"List\\Alpha");
    m_keys.CreateKey(HKEY_CURRENT_USER, kView64, L"List\\BETA");
    m_keys.CreateKey(HKEY_CURRENT_USER, kView64, L"Empty");
    win32::RegKey list = registry::OpenKey(HKEY_CURRENT_USER, m_keys.Path(L"List"), KEY_READ | kView64);
    ASSERT_TRUE(list);
    std::vector<std::wstring> names = registry::EnumerateSubkeys(list.Get());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"alpha", L"beta"}));

    win32::RegKey empty = registry::OpenKey(HKEY_CURRENT_USER, m_keys.Path(L"Empty"), KEY_READ | kView64);
    EXPECT_TRUE(registry::EnumerateSubkeys(empty.Get()).empty());
}

TEST_F(RegistryTest, ReadsValuesAsText) {
    const DWORD noBytes = 0;
    const wchar_t unterminated[] = {L'a', L'b', L'c'};
    const std::uint8_t binary[] = {1, 2, 3};
    m_keys.SetDword(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Dword", 10);
    m_keys.SetQword(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Qword", 5000000000ULL);
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Text", L"Caf\u00e9 11.0");
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView64, L"Values", L"EmptyTerminated", L"");
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"EmptyBare", REG_SZ, &noBytes, 0);
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Unterminated", REG_SZ, unterminated, sizeof(unterminated));
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Binary", REG_BINARY, binary, sizeof(binary));
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Expand", REG_EXPAND_SZ, L"x", 4);
    // A value only in the 32-bit view, reached through the "wow6432node" candidate of a 64-bit Windows.
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView32, L"Only32", L"Text", L"thirty-two");

    struct Case {
        std::wstring keyPath;
        std::wstring valueName;
        bool found;
        std::wstring text;
    };
    const std::wstring values = L"software\\wayfarerregistrytest\\values";
    const std::vector<Case> cases = {
        {values, L"Dword", true, L"10"},
        {values, L"qword", true, L"5000000000"},
        {values, L"Text", true, L"Caf\u00e9 11.0"},
        {values, L"EmptyTerminated", true, L""},
        {values, L"EmptyBare", true, L""},
        {values, L"Unterminated", true, L"abc"},
        {values, L"Binary", false, L""},
        {values, L"Expand", false, L""},
        {values, L"Missing", false, L""},
        {L"software\\wayfarerregistrytest\\missing", L"Text", false, L""},
        {L"software\\wayfarerregistrytest\\only32", L"Text", true, L"thirty-two"},
        {L"Software\\WayfarerRegistryTest\\Values", L"Text", !scratch::Is64BitPrefix(), L"Caf\u00e9 11.0"},
    };
    registry::RegistryAccess access;
    for (const Case& c : cases) {
        std::wstring text = L"untouched";
        EXPECT_EQ(access.ReadValueAsText(L"hkey_local_machine", c.keyPath, c.valueName, text), c.found)
            << c.keyPath << L" " << c.valueName;
        if (c.found) {
            EXPECT_EQ(text, c.text) << c.valueName;
        }
    }
}

TEST_F(RegistryTest, ReadsStringsOfEveryStoredLength) {
    const DWORD noBytes = 0;
    const wchar_t one[] = {L'x'};
    const wchar_t twoTerminators[] = {L'x', L'\0', L'\0'};
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"EmptyBare", REG_SZ, &noBytes, 0);
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"One", REG_SZ, one, sizeof(one));
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"OddBytes", REG_SZ, L"yz", 3);
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Twice", REG_SZ, twoTerminators, sizeof(twoTerminators));
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Long", std::wstring(5000, L'q'));
    win32::RegKey key = OpenValues();
    ASSERT_TRUE(key);
    EXPECT_EQ(registry::ReadString(key.Get(), L"", L"EmptyBare"), L"");
    EXPECT_EQ(registry::ReadString(key.Get(), L"", L"One"), L"x");
    EXPECT_EQ(registry::ReadString(key.Get(), L"", L"OddBytes").substr(0, 1), L"y");
    EXPECT_EQ(registry::ReadString(key.Get(), L"", L"Long"), std::wstring(5000, L'q'));
    // Only one trailing terminator is the registry's; what the writer stored before it is data.
    EXPECT_EQ(registry::ReadString(key.Get(), L"", L"Twice"), std::wstring(L"x\0", 2));

    try {
        registry::ReadString(key.Get(), L"", L"Missing");
        ADD_FAILURE() << "a missing value must raise";
    } catch (const win32::RegistryError& error) {
        EXPECT_EQ(error.Status(), ERROR_FILE_NOT_FOUND);
        EXPECT_STREQ(error.what(), "Cannot read string from registry");
    }
}

TEST_F(RegistryTest, MatchesDataByTheValueType) {
    const std::uint8_t binary[] = {'a', 'b', 'c'};
    m_keys.SetString(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Text", L"ABC");
    m_keys.SetDword(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Dword", 10);
    m_keys.SetQword(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Qword", 5000000000ULL);
    m_keys.SetRaw(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Binary", REG_BINARY, binary, sizeof(binary));
    win32::RegKey key = OpenValues();
    ASSERT_TRUE(key);

    struct Case {
        const wchar_t* name;
        const wchar_t* expected;
        bool matches;
    };
    const Case cases[] = {
        {L"Text", L"abc", true},         {L"Text", L"ABC", false},        {L"Text", L"ab", false},
        {L"Dword", L"10", true},         {L"Dword", L"010", true},        {L"Dword", L"11", false},
        {L"Qword", L"5000000000", true}, {L"Qword", L"705032704", false}, {L"Binary", L"abc", false},
    };
    for (const Case& c : cases) {
        const DWORD type = registry::GetValueType(key.Get(), c.name);
        EXPECT_EQ(registry::ValueDataMatches(type, key.Get(), c.name, c.expected), c.matches)
            << c.name << L" " << c.expected;
    }

    // The expected text of a number that is none, or does not fit a DWORD, ends the run.
    EXPECT_THROW(registry::ValueDataMatches(REG_DWORD, key.Get(), L"Dword", L"on"), std::invalid_argument);
    EXPECT_THROW(registry::ValueDataMatches(REG_DWORD, key.Get(), L"Dword", L"4294967296"), std::out_of_range);
    EXPECT_THROW(registry::ValueDataMatches(REG_QWORD, key.Get(), L"Qword", L""), std::invalid_argument);
    // A value of another type than the caller names cannot be read as that type.
    try {
        registry::ValueDataMatches(REG_DWORD, key.Get(), L"Text", L"1");
        ADD_FAILURE() << "a REG_SZ read as a DWORD must raise";
    } catch (const win32::RegistryError& error) {
        EXPECT_NE(error.Status(), ERROR_SUCCESS);
        EXPECT_STREQ(error.what(), "Cannot read DWORD from registry.");
    }
}

TEST_F(RegistryTest, ProbesAnswerAbsentInsteadOfRaising) {
    m_keys.SetDword(HKEY_LOCAL_MACHINE, kView64, L"Values", L"Dword", 1);
    win32::RegKey key = OpenValues();
    ASSERT_TRUE(key);
    EXPECT_TRUE(registry::ValueExists(key.Get(), L"dword"));
    EXPECT_FALSE(registry::ValueExists(key.Get(), L"Missing"));
    EXPECT_EQ(registry::GetValueType(key.Get(), L"Dword"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(registry::GetValueType(key.Get(), L"Missing"), 0u);
    EXPECT_FALSE(registry::OpenKey(HKEY_LOCAL_MACHINE, m_keys.Path(L"Missing"), KEY_READ));
}

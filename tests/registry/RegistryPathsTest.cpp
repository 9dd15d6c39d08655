#include "registry/RegistryPaths.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/registry/ScratchKeys.h"

using Paths = std::vector<std::wstring>;

TEST(RegistryPaths, ExpandsHivesAbbreviationsAndBareVendorKeys) {
    struct Case {
        std::wstring path;
        Paths on32;
        Paths on64;  // empty: the same as on 32-bit Windows
    };
    const std::wstring hklm = L"hkey_local_machine\\software\\";
    const std::wstring hkcu = L"hkey_current_user\\software\\";
    const std::wstring hklm32 = L"hkey_local_machine\\software\\wow6432node\\";
    const std::wstring hkcu32 = L"hkey_current_user\\software\\wow6432node\\";
    const std::vector<Case> cases = {
        {L"hkey_local_machine\\software\\vendor", {L"hkey_local_machine\\software\\vendor"}, {}},
        {L"hkey_users\\s-1\\x", {L"hkey_users\\s-1\\x"}, {}},
        {L"hklm\\software\\vendor", {L"hkey_local_machine\\software\\vendor"}, {}},
        {L"hkcu\\software\\vendor", {L"hkey_current_user\\software\\vendor"}, {}},
        {L"hkcr\\.txt", {L"hkey_classes_root\\.txt"}, {}},
        {L"hku\\.default", {L"hkey_users\\.default"}, {}},
        {L"hkcc\\system", {L"hkey_current_config\\system"}, {}},
        {L"vendor\\app",
         {hklm + L"vendor\\app", hkcu + L"vendor\\app"},
         {hklm + L"vendor\\app", hkcu + L"vendor\\app", hklm32 + L"vendor\\app", hkcu32 + L"vendor\\app"}},
        // A hive name or abbreviation needs its backslash; an unknown hive is just a vendor's name.
        {L"hklm",
         {hklm + L"hklm", hkcu + L"hklm"},
         {hklm + L"hklm", hkcu + L"hklm", hklm32 + L"hklm", hkcu32 + L"hklm"}},
        {L"hkey_nowhere\\x",
         {hklm + L"hkey_nowhere\\x", hkcu + L"hkey_nowhere\\x"},
         {hklm + L"hkey_nowhere\\x", hkcu + L"hkey_nowhere\\x", hklm32 + L"hkey_nowhere\\x",
          hkcu32 + L"hkey_nowhere\\x"}},
        {L"", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(registry::ExpandKeyPath(c.path, false), c.on32) << c.path;
        EXPECT_EQ(registry::ExpandKeyPath(c.path, true), c.on64.empty() ? c.on32 : c.on64) << c.path;
    }
    // And without the flag, the machine's own answer.
    EXPECT_EQ(registry::ExpandKeyPath(L"vendor\\app").size(), scratch::Is64BitPrefix() ? 4u : 2u);
}

TEST(RegistryPaths, ChoosesTheViewOfSoftwareKeys) {
    struct Case {
        std::wstring path;
        bool windows64;
        bool skipped;
        std::wstring resolved;
        std::wstring removed;
        REGSAM flags;
    };
    const std::vector<Case> cases = {
        {L"hkey_local_machine\\software\\vendor\\app", true, false, L"hkey_local_machine\\software\\vendor\\app", L"",
         KEY_READ | KEY_WOW64_64KEY},
        {L"hkey_local_machine\\software\\vendor\\app", false, false, L"hkey_local_machine\\software\\vendor\\app", L"",
         KEY_READ},
        {L"hkey_current_user\\software\\vendor", true, false, L"hkey_current_user\\software\\vendor", L"",
         KEY_READ | KEY_WOW64_64KEY},
        // An explicit wow6432node path is this 32-bit process's own view, reached without the segment.
        {L"hkey_local_machine\\software\\wow6432node\\vendor", true, false, L"hkey_local_machine\\software\\vendor",
         L"wow6432node\\", KEY_READ | registry::kProcessView},
        // ...and cannot exist on a 32-bit Windows.
        {L"hkey_local_machine\\software\\wow6432node\\vendor", false, true, L"", L"", KEY_READ},
        // Only the component right below "software" counts.
        {L"hkey_local_machine\\software\\vendor\\wow6432node\\x", true, false,
         L"hkey_local_machine\\software\\vendor\\wow6432node\\x", L"", KEY_READ | KEY_WOW64_64KEY},
        // Outside "software", or not in lower case: left alone.
        {L"hkey_classes_root\\.txt", true, false, L"hkey_classes_root\\.txt", L"", KEY_READ | registry::kProcessView},
        {L"hkey_local_machine\\system\\x", true, false, L"hkey_local_machine\\system\\x", L"",
         KEY_READ | registry::kProcessView},
        {L"hkey_local_machine\\SOFTWARE\\vendor", true, false, L"hkey_local_machine\\SOFTWARE\\vendor", L"",
         KEY_READ | registry::kProcessView},
    };
    for (const Case& c : cases) {
        std::wstring path = c.path;
        std::wstring removed;
        REGSAM flags = KEY_READ;
        EXPECT_EQ(registry::ResolveRegistryView(path, removed, flags, c.windows64), c.skipped) << c.path;
        if (c.skipped)
            continue;
        EXPECT_EQ(path, c.resolved) << c.path;
        EXPECT_EQ(removed, c.removed) << c.path;
        EXPECT_EQ(flags, c.flags) << c.path;
    }
}

TEST(RegistryPaths, SplitsAtTheHiveAndRejectsUnknownHives) {
    EXPECT_EQ(registry::SplitKeyPath(L"hkey_local_machine\\software\\a\\b"),
              (std::pair<std::wstring, std::wstring>{L"hkey_local_machine", L"software\\a\\b"}));
    EXPECT_EQ(registry::SplitKeyPath(L"hkey_users"), (std::pair<std::wstring, std::wstring>{L"hkey_users", L""}));
    EXPECT_EQ(registry::HiveHandle(L"hkey_current_config"), HKEY_CURRENT_CONFIG);
    EXPECT_THROW(registry::HiveHandle(L"hklm"), std::out_of_range);
    EXPECT_THROW(registry::HiveHandle(L"HKEY_LOCAL_MACHINE"), std::out_of_range);
}

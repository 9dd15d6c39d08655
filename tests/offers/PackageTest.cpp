#include "offers/Package.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "net/Codecs.h"
#include "offers/AffiliateTable.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <limits>

using nlohmann::json;

namespace {

// Sets the server's run values for one test and puts the previous ones back.
class PackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_configuration = ConfigurationManager::GetInstance();
        m_saved = {m_configuration->m_serverL, m_configuration->m_serverFa, m_configuration->m_mainCb};
        m_savedBrand = m_configuration->m_brand;
        m_configuration->m_serverL = "US";
        m_configuration->m_serverFa = "pub7";
        m_configuration->m_mainCb = "cb1";
    }
    void TearDown() override {
        m_configuration->m_serverL = m_saved[0];
        m_configuration->m_serverFa = m_saved[1];
        m_configuration->m_mainCb = m_saved[2];
        m_configuration->m_brand = m_savedBrand;
    }

    static json Offer(json ps = json::object(), json ad = {{"f", "abc"}, {"o", "OfferOne"}}) {
        json base = {{"i", "img.png"}, {"dn", "Offer One"}, {"u", "https://files.test/setup.exe"}};
        for (auto& [key, value] : ps.items())
            base[key] = value;
        return {{"ad", ad}, {"ps", base}};
    }

    static std::shared_ptr<Package> Make(const json& offer, int position = 0) {
        return std::make_shared<Package>(EventBase(), offer, false, "", position);
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::vector<std::string> m_saved;
    std::wstring m_savedBrand;
};

std::string Placeholder(const Package& package, const std::string& key) {
    for (const auto& [name, value] : package.m_placeholders)
        if (name == key)
            return value;
    return "<absent>";
}

std::vector<std::string> PlaceholderKeys(const Package& package) {
    std::vector<std::string> keys;
    for (const auto& entry : package.m_placeholders)
        keys.push_back(entry.first);
    return keys;
}

}  // namespace

TEST_F(PackageTest, ReadsTextsAndNumbersOfAnOffer) {
    auto package = Make(Offer({{"p", "/quiet"},
                               {"cp", "https://p"},
                               {"ctu", "https://t"},
                               {"c", "tag-{of}"},
                               {"v", 4},
                               {"exc", true},
                               {"disk", 100.9},
                               {"ram", 2048},
                               {"cpu", 1200},
                               {"ov", 61},
                               {"pv", "2.0"},
                               {"win64", true},
                               {"a", {"one.exe", "two.exe"}},
                               {"r", {"HKLM\\Software\\Caf\xc3\xa9"}},
                               {"cmdu", {{{"utr", "r"}, {"utk", "k"}, {"utvn", "n"}, {"utvt", "t"}, {"umd", 30}}}}}),
                        2);
    EXPECT_EQ(package->m_offerTag, "abc");
    EXPECT_EQ(package->m_offerName, "OfferOne");
    EXPECT_EQ(package->m_name, "Offer One");
    EXPECT_EQ(package->m_imageName, "img.png");
    EXPECT_EQ(package->m_installerArgs, "/quiet");
    EXPECT_EQ(package->m_privacyUrl, "https://p");
    EXPECT_EQ(package->m_termsUrl, "https://t");
    EXPECT_EQ(package->m_eventTag, "tag-abc");
    EXPECT_EQ(package->m_vertical, 4);
    EXPECT_TRUE(package->m_exclusive);
    EXPECT_EQ(package->m_minDiskMiB, 100u);  // the fraction is dropped
    EXPECT_EQ(package->m_minRamMiB, 2048u);
    EXPECT_EQ(package->m_minCpuMHz, 1200u);
    EXPECT_EQ(package->m_minOsCode, 61);
    EXPECT_EQ(package->m_minInstallerVersion, "2.0");
    EXPECT_TRUE(package->m_needs64Bit);
    EXPECT_EQ(package->m_position, 2);
    EXPECT_EQ(package->m_processNames, (std::vector<std::string>{"one.exe", "two.exe"}));
    ASSERT_EQ(package->m_registryKeys.size(), 1u);
    EXPECT_EQ(package->m_registryKeys[0], L"HKLM\\Software\\Caf\u00e9");
    ASSERT_EQ(package->m_uninstallChecks.size(), 1u);
    EXPECT_EQ(package->m_uninstallChecks[0].umd, 30);
    EXPECT_FALSE(package->m_uninstallChecks[0].utms);
    EXPECT_FALSE(package->m_pn.enabled);
    EXPECT_FALSE(package->m_isMain);
}

namespace {

std::string Joined(const std::vector<std::wstring>& list) {
    std::string text;
    for (const auto& element : list)
        text += (text.empty() ? "" : "|") + win32::WideToUtf8(element);
    return text;
}

std::string Joined(const std::vector<std::string>& list) {
    std::string text;
    for (const auto& element : list)
        text += (text.empty() ? "" : "|") + element;
    return text;
}

}  // namespace

// Every key of a full offer carries a value of its own, so that a key read into another key's field, or not read
// at all, shows as a wrong or missing value in its row.
TEST_F(PackageTest, EachKeyOfAFullOfferIsReadIntoItsOwnField) {
    const json cmdu = {{{"utr", "HKLM"},
                        {"utk", "Uninstall\\Tool"},
                        {"utvn", "InstallDate"},
                        {"utvt", "yyyymmdd"},
                        {"umd", 30},
                        {"utms", true}}};
    auto package = Make(Offer({{"p", "/quiet"},
                               {"cp", "https://privacy"},
                               {"ctu", "https://terms"},
                               {"c", "event-c"},
                               {"v", 4},
                               {"exc", true},
                               {"disk", 11},
                               {"ram", 22},
                               {"cpu", 33},
                               {"ov", 61},
                               {"pv", "2.0"},
                               {"win64", true},
                               {"a", {"proc.exe"}},
                               {"fe", {"C:\\excluded.exe"}},
                               {"ife", {"C:\\included.exe"}},
                               {"r", {"HKLM\\Software\\R"}},
                               {"ir", {"HKLM\\Software\\IR"}},
                               {"rvn", {"ValueName"}},
                               {"rvd", {"ValueData"}},
                               {"eapp", {"excluded-app.exe"}},
                               {"iapp", {"included-app.exe"}},
                               {"cmdu", cmdu},
                               {"pn", true},
                               {"pnau", "https://pn-api"},
                               {"pnak", "pn-key"},
                               {"pnr", "Software\\Vendor\\stamp"},
                               {"pnop", "pn-op"},
                               {"pnsi", true},
                               {"la", "pn-la"},
                               {"sp", "stub-params"}}),
                        3);
    const UninstallCheck* check = package->m_uninstallChecks.empty() ? nullptr : &package->m_uninstallChecks[0];
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(package->m_uninstallChecks.size(), 1u);
    struct Row {
        const char* key;
        std::string field;
        std::string expected;
    };
    const Row rows[] = {
        {"ad.f", package->m_offerTag, "abc"},
        {"ad.o", package->m_offerName, "OfferOne"},
        {"i", package->m_imageName, "img.png"},
        {"dn", package->m_name, "Offer One"},
        {"u", package->m_downloadUrl, "https://files.test/setup.exe"},
        {"p", package->m_installerArgs, "/quiet"},
        {"cp", package->m_privacyUrl, "https://privacy"},
        {"ctu", package->m_termsUrl, "https://terms"},
        {"c", package->m_eventTag, "event-c"},
        {"v", std::to_string(package->m_vertical), "4"},
        {"exc", std::to_string(package->m_exclusive), "1"},
        {"disk", std::to_string(package->m_minDiskMiB), "11"},
        {"ram", std::to_string(package->m_minRamMiB), "22"},
        {"cpu", std::to_string(package->m_minCpuMHz), "33"},
        {"ov", std::to_string(package->m_minOsCode), "61"},
        {"pv", package->m_minInstallerVersion, "2.0"},
        {"win64", std::to_string(package->m_needs64Bit), "1"},
        {"a", Joined(package->m_processNames), "proc.exe"},
        {"fe", Joined(package->m_excludeFiles), "C:\\excluded.exe"},
        {"ife", Joined(package->m_includeFiles), "C:\\included.exe"},
        {"r", Joined(package->m_registryKeys), "HKLM\\Software\\R"},
        {"ir", Joined(package->m_includeRegistryKeys), "HKLM\\Software\\IR"},
        {"rvn", Joined(package->m_registryValueNames), "ValueName"},
        {"rvd", Joined(package->m_registryValueData), "ValueData"},
        {"eapp", Joined(package->m_excludeAppPaths), "excluded-app.exe"},
        {"iapp", Joined(package->m_includeAppPaths), "included-app.exe"},
        {"cmdu.utr", win32::WideToUtf8(check->utr), "HKLM"},
        {"cmdu.utk", win32::WideToUtf8(check->utk), "Uninstall\\Tool"},
        {"cmdu.utvn", win32::WideToUtf8(check->utvn), "InstallDate"},
        {"cmdu.utvt", win32::WideToUtf8(check->utvt), "yyyymmdd"},
        {"cmdu.umd", std::to_string(check->umd), "30"},
        {"cmdu.utms", std::to_string(check->utms), "1"},
        {"pn", std::to_string(package->m_pn.enabled), "1"},
        {"pnau", package->m_pn.apiUrl, "https://pn-api"},
        {"pnak", package->m_pn.apiKey, "pn-key"},
        {"pnr", package->m_pn.registryValuePath, "Software\\Vendor\\stamp"},
        {"pnop", package->m_pn.op, "pn-op"},
        {"pnsi", std::to_string(package->m_pn.showInstalled), "1"},
        {"la", package->m_pn.la, "pn-la"},
        {"sp", package->m_pn.stubParams, "stub-params"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.field, row.expected) << "key " << row.key;
    EXPECT_EQ(package->m_position, 3);
}

TEST_F(PackageTest, OfferWithoutOptionalKeysKeepsDefaults) {
    auto package = Make(Offer());
    EXPECT_EQ(package->m_vertical, 0);
    EXPECT_EQ(package->m_eventTag, "");
    EXPECT_EQ(package->m_minDiskMiB, 0u);
    EXPECT_FALSE(package->m_exclusive);
    EXPECT_TRUE(package->m_excludeFiles.empty());
    EXPECT_EQ(package->m_flow.mb, INT_MAX);
    EXPECT_EQ(package->m_flow.ma, INT_MAX);
    EXPECT_EQ(package->m_flow.mo, INT_MAX);
}

TEST_F(PackageTest, PresetsOverrideRequirementsReadBeforeThem) {
    struct Case {
        json ps;
        std::uint64_t disk, ram, cpu;
        bool needs64, chrome, noChrome, ie;
    } cases[] = {
        {{{"x", 1}, {"disk", 9}}, 2500, 250, 0, false, false, false, false},
        {{{"x", 2}}, 0, 0, 0, false, true, false, true},
        {{{"x", 3}, {"disk", 100}}, 512, 1536, 1500, false, false, false, false},
        {{{"x", 10}, {"win64", false}}, 0, 0, 0, true, false, false, false},
        {{{"x", 12}}, 0, 0, 0, false, true, false, false},
        {{{"x", 13}}, 0, 0, 0, false, false, true, false},
        {{{"x", 99}, {"disk", 7}}, 7, 0, 0, false, false, false, false},
    };
    for (const auto& c : cases) {
        auto package = Make(Offer(c.ps));
        SCOPED_TRACE(c.ps.dump());
        EXPECT_EQ(package->m_minDiskMiB, c.disk);
        EXPECT_EQ(package->m_minRamMiB, c.ram);
        EXPECT_EQ(package->m_minCpuMHz, c.cpu);
        EXPECT_EQ(package->m_needs64Bit, c.needs64);
        EXPECT_EQ(package->m_needsChrome, c.chrome);
        EXPECT_EQ(package->m_needsNoChrome, c.noChrome);
        EXPECT_EQ(package->m_checksIeVersion, c.ie);
    }
}

TEST_F(PackageTest, RequirementsBeyondTheRangeAskForTheMostRatherThanNothing) {
    constexpr std::uint64_t kLargest = UINT64_MAX;
    struct Case {
        json value;
        std::uint64_t expected;
    } cases[] = {
        {1e20, kLargest},
        {2e19, kLargest},
        {1e300, kLargest},
        {18446744073709551616.0, kLargest},               // 2^64, the first value that does not fit
        {18446744073709549568.0, 18446744073709549568u},  // the largest double below it still converts
        {json::parse("18446744073709551615"), kLargest},
        {json::parse("99999999999999999999999"), kLargest},  // too long for an integer: the parser makes it a double
        {std::numeric_limits<double>::infinity(), kLargest},
        {std::numeric_limits<double>::quiet_NaN(), kLargest},
        {-std::numeric_limits<double>::infinity(), 0},
        {-1e300, 0},
        {-5, 0},
        {4096.75, 4096},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.dump());
        for (const char* key : {"disk", "ram", "cpu"}) {
            auto package = Make(Offer({{key, c.value}}));
            const std::uint64_t read = std::string(key) == "disk"  ? package->m_minDiskMiB
                                       : std::string(key) == "ram" ? package->m_minRamMiB
                                                                   : package->m_minCpuMHz;
            EXPECT_EQ(read, c.expected) << key;
        }
    }
}

TEST_F(PackageTest, IntegerKeysBeyondTheirRangeStopAtItsEnd) {
    struct Case {
        json value;
        int expected;
    } cases[] = {
        {1e300, INT_MAX},
        {-1e300, INT_MIN},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {json::parse("18446744073709551615"), INT_MAX},
        {json::parse("-9223372036854775808"), INT_MIN},
        {4294967301LL, INT_MAX},  // 2^32 + 5 no longer wraps to 5
        {61.9, 61},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value.dump());
        json cmdu = {{{"utr", "r"}, {"utk", "k"}, {"utvn", "n"}, {"utvt", "t"}, {"umd", c.value}}};
        auto package = Make(Offer({{"v", c.value},
                                   {"ov", c.value},
                                   {"cmdu", cmdu},
                                   {"pn", true},
                                   {"cfs", {{"mb", c.value}, {"ma", c.value}, {"mo", c.value}}}}));
        EXPECT_EQ(package->m_vertical, c.expected);
        EXPECT_EQ(package->m_minOsCode, c.expected);
        EXPECT_EQ(package->m_uninstallChecks.at(0).umd, c.expected);
        EXPECT_EQ(package->m_flow.mb, c.expected);
        EXPECT_EQ(package->m_flow.ma, c.expected);
        EXPECT_EQ(package->m_flow.mo, c.expected);
    }
    // A preset beyond the range is no preset.
    auto preset = Make(Offer({{"x", 1e300}, {"disk", 7}}));
    EXPECT_EQ(preset->m_minDiskMiB, 7u);
}

TEST_F(PackageTest, ServerTextsAreBoundedBeforeTheyAreUsed) {
    using server_text::kMaxNameChars;
    using server_text::kMaxTextChars;
    const std::string megabyte(1 << 20, 'n');
    // Three bytes a character: the bounds count characters, not bytes, and never cut one in two.
    std::string wide;
    for (int i = 0; i < 100000; ++i)
        wide += "\xe2\x82\xac";
    auto package = Make(Offer({{"dn", wide},
                               {"i", megabyte},
                               {"u", megabyte},
                               {"p", megabyte},
                               {"cp", megabyte},
                               {"ctu", megabyte},
                               {"c", megabyte},
                               {"pv", megabyte},
                               {"pn", true},
                               {"pnau", megabyte},
                               {"pnak", megabyte},
                               {"pnr", megabyte},
                               {"pnop", megabyte},
                               {"la", megabyte},
                               {"sp", megabyte},
                               {"pnrp", {{"default", megabyte}}}},
                              {{"f", megabyte}, {"o", megabyte}}));
    EXPECT_EQ(package->m_name.size(), kMaxNameChars * 3);
    EXPECT_EQ(Utf8ToWide(package->m_name), std::wstring(kMaxNameChars, L'\u20ac'));
    EXPECT_EQ(package->m_offerName, megabyte.substr(0, kMaxNameChars));
    EXPECT_EQ(package->m_offerTag, megabyte.substr(0, kMaxNameChars));
    EXPECT_EQ(package->m_eventTag.size(), kMaxNameChars);
    EXPECT_EQ(package->m_minInstallerVersion.size(), kMaxNameChars);
    // Addresses are not cut: one beyond its bound is no address, and the offer is refused for its download.
    for (const std::string* url : {&package->m_imageName, &package->m_downloadUrl, &package->m_privacyUrl,
                                   &package->m_termsUrl, &package->m_pn.apiUrl})
        EXPECT_EQ(*url, "");
    EXPECT_TRUE(package->m_downloadUrlTooLong);
    for (const std::string* text :
         {&package->m_installerArgs, &package->m_pn.registryValuePath, &package->m_pn.stubParams})
        EXPECT_EQ(text->size(), kMaxTextChars);
    EXPECT_EQ(Placeholder(*package, "pnrparam").size(), kMaxTextChars);
    for (const std::string* name : {&package->m_pn.apiKey, &package->m_pn.op, &package->m_pn.la})
        EXPECT_EQ(name->size(), kMaxNameChars);

    // The server decodes "pxl": it is the true encoding of the bounded name, and an ordinary name (the other
    // tests) is encoded whole as before.
    auto configuration = ConfigurationManager::GetInstance();
    EXPECT_EQ(Placeholder(*package, "pxl"),
              Base62Encode(configuration->GetMachineGuid() + "|" + megabyte.substr(0, kMaxNameChars) + "|" +
                           configuration->GetTimestamp()));
    EXPECT_EQ(package->m_eventFields.at("5"), package->m_offerName);
}

TEST_F(PackageTest, ExpandedTextsStayWithinTheirBound) {
    // Every token of a name or of installer arguments that the bound lets in expands into a long value; the
    // result is bounded again.
    std::string tokens;
    while (tokens.size() + 5 <= server_text::kMaxTextChars)
        tokens += "{pxl}";
    auto package = Make(Offer({{"dn", tokens}, {"p", tokens}}, {{"f", "abc"}, {"o", std::string(4000, 'o')}}));
    const std::string pxl = Placeholder(*package, "pxl");
    ASSERT_GT(pxl.size(), 300u);
    EXPECT_EQ(package->m_name, pxl.substr(0, server_text::kMaxNameChars));
    EXPECT_EQ(package->m_installerArgs.size(), server_text::kMaxTextChars);
    EXPECT_EQ(package->m_installerArgs.substr(0, pxl.size()), pxl);
}

TEST_F(PackageTest, ShownNamesLoseInvisibleFormatting) {
    struct Case {
        const char* name;
        const char* shown;
    } cases[] = {
        {"setup\xe2\x80\xaegnp.exe", "setupgnp.exe"},                        // U+202E right-to-left override
        {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xadOffer", "Offer"},  // U+202A-U+202D
        {"a\xe2\x81\xa6"
         "b\xe2\x81\xa7"
         "c\xe2\x81\xa8"
         "d\xe2\x81\xa9",
         "abcd"},                                                                        // isolates U+2066-U+2069
        {"z\xe2\x80\x8bw\xe2\x80\x8cj\xe2\x80\x8dl\xe2\x80\x8er\xe2\x80\x8f", "zwjlr"},  // U+200B-U+200F
        {"\xef\xbb\xbf"
         "Bom",
         "Bom"},                             // U+FEFF
        {"Get {of} now", "Get tagnow now"},  // a placeholder's value is cleaned too
        // Text that shows itself stays: right-to-left letters, accents, symbols.
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d Caf\xc3\xa9 \xe2\x82\xac",
         "\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d Caf\xc3\xa9 \xe2\x82\xac"},
        {"Offer One", "Offer One"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto package = Make(Offer({{"dn", c.name}}, {{"f", "tag\xe2\x80\xaenow"}, {"o", "OfferOne"}}));
        EXPECT_EQ(package->m_name, c.shown);
    }
}

TEST_F(PackageTest, MalformedOffersRaiseTheJsonErrors) {
    struct Case {
        json offer;
        const char* message;  // part of the library's text
    } cases[] = {
        {{{"ps", {{"i", "a"}, {"dn", "b"}, {"u", "c"}}}}, "key 'ad' not found"},
        {Offer(json::object(), {{"f", "abc"}}), "key 'o' not found"},
        {json{{"ad", {{"f", "a"}, {"o", "b"}}}, {"ps", {{"i", "a"}, {"dn", "b"}}}}, "key 'u' not found"},
        {Offer({{"dn", 5}}), "type must be string, but is number"},
        {Offer({{"exc", "yes"}}), "type must be boolean, but is string"},
        {Offer({{"fe", "C:\\x"}}), "type must be array, but is string"},
        {Offer({{"v", "4"}}), "type must be number, but is string"},
        {Offer({{"cmdu", {{{"utr", "r"}, {"utk", "k"}, {"utvn", "n"}, {"utvt", "t"}}}}}), "key 'umd' not found"},
        {Offer({{"cmdu", {{{"utr", "r"}, {"utk", "k"}, {"utvn", "n"}, {"utvt", "t"}, {"umd", 1}, {"utms", 1}}}}}),
         "type must be boolean"},
        {Offer({{"pn", true}, {"pnrp", {{"default", 3}}}}), "type must be string, but is number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offer.dump());
        try {
            Make(c.offer);
            ADD_FAILURE() << "no exception";
        } catch (const json::exception& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos) << error.what();
        }
    }
}

TEST_F(PackageTest, PlaceholderTableFollowsInsertionOrder) {
    auto package = Make(Offer({{"pn", true}, {"pnau", "https://api"}, {"pnak", "key1"}, {"pnop", "op1"}, {"sp", "s"}}));
    EXPECT_EQ(PlaceholderKeys(*package),
              (std::vector<std::string>{"userid", "sessionid", "cc", "pubid", "ispb", "aflt", "account_md5", "pxl",
                                        "of", "pnrparam", "pnstubparams", "pnapiurl", "pnapikey", "pnop", "account",
                                        "installer", "pnsid"}));
    auto configuration = ConfigurationManager::GetInstance();
    EXPECT_EQ(Placeholder(*package, "sessionid"), configuration->GetTimestamp());
    EXPECT_EQ(Placeholder(*package, "cc"), "US");
    EXPECT_EQ(Placeholder(*package, "aflt"), "91088");
    EXPECT_EQ(Placeholder(*package, "account_md5"), Md5Hex(L"Lumora"));
    EXPECT_EQ(Placeholder(*package, "pxl"),
              Base62Encode(configuration->GetMachineGuid() + "|OfferOne|" + configuration->GetTimestamp()));
    EXPECT_EQ(Placeholder(*package, "account"), "Lumora");
    EXPECT_EQ(Placeholder(*package, "installer"), "QuarvelProduct");
}

TEST_F(PackageTest, EmptyRunValuesLeaveTheirPlaceholdersOut) {
    m_configuration->m_serverL.clear();
    m_configuration->m_serverFa.clear();
    m_configuration->m_mainCb.clear();
    m_configuration->m_brand.clear();
    auto package = Make(Offer());
    EXPECT_EQ(Placeholder(*package, "cc"), "<absent>");
    EXPECT_EQ(Placeholder(*package, "pubid"), "<absent>");
    EXPECT_EQ(Placeholder(*package, "ispb"), "<absent>");
    EXPECT_EQ(Placeholder(*package, "account_md5"), "<absent>");
    EXPECT_EQ(Placeholder(*package, "aflt"), "91082");
}

TEST_F(PackageTest, PlaceholdersAreVisibleOnlyToKeysReadAfterThem) {
    auto package = Make(Offer({{"dn", "Get {of} now {zzz}"},
                               {"u", "https://x/{pnapiurl}?c={cc}"},
                               {"p", "/api={pnapiurl} /s={pnstubparams}"},
                               {"sp", "id={of}"},
                               {"pn", true},
                               {"pnau", "API"}}));
    EXPECT_EQ(package->m_name, "Get abc now {zzz}");
    EXPECT_EQ(package->m_downloadUrl, "https://x/{pnapiurl}?c=US");
    EXPECT_EQ(package->m_pn.stubParams, "id=abc");
    EXPECT_EQ(package->m_installerArgs, "/api=API /s=id=abc");
}

TEST_F(PackageTest, ExpansionOfAValueHoldingItsOwnKeyEnds) {
    auto package = Make(Offer({{"p", "[{of}]"}}, {{"f", "x{of}y"}, {"o", "Loop"}}));
    EXPECT_EQ(package->m_installerArgs, "[x{of}y]");
}

TEST_F(PackageTest, FlowConditionsAreReadOnlyForPnOffers) {
    json cfs = {{"mb", 1}, {"ab", {"a"}}, {"ma", 2}, {"aa", {"b"}}, {"mo", 3}, {"saad", true}, {"sied", true}};
    auto plain = Make(Offer({{"cfs", cfs}}));
    EXPECT_EQ(plain->m_flow.mb, INT_MAX);
    EXPECT_TRUE(plain->m_flow.ab.empty());
    EXPECT_FALSE(plain->m_flow.saad);

    auto pn = Make(Offer({{"cfs", cfs}, {"pn", true}}));
    EXPECT_EQ(pn->m_flow.mb, 1);
    EXPECT_EQ(pn->m_flow.ab, std::vector<std::string>{"a"});
    EXPECT_EQ(pn->m_flow.ma, 2);
    EXPECT_EQ(pn->m_flow.aa, std::vector<std::string>{"b"});
    EXPECT_EQ(pn->m_flow.mo, 3);
    EXPECT_TRUE(pn->m_flow.saad);
    EXPECT_TRUE(pn->m_flow.sied);
}

TEST_F(PackageTest, PnrpChoosesThisWindowsThenDefault) {
    const std::string thisWindows = GetWindowsMajorMinor();
    ASSERT_FALSE(thisWindows.empty());
    struct Case {
        json pnrp;
        std::string expected;
    } cases[] = {
        {{{thisWindows, "mine"}, {"default", "other"}}, "mine"},
        {{{"6.1", "seven"}, {"default", "other"}}, "other"},
        {{{"6.1", "seven"}}, ""},
    };
    for (const auto& c : cases) {
        auto package = Make(Offer({{"pn", true}, {"pnrp", c.pnrp}, {"p", "{pnrparam}"}}));
        EXPECT_EQ(package->m_installerArgs, c.expected) << c.pnrp.dump();
    }
}

TEST_F(PackageTest, FileListsTakePathPlaceholders) {
    auto package =
        Make(Offer({{"fe", {"{commonappdata}\\Vendor\\a.exe", "{unknown}\\b.exe"}}, {"ife", {"{localappdata}\\x"}}}));
    const auto table = m_configuration->GetPathPlaceholders();
    ASSERT_EQ(package->m_excludeFiles.size(), 2u);
    EXPECT_EQ(package->m_excludeFiles[0], ExpandPathPlaceholders(L"{commonappdata}\\Vendor\\a.exe", table));
    EXPECT_EQ(package->m_excludeFiles[0].find(L'{'), std::wstring::npos);
    EXPECT_EQ(package->m_excludeFiles[1], L"{unknown}\\b.exe");
    ASSERT_EQ(package->m_includeFiles.size(), 1u);
    EXPECT_EQ(package->m_includeFiles[0].find(L'{'), std::wstring::npos);
}

TEST(Affiliate, MapsCountryCodesExactly) {
    struct Case {
        const char* code;
        const char* affiliate;
    } cases[] = {{"US", "91088"}, {"us", "91082"}, {"FR", "91082"}, {"", "91082"},   {"CA", "91166"},
                 {"BR", "91199"}, {"KR", "91214"}, {"NZ", "91214"}, {"PL", "91105"}, {"AE", "91105"},
                 {"SG", "91215"}, {"TH", "91215"}, {"USA", "91082"}};
    for (const auto& c : cases)
        EXPECT_EQ(AffiliateForCountry(c.code), c.affiliate) << c.code;
}

TEST(MainPackage, HasNoRequirementsAndReinitializesItsIdentity) {
    auto main = std::make_shared<Package>(EventBase(), true, L"QuarvelProduct", L"", L"Quarvel", L"", 0);
    EXPECT_TRUE(main->m_isMain);
    EXPECT_EQ(main->m_name, "QuarvelProduct");
    EXPECT_TRUE(main->m_placeholders.empty());
    EXPECT_FALSE(main->m_pn.enabled);
    bool completed = false;
    main->DownloadImage([&completed] { completed = true; });
    EXPECT_TRUE(completed);  // at once: the main product has no image

    main->ReinitializeMain(EventBase(), L"Offer", L"cfl", L"Title", L"ch");
    EXPECT_EQ(main->m_offerName, "Offer");
    EXPECT_EQ(main->m_offerTag, "cfl");
    EXPECT_EQ(main->m_name, "Title");
    EXPECT_EQ(main->m_eventTag, "ch");
    EXPECT_EQ(main->m_position, 0);
    EXPECT_EQ(main->m_eventFields["10"], 1);
}

namespace {

DWORD ReadStamp(const std::wstring& key, const std::wstring& value, REGSAM view) {
    DWORD data = 0, size = sizeof(data), type = 0;
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &handle) != ERROR_SUCCESS)
        return 0;
    ::RegQueryValueExW(handle, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    ::RegCloseKey(handle);
    return type == REG_DWORD ? data : 0;
}

DWORD ExpectedStamp() {
    // 180 days from now, in the local time of that day (its own daylight-saving bias, not today's), read as the
    // number yyyymmdd.
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart += 180ULL * 86400ULL * 10000000ULL;
    FILETIME later{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME universal{}, local{};
    ::FileTimeToSystemTime(&later, &universal);
    ::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
    return local.wYear * 10000u + local.wMonth * 100u + local.wDay;
}

}  // namespace

TEST_F(PackageTest, PnStampLandsInThe32BitViewOfTheMachineHive) {
    const std::wstring key = L"Software\\WayfarerTest\\Offer";
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\WayfarerTest");
    auto package = Make(Offer({{"pn", true}, {"pnr", "Software\\WayfarerTest\\Offer\\stamp{of}"}}));
    // The day may turn while the stamp is written: then either day is right.
    const DWORD before = ExpectedStamp();
    ASSERT_TRUE(package->StampPnRegistry());
    const DWORD after = ExpectedStamp();
    const DWORD stamp = ReadStamp(key, L"stampabc", KEY_WOW64_32KEY);
    EXPECT_TRUE(stamp == before || stamp == after) << stamp << " is neither " << before << " nor " << after;
    const char* kind = std::getenv("WAYFARER_PREFIX_KIND");
    if (kind != nullptr && std::string(kind) == "win64") {
        // On 64-bit Windows the 32-bit view is its own: the 64-bit view does not see the stamp.
        EXPECT_EQ(ReadStamp(key, L"stampabc", KEY_WOW64_64KEY), 0u);
    }
    HKEY root = nullptr;
    ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY, &root);
    ::RegDeleteTreeW(root, L"WayfarerTest");
    ::RegCloseKey(root);
}

TEST_F(PackageTest, PnStampNeedsAKeyAndAValueName) {
    for (const char* path : {"stamp", "\\stamp", ""}) {
        auto package = Make(Offer({{"pn", true}, {"pnr", path}}));
        EXPECT_FALSE(package->StampPnRegistry()) << path;
    }
}

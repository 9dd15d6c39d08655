#include "win32/ServerText.h"

#include <gtest/gtest.h>

using namespace server_text;

TEST(ServerText, BoundsCountCodePointsAndNeverCutASequence) {
    struct Case {
        std::string text;
        std::size_t max;
        std::string expected;
    };
    const Case cases[] = {
        {"Quarvel", 3, "Qua"},
        {"Quarvel", 100, "Quarvel"},
        {"\xC3\xA9t\xC3\xA9", 2, "\xC3\xA9t"},            // é t é
        {"\xE6\x97\xA5\xE6\x9C\xAC", 1, "\xE6\x97\xA5"},  // one CJK character of two
        {"\xF0\x9F\x98\x80x", 1, "\xF0\x9F\x98\x80"},     // a four-byte sequence counts once
        {"\xE6\x97", 5, "\xE6\x97"},                      // a cut sequence: each byte counts as one
        {"", 4, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BoundUtf8(c.text, c.max), c.expected) << c.text;
}

TEST(ServerText, InvisibleFormattingIsRemovedFromShownAndSavedNames) {
    EXPECT_EQ(StripInvisibleFormatting(L"setup\u202Egnp.exe"), L"setupgnp.exe");
    EXPECT_EQ(StripInvisibleFormatting(L"\u2066Quarvel\u2069 \u200BPro\uFEFF"), L"Quarvel Pro");
    EXPECT_EQ(StripInvisibleFormatting(L"Qu\u00E9bec \u05E9\u05DC\u05D5\u05DD"),
              L"Qu\u00E9bec \u05E9\u05DC\u05D5\u05DD");
    // U+202E is E2 80 AE in UTF-8; a malformed byte stays as it is.
    EXPECT_EQ(StripInvisibleFormattingUtf8("setup\xE2\x80\xAEgnp.exe"), "setupgnp.exe");
    EXPECT_EQ(StripInvisibleFormattingUtf8("a\xE2\x80\x8B"
                                           "b\xFF"
                                           "c"),
              "ab\xFF"
              "c");
}

TEST(ServerText, NamesLoseControlsAndFormattingAndStayWithinTheirBound) {
    const std::pair<std::string, std::string> cases[] = {
        {"Quarvel Pro", "Quarvel Pro"},
        {"a\r\nb\tc\ad", "a  b c d"},
        {std::string("nul\0in", 6), "nul in"},
        {"del\177end", "del end"},
        {"c1\u0085next\u009Bcsi", "c1 next csi"},
        {"setup\u202Egnp.exe", "setupgnp.exe"},
        {"caf\u00E9 \u65E5", "caf\u00E9 \u65E5"},  // letters stay
        {"raw\205byte", "raw\205byte"},            // not UTF-8: kept as it came
        {"line\u2028para\u2029end", "line para end"},
    };
    for (const auto& [name, clean] : cases)
        EXPECT_EQ(CleanNameUtf8(name), clean) << name;
    EXPECT_EQ(CleanNameUtf8(std::string(kMaxNameChars + 1, 'n')), std::string(kMaxNameChars, 'n'));
    // Formatting removed first: what is left of a long name still fills its bound.
    EXPECT_EQ(CleanNameUtf8(std::string(10, '\x01') + "\xE2\x80\x8B" + std::string(kMaxNameChars, 'n')),
              std::string(10, ' ') + std::string(kMaxNameChars - 10, 'n'));
}

TEST(ServerText, AnAddressFitsItsBoundWholeOrNotAtAll) {
    EXPECT_TRUE(FitsUtf8(std::string(kMaxUrlChars, 'u'), kMaxUrlChars));
    EXPECT_FALSE(FitsUtf8(std::string(kMaxUrlChars + 1, 'u'), kMaxUrlChars));
    EXPECT_TRUE(FitsUtf8("", 0));
    // Counted in code points, as the bound counts them: three of three bytes each fit a bound of three.
    EXPECT_TRUE(FitsUtf8("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 3));
    EXPECT_FALSE(FitsUtf8("\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 2));
}

#include "net/Codecs.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace std::string_literals;

TEST(Sha256Hex, MatchesPublishedDigests) {
    EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Bytes, not text: a NUL inside the input is hashed like any other byte.
    EXPECT_NE(Sha256Hex("a\0b"s), Sha256Hex("a"));
}

TEST(Md5Hex, MatchesPublishedDigests) {
    EXPECT_EQ(Md5Hex(L""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5Hex(L"abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5Hex(L"Lumora"), "6e0263aa5d8a528da0d8cd6f92372657");
}

TEST(Base62Encode, WritesTheBigEndianNumeral) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"abc", "qMin"},
        {"\0\0abc"s, "qMin"},  // leading zero bytes leave no trace
        {"\0"s, ""},
        {"", ""},
        {"\x01", "1"},
        {"\x3d", "Z"},
        {"\x3e", "10"},
        {"\xff", "47"},
        {"\0\xff\0"s, "gYU"},  // zero bytes inside the number count
        {std::string(32, '\xff'), "YHJSKWDa6oz1al1yMhwzwM8llg7hJNUca2J5RoW8xP1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Base62Encode(c.bytes), c.expected) << "input of " << c.bytes.size() << " bytes";

    std::string all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    EXPECT_EQ(
        Base62Encode(all),
        "35WzM1EDB9ruSmKv3AmfXhkbYY8j2Am5kR1oXRo0HMobBL8mQlurLTUVcsDuYDTTR0Kdh5ljYUR4AkpUWFSXQz0alF45ZqUwTEh7if5YCQr"
        "e5MyV5S3IWMe6mYkuhDHaQhaTEhcsGMxKpBHXYDLUujpSzDHMC8jFPX2aKfatfliy11C84eIu86SLYIe7AAEbZqew1Rgh2YJB3rYcofRd2"
        "oL1caaMsshz9vFbMjBQEwEV8aWD6qRQf8NdPjq7ikkXlQ81BrpqZXdDY5SEBvihocavXLf0DNPb8Onc2RQ2H7z02p679DgksLv8BwD13MXE"
        "gJBvG7l5NXlRzkQrZDN27Z");
}

TEST(Base62Encode, TakesInputUpToItsBoundAndRefusesMore) {
    // The cost grows with the square of the input; beyond the bound the caller gets an error, never a value
    // computed some other way, since the server decodes it.
    const std::string atBound(kMaxBase62InputBytes, '\xff');
    const std::string encoded = Base62Encode(atBound);
    EXPECT_GT(encoded.size(), 5400u);
    EXPECT_LE(encoded.size(), 5504u);  // 4096 bytes need at most ceil(4096 * log 256 / log 62) digits
    EXPECT_THROW(Base62Encode(atBound + "x"), std::length_error);
}

TEST(Utf8ToWide, DecodesUtf8) {
    EXPECT_EQ(Utf8ToWide(""), L"");
    EXPECT_EQ(Utf8ToWide("plain"), L"plain");
    EXPECT_EQ(Utf8ToWide("h\xc3\xa9llo"), L"h\u00e9llo");
    EXPECT_EQ(Utf8ToWide("\xf0\x9f\x98\x80"), L"\xd83d\xde00");  // one code point, two UTF-16 units
    EXPECT_EQ(Utf8ToWide("a\0b"s), L"a\0b"s) << "the whole byte string is decoded, NULs included";
}

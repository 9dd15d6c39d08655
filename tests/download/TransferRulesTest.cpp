// The rules every transfer is held to, over plain values: which lengths an answer may announce, where a redirect
// may lead, how slow a transfer may be, which failures may pass, and when kept bytes may be continued.
#include "download/Attempt.h"
#include "download/Engines.h"
#include "download/RedirectRule.h"

#include <gtest/gtest.h>

#include <winhttp.h>

#include <optional>
#include <string>
#include <vector>

#include "download/DownloadLimits.h"
#include "win32/Strings.h"

using namespace std::chrono_literals;

namespace {

// The failure text of `action` in UTF-8, or "" when it raises nothing.
template <typename Action>
std::string FailureOf(Action&& action) {
    try {
        action();
    } catch (const download::Failure& failure) {
        return win32::WideToUtf8(failure.Text());
    }
    return {};
}

// The kind of failure `action` raises: "final", "passing", "lasting", or "" when it raises nothing.
template <typename Action>
std::string KindOf(Action&& action) {
    try {
        action();
    } catch (const download::Failure& failure) {
        switch (failure.Kind()) {
            case download::FailureKind::Final:
                return "final";
            case download::FailureKind::Passing:
                return "passing";
            case download::FailureKind::Lasting:
                return "lasting";
        }
    }
    return {};
}

}  // namespace

TEST(ContentLength, IsOneDecimalNumberOf64BitsHoweverOftenItIsSaid) {
    const struct {
        std::vector<std::wstring> values;
        std::optional<std::uint64_t> length;
    } cases[] = {
        {{}, std::nullopt},
        {{L"0"}, 0},
        {{L"4096"}, 4096},
        {{L" 17\t"}, 17},
        {{L"3000000000"}, 3000000000ull},
        {{L"18446744073709551615"}, UINT64_MAX},
        {{L"42, 42"}, 42},
        {{L"42", L"42"}, 42},
        {{L"007"}, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values.empty() ? std::wstring(L"(none)") : c.values[0]);
        EXPECT_EQ(download::ParseContentLength(c.values), c.length);
    }
}

TEST(ContentLength, AnythingElseIsAnInvalidAnswer) {
    const struct {
        std::vector<std::wstring> values;
        std::string text;
    } cases[] = {
        {{L""}, "Invalid answer: the length \"\" is not a number."},
        {{L"12ab"}, "Invalid answer: the length \"12ab\" is not a number."},
        {{L"-1"}, "Invalid answer: the length \"-1\" is not a number."},
        {{L"+5"}, "Invalid answer: the length \"+5\" is not a number."},
        {{L"0x10"}, "Invalid answer: the length \"0x10\" is not a number."},
        {{L"1e6"}, "Invalid answer: the length \"1e6\" is not a number."},
        {{L"18446744073709551616"}, "Invalid answer: the length \"18446744073709551616\" is not a number."},
        {{L"5,"}, "Invalid answer: the length \"5,\" is not a number."},
        {{L"line\r\nbreak"}, "Invalid answer: the length \"line??break\" is not a number."},
        // A server value is quoted up to its bound, whatever it holds beyond.
        {{std::wstring(download::kQuotedValueChars, L'7') + L"x\r\n"},
         "Invalid answer: the length \"" + std::string(download::kQuotedValueChars, '7') + "\" is not a number."},
        {{L"100", L"200"}, "Invalid answer: conflicting lengths 100 and 200."},
        {{L"100, 101"}, "Invalid answer: conflicting lengths 100 and 101."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            download::ParseContentLength(c.values);
            ADD_FAILURE() << "accepted";
        } catch (const download::Failure& error) {
            EXPECT_EQ(error.Kind(), download::FailureKind::Final);
            EXPECT_EQ(win32::WideToUtf8(error.Text()), c.text);
        }
    }
}

TEST(RedirectRule, ResolvesEveryFormOfTargetAndNeverLeavesHttpsForHttp) {
    const struct {
        const wchar_t* from;
        const wchar_t* location;
        const wchar_t* to;  // nullptr: refused
    } cases[] = {
        {L"https://a.test/d/f.exe", L"https://b.test/g.exe", L"https://b.test/g.exe"},
        {L"https://a.test/d/f.exe", L"/g.exe", L"https://a.test/g.exe"},
        {L"https://a.test/d/f.exe?x=1", L"g.exe", L"https://a.test/d/g.exe"},
        {L"https://a.test/d/f.exe", L"?v=2", L"https://a.test/d/f.exe?v=2"},
        {L"https://a.test/d/f.exe", L"//b.test/g.exe", L"https://b.test/g.exe"},
        {L"https://a.test", L"g.exe", L"https://a.test/g.exe"},
        {L"http://a.test/f.exe", L"https://a.test/f.exe", L"https://a.test/f.exe"},
        {L"http://a.test/f.exe", L"http://b.test/f.exe", L"http://b.test/f.exe"},
        {L"https://a.test/f.exe", L"HTTPS://b.test/f.exe", L"HTTPS://b.test/f.exe"},
        {L"https://a.test/f.exe", L"http://a.test/f.exe", nullptr},
        {L"https://a.test/f.exe", L"HTTP://a.test/f.exe", nullptr},
        {L"https://a.test/f.exe", L"ftp://a.test/f.exe", nullptr},
        {L"https://a.test/f.exe", L"file:///C:/Windows/notepad.exe", nullptr},
        {L"http://a.test/f.exe", L"javascript:alert(1)", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.location);
        download::RedirectChain chain(c.from);
        if (c.to != nullptr) {
            chain.Follow(c.location);
            EXPECT_EQ(chain.Url(), c.to);
        } else {
            EXPECT_EQ(KindOf([&] { chain.Follow(c.location); }), "final");
            EXPECT_EQ(chain.Url(), c.from);
        }
    }
}

TEST(RedirectRule, FollowsFiveAndRefusesTheSixthAndAnyStartThatIsNotHttp) {
    download::RedirectChain chain(L"http://a.test/0");
    for (int i = 1; i <= download::kMaxRedirects; ++i)
        chain.Follow(L"/" + std::to_wstring(i));
    EXPECT_EQ(chain.Url(), L"http://a.test/5");
    EXPECT_EQ(FailureOf([&] { chain.Follow(L"/6"); }), "Too many redirects.");

    // Once on https, a chain stays there however it got there.
    download::RedirectChain upgraded(L"http://a.test/0");
    upgraded.Follow(L"https://a.test/1");
    EXPECT_EQ(KindOf([&] { upgraded.Follow(L"http://a.test/2"); }), "final");

    EXPECT_EQ(FailureOf([] { download::RedirectChain(L"ftp://a.test/f.exe"); }),
              "Refused a URL that is neither http nor https: \"ftp://a.test/f.exe\"");
    EXPECT_EQ(KindOf([] { download::RedirectChain(L"C:\\setup.exe"); }), "final");
}

TEST(RateFloor, FailsOnlyAWindowThatEndsBelowTheFloor) {
    using Clock = download::RateFloor::Clock;
    const Clock::time_point start{};
    const auto at = [&](std::chrono::milliseconds offset) { return start + offset; };
    const std::string tooSlow = "Transfer too slow: less than 1000 bytes per second for 10 seconds.";

    {
        // A steady drip just under the floor fails when the first window ends, not before.
        download::RateFloor floor(1000, 10s, start);
        for (int second = 1; second < 10; ++second)
            EXPECT_EQ(FailureOf([&] { floor.Add(990, at(second * 1000ms)); }), "") << second;
        EXPECT_EQ(FailureOf([&] { floor.Add(990, at(10s)); }), tooSlow);
    }
    {
        // A pause inside a window is made up by a burst before it ends; each window starts counting afresh.
        download::RateFloor floor(1000, 10s, start);
        EXPECT_EQ(FailureOf([&] { floor.Add(0, at(9s)); }), "");
        EXPECT_EQ(FailureOf([&] { floor.Add(10000, at(10s)); }), "");
        EXPECT_EQ(FailureOf([&] { floor.Add(9000, at(19s)); }), "");
        EXPECT_EQ(FailureOf([&] { floor.Add(0, at(20s)); }), tooSlow);
    }
    {
        // A window measured late asks for the floor over all the time that passed.
        download::RateFloor floor(1000, 10s, start);
        EXPECT_EQ(FailureOf([&] { floor.Add(12000, at(15s)); }), tooSlow);
    }
}

TEST(RateFloor, IsAFailureThatMayPass) {
    download::RateFloor floor(1000, 10s, {});
    EXPECT_EQ(KindOf([&] { floor.Add(0, download::RateFloor::Clock::time_point{} + 10s); }), "passing");
}

TEST(RetryAfter, IsANumberOfSecondsAndNothingElse) {
    const struct {
        std::vector<std::wstring> values;
        std::optional<std::chrono::milliseconds> pause;
    } cases[] = {
        {{}, std::nullopt},
        {{L"0"}, 0ms},
        {{L" 7 "}, 7000ms},
        {{L"120", L"1"}, 120000ms},
        {{L"99999999999999"}, 86400000ms},
        {{L"Wed, 21 Oct 2026 07:28:00 GMT"}, std::nullopt},
        {{L"-5"}, std::nullopt},
        {{L"1.5"}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values.empty() ? "none" : std::string(c.values[0].begin(), c.values[0].end()));
        EXPECT_EQ(download::ParseRetryAfter(c.values), c.pause);
    }
}

TEST(PassingStatus, IsATimeOutABusyOrBrokenServerOrAGateway) {
    for (DWORD status : {0u, 408u, 429u, 500u, 502u, 503u, 504u})
        EXPECT_TRUE(download::IsPassingStatus(status)) << status;
    for (DWORD status : {200u, 206u, 301u, 400u, 401u, 403u, 404u, 410u, 416u, 501u, 505u})
        EXPECT_FALSE(download::IsPassingStatus(status)) << status;
}

// A refused certificate or TLS is a verdict on the server, final for the download; a connection that failed on the
// way may pass. (A certificate for another host reaches the download as a failed channel under Wine, as one of
// another name on Windows: both are verdicts.)
TEST(Verdict, ARefusedCertificateIsFinalAndAFailedConnectionMayPass) {
    const struct {
        DWORD code;
        bool verdict;
    } cases[] = {
        {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, true},
        {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID, true},
        {ERROR_WINHTTP_SECURE_INVALID_CA, true},
        {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, true},
        {ERROR_WINHTTP_SECURE_CERT_REVOKED, true},
        {ERROR_WINHTTP_CONNECTION_ERROR, false},
        {ERROR_WINHTTP_TIMEOUT, false},
        {ERROR_WINHTTP_CANNOT_CONNECT, false},
        {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(download::IsWinHttpVerdict(c.code), c.verdict) << c.code;
}

namespace {

// What PlaceBody makes of `answer` to a request for `resume`: the offset the body goes to, or "restart" when the
// kept bytes are dropped.
std::string Placement(const download::ResumePoint& resume, const download::AnswerHeaders& answer) {
    try {
        return std::to_string(download::PlaceBody(resume, answer).first);
    } catch (const download::Failure& failure) {
        if (failure.Kind() != download::FailureKind::Passing)
            return "not passing";
        return failure.Restart() ? "restart" : "passing";
    }
}

const wchar_t kDate[] = L"Tue, 01 Dec 2026 10:00:00 GMT";

download::FileIdentity Tagged(std::wstring validator, std::uint64_t length) {
    download::FileIdentity identity;
    identity.validator = std::move(validator);
    identity.length = length;
    identity.acceptsRanges = true;
    return identity;
}

}  // namespace

TEST(Resume, AsksForTheRestOnlyOfAFileAServerVouchesFor) {
    using download::ResumePoint;
    EXPECT_EQ(download::RangeHeaders(ResumePoint{600, Tagged(L"\"v1\"", 1000)}),
              L"Range: bytes=600-\r\nIf-Range: \"v1\"");
    EXPECT_EQ(download::RangeHeaders(ResumePoint{0, Tagged(L"\"v1\"", 1000)}), L"");
    download::FileIdentity noRanges = Tagged(L"\"v1\"", 1000);
    noRanges.acceptsRanges = false;
    EXPECT_EQ(download::RangeHeaders(ResumePoint{600, noRanges}), L"");
    EXPECT_EQ(download::RangeHeaders(ResumePoint{600, Tagged(L"", 1000)}), L"");
    download::FileIdentity noLength = Tagged(L"\"v1\"", 1000);
    noLength.length.reset();
    EXPECT_EQ(download::RangeHeaders(ResumePoint{600, noLength}), L"");
}

TEST(Resume, LearnsTheValidatorFromAStrongEtagOrElseTheDate) {
    const struct {
        const char* name;
        download::AnswerHeaders answer;
        std::wstring validator;
        bool acceptsRanges;
    } cases[] = {
        {"strong ETag", {200, 10, {}, {L"bytes"}, {L"\"abc\""}, {L"Tue, 01 Dec 2026 10:00:00 GMT"}}, L"\"abc\"", true},
        {"weak ETag only", {200, 10, {}, {L"bytes"}, {L"W/\"abc\""}, {}}, L"", true},
        {"date only",
         {200, 10, {}, {L"none, Bytes"}, {}, {L"Tue, 01 Dec 2026 10:00:00 GMT"}},
         L"Tue, 01 Dec 2026 10:00:00 GMT",
         true},
        {"two ETags", {200, 10, {}, {L"bytes"}, {L"\"a\"", L"\"b\""}, {}}, L"", true},
        {"ranges refused", {200, 10, {}, {L"none"}, {L"\"abc\""}, {}}, L"\"abc\"", false},
        {"a unit that only starts like bytes", {200, 10, {}, {L"bytesx"}, {L"\"abc\""}, {}}, L"\"abc\"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const download::FileIdentity identity = download::PlaceBody({}, c.answer).second;
        EXPECT_EQ(identity.validator, c.validator);
        EXPECT_EQ(identity.acceptsRanges, c.acceptsRanges);
        EXPECT_EQ(identity.length, std::optional<std::uint64_t>(10));
    }
}

TEST(Resume, AppendsOnlyTheExactRestOfTheSameVersion) {
    const download::ResumePoint resume{600, Tagged(L"\"v1\"", 1000)};
    const struct {
        const char* name;
        download::AnswerHeaders answer;
        std::string placement;
    } cases[] = {
        {"the rest", {206, 400, {L"bytes 600-999/1000"}, {}, {L"\"v1\""}, {}}, "600"},
        {"the rest, no length, no ETag", {206, std::nullopt, {L"bytes 600-999/1000"}, {}, {}, {}}, "600"},
        {"whole file instead", {200, 1000, {}, {L"bytes"}, {L"\"v2\""}, {}}, "0"},
        {"416", {416, std::nullopt, {L"bytes */1000"}, {}, {}, {}}, "restart"},
        {"starts elsewhere", {206, 500, {L"bytes 500-999/1000"}, {}, {L"\"v1\""}, {}}, "restart"},
        {"another total", {206, 400, {L"bytes 600-999/1200"}, {}, {L"\"v1\""}, {}}, "restart"},
        // First and last agree with the kept bytes and with each other; only the total tells another file.
        {"another total, the rest of it", {206, 600, {L"bytes 600-1199/1200"}, {}, {L"\"v1\""}, {}}, "restart"},
        {"ends early", {206, 200, {L"bytes 600-799/1000"}, {}, {L"\"v1\""}, {}}, "restart"},
        {"length disagrees", {206, 300, {L"bytes 600-999/1000"}, {}, {L"\"v1\""}, {}}, "restart"},
        {"another version", {206, 400, {L"bytes 600-999/1000"}, {}, {L"\"v2\""}, {}}, "restart"},
        {"no Content-Range", {206, 400, {}, {}, {L"\"v1\""}, {}}, "restart"},
        {"two Content-Ranges", {206, 400, {L"bytes 600-999/1000", L"bytes 600-999/1000"}, {}, {}, {}}, "restart"},
        {"unknown total", {206, 400, {L"bytes 600-999/*"}, {}, {}, {}}, "restart"},
        {"garbage", {206, 400, {L"bytes 600-x/1000"}, {}, {}, {}}, "restart"},
        {"the rest, named by a date instead", {206, 400, {L"bytes 600-999/1000"}, {}, {}, {kDate}}, "restart"},
        // The same strong ETag is the same bytes: a whole answer of another length contradicts the kept ones.
        {"whole file of the same version", {200, 1000, {}, {L"bytes"}, {L"\"v1\""}, {}}, "0"},
        {"same version, another length", {200, 448, {}, {L"bytes"}, {L"\"v1\""}, {}}, "not passing"},
        {"same version, a longer length", {200, 1448, {}, {}, {L"\"v1\""}, {}}, "not passing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Placement(resume, c.answer), c.placement);
    }
    // Without a range asked for, a 200 is the whole file.
    EXPECT_EQ(Placement({}, {200, 1000, {}, {}, {}, {}}), "0");
    EXPECT_EQ(FailureOf([&] {
                  download::PlaceBody(resume, {200, 448, {}, {}, {L"\"v1\""}, {}});
              }),
              "The server sent the file of the same version (ETag \"v1\") with another length (448 bytes against "
              "1000).");
}

// Without an ETag the kept bytes are vouched for by their date, which If-Range sends back: a part is appended only
// when it carries that very date (and no ETag, which would name another validator).
TEST(Resume, AppendsAPartByDateOnlyWhenItCarriesTheDateAskedFor) {
    const download::ResumePoint resume{600, Tagged(kDate, 1000)};
    EXPECT_EQ(download::RangeHeaders(resume), std::wstring(L"Range: bytes=600-\r\nIf-Range: ") + kDate);
    const struct {
        const char* name;
        download::AnswerHeaders answer;
        std::string placement;
    } cases[] = {
        {"the same date", {206, 400, {L"bytes 600-999/1000"}, {}, {}, {kDate}}, "600"},
        {"no validator at all", {206, 400, {L"bytes 600-999/1000"}, {}, {}, {}}, "600"},
        {"a newer date", {206, 400, {L"bytes 600-999/1000"}, {}, {}, {L"Wed, 02 Dec 2026 10:00:00 GMT"}}, "restart"},
        {"two dates", {206, 400, {L"bytes 600-999/1000"}, {}, {}, {kDate, kDate}}, "restart"},
        {"an ETag beside the date", {206, 400, {L"bytes 600-999/1000"}, {}, {L"\"v1\""}, {kDate}}, "restart"},
        // Dates are weak validators: a whole answer of another length under the same date is simply newer.
        {"whole file, another length", {200, 448, {}, {}, {}, {kDate}}, "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Placement(resume, c.answer), c.placement);
    }
}

// A validator goes back to the server in If-Range: one that holds a line break, or that is longer than a quoted
// value may be, would let the server's answer write a header line of the next request.
TEST(Resume, NeverSendsBackAValidatorThatCouldEndItsHeader) {
    const std::wstring longest = L"\"" + std::wstring(download::kQuotedValueChars - 2, L'a') + L"\"";
    const struct {
        const char* name;
        std::vector<std::wstring> etag;
        std::vector<std::wstring> lastModified;
        bool kept;
    } cases[] = {
        {"ETag at the bound", {longest}, {}, true},
        {"ETag over the bound", {L"\"a" + longest}, {}, false},
        {"ETag with CR LF", {L"\"v1\r\nX-Injected: 1\""}, {}, false},
        {"ETag with LF", {L"\"v1\nX: 1\""}, {}, false},
        {"ETag with CR", {L"\"v1\rX: 1\""}, {}, false},
        {"date with CR LF", {}, {L"Tue, 01 Dec 2026\r\nX-Injected: 1"}, false},
        {"date over the bound", {}, {std::wstring(download::kQuotedValueChars + 1, L'd')}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const download::FileIdentity identity =
            download::PlaceBody({}, {200, 1000, {}, {L"bytes"}, c.etag, c.lastModified}).second;
        EXPECT_EQ(!identity.validator.empty(), c.kept);
        const std::wstring headers = download::RangeHeaders({600, identity});
        EXPECT_EQ(headers.empty(), !c.kept);
        EXPECT_EQ(headers.find_first_of(L"\r\n"), headers.find(L"\r\n")) << "a lone line break goes out";
        EXPECT_EQ(headers.find(L"\r\n"), headers.rfind(L"\r\n")) << "a second header line goes out";
    }
}

// The body's coding: the installer asks for none, so any but the identity (and chunking, for the transfer) is an
// answer it cannot save as the file.
TEST(BodyCoding, OnlyTheIdentityAndChunkingPass) {
    const struct {
        std::vector<std::wstring> contentEncoding;
        std::vector<std::wstring> transferEncoding;
        std::string text;  // "" when it passes
    } cases[] = {
        {{}, {}, ""},
        {{L"identity"}, {L"chunked"}, ""},
        {{L" Identity "}, {L"Chunked"}, ""},
        {{L"gzip"}, {}, "The server sent the file in a coding it was not asked for (Content-Encoding \"gzip\")."},
        {{L"identity, br"},
         {},
         "The server sent the file in a coding it was not asked for (Content-Encoding "
         "\"identity, br\")."},
        {{L"identity", L"deflate"},
         {},
         "The server sent the file in a coding it was not asked for (Content-Encoding "
         "\"deflate\")."},
        {{},
         {L"gzip, chunked"},
         "The server sent the file in a coding it was not asked for (Transfer-Encoding "
         "\"gzip, chunked\")."},
        {{L"x\r\ny"}, {}, "The server sent the file in a coding it was not asked for (Content-Encoding \"x??y\")."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        download::AnswerHeaders answer{200, 10, {}, {}, {}, {}, c.contentEncoding, c.transferEncoding};
        EXPECT_EQ(FailureOf([&] { download::RefuseUnaskedCoding(answer); }), c.text);
        if (!c.text.empty()) {
            EXPECT_EQ(KindOf([&] { download::RefuseUnaskedCoding(answer); }), "final");
        }
    }
}

// A body whose length nobody announced ends where the connection or the chunks seem to end, which no engine tells
// from a cut: only a check of the content can vouch for it.
TEST(BodyEnd, AnUnannouncedLengthPassesOnlyWhenTheContentIsCheckedAfterwards) {
    EXPECT_EQ(KindOf([] { download::RequireMarkedEnd(std::nullopt, false); }), "final");
    EXPECT_EQ(FailureOf([] { download::RequireMarkedEnd(std::nullopt, false); }),
              "The server did not say how long the file is, and without a published hash or signer a cut file could "
              "not be told from a whole one.");
    EXPECT_EQ(KindOf([] { download::RequireMarkedEnd(std::nullopt, true); }), "");
    EXPECT_EQ(KindOf([] { download::RequireMarkedEnd(0, false); }), "");
    EXPECT_EQ(KindOf([] { download::RequireMarkedEnd(1048576, false); }), "");
}

// A 206 that no Range asked for is a part at most: kept as the file's beginning when it is one, with the whole
// file's length from its total, so that the download goes on until every byte is there; dropped otherwise.
TEST(Resume, APartNobodyAskedForIsNeverTheWholeFile) {
    const struct {
        const char* name;
        download::AnswerHeaders answer;
        std::string placement;
        std::optional<std::uint64_t> length;  // of the whole file, when kept
    } cases[] = {
        {"the beginning", {206, 20000, {L"bytes 0-19999/1048576"}, {L"bytes"}, {L"\"v1\""}, {}}, "0", 1048576},
        {"the beginning, no length", {206, std::nullopt, {L"bytes 0-19999/1048576"}, {}, {}, {}}, "0", 1048576},
        {"every byte", {206, 1000, {L"bytes 0-999/1000"}, {}, {}, {}}, "0", 1000},
        {"the middle", {206, 400, {L"bytes 600-999/1000"}, {}, {}, {}}, "restart", std::nullopt},
        {"length disagrees", {206, 500, {L"bytes 0-399/1000"}, {}, {}, {}}, "restart", std::nullopt},
        {"no Content-Range", {206, 400, {}, {}, {}, {}}, "restart", std::nullopt},
        {"unknown total", {206, 400, {L"bytes 0-399/*"}, {}, {}, {}}, "restart", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Placement({}, c.answer), c.placement);
        if (c.length)
            EXPECT_EQ(download::PlaceBody({}, c.answer).second.length, c.length);
    }
}

// Malformed and hostile configuration answers, each parsed as the configuration request parses it and applied
// as the loading run applies it, with no window and no network but the analytics endpoint: every answer ends in
// one of the outcomes the loading page knows (the run fails, it carries on without offers, the DLM product is
// unusable, an offer is refused with its reason, an offer is admitted), never in a crash or a hang. A seeded
// generator then mutates a valid answer for a few seconds.
#include "config/ConfigurationManager.h"
#include "offers/LoadingPipeline.h"
#include "offers/OfferTesting.h"
#include "offers/Package.h"
#include "win32/ServerText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <mutex>
#include <thread>
#include <map>
#include <random>
#include <string>
#include <vector>

using nlohmann::json;
using testing_offers::FakeFacts;
using testing_offers::Offer;
using testing_offers::ReceivedReasons;

namespace {

enum class Outcome { Fails, NoOffers, ProductUnusable, Refused, Admitted };

const char* NameOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::Fails:
            return "run fails";
        case Outcome::NoOffers:
            return "no offers";
        case Outcome::ProductUnusable:
            return "product unusable";
        case Outcome::Refused:
            return "refused";
        case Outcome::Admitted:
            return "admitted";
    }
    return "?";
}

enum class Flavour { Isv, Dlm };

struct Result {
    Outcome outcome = Outcome::Fails;
    std::vector<std::shared_ptr<Package>> admitted;
    std::string error;
};

// An answer of one offer named "one" whose "ps" holds `ps` besides its required keys.
std::string OneOffer(const json& ps, const json& top = json::object()) {
    json answer = {{"l", "US"}, {"f", {{"a", "pub"}, {"m", 3}}}, {"o", {Offer("one", ps)}}};
    for (auto item = top.begin(); item != top.end(); ++item)
        answer[item.key()] = item.value();
    return answer.dump();
}

// A DLM answer whose product holds `product` over a usable title and download address.
std::string Product(const json& product) {
    json i = {{"ct", "Prod"}, {"cu", "https://localhost/p.exe"}};
    for (auto item = product.begin(); item != product.end(); ++item)
        i[item.key()] = item.value();
    return json{{"i", i}}.dump();
}

// Text of `depth` nested arrays: never built as a JSON value in the test, whose copies would recurse.
std::string Nested(size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// The valid answer the generator starts from: two offers that this machine admits, one of them a "pn" offer.
json ValidAnswer() {
    return {{"l", "US"},
            {"f", {{"a", "pub"}, {"m", 3}}},
            {"o",
             {Offer("one", {{"p", "/s"},
                            {"cp", "https://localhost/p"},
                            {"ctu", "https://localhost/t"},
                            {"c", "tag-{of}"},
                            {"v", 1},
                            {"disk", 100},
                            {"ram", 512},
                            {"cpu", 1000},
                            {"ov", 61},
                            {"pv", "1.0"},
                            {"win64", false},
                            {"exc", false},
                            {"x", 0},
                            {"a", {"wayfarer-absent.exe"}}}),
              Offer("two", {{"v", 2},
                            {"pn", true},
                            {"pnau", "https://localhost/api"},
                            {"pnak", "k"},
                            {"pnop", "op"},
                            {"la", "en"},
                            {"sp", "s={pnapiurl}"},
                            {"pnrp", {{"default", "d"}}},
                            {"cfs", {{"sied", true}}}})}}};
}

class BadAnswerTest : public testing_offers::LoadingRunTest {
protected:
    // Parses `text` as the configuration request does (exceptions on, no comments) and applies it.
    Result Run(const std::string& text, Flavour flavour) {
        m_configuration->m_wizardType = flavour == Flavour::Dlm ? WizardTypeDlm : WizardTypeIsv;
        m_configuration->m_offerCounter = 0;
        m_configuration->m_offersToShow = 0;
        Result result;
        try {
            const json answer = json::parse(text, nullptr, true, false);
            LoadingOutcome outcome = ApplyConfigurationAnswer(answer, m_configuration, std::make_shared<FakeFacts>());
            result.admitted = std::move(outcome.offers);
            result.outcome = outcome.configurationError ? Outcome::ProductUnusable
                             : !result.admitted.empty() ? Outcome::Admitted
                                                        : Outcome::NoOffers;
        } catch (const std::exception& error) {
            result.outcome = Outcome::Fails;
            result.error = error.what();
        }
        return result;
    }
};

}  // namespace

// Every key of the format with a value of another JSON type ends the run, except where the format says the key
// is not read.
TEST_F(BadAnswerTest, EachKeyWithAValueOfTheWrongTypeEndsTheRun) {
    struct Case {
        const char* key;
        json ps;
        Outcome outcome;
    };
    const json pn = {{"pn", true}};
    auto with = [](json base, const char* key, json value) {
        base[key] = std::move(value);
        return base;
    };
    std::vector<Case> cases;
    for (const char* key : {"i", "dn", "u", "p", "cp", "ctu", "c", "pv"})
        cases.push_back({key, {{key, 1}}, Outcome::Fails});
    for (const char* key : {"v", "ov", "x", "disk", "ram", "cpu"})
        cases.push_back({key, {{key, "1"}}, Outcome::Fails});
    for (const char* key : {"exc", "win64", "pn"})
        cases.push_back({key, {{key, 1}}, Outcome::Fails});
    for (const char* key : {"fe", "ife", "a", "r", "ir", "rvn", "rvd", "eapp", "iapp"}) {
        cases.push_back({key, {{key, "C:\\x"}}, Outcome::Fails});
        cases.push_back({key, {{key, {1}}}, Outcome::Fails});
    }
    cases.push_back({"cmdu", {{"cmdu", "x"}}, Outcome::Fails});
    cases.push_back({"cmdu.utr",
                     {{"cmdu", {{{"utr", 1}, {"utk", "k"}, {"utvn", "n"}, {"utvt", "t"}, {"umd", 1}}}}},
                     Outcome::Fails});
    for (const char* key : {"pnau", "pnak", "pnr", "pnop", "la", "sp"})
        cases.push_back({key, with(pn, key, 1), Outcome::Fails});
    cases.push_back({"pnsi", with(pn, "pnsi", "true"), Outcome::Fails});
    cases.push_back({"pnrp.default", with(pn, "pnrp", {{"default", 1}}), Outcome::Fails});
    cases.push_back({"cfs.mb", with(pn, "cfs", {{"mb", "1"}}), Outcome::Fails});
    cases.push_back({"cfs.ab", with(pn, "cfs", {{"ab", "x"}}), Outcome::Fails});
    cases.push_back({"cfs.saad", with(pn, "cfs", {{"saad", 1}}), Outcome::Fails});
    // Not read: "pnrp" that is no object, "cfs" of an offer that is no "pn" offer, keys the format does not name.
    cases.push_back({"pnrp as a list", with(pn, "pnrp", {1}), Outcome::Admitted});
    cases.push_back({"cfs without pn", {{"cfs", {{"mb", "1"}}}}, Outcome::Admitted});
    cases.push_back({"unknown key", {{"zz", {{"a", {1, 2}}}}}, Outcome::Admitted});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        const Result result = Run(OneOffer(c.ps), Flavour::Isv);
        EXPECT_STREQ(NameOf(result.outcome), NameOf(c.outcome)) << result.error;
        if (c.outcome == Outcome::Fails) {
            EXPECT_NE(result.error.find("type"), std::string::npos) << result.error;
        }
    }

    // The answer's own keys, and the offer's two objects.
    struct Top {
        const char* name;
        std::string text;
        Flavour flavour;
        Outcome outcome;
    };
    const Top tops[] = {
        {"l", R"({"l": 7})", Flavour::Isv, Outcome::Fails},
        {"f", R"({"f": [], "o": []})", Flavour::Isv, Outcome::Fails},
        {"f.m", R"({"f": {"m": "3"}, "o": []})", Flavour::Isv, Outcome::Fails},
        {"f.a", R"({"f": {"a": 5}})", Flavour::Isv, Outcome::Fails},
        {"o as an object", R"({"f": {"m": 3}, "o": {"ad": 1}})", Flavour::Isv, Outcome::Fails},
        {"o as null", R"({"f": {"m": 3}, "o": null})", Flavour::Isv, Outcome::Fails},
        {"an offer that is a number", R"({"f": {"m": 3}, "o": [5]})", Flavour::Isv, Outcome::Fails},
        {"ad", R"({"f": {"m": 3}, "o": [{"ad": [], "ps": {}}]})", Flavour::Isv, Outcome::Fails},
        {"ad.o", R"({"f": {"m": 3}, "o": [{"ad": {"f": "t", "o": null}, "ps": {}}]})", Flavour::Isv, Outcome::Fails},
        {"ps", R"({"f": {"m": 3}, "o": [{"ad": {"f": "t", "o": "n"}, "ps": "x"}]})", Flavour::Isv, Outcome::Fails},
        {"a root that is a list, ISV", "[1, 2]", Flavour::Isv, Outcome::NoOffers},
        {"a root that is a list, DLM", "[1, 2]", Flavour::Dlm, Outcome::Fails},
        {"a root that is a text, DLM", R"("i")", Flavour::Dlm, Outcome::Fails},
        {"i", R"({"i": []})", Flavour::Dlm, Outcome::Fails},
    };
    for (const Top& c : tops) {
        SCOPED_TRACE(c.name);
        const Result result = Run(c.text, c.flavour);
        EXPECT_STREQ(NameOf(result.outcome), NameOf(c.outcome)) << result.error;
    }
    for (const char* key : {"ct", "cu", "cl", "cf", "cp", "ctu", "ch", "cfl", "cb"}) {
        SCOPED_TRACE(key);
        EXPECT_STREQ(NameOf(Run(Product({{key, 1}}), Flavour::Dlm).outcome), NameOf(Outcome::Fails));
    }
}

TEST_F(BadAnswerTest, BrokenSyntaxEndsTheRun) {
    const std::string valid = ValidAnswer().dump();
    std::string overflow = OneOffer({{"disk", 1}});
    overflow.replace(overflow.find("\"disk\":1"), 8, "\"disk\":1e400");
    const std::pair<const char*, std::string> cases[] = {
        {"cut in half", valid.substr(0, valid.size() / 2)},
        {"a comment", "/* note */" + valid},
        {"a trailing comma", R"({"l": "US",})"},
        {"two documents", valid + valid},
        {"bytes that are not UTF-8", "{\"l\": \"\xff\xfe\"}"},
        {"half a surrogate pair", R"({"l": "\ud800"})"},
        {"a control character in a text", "{\"l\": \"a\x01\"}"},
        {"NaN, which JSON has not", R"({"f": {"m": NaN}})"},
        {"a number beyond a double", overflow},
        {"nothing", ""},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        EXPECT_STREQ(NameOf(Run(text, Flavour::Isv).outcome), NameOf(Outcome::Fails));
    }
    EXPECT_STREQ(NameOf(Run(valid, Flavour::Isv).outcome), NameOf(Outcome::Admitted)) << "the valid answer itself";
}

// Numbers at and beyond the ends of their ranges: requirements ask for the most and are refused with the usual
// reason, limits and codes stop at the end of their range.
TEST_F(BadAnswerTest, ExtremeNumbersHaveTheOutcomeOfTheirMeaning) {
    struct Case {
        const char* name;
        std::string text;
        Outcome outcome;
        const char* reason;  // the refusal the analytics endpoint receives
    };
    const Case cases[] = {
        {"disk 1e20", OneOffer({{"disk", 1e20}}), Outcome::Refused, "NOT ENOUGH DISK SPACE"},
        {"ram 2e19", OneOffer({{"ram", 2e19}}), Outcome::Refused, "NOT ENOUGH RAM"},
        {"cpu 1e300", OneOffer({{"cpu", 1e300}}), Outcome::Refused, "NOT ENOUGH CPU"},
        {"disk 2^64 - 1", OneOffer({{"disk", UINT64_MAX}}), Outcome::Refused, "NOT ENOUGH DISK SPACE"},
        {"ov 1e300", OneOffer({{"ov", 1e300}}), Outcome::Refused, "UNSUPPORTED OS VERSION"},
        {"pv beyond every version", OneOffer({{"pv", "99999999999999999999999.1"}}), Outcome::Refused,
         "UNSUPPORTED PLATFORM VERSION"},
        {"disk -1e300", OneOffer({{"disk", -1e300}}), Outcome::Admitted, ""},
        {"v -1e300", OneOffer({{"v", -1e300}}), Outcome::Admitted, ""},
        {"m 1e300", OneOffer({}, {{"f", {{"m", 1e300}}}}), Outcome::Admitted, ""},
        {"m -1e300", OneOffer({}, {{"f", {{"m", -1e300}}}}), Outcome::NoOffers, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        const Result result = Run(c.text, Flavour::Isv);
        if (c.outcome == Outcome::Refused) {
            // Refused: nothing is admitted and the endpoint hears the reason.
            EXPECT_STREQ(NameOf(result.outcome), NameOf(Outcome::NoOffers)) << result.error;
            EXPECT_EQ(ReceivedReasons(1), (std::vector<std::pair<std::string, std::string>>{{"one", c.reason}}));
        } else {
            EXPECT_STREQ(NameOf(result.outcome), NameOf(c.outcome)) << result.error;
        }
    }
}

TEST_F(BadAnswerTest, HugeAndHostileTextsAreBoundedAndCleaned) {
    using server_text::kMaxNameChars;
    using server_text::kMaxUrlChars;
    const std::string megabyte(1 << 20, 'N');
    std::string tokens;
    while (tokens.size() < (1 << 20))
        tokens += "{pxl}{of}";
    const std::string atBound = "https://localhost/" + std::string(kMaxUrlChars - 18, 'u');
    const auto refusedForItsAddress = [](const Result&) {
        EXPECT_EQ(ReceivedReasons(1),
                  (std::vector<std::pair<std::string, std::string>>{{"one", "DOWNLOAD URL TOO LONG"}}));
    };
    struct Case {
        const char* name;
        std::string text;
        Flavour flavour;
        Outcome outcome;
        std::function<void(const Result&)> check;
    };
    const Case cases[] = {
        {"a name of a megabyte", OneOffer({{"dn", megabyte}}), Flavour::Isv, Outcome::Admitted,
         [&](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_name, megabyte.substr(0, kMaxNameChars)); }},
        {"an offer name of a megabyte",
         json{{"f", {{"m", 3}}}, {"o", {{{"ad", {{"f", megabyte}, {"o", megabyte}}}, {"ps", Offer("x").at("ps")}}}}}
             .dump(),
         Flavour::Isv, Outcome::Admitted,
         [&](const Result& r) {
             EXPECT_EQ(r.admitted.at(0)->m_offerName.size(), kMaxNameChars);
             EXPECT_EQ(r.admitted.at(0)->m_offerTag.size(), kMaxNameChars);
         }},
        // An address is used whole or not at all: the offer whose address the bound would cut is refused.
        {"a download address of a megabyte", OneOffer({{"u", "https://localhost/" + megabyte}}), Flavour::Isv,
         Outcome::NoOffers, refusedForItsAddress},
        {"a download address one character beyond its bound", OneOffer({{"u", atBound + "x"}}), Flavour::Isv,
         Outcome::NoOffers, refusedForItsAddress},
        {"a download address at its bound", OneOffer({{"u", atBound}}), Flavour::Isv, Outcome::Admitted,
         [&](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_downloadUrl, atBound); }},
        {"a download address its placeholders take beyond the bound",
         OneOffer({{"u", "https://localhost/?" + std::string(kMaxUrlChars - 50, 'q') + "{pxl}{pxl}{pxl}"}}),
         Flavour::Isv, Outcome::NoOffers, refusedForItsAddress},
        {"an image name and links of a megabyte",
         OneOffer({{"i", megabyte}, {"cp", "https://localhost/" + megabyte}, {"ctu", "https://localhost/" + megabyte}}),
         Flavour::Isv, Outcome::Admitted,
         [&](const Result& r) {
             EXPECT_EQ(r.admitted.at(0)->m_imageName, "");
             EXPECT_EQ(r.admitted.at(0)->m_privacyUrl, "");
             EXPECT_EQ(r.admitted.at(0)->m_termsUrl, "");
         }},
        {"a megabyte of placeholders", OneOffer({{"dn", tokens}, {"p", tokens}}), Flavour::Isv, Outcome::Admitted,
         [&](const Result& r) {
             EXPECT_EQ(r.admitted.at(0)->m_name.size(), kMaxNameChars);
             EXPECT_EQ(r.admitted.at(0)->m_installerArgs.size(), server_text::kMaxTextChars);
         }},
        {"a name that turns right to left", OneOffer({{"dn", "setup\u202Egnp.exe\u2066"}}), Flavour::Isv,
         Outcome::Admitted, [](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_name, "setupgnp.exe"); }},
        {"a name with NUL and escapes", OneOffer({{"dn", std::string("a\0b\"<x>", 7)}}), Flavour::Isv,
         Outcome::Admitted, [](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_name, "a b\"<x>"); }},
        {"a name with line breaks, a tab, a bell and C1 controls", OneOffer({{"dn", "a\r\nb\tc\ad\u0085e\u009bf"}}),
         Flavour::Isv, Outcome::Admitted, [](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_name, "a  b c d e f"); }},
        // The signer reaches the failure text and its event: bounded and cleaned, and marked so that what was
        // changed still matches no certificate.
        {"a signer of 220,000 characters with CR, LF, TAB, BEL and a right-to-left override",
         OneOffer({{"signer", "Ven\r\ndor\t\a\u202E" + std::string(220000, 's')}}), Flavour::Isv, Outcome::Admitted,
         [&](const Result& r) {
             const std::string& signer = r.admitted.at(0)->m_signer;
             EXPECT_EQ(signer, "Ven  dor  " + std::string(kMaxNameChars - 10, 's') + "\xEF\xBF\xBD");
         }},
        {"a signer with a line break only", OneOffer({{"signer", "Vendor\n"}}), Flavour::Isv, Outcome::Admitted,
         [](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_signer, "Vendor \xEF\xBF\xBD"); }},
        {"a signer as it should be", OneOffer({{"signer", "Quarvel Software Ltd."}}), Flavour::Isv, Outcome::Admitted,
         [](const Result& r) { EXPECT_EQ(r.admitted.at(0)->m_signer, "Quarvel Software Ltd."); }},
        {"a product title of 64 K characters", Product({{"ct", std::string(65536, 'T')}}), Flavour::Dlm,
         Outcome::NoOffers,
         [this](const Result&) {
             EXPECT_EQ(m_configuration->m_productTitle, std::wstring(kMaxNameChars, L'T'));
             EXPECT_EQ(m_configuration->m_mainFileName, std::wstring(kMaxNameChars, L'T') + L".exe");
         }},
        {"a product title with a right-to-left override", Product({{"ct", "Prod\u202Eexe.gnp"}}), Flavour::Dlm,
         Outcome::NoOffers, [this](const Result&) { EXPECT_EQ(m_configuration->m_productTitle, L"Prodexe.gnp"); }},
        {"a product title of formatting only", Product({{"ct", "\u202E\u200B\uFEFF"}}), Flavour::Dlm,
         Outcome::ProductUnusable, nullptr},
        {"product texts of a megabyte", Product({{"cl", megabyte}, {"ch", megabyte}, {"cb", megabyte}}), Flavour::Dlm,
         Outcome::NoOffers,
         [this](const Result&) {
             EXPECT_EQ(m_configuration->m_mainCl, L"") << "no logo rather than another address";
             EXPECT_EQ(m_configuration->m_mainCh.size(), kMaxNameChars);
             EXPECT_EQ(m_configuration->m_mainCb.size(), kMaxNameChars);
         }},
        {"a product address of a megabyte", Product({{"cu", "https://localhost/" + megabyte}}), Flavour::Dlm,
         Outcome::ProductUnusable, nullptr},
        {"a product address one character beyond its bound", Product({{"cu", atBound + "x"}}), Flavour::Dlm,
         Outcome::ProductUnusable, nullptr},
        {"a product address at its bound", Product({{"cu", atBound}}), Flavour::Dlm, Outcome::NoOffers,
         [&](const Result&) {
             EXPECT_EQ(m_configuration->m_mainDownloadUrl, std::wstring(atBound.begin(), atBound.end()));
         }},
        {"a product file name with a line break", Product({{"cf", "p\r\n.exe"}}), Flavour::Dlm, Outcome::NoOffers,
         [this](const Result&) { EXPECT_EQ(m_configuration->m_mainFileName, L"p  .exe"); }},
        {"a country of a megabyte", json{{"l", megabyte}, {"f", {{"a", megabyte}}}}.dump(), Flavour::Isv,
         Outcome::NoOffers,
         [this](const Result&) {
             EXPECT_EQ(m_configuration->m_serverL.size(), kMaxNameChars);
             EXPECT_EQ(m_configuration->m_serverFa.size(), kMaxNameChars);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        const Result result = Run(c.text, c.flavour);
        ASSERT_STREQ(NameOf(result.outcome), NameOf(c.outcome)) << result.error;
        if (c.check)
            c.check(result);
    }
}

TEST_F(BadAnswerTest, DeepNestingEndsTheRunOrIsNotRead) {
    constexpr size_t kDepth = 100000;
    const std::string offerHead = R"({"ad": {"f": "t", "o": "deep"}, "ps": {"i": "i", "dn": "d", "u": "u", )";
    std::string objects;
    for (size_t i = 0; i < kDepth; ++i)
        objects += R"({"a":)";
    objects += "1" + std::string(kDepth, '}');
    const std::pair<const char*, std::pair<std::string, Outcome>> cases[] = {
        {"offers nested", {R"({"f": {"m": 3}, "o": )" + Nested(kDepth) + "}", Outcome::Fails}},
        {"a limit nested", {R"({"f": {"m": )" + Nested(kDepth) + R"(}, "o": []})", Outcome::Fails}},
        {"a file list nested",
         {R"({"f": {"m": 3}, "o": [)" + offerHead + R"("fe": )" + Nested(kDepth) + "}}]}", Outcome::Fails}},
        {"a key that is not read",
         {R"({"f": {"m": 3}, "o": [)" + offerHead + R"("zz": )" + Nested(kDepth) + "}}]}", Outcome::Admitted}},
        {"pnrp as a list",
         {R"({"f": {"m": 3}, "o": [)" + offerHead + R"("pn": true, "pnrp": )" + Nested(kDepth) + "}}]}",
          Outcome::Admitted}},
        {"objects nested under a key that is not read",
         {R"({"f": {"m": 3}, "o": [)" + offerHead + R"("zz": )" + objects + "}}]}", Outcome::Admitted}},
        {"nesting that never closes", {std::string(kDepth, '['), Outcome::Fails}},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        const Result result = Run(expected.first, Flavour::Isv);
        EXPECT_STREQ(NameOf(result.outcome), NameOf(expected.second)) << result.error;
    }
    // The product of the DLM flavour nested below its title.
    EXPECT_STREQ(NameOf(Run(R"({"i": {"ct": )" + Nested(kDepth) + "}}", Flavour::Dlm).outcome), NameOf(Outcome::Fails));
}

// Mutations of a valid answer, from a seed printed with every failure (WAYFARER_FUZZ_SEED replays one): changed,
// removed and repeated bytes, hostile values put in place of any value, for a few seconds. Each one must end in
// one of the outcomes.
TEST_F(BadAnswerTest, MutatedAnswersEndInAnOutcome) {
    constexpr auto kFuzzTime = std::chrono::seconds(3);
    constexpr auto kHang = std::chrono::seconds(30);
    constexpr size_t kMaxMutants = 20000;
    constexpr size_t kMaxTextBytes = 1 << 20;
    const char* replay = std::getenv("WAYFARER_FUZZ_SEED");
    const std::uint32_t seed = replay != nullptr ? static_cast<std::uint32_t>(std::strtoul(replay, nullptr, 10))
                                                 : static_cast<std::uint32_t>(::GetTickCount());
    std::printf("mutation seed %u\n", seed);
    std::mt19937 random(seed);
    auto below = [&random](size_t bound) { return bound == 0 ? 0 : static_cast<size_t>(random() % bound); };

    // Refusals are reported to an endpoint that does not exist, so that thousands of them cost nothing.
    const std::wstring analyticsUrl = m_configuration->m_analyticsUrl;
    m_configuration->m_analyticsUrl.clear();

    const json valid = ValidAnswer();
    json dlm = valid;
    dlm["i"] = {{"ct", "Prod"}, {"cu", "https://localhost/p.exe"}, {"cf", "p.exe"}, {"cb", "cb"}};
    const std::vector<json> hostile = {nullptr,
                                       true,
                                       0,
                                       -1,
                                       1e20,
                                       -1e300,
                                       1e300,
                                       UINT64_MAX,
                                       INT64_MIN,
                                       2147483648LL,
                                       0.5,
                                       "",
                                       "\u202E",
                                       std::string(70000, 'x'),
                                       "{pxl}{pxl}{of}",
                                       json::array(),
                                       json::object(),
                                       json::array({1, "a", nullptr}),
                                       json{{"default", 5}}};
    const char* tokens[] = {"{",     "}",  "[",    "]",       ",",       ":",    "\"",   "\\",
                            "1e400", "-0", "null", "\\u0000", "\\ud800", "\xff", "1e20", "\"\\u202e\""};

    // Every value of the answer, by its JSON pointer, so that a hostile value can take its place.
    std::function<void(const json&, const std::string&, std::vector<std::string>&)> pointers =
        [&](const json& value, const std::string& at, std::vector<std::string>& out) {
            out.push_back(at);
            if (value.is_object())
                for (auto item = value.begin(); item != value.end(); ++item)
                    pointers(item.value(), at + "/" + item.key(), out);
            else if (value.is_array())
                for (size_t i = 0; i < value.size(); ++i)
                    pointers(value[i], at + "/" + std::to_string(i), out);
        };

    // A mutant that never comes back is named by a watchdog, which then ends the process: the test fails with the
    // answer that hung instead of waiting for the runner's time-out.
    struct Watch {
        std::mutex mutex;
        std::string text;
        size_t mutant = 0;
        std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
        bool over = false;
    };
    auto watch = std::make_shared<Watch>();
    std::thread watchdog([watch, seed, kHang] {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::lock_guard<std::mutex> lock(watch->mutex);
            if (watch->over)
                return;
            if (std::chrono::steady_clock::now() - watch->began > kHang) {
                std::fprintf(stderr, "seed %u, mutant %u hangs:\n%s\n", seed, static_cast<unsigned>(watch->mutant),
                             watch->text.substr(0, 4096).c_str());
                std::fflush(stderr);
                ::TerminateProcess(::GetCurrentProcess(), 3);
            }
        }
    });

    std::map<std::string, int> counts;
    const auto start = std::chrono::steady_clock::now();
    size_t mutant = 0;
    for (; mutant < kMaxMutants && std::chrono::steady_clock::now() - start < kFuzzTime; ++mutant) {
        const Flavour flavour = below(4) == 0 ? Flavour::Dlm : Flavour::Isv;
        json tree = flavour == Flavour::Dlm ? dlm : valid;
        for (size_t n = below(3); n > 0; --n) {
            std::vector<std::string> all;
            pointers(tree, "", all);
            const std::string& at = all[below(all.size())];
            if (!at.empty())
                tree[json::json_pointer(at)] = hostile[below(hostile.size())];
        }
        std::string text = tree.dump();
        for (size_t n = below(4); n > 0 && !text.empty(); --n) {
            const size_t at = below(text.size());
            switch (below(4)) {
                case 0:
                    text[at] = static_cast<char>(random());
                    break;
                case 1:
                    text.erase(at, 1 + below(8));
                    break;
                case 2:
                    if (text.size() < kMaxTextBytes)
                        text.insert(at, text.substr(at, 1 + below(64)));
                    break;
                default:
                    text.insert(at, tokens[below(std::size(tokens))]);
                    break;
            }
        }

        {
            std::lock_guard<std::mutex> lock(watch->mutex);
            watch->text = text;
            watch->mutant = mutant;
            watch->began = std::chrono::steady_clock::now();
        }
        Result result;
        try {
            result = Run(text, flavour);
        } catch (...) {
            ADD_FAILURE() << "seed " << seed << ", mutant " << mutant << ": an exception of no known kind\n" << text;
            break;
        }
        ++counts[NameOf(result.outcome)];
    }
    {
        std::lock_guard<std::mutex> lock(watch->mutex);
        watch->over = true;
    }
    watchdog.join();
    m_configuration->m_analyticsUrl = analyticsUrl;

    std::printf("%u mutants:", static_cast<unsigned>(mutant));
    for (const auto& [outcome, count] : counts)
        std::printf(" %s %d;", outcome.c_str(), count);
    std::printf("\n");
    // The mutations reach both ends: answers that still work and answers that no longer parse.
    EXPECT_GT(counts[NameOf(Outcome::Admitted)], 0);
    EXPECT_GT(counts[NameOf(Outcome::Fails)], 0);
}

// The admission rules of a loading run: what is refused, with which reason the analytics endpoint receives,
// when the run stops, and what the machine checks measure.
#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "net/Codecs.h"
#include "offers/DisplayFlow.h"
#include "offers/LoadingPipeline.h"
#include "offers/OfferEvaluator.h"
#include "offers/Package.h"
#include "offers/OfferTesting.h"
#include "tests/offers/PresenceTesting.h"

#include <gtest/gtest.h>
#include <knownfolders.h>

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <tuple>

using nlohmann::json;
using testing_offers::FakeFacts;
using testing_offers::FlowOffer;
using testing_offers::Offer;
using testing_offers::ReceivedReasons;
using Reasons = std::vector<std::pair<std::string, std::string>>;
using Names = std::vector<std::string>;

namespace {

class OfferRulesTest : public testing_offers::LoadingRunTest {
protected:
    // Runs the offers through a loading run with the limit `max`; the names admitted, in order.
    Names Admit(const json& offers, int max, std::shared_ptr<FakeFacts> facts = std::make_shared<FakeFacts>()) {
        return AdmittedNames({{"f", {{"m", max}}}, {"o", offers}}, std::move(facts));
    }
};

TEST_F(OfferRulesTest, EachRuleRefusesWithItsReason) {
    auto facts = [](auto change) {
        auto made = std::make_shared<FakeFacts>();
        change(*made);
        return made;
    };
    auto asIs = [](FakeFacts&) {};
    struct Case {
        const char* name;
        json offers;
        std::shared_ptr<FakeFacts> facts;
        Names admitted;
        Reasons reasons;
    };
    const std::string a62 = Base62Encode("A");
    const std::string b62 = Base62Encode("B");
    // A file that exists, of a program that runs; a key that every machine has.
    const std::string self = presence_testing::Utf8(presence_testing::OwnExecutablePath());
    const std::string stem = self.substr(self.rfind('\\') + 1, self.rfind('.') - self.rfind('\\') - 1);
    const json presentKey = {"Microsoft"};
    // The 64-bit rule passes in the 64-bit prefix, so only the 32-bit one tells what comes after it.
    const char* kind = std::getenv("WAYFARER_PREFIX_KIND");
    const bool win64 = kind != nullptr && std::string(kind) == "win64";
    const Case cases[] = {
        {"two offers without vertical",
         json{Offer("A"), Offer("B")},
         facts(asIs),
         {"A"},
         {{"B", "SAME VERTICAL OFFER ALREADY PRESENT"}}},
        {"two offers marked without vertical",
         json{Offer("A", {{"v", -1}}), Offer("B", {{"v", -1}})},
         facts(asIs),
         {"A"},
         {{"B", "MULTIPLE OFFERS W/O VERTICAL"}}},
        {"exclusive after an admitted one",
         json{Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}, {"exc", true}})},
         facts(asIs),
         {"A"},
         {{"B", "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"}}},
        {"more offers before it than it allows",
         json{Offer("A", {{"v", 1}}), FlowOffer("B", {{"mb", 0}}, {{"v", 2}})},
         facts(asIs),
         {"A"},
         {{"B", "SHOWED 1 PRODUCTS BUT ONLY 0 ALLOWED BEFORE"}}},
        {"earlier offers it does not allow",
         json{Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}}), FlowOffer("C", {{"ab", {"zz"}}}, {{"v", 3}}),
              FlowOffer("D", {{"ab", {a62, "zz"}}}, {{"v", 4}})},
         facts(asIs),
         {"A", "B"},
         {{"C", "NOT ALLOWED AFTER A,B"}, {"D", "NOT ALLOWED AFTER B"}}},
        {"earlier offers that allow it",
         json{Offer("A", {{"v", 1}}), FlowOffer("B", {{"ab", {a62}}}, {{"v", 2}})},
         facts(asIs),
         {"A", "B"},
         {}},
        {"too many after an earlier offer",
         json{FlowOffer("A", {{"ma", 1}}, {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}})},
         facts(asIs),
         {"A", "B"},
         {{"C", "ONLY 1 PRODUCTS ALLOWED TO BE SHOWN AFTER A"}}},
        {"an earlier offer that does not allow it",
         json{FlowOffer("A", {{"aa", {b62}}}, {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}})},
         facts(asIs),
         {"A", "B"},
         {{"C", "NOT ALLOWED AFTER A"}}},
        {"disk: less than needed, then exactly enough",
         json{Offer("A", {{"v", 1}, {"disk", 1001}}), Offer("B", {{"v", 2}, {"disk", 1000}})},
         facts([](FakeFacts& f) { f.diskMiB = 1000; }),
         {"B"},
         {{"A", "NOT ENOUGH DISK SPACE"}}},
        {"disk cannot be measured",
         json{Offer("A", {{"disk", 1}})},
         facts([](FakeFacts& f) { f.diskMiB.reset(); }),
         {},
         {{"A", "DISK SPACE CHECK FAILED 3"}}},
        {"ram: less than needed, then exactly enough",
         json{Offer("A", {{"v", 1}, {"ram", 4097}}), Offer("B", {{"v", 2}, {"ram", 4096}})},
         facts([](FakeFacts& f) { f.ramMiB = 4096; }),
         {"B"},
         {{"A", "NOT ENOUGH RAM"}}},
        {"ram cannot be measured",
         json{Offer("A", {{"ram", 1}})},
         facts([](FakeFacts& f) { f.ramMiB.reset(); }),
         {},
         {{"A", "RAM CHECK FAILED 8"}}},
        {"ram of a preset",
         json{Offer("A", {{"x", 3}, {"ram", 10}})},
         facts([](FakeFacts& f) { f.ramMiB = 1535; }),
         {},
         {{"A", "NOT ENOUGH RAM"}}},
        {"cpu: slower than needed, then exactly fast enough",
         json{Offer("A", {{"v", 1}, {"cpu", 2001}}), Offer("B", {{"v", 2}, {"cpu", 2000}})},
         facts([](FakeFacts& f) { f.cpuMHz = 2000; }),
         {"B"},
         {{"A", "NOT ENOUGH CPU"}}},
        {"cpu beyond 32 bits",
         json{Offer("A", {{"cpu", 4294967296ull}})},
         facts([](FakeFacts& f) { f.cpuMHz = 0xFFFFFFFF; }),
         {},
         {{"A", "NOT ENOUGH CPU"}}},
        {"cpu key missing",
         json{Offer("A", {{"cpu", 1}})},
         facts([](FakeFacts& f) { f.cpuRead = MachineFacts::CpuRead::OpenFailed; }),
         {},
         {{"A", "CPU CHECK FAILED: Couldn't open registry"}}},
        {"cpu value missing",
         json{Offer("A", {{"cpu", 1}})},
         facts([](FakeFacts& f) { f.cpuRead = MachineFacts::CpuRead::ReadFailed; }),
         {},
         {{"A", "CPU CHECK FAILED: Couldn't read value"}}},
        {"os codes",
         json{Offer("A", {{"v", 1}, {"ov", 64}}), Offer("B", {{"v", 2}, {"ov", 100}}),
              Offer("C", {{"v", 3}, {"ov", 63}})},
         facts([](FakeFacts& f) { f.windows10 = false; }),
         {"C"},
         {{"A", "UNSUPPORTED OS VERSION"}, {"B", "UNSUPPORTED OS VERSION"}}},
        {"installer versions",
         json{Offer("A", {{"v", 1}, {"pv", "2.0.0.1"}}), Offer("B", {{"v", 2}, {"pv", "2.0"}}),
              Offer("C", {{"v", 3}, {"pv", "1.99"}})},
         facts(asIs),
         {"B", "C"},
         {{"A", "UNSUPPORTED PLATFORM VERSION"}}},
        // The chain's order decides which reason an offer failing several rules gets.
        {"vertical before machine",
         json{Offer("A"), Offer("B", {{"disk", 5000}})},
         facts([](FakeFacts& f) { f.diskMiB = 1; }),
         {"A"},
         {{"B", "SAME VERTICAL OFFER ALREADY PRESENT"}}},
        {"disk before ram before cpu",
         json{Offer("A", {{"disk", 5}, {"ram", 5}, {"cpu", 5}})},
         facts([](FakeFacts& f) { f.diskMiB = 1, f.ramMiB = 1, f.cpuMHz = 1; }),
         {},
         {{"A", "NOT ENOUGH DISK SPACE"}}},
        {"position before vertical",
         json{Offer("A", {{"v", 1}}), FlowOffer("B", {{"mb", 0}}, {{"v", 1}})},
         facts(asIs),
         {"A"},
         {{"B", "SHOWED 1 PRODUCTS BUT ONLY 0 ALLOWED BEFORE"}}},
        {"vertical before exclusive",
         json{Offer("A", {{"v", 1}}), Offer("B", {{"v", 1}, {"exc", true}})},
         facts(asIs),
         {"A"},
         {{"B", "SAME VERTICAL OFFER ALREADY PRESENT"}}},
        {"registry before machine",
         json{Offer("A", {{"r", presentKey}, {"disk", 5000}})},
         facts([](FakeFacts& f) { f.diskMiB = 1; }),
         {},
         {{"A", "REGISTRY KEY EXISTS"}}},
        {"machine before 64-bit",
         json{Offer("A", {{"pv", "9.0"}, {"win64", true}})},
         facts(asIs),
         {},
         {{"A", "UNSUPPORTED PLATFORM VERSION"}}},
        {"64-bit before files",
         json{Offer("A", {{"win64", true}, {"fe", {self}}})},
         facts(asIs),
         {},
         {{"A", win64 ? "FILE EXISTS" : "64 BIT OS REQUIRED"}}},
        {"files before running programs",
         json{Offer("A", {{"fe", {self}}, {"a", {stem}}})},
         facts(asIs),
         {},
         {{"A", "FILE EXISTS"}}},
        // Once a second admitted "sied" offer has given its place back, what earlier offers allow after them
        // ("ma", "aa") no longer counts; what this offer allows before it ("mb", "ab") still does.
        {"places after earlier offers once a place was given back",
         json{FlowOffer("A", {{"ma", 1}, {"aa", {b62}}}, {{"v", 1}}), FlowOffer("B", {{"sied", true}}, {{"v", 2}}),
              Offer("C", {{"v", 3}}), FlowOffer("D", {{"mb", 2}}, {{"v", 4}})},
         facts(asIs),
         {"A", "B", "C"},
         {{"D", "SHOWED 3 PRODUCTS BUT ONLY 2 ALLOWED BEFORE"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        m_configuration->m_offerCounter = 0;
        EXPECT_EQ(Admit(c.offers, 10, c.facts), c.admitted);
        EXPECT_EQ(ReceivedReasons(c.reasons.size()), c.reasons);
    }
}

TEST_F(OfferRulesTest, TheLimitStopsTheRunWithoutReportAndSiedGivesAPlaceBack) {
    // "f"."m" = 2: the third acceptable offer stops the run unreported; the malformed fourth is never read.
    EXPECT_EQ(Admit(json{Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}}), json{{"bad", 1}}}, 2),
              (Names{"A", "B"}));
    EXPECT_EQ(ReceivedReasons(0), Reasons{});
    EXPECT_EQ(m_configuration->m_offersToShow, 2);

    // A second admitted "sied" offer gives its place back; the first admitted one does not.
    m_configuration->m_offerCounter = 0;
    EXPECT_EQ(Admit(json{FlowOffer("A", {{"sied", true}}, {{"v", 1}}), Offer("B", {{"v", 2}})}, 1), Names{"A"});
    EXPECT_EQ(m_configuration->m_offerCounter, 0);
    EXPECT_EQ(Admit(json{Offer("A", {{"v", 1}}), FlowOffer("B", {{"sied", true}}, {{"v", 2}}), Offer("C", {{"v", 3}}),
                         Offer("D", {{"v", 4}})},
                    2),
              (Names{"A", "B", "C"}));
    EXPECT_EQ(m_configuration->m_offerCounter, 1);
}

TEST_F(OfferRulesTest, NoRefusalIsReportedOnceTheLimitIsReached) {
    // A and the "sied" B fill the limit of 2 but leave one place: C is refused (same vertical as A) without a
    // report, D takes the place.
    EXPECT_EQ(Admit(json{Offer("A", {{"v", 1}}), FlowOffer("B", {{"sied", true}}, {{"v", 2}}), Offer("C", {{"v", 1}}),
                         Offer("D", {{"v", 4}})},
                    2),
              (Names{"A", "B", "D"}));
    EXPECT_EQ(ReceivedReasons(0), Reasons{});

    // Below the limit the same refusal is reported.
    m_configuration->m_offerCounter = 0;
    EXPECT_EQ(Admit(json{Offer("A", {{"v", 1}}), Offer("C", {{"v", 1}})}, 2), Names{"A"});
    EXPECT_EQ(ReceivedReasons(1), (Reasons{{"C", "SAME VERTICAL OFFER ALREADY PRESENT"}}));
}

TEST_F(OfferRulesTest, EachFactIsMeasuredOnceARunUnlessTheMeasurementFailed) {
    auto facts = std::make_shared<FakeFacts>();
    Admit(json{Offer("A", {{"v", 1}, {"ram", 10}, {"disk", 10}}), Offer("B", {{"v", 2}, {"ram", 20}, {"cpu", 5}}),
               Offer("C", {{"v", 3}, {"cpu", 5}, {"disk", 20}}), Offer("D", {{"v", 4}})},
          10, facts);
    EXPECT_EQ(facts->ramCalls, 1);
    EXPECT_EQ(facts->diskCalls, 1);
    EXPECT_EQ(facts->cpuCalls, 1);
    // The whole Desktop path is measured: a redirected or network Desktop lies on another volume than its
    // first three characters name.
    EXPECT_EQ(facts->diskFolder, GetKnownFolderPath(FOLDERID_Desktop));
    EXPECT_GT(facts->diskFolder.size(), 3u);

    auto failing = std::make_shared<FakeFacts>();
    failing->ramMiB.reset();
    Admit(json{Offer("A", {{"v", 1}, {"ram", 10}}), Offer("B", {{"v", 2}, {"ram", 10}}), Offer("C", {{"v", 3}})}, 10,
          failing);
    EXPECT_EQ(failing->ramCalls, 2);
    EXPECT_EQ(failing->diskCalls, 0);
    EXPECT_EQ(ReceivedReasons(2), (Reasons{{"A", "RAM CHECK FAILED 8"}, {"B", "RAM CHECK FAILED 8"}}));
}

TEST(MachineFactsTest, TheRealMachineGivesSensibleValues) {
    MachineFacts machine;
    std::uint64_t disk = 0, ram = 0;
    DWORD error = 0, cpu = 0;
    ASSERT_TRUE(machine.GetFreeDiskMiB(GetKnownFolderPath(FOLDERID_Desktop), disk, error)) << error;
    EXPECT_GT(disk, 0u);
    ASSERT_TRUE(machine.GetTotalRamMiB(ram, error)) << error;
    EXPECT_GT(ram, 64u);
    EXPECT_LT(ram, 64u * 1024 * 1024);
    ASSERT_EQ(machine.GetCpuMHz(cpu), MachineFacts::CpuRead::Ok);
    EXPECT_GT(cpu, 0u);
    EXPECT_TRUE(machine.IsWindowsVersionOrGreater(6, 1, 0));
    EXPECT_FALSE(machine.IsWindowsVersionOrGreater(99, 0, 0));
    // A folder that does not exist cannot be measured, and the error says why.
    EXPECT_FALSE(machine.GetFreeDiskMiB(L"Q:\\no\\such\\folder", disk, error));
    EXPECT_NE(error, 0u);
}

TEST_F(OfferRulesTest, SixtyFourBitRuleFollowsThePrefix) {
    // The real IsWow64Process: the 64-bit prefix runs this 32-bit program under WOW64, the 32-bit one does not.
    const char* kind = std::getenv("WAYFARER_PREFIX_KIND");
    ASSERT_NE(kind, nullptr);
    const bool win64 = std::string(kind) == "win64";
    EXPECT_EQ(Admit(json{Offer("A", {{"v", 1}, {"win64", true}}), Offer("B", {{"v", 2}, {"x", 10}})}, 10),
              win64 ? (Names{"A", "B"}) : Names{});
    EXPECT_EQ(ReceivedReasons(win64 ? 0 : 2),
              win64 ? Reasons{} : (Reasons{{"A", "64 BIT OS REQUIRED"}, {"B", "64 BIT OS REQUIRED"}}));
}

TEST(DottedVersionTest, ComparesPositionByPosition) {
    struct Case {
        const wchar_t* installed;
        const wchar_t* required;
        int expected;
    };
    const Case cases[] = {
        {L"2.0.0.0", L"2.0", 0},   {L"1.9.99.0", L"2.0", -1},   {L"2.1.0.0", L"2..1", 0},
        {L"2.0.5.0", L"2..1", -1}, {L"10.0.0.0", L"9.99", 1},   {L"1.0.0.0", L"1.0.0.0.1", -1},
        {L"1.0.0.0", L"1.x", 0},   {L"1.0.0.0", L"1.2abc", -1}, {L"3.0.0.0", L"99999999999999", -1},
        {L"0.5.0.0", L".1", -1},   {L"0.0.0.0", L"", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.installed, c.installed + wcslen(c.installed)) + " vs " +
                     std::string(c.required, c.required + wcslen(c.required)));
        EXPECT_EQ(CompareDottedVersions(c.installed, c.required), c.expected);
    }
}

// The walk from one product page to the next, which the frame takes as the user goes and the dry run takes to
// tell what a user would see: the choice on offer A's page, the flow's limit and the run's state decide which
// of B and C are skipped, which skips are reported, and where the walk stops.
TEST_F(OfferRulesTest, TheWalkToTheNextProductPageIsOneRule) {
    using Skips = std::vector<std::tuple<std::string, std::string, bool>>;
    struct Case {
        const char* name;
        OfferChoice choice;
        json cfsA;
        json cfsB;
        int maxOffers;
        bool declined;  // what A's page sets on a decline, or an earlier page set
        int pagesAhead;
        Skips skips;
        bool reachedPage;
        int offerIndex;  // after the walk
        int counterAfter;
    };
    const Case cases[] = {
        {"accept", OfferChoice::Accept, {}, {}, 3, false, 2, {}, true, 1, 1},
        {"decline an offer that skips the rest",
         OfferChoice::Decline,
         {{"saad", true}},
         {},
         3,
         true,
         2,
         {{"B", "SKIP ALL AFTER DECLINE OFFER DECLINED", true}, {"C", "SKIP ALL AFTER DECLINE OFFER DECLINED", true}},
         false,
         2,
         1},
        {"skips past the limit of offers are not reported",
         OfferChoice::Decline,
         {{"saad", true}},
         {},
         2,
         true,
         2,
         {{"B", "SKIP ALL AFTER DECLINE OFFER DECLINED", true}, {"C", "SKIP ALL AFTER DECLINE OFFER DECLINED", false}},
         false,
         2,
         1},
        {"skip all",
         OfferChoice::SkipAll,
         {},
         {},
         3,
         true,
         2,
         {{"B", "SKIP ALL CLICKED", true}, {"C", "SKIP ALL CLICKED", true}},
         false,
         2,
         1},
        {"accept an offer that allows one offer in the flow",
         OfferChoice::Accept,
         {{"mo", 1}},
         {},
         3,
         false,
         2,
         {{"B", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", true}, {"C", "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", true}},
         false,
         2,
         1},
        {"accept an offer that allows two", OfferChoice::Accept, {{"mo", 2}}, {}, 3, false, 2, {}, true, 1, 1},
        {"after a decline, an offer that is skipped then gives its place back",
         OfferChoice::Decline,
         {},
         {{"sied", true}},
         3,
         true,
         2,
         {{"B", "SKIPPED BECAUSE OF EARLIER DECLINE", true}},
         true,
         2,
         0},
        {"without a decline it is shown", OfferChoice::Accept, {}, {{"sied", true}}, 3, false, 2, {}, true, 1, 1},
        {"skip all wins over an earlier decline",
         OfferChoice::SkipAll,
         {},
         {{"sied", true}},
         3,
         true,
         2,
         {{"B", "SKIP ALL CLICKED", true}, {"C", "SKIP ALL CLICKED", true}},
         false,
         2,
         1},
        {"the product pages end before the offers",
         OfferChoice::SkipAll,
         {},
         {},
         3,
         true,
         1,
         {{"B", "SKIP ALL CLICKED", true}},
         false,
         1,
         1},
        {"the offers end before the product pages",
         OfferChoice::SkipAll,
         {},
         {},
         3,
         true,
         5,
         {{"B", "SKIP ALL CLICKED", true}, {"C", "SKIP ALL CLICKED", true}},
         false,
         3,
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_configuration->m_maxOffersInFlow = c.maxOffers;
        m_configuration->m_offerDeclined = c.declined;
        m_configuration->m_offerCounter = 1;
        const std::vector<std::shared_ptr<Package>> offers = {
            std::make_shared<Package>(EventBase(), FlowOffer("A", c.cfsA), false, "", 0),
            std::make_shared<Package>(EventBase(), FlowOffer("B", c.cfsB), false, "", 1),
            std::make_shared<Package>(EventBase(), FlowOffer("C", json::object()), false, "", 2)};
        Reasons sent;
        const OfferEventSender record = [&sent](Package& offer, int state, const json& extra) {
            EXPECT_EQ(state, 2);
            sent.emplace_back(offer.m_offerName, extra.at("13").get<std::string>());
        };
        DisplayFlags flags;
        int offerIndex = 0;
        ApplyOfferChoice(offers, offerIndex, c.choice, flags);
        const OfferPageWalk walk = WalkOfferPages(offers, offerIndex, c.pagesAhead, flags, *m_configuration, record);

        Skips skips;
        Reasons reported;
        for (const SkippedOffer& skip : walk.skipped) {
            const std::string& name = offers.at(static_cast<size_t>(skip.index))->m_offerName;
            skips.emplace_back(name, skip.reason, skip.reported);
            if (skip.reported)
                reported.emplace_back(name, skip.reason);
        }
        EXPECT_EQ(skips, c.skips);
        EXPECT_EQ(sent, reported) << "what is sent is what the walk says it reports";
        EXPECT_EQ(walk.reachedPage, c.reachedPage);
        EXPECT_EQ(offerIndex, c.offerIndex);
        EXPECT_EQ(m_configuration->m_offerCounter, c.counterAfter);
    }
}

}  // namespace

// The loading run's plain part: the configuration answer copied into the build configuration, the offers it
// admits, the answers that end the run, and the countdown that hands the offers over once.
#include "config/ConfigurationManager.h"
#include "offers/LoadingCountdown.h"
#include "offers/LoadingPipeline.h"
#include "offers/OfferTesting.h"
#include "offers/Package.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include "support/WindowTesting.h"
#include <thread>

using nlohmann::json;
using testing_offers::FakeFacts;
using testing_offers::FlowOffer;
using testing_offers::Offer;
using testing_offers::ReceivedReasons;
using Names = std::vector<std::string>;

namespace {

Names NamesOf(const LoadingOutcome& outcome) {
    Names names;
    for (const auto& offer : outcome.offers)
        names.push_back(offer->m_offerName);
    return names;
}

class LoadingPipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::Reset();
        m_configuration->m_offerCounter = 0;
        m_configuration->m_offersToShow = 0;
        m_configuration->m_maxOffersInFlow = -7;
    }

    LoadingOutcome Apply(const json& answer) {
        return ApplyConfigurationAnswer(answer, m_configuration, std::make_shared<FakeFacts>());
    }

    testing_offers::ConfigurationGuard m_guard;
    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
};

TEST_F(LoadingPipelineTest, AnswerWithoutOffersSetsItsValuesAndNeedsNoLimit) {
    LoadingOutcome outcome = Apply(json{{"l", "US"}, {"f", {{"a", "pub-1"}}}});
    EXPECT_TRUE(outcome.offers.empty());
    EXPECT_FALSE(outcome.configurationError);
    EXPECT_EQ(m_configuration->m_serverL, "US");
    EXPECT_EQ(m_configuration->m_serverFa, "pub-1");
    EXPECT_EQ(m_configuration->m_maxOffersInFlow, -7) << "\"f\".\"m\" is read only with offers";

    // A root that is not an object gives nothing to read in the ISV wizard.
    EXPECT_TRUE(Apply(json::array({1, 2})).offers.empty());
}

TEST_F(LoadingPipelineTest, OffersAreAdmittedInOrderAndTheFirstAdmittedExclusiveOneEndsTheRun) {
    // B is refused (an offer is present already), so C is still read.
    LoadingOutcome outcome =
        Apply(json{{"f", {{"m", 5}}},
                   {"o", {Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}, {"exc", true}}), Offer("C", {{"v", 3}})}}});
    EXPECT_EQ(NamesOf(outcome), (Names{"A", "C"}));
    EXPECT_EQ(m_configuration->m_offersToShow, 2);
    EXPECT_EQ(m_configuration->m_maxOffersInFlow, 5);
    ASSERT_EQ(outcome.offers.size(), 2u);
    EXPECT_EQ(outcome.offers[1]->m_position, 1);
    EXPECT_EQ(
        ReceivedReasons(1),
        (std::vector<std::pair<std::string, std::string>>{{"B", "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"}}));

    // An exclusive offer admitted first stands alone: what follows is not read, malformed or not.
    outcome =
        Apply(json{{"f", {{"m", 5}}}, {"o", {Offer("X", {{"exc", true}}), json{{"ad", 1}}, Offer("Y", {{"v", 2}})}}});
    EXPECT_EQ(NamesOf(outcome), Names{"X"});
}

// Once the user has left, the run starts nothing: an answer that arrives then is not applied, and no offer is
// examined (each may read the machine and send a refusal).
TEST_F(LoadingPipelineTest, NothingIsExaminedOnceTheUserHasLeft) {
    const json answer = {{"l", "XX"}, {"f", {{"m", 5}}}, {"o", {Offer("A", {{"v", 1}}), Offer("B", {{"v", 1}})}}};
    m_configuration->m_serverL = "US";
    m_configuration->m_closing = true;
    EXPECT_TRUE(Apply(answer).offers.empty());
    EXPECT_EQ(m_configuration->m_offersToShow, 0);

    backend::Script("/o", {{.body = answer.dump()}});
    EXPECT_TRUE(LoadConfiguration(m_configuration, std::make_shared<FakeFacts>()).offers.empty());
    EXPECT_EQ(m_configuration->m_serverL, "US");
    EXPECT_EQ(backend::Requests("/o").size(), 1u);

    // A refusal would have been reported by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(backend::Requests("/zbd").empty());
    m_configuration->m_closing = false;
    EXPECT_EQ(NamesOf(Apply(answer)), Names{"A"});
}

TEST_F(LoadingPipelineTest, MalformedAnswersFailTheRun) {
    struct Case {
        const char* name;
        json answer;
    };
    const Case cases[] = {
        {"an offer without its name", json{{"f", {{"m", 5}}}, {"o", {Offer("A", {{"v", 1}}), json{{"ps", {}}}}}}},
        {"an offer with a text for a number", json{{"f", {{"m", 5}}}, {"o", {Offer("A", {{"v", "1"}})}}}},
        {"offers without a limit", json{{"o", json::array()}}},
        {"a limit that is not a number", json{{"f", {{"m", "2"}}}, {"o", json::array()}}},
        {"offers that are not a list", json{{"f", {{"m", 2}}}, {"o", nullptr}}},
        {"a country that is not a text", json{{"l", 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(Apply(c.answer), json::exception);
    }
}

TEST_F(LoadingPipelineTest, OfferLimitIsClampedSoThatNoValueMisbehaves) {
    struct Case {
        json value;
        int limit;
    };
    const Case cases[] = {
        {2, 2},   {0, 0},    {-1, 0},          {-5000000000LL, 0}, {4294967298ULL, INT_MAX}, {1099511627776LL, INT_MAX},
        {2.9, 2}, {-0.5, 0}, {1e300, INT_MAX}, {INT_MAX, INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.dump());
        EXPECT_EQ(ReadOfferLimit(c.value), c.limit);
    }

    // A negative limit admits nothing and reports nothing; a huge one is no limit.
    const json three = {Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}}), Offer("C", {{"v", 3}})};
    EXPECT_TRUE(Apply(json{{"f", {{"m", -1}}}, {"o", three}}).offers.empty());
    EXPECT_EQ(NamesOf(Apply(json{{"f", {{"m", 4294967296ULL}}}, {"o", three}})), (Names{"A", "B", "C"}));
    // The largest limit plus a place given back by a "sied" offer must not wrap around.
    m_configuration->m_offerCounter = 0;
    EXPECT_EQ(
        NamesOf(Apply(json{
            {"f", {{"m", INT_MAX}}},
            {"o", {Offer("A", {{"v", 1}}), FlowOffer("B", {{"sied", true}}, {{"v", 2}}), Offer("C", {{"v", 3}})}}})),
        (Names{"A", "B", "C"}));
    EXPECT_EQ(ReceivedReasons(0), (std::vector<std::pair<std::string, std::string>>{}));
}

TEST_F(LoadingPipelineTest, DlmAnswerCarriesTheProduct) {
    m_configuration->m_wizardType = WizardTypeDlm;
    LoadingOutcome outcome = Apply(json{{"i",
                                         {{"ct", "Prod\xc3\xa9"},
                                          {"cu", "https://localhost/p.exe"},
                                          {"cl", "https://localhost/logo.png"},
                                          {"cp", "https://localhost/privacy"},
                                          {"ctu", "https://localhost/terms"},
                                          {"ch", "ch-1"},
                                          {"cfl", "cfl-1"},
                                          {"cb", "cb-1"}}},
                                        {"f", {{"m", 2}}},
                                        {"o", {Offer("A")}}});
    EXPECT_FALSE(outcome.configurationError);
    EXPECT_EQ(NamesOf(outcome), Names{"A"});
    EXPECT_EQ(m_configuration->m_productTitle, L"Prod\u00e9");
    EXPECT_EQ(m_configuration->m_mainDownloadUrl, L"https://localhost/p.exe");
    EXPECT_EQ(m_configuration->m_mainFileName, L"Prod\u00e9.exe");
    EXPECT_EQ(m_configuration->m_mainCl, L"https://localhost/logo.png");
    EXPECT_EQ(m_configuration->m_privacyUrl, L"https://localhost/privacy");
    EXPECT_EQ(m_configuration->m_termsUrl, L"https://localhost/terms");
    EXPECT_EQ(m_configuration->m_mainCh, L"ch-1");
    EXPECT_EQ(m_configuration->m_mainCfl, L"cfl-1");
    EXPECT_EQ(m_configuration->m_mainCb, "cb-1");

    Apply(json{{"i", {{"ct", "T"}, {"cu", "u"}, {"cf", "given.exe"}}}});
    EXPECT_EQ(m_configuration->m_mainFileName, L"given.exe");

    // "00xA" switches the offers off (not even the limit is read); other letters do not.
    EXPECT_TRUE(Apply(json{{"i", {{"ct", "T"}, {"cu", "u"}, {"ch", "00xA"}}}, {"o", {Offer("A")}}}).offers.empty());
    EXPECT_EQ(
        NamesOf(Apply(json{{"i", {{"ct", "T"}, {"cu", "u"}, {"ch", "00XA"}}}, {"f", {{"m", 1}}}, {"o", {Offer("A")}}})),
        Names{"A"});
}

TEST_F(LoadingPipelineTest, DlmAnswerWithoutTitleOrDownloadIsAConfigurationError) {
    m_configuration->m_wizardType = WizardTypeDlm;
    for (const json& product : {json{{"ct", "T"}, {"cu", ""}}, json{{"ct", ""}, {"cu", "u"}}}) {
        SCOPED_TRACE(product.dump());
        LoadingOutcome outcome = Apply(json{{"i", product}, {"f", {{"m", 2}}}, {"o", {Offer("A")}}});
        EXPECT_TRUE(outcome.configurationError);
        EXPECT_TRUE(outcome.offers.empty());
    }
    EXPECT_EQ(m_configuration->m_productTitle, L"Quarvel") << "nothing of the product is kept";
    // Missing keys, a missing product or a root that is not an object are malformed answers.
    for (const json& answer : {json{{"i", {{"ct", "T"}}}}, json{{"l", "US"}}, json::array()}) {
        SCOPED_TRACE(answer.dump());
        EXPECT_THROW(Apply(answer), json::exception);
    }
}

// A published hash is 64 hexadecimal digits of either case; any other value refuses its offer at loading with a
// reason of its own (or, for the DLM product, makes the configuration unusable), since no download could match it.
TEST_F(LoadingPipelineTest, PublishedHashThatCannotBeOneRefusesItsOffer) {
    const std::string digits = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    std::string upper = digits;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    LoadingOutcome outcome = Apply(json{
        {"f", {{"m", 10}}},
        {"o",
         {Offer("Lower", {{"v", 1}, {"sha256", digits}}), Offer("Upper", {{"v", 2}, {"sha256", upper}}),
          Offer("Short", {{"v", 3}, {"sha256", digits.substr(1)}}),
          Offer("NotHex", {{"v", 4}, {"sha256", digits.substr(1) + "g"}}), Offer("Empty", {{"v", 5}, {"sha256", ""}}),
          Offer("Number", {{"v", 6}, {"sha256", 5}}), Offer("None", {{"v", 7}, {"signer", "Vendor"}})}}});
    EXPECT_EQ(NamesOf(outcome), (Names{"Lower", "Upper", "None"}));
    ASSERT_EQ(outcome.offers.size(), 3u);
    EXPECT_EQ(outcome.offers[1]->m_sha256, upper);
    EXPECT_EQ(outcome.offers[2]->m_sha256, "");
    EXPECT_EQ(outcome.offers[2]->m_signer, "Vendor");
    EXPECT_EQ(ReceivedReasons(4), (std::vector<std::pair<std::string, std::string>>{{"Empty", "MALFORMED SHA256"},
                                                                                    {"NotHex", "MALFORMED SHA256"},
                                                                                    {"Number", "MALFORMED SHA256"},
                                                                                    {"Short", "MALFORMED SHA256"}}));

    m_configuration->m_wizardType = WizardTypeDlm;
    Apply(json{{"i", {{"ct", "T"}, {"cu", "u"}, {"sha256", upper}}}});
    EXPECT_EQ(m_configuration->m_mainSha256, upper);
    EXPECT_FALSE(Apply(json{{"i", {{"ct", "T"}, {"cu", "u"}}}}).configurationError);
    EXPECT_EQ(m_configuration->m_mainSha256, "");
    for (const json& bad : {json("abc"), json(7), json(digits + "0")}) {
        SCOPED_TRACE(bad.dump());
        EXPECT_TRUE(Apply(json{{"i", {{"ct", "T"}, {"cu", "u"}, {"sha256", bad}}}}).configurationError);
    }
    m_configuration->m_mainSha256.clear();
}

TEST(PackageImageDropTest, AnImageArrivingAfterTheDropIsRefusedAndTheCompletionStillRuns) {
    testing_ui::EnsureGdiplus();
    backend::Reset();
    backend::Script("/f/late.png", {{.body = testing_offers::ResourcePng(), .delaySeconds = 0.5}});
    auto configuration = ConfigurationManager::GetInstance();
    const std::wstring savedBase = configuration->m_filesBaseUrl;
    configuration->m_filesBaseUrl = backend::Url("/f/");
    auto offer = std::make_shared<Package>(EventBase(), Offer("late"), false, "", 0);
    auto calls = std::make_shared<std::atomic<int>>(0);
    offer->DownloadImage([calls] { ++*calls; });
    // As the wizard does when it goes away while the image is on its way.
    offer->DropImage();
    EXPECT_TRUE(testing_ui::WaitFor([&calls] { return calls->load() > 0; }, std::chrono::seconds(20)));
    configuration->m_filesBaseUrl = savedBase;
    EXPECT_EQ(backend::Requests("/f/late.png").size(), 1u);
    EXPECT_EQ(*calls, 1);
    EXPECT_FALSE(offer->m_image);
}

TEST(CompletionOnceTest, RunsExactlyOnceWhicheverWayItEnds) {
    int calls = 0;
    {
        auto once = std::make_shared<CompletionOnce>([&calls] { ++calls; });
        once->Run();
        once->Run();
    }
    EXPECT_EQ(calls, 1);
    // Dropped without being run, as when a download thread ends on an exception or never starts.
    {
        CompletionOnce once([&calls] { ++calls; });
    }
    EXPECT_EQ(calls, 2);
    // What the completion throws does not escape.
    CompletionOnce throwing([&calls] {
        ++calls;
        throw std::runtime_error("late");
    });
    EXPECT_NO_THROW(throwing.Run());
    EXPECT_EQ(calls, 3);
}

TEST(LoadCountdownTest, DeliversOnceAfterTheLastAndNeverOnceDisarmed) {
    auto offers = std::vector<std::shared_ptr<Package>>(2);
    std::atomic<int> deliveries{0};
    auto countdown = std::make_shared<LoadCountdown>(
        offers, [&deliveries](auto list) { deliveries += static_cast<int>(list.size()) + 1; }, 4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i)
        threads.emplace_back([countdown] { countdown->CompleteOne(); });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(deliveries, 0);
    countdown->CompleteOne();
    countdown->CompleteOne();
    EXPECT_EQ(deliveries, 3) << "once, with the two offers";

    std::atomic<int> late{0};
    auto disarmed = std::make_shared<LoadCountdown>(
        offers, [&late](auto) { ++late; }, 1);
    disarmed->Disarm();
    disarmed->CompleteOne();
    EXPECT_EQ(late, 0);
    EXPECT_FALSE(disarmed->RunIfArmed([&late] { ++late; }));
    EXPECT_EQ(late, 0);
}

}  // namespace

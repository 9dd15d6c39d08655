// Requests whose connection is reset before they could be sent are sent again, and reach the server once. A program
// of their own: Wine keeps the connections of a process's earlier requests to a server for the whole process (a
// new session of Windows' WinHTTP starts without any), and an earlier test's connection, closed by the server
// meanwhile, would carry a request past the armed reset into a failure that may have reached the server.
#include "analytics/EventBase.h"
#include "config/ConfigurationManager.h"
#include "net/ApiManager.h"
#include "offers/LoadingPipeline.h"
#include "offers/OfferTesting.h"
#include "offers/Package.h"

#include <gtest/gtest.h>

#include <algorithm>

using nlohmann::json;
using testing_offers::FakeFacts;
using testing_offers::Offer;
using testing_offers::ReceivedReasons;
using Names = std::vector<std::string>;

namespace {

class TransportRetry : public ::testing::Test {
protected:
    void SetUp() override { backend::Reset(); }

    testing_offers::ConfigurationGuard m_guard;
    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
};

Names NamesOf(const LoadingOutcome& outcome) {
    Names names;
    for (const auto& offer : outcome.offers)
        names.push_back(offer->m_offerName);
    return names;
}

}  // namespace

// An event whose connection is reset before the record could be sent is sent again, and reaches the endpoint once.
TEST_F(TransportRetry, AConnectionResetBeforeTheSendIsTriedAgainAndDeliversOnce) {
    // Closed after the answer: WinHTTP would otherwise keep the connection for the call that counts.
    backend::Script("/zbd", {{.body = "{}", .headers = {{"Connection", "close"}}}});
    auto main = std::make_shared<Package>(EventBase(), true, L"Name", L"Key", L"", L"", 0);
    backend::ResetConnections(1);
    main->ReportEvent(1, nullptr);
    main->WaitForEvents();

    // The two control calls before the event's two, and the one that counts.
    EXPECT_EQ(backend::Connections().size(), 5u);
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(json::parse(json::parse(requests[0].body).at("data").get<std::string>()).at("6"), "1");
}

// A connection refused once before the configuration answer and once before an event: the run still has its
// offers, and every event reaches the endpoint exactly once.
TEST_F(TransportRetry, ConnectionsResetBeforeTheAnswerAndBeforeAnEventLoseNothing) {
    const json answer = {{"f", {{"m", 5}}}, {"o", {Offer("A", {{"v", 1}}), Offer("B", {{"v", 2}, {"exc", true}})}}};
    // Each answer closes its connection, so that WinHTTP keeps none for the next request: the resets are for new
    // connections.
    backend::Script("/o", {{.body = answer.dump(), .headers = {{"Connection", "close"}}}});
    backend::Script("/zbd", {{.body = "{}", .headers = {{"Connection", "close"}}}});

    backend::ResetConnections(1);
    LoadingOutcome outcome = ApplyConfigurationAnswer(ApiManager::GetInstance()->RequestConfiguration(0),
                                                      m_configuration, std::make_shared<FakeFacts>());
    EXPECT_EQ(NamesOf(outcome), Names{"A"});
    EXPECT_EQ(
        ReceivedReasons(1),
        (std::vector<std::pair<std::string, std::string>>{{"B", "EXCLUSIVE, BUT ANOTHER OFFER ALREADY PRESENT"}}));
    ASSERT_EQ(outcome.offers.size(), 1u);
    backend::ResetConnections(1);
    outcome.offers[0]->ReportEvent(1, nullptr);
    outcome.offers[0]->WaitForEvents();

    EXPECT_EQ(backend::Requests("/o").size(), 1u);
    std::vector<std::string> events;
    for (const auto& request : backend::Requests("/zbd")) {
        const json data = json::parse(json::parse(request.body).at("data").get<std::string>());
        events.push_back(data.at("5").get<std::string>() + ":" + data.at("6").get<std::string>());
    }
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (Names{"A:1", "B:2"}));
}

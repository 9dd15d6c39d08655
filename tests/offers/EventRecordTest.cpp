// An event is made when it is reported: the record and its headers are fixed on the caller's thread, so that
// re-initialising the main product meanwhile changes neither a send nor its retry.
#include "analytics/EventBase.h"
#include "config/ConfigurationManager.h"
#include "offers/Package.h"
#include "support/Backend.h"

#include <gtest/gtest.h>

using nlohmann::json;

TEST(EventRecordTest, ARetriedSendPostsTheRecordAsItWasWhenReported) {
    backend::Reset();
    backend::Script("/zbd", {{.status = 500, .body = "{}"}, {.body = "{}"}});
    SetEventRetryPause(std::chrono::milliseconds(300));
    auto configuration = ConfigurationManager::GetInstance();
    const std::wstring savedCh = configuration->m_mainCh;
    configuration->m_mainCh = L"ch-before";
    auto main = std::make_shared<Package>(EventBase(), true, L"Name", L"Key", L"", L"ch-before", 0);
    main->ReportEvent(1, nullptr);
    // At once, as the frame does on the GUI thread when the answer has brought the product's "ch".
    configuration->m_mainCh = L"ch-after";
    main->ReinitializeMain(EventBase(), L"Key", L"", L"Name", L"ch-after");
    main->WaitForEvents();
    configuration->m_mainCh = savedCh;
    SetEventRetryPause(std::chrono::milliseconds(5000));

    EXPECT_EQ(main->m_eventFields.at("21"), "ch-after");
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& request : requests) {
        json data = json::parse(json::parse(request.body).at("data").get<std::string>());
        EXPECT_EQ(data.at("6"), "1");
        EXPECT_EQ(data.at("21"), "ch-before");
        EXPECT_EQ(request.Header("Authorization"), requests[0].Header("Authorization"));
    }
    EXPECT_FALSE(requests[0].Header("Authorization").empty());
}

TEST(EventRecordTest, AnExtraThatIsNotAnObjectDropsTheEventWithoutASend) {
    backend::Reset();
    auto main = std::make_shared<Package>(EventBase(), true, L"Name", L"Key", L"", L"", 0);
    main->ReportEvent(2, json::array({1}));
    main->WaitForEvents();
    main->ReportEvent(2, json{{"13", "REASON"}});
    main->WaitForEvents();
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(json::parse(json::parse(requests[0].body).at("data").get<std::string>()).at("13"), "REASON");
}

#include "offers/Package.h"

#include "config/ConfigurationManager.h"
#include "config/PathPlaceholders.h"
#include "net/ApiManager.h"
#include "net/Codecs.h"
#include "support/Backend.h"
#include "win32/ServerText.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <chrono>

using nlohmann::json;

namespace {

std::string Escape(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '"' || c == '\\')
            escaped += '\\';
        escaped += c;
    }
    return escaped;
}

class EventTest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::Reset();
        backend::Script("/zbd", {{.body = "{}"}});
        SetEventRetryPause(std::chrono::milliseconds(100));
        m_configuration = ConfigurationManager::GetInstance();
        m_savedUrl = m_configuration->m_analyticsUrl;
        m_configuration->m_analyticsUrl = backend::Url("/zbd");
    }
    void TearDown() override {
        m_configuration->m_analyticsUrl = m_savedUrl;
        SetEventRetryPause(std::chrono::milliseconds(5000));
    }

    std::shared_ptr<Package> MakeOffer(int position = 1) {
        json offer = {{"ad", {{"f", "tagF"}, {"o", "OfferOne"}}},
                      {"ps", {{"i", "i.png"}, {"dn", "Offer One"}, {"u", "https://x/s.exe"}, {"c", "evt"}}}};
        return std::make_shared<Package>(EventBase(), offer, false, "", position);
    }
    std::shared_ptr<Package> MakeMain() {
        return std::make_shared<Package>(EventBase(), true, m_configuration->m_productKey, L"",
                                         m_configuration->m_productTitle, L"", 0);
    }

    // The fields every record of this run carries, as the analytics endpoint must receive them.
    std::string CommonFields(const char* key) {
        auto c = m_configuration;
        std::map<std::string, std::string> fields = {
            {"1", "\"" + c->GetMachineGuid() + "\""},
            {"2", "\"" + c->GetTimestamp() + "\""},
            {"22", "\"Quarvel\""},
            {"3", "\"Lumora\""},
            {"31", "\"" + GetOsVersionString() + "\""},
            {"38", IsWow64() ? "\"1\"" : "\"0\""},
            {"4", "\"QuarvelProduct\""},
            {"7", "\"" + std::string(c->m_programVersion.begin(), c->m_programVersion.end()) + "\""}};
        return fields.at(key);
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::wstring m_savedUrl;
};

}  // namespace

TEST_F(EventTest, MainProductRecordArrivesByteForByteWithItsSignature) {
    auto main = MakeMain();
    main->ReportEvent(1, nullptr);
    main->WaitForEvents();
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);

    const std::string data = "{\"0\":\"\",\"1\":" + CommonFields("1") +
                             ",\"10\":1,\"11\":\"\",\"12\":\"\",\"13\":\"\",\"14\":\"\",\"15\":0,\"16\":\"\","
                             "\"17\":\"\",\"18\":\"\",\"19\":\"\",\"2\":" +
                             CommonFields("2") + ",\"20\":\"\",\"21\":\"\",\"22\":" + CommonFields("22") +
                             ",\"3\":" + CommonFields("3") + ",\"31\":" + CommonFields("31") +
                             ",\"38\":" + CommonFields("38") + ",\"4\":" + CommonFields("4") +
                             ",\"5\":\"Quarvel\",\"6\":\"1\",\"7\":" + CommonFields("7") + ",\"8\":\"\",\"9\":\"\"}";
    EXPECT_EQ(requests[0].body, "{\"data\":\"" + Escape(data) + "\",\"table\":\"zb_analytics\"}");
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
    EXPECT_EQ(requests[0].Header("Authorization"),
              "Signature=" + Sha256Hex(m_configuration->GetMachineGuid() + m_configuration->GetTimestamp()));
    EXPECT_FALSE(main->m_events.IsClosed());  // state 1 is not final
}

TEST_F(EventTest, OfferRecordCarriesItsIdentityStateAndExtraFields) {
    auto offer = MakeOffer(1);
    offer->ReportEvent(2, {{"13", "SAME VERTICAL OFFER ALREADY PRESENT"}});
    offer->WaitForEvents();
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);
    json record = json::parse(requests[0].body);
    ASSERT_TRUE(record["data"].is_string());
    json data = json::parse(record["data"].get<std::string>());
    EXPECT_EQ(record["table"], "zb_analytics");
    EXPECT_EQ(data["5"], "OfferOne");
    EXPECT_EQ(data["6"], "2");
    EXPECT_EQ(data["10"], 2);
    EXPECT_EQ(data["16"], "evt");
    EXPECT_EQ(data["17"], "2");
    EXPECT_EQ(data["18"], "tagF");
    EXPECT_EQ(data["13"], "SAME VERTICAL OFFER ALREADY PRESENT");
    EXPECT_EQ(data["12"], "");
    EXPECT_EQ(data.size(), 25u);
    EXPECT_TRUE(offer->m_events.IsClosed());
}

TEST_F(EventTest, FailureTextReplacesTheEmptyField) {
    auto offer = MakeOffer();
    offer->ReportEvent(-1, {{"12", "DOWNLOAD FAILED: Error in downloading"}});
    offer->WaitForEvents();
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);
    json data = json::parse(json::parse(requests[0].body)["data"].get<std::string>());
    EXPECT_EQ(data["6"], "-1");
    EXPECT_EQ(data["12"], "DOWNLOAD FAILED: Error in downloading");
}

namespace {

// Whether `text` holds a character that could forge a line or a field, or turn the text around unseen.
bool HoldsControlsOrMarks(const std::string& text) {
    const std::wstring wide = win32::Utf8ToWide(text);
    for (wchar_t c : wide) {
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || server_text::IsInvisibleFormatting(c))
            return true;
    }
    return false;
}

// Characters as the analytics endpoint reads them: code points of the posted UTF-8.
size_t CodePoints(const std::string& text) {
    size_t count = 0;
    for (unsigned char c : text)
        count += (c & 0xC0) != 0x80;
    return count;
}

}  // namespace

// Every text of a record is held to the one rule of server texts on what is sent: an offer's name full of marks
// and line breaks, a title whose emoji the ANSI code page turns into two characters, a huge failure text.
TEST_F(EventTest, EveryTextIsCleanedAndBoundedAsItIsSent) {
    std::string hostile;
    while (hostile.size() < 5000)
        hostile += "Name\u202E\u200D\a\r\n\u0085\u2028\u2029\u200F ";
    std::wstring emojiTitle;
    for (int i = 0; i < 255; ++i)
        emojiTitle += L'T';
    emojiTitle += L"\U0001F600";
    const struct {
        const char* name;
        const char* key;
        std::string value;
        size_t bound;
    } cases[] = {
        {"offer name", "5", hostile, server_text::kMaxNameChars},
        {"offer tag", "18", hostile, server_text::kMaxNameChars},
        {"title through the ANSI code page", "22", win32::WideToAnsi(emojiTitle), server_text::kMaxNameChars},
        {"failure text", "12", "DOWNLOAD FAILED: " + hostile + std::string(5000, 'x'), server_text::kMaxTextChars},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        json data = {{c.key, c.value}, {"10", 2}};
        const json record = json::parse(MakeEventRecord(data));
        const json sent = json::parse(record["data"].get<std::string>());
        const std::string field = sent[c.key].get<std::string>();
        EXPECT_FALSE(HoldsControlsOrMarks(field)) << field.substr(0, 80);
        EXPECT_EQ(CodePoints(field), c.bound) << field.substr(0, 80);
        EXPECT_EQ(sent["10"], 2);
    }

    // On the wire, from an offer's failure as the download page reports it.
    json offer = {{"ad", {{"f", "tagF"}, {"o", hostile}}},
                  {"ps", {{"i", "i.png"}, {"dn", "Offer"}, {"u", "https://x/s.exe"}, {"c", "evt"}}}};
    auto package = std::make_shared<Package>(EventBase(), offer, false, "", 1);
    package->ReportEvent(-1, {{"12", "DOWNLOAD FAILED: " + hostile}});
    package->WaitForEvents();
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);
    const json data = json::parse(json::parse(requests[0].body)["data"].get<std::string>());
    for (const char* key : {"5", "12"}) {
        SCOPED_TRACE(key);
        EXPECT_FALSE(HoldsControlsOrMarks(data[key].get<std::string>()));
    }
    EXPECT_LE(CodePoints(data["5"].get<std::string>()), server_text::kMaxNameChars);
}

TEST_F(EventTest, DeliveredFinalStateClosesThePackageForLaterEvents) {
    auto offer = MakeOffer();
    offer->ReportEvent(4, nullptr);
    offer->WaitForEvents();
    offer->ReportEvent(5, nullptr);
    offer->WaitForEvents();
    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);

    auto main = MakeMain();
    main->ReportEvent(1, nullptr);
    main->WaitForEvents();
    main->ReportEvent(5, nullptr);
    main->WaitForEvents();
    EXPECT_EQ(backend::Requests("/zbd").size(), 3u);  // state 1 left the package open for state 5
}

TEST_F(EventTest, ServerErrorGetsASecondAttemptAndKeepsThePackageOpen) {
    backend::Script("/zbd", {{.status = 500}});
    auto offer = MakeOffer();
    auto start = std::chrono::steady_clock::now();
    offer->ReportEvent(4, nullptr);
    offer->WaitForEvents();
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(backend::Requests("/zbd").size(), 2u);
    EXPECT_GE(elapsed, std::chrono::milliseconds(200));  // a pause after each failed attempt
    EXPECT_FALSE(offer->m_events.IsClosed());

    backend::Script("/zbd", {{.body = "{}"}});
    offer->ReportEvent(5, nullptr);
    offer->WaitForEvents();
    EXPECT_EQ(backend::Requests("/zbd").size(), 3u);  // the close event still goes out
}

TEST_F(EventTest, ServerErrorTwiceCostsTenSecondsWithTheRealPause) {
    SetEventRetryPause(std::chrono::milliseconds(5000));
    backend::Script("/zbd", {{.status = 500}});
    auto offer = MakeOffer();
    auto start = std::chrono::steady_clock::now();
    offer->ReportEvent(5, nullptr);
    offer->WaitForEvents();
    auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(seconds, 9.9);
    EXPECT_LT(seconds, 15.0);
    EXPECT_EQ(backend::Requests("/zbd").size(), 2u);
}

TEST_F(EventTest, UnreachableServerDropsEventsWithoutTheAnswerPause) {
    // Nothing listens on this loopback address: the connection is refused, so each event is tried again only as a
    // request that never reached the server (a few seconds in all), never after the long pause of a bad answer.
    m_configuration->m_analyticsUrl = L"https://127.0.0.2/zbd";
    SetEventRetryPause(std::chrono::milliseconds(20000));
    std::vector<std::shared_ptr<Package>> packages{MakeOffer(), MakeOffer(), MakeMain()};
    for (auto& package : packages) {
        auto start = std::chrono::steady_clock::now();
        package->ReportEvent(5, nullptr);
        package->WaitForEvents();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    }
    for (auto& package : packages)
        EXPECT_FALSE(package->m_events.IsClosed());
}

TEST_F(EventTest, ExtraValueThatIsNoObjectDropsTheEvent) {
    auto offer = MakeOffer();
    offer->ReportEvent(2, json::array({"13", "x"}));
    offer->ReportEvent(2, json(7));
    offer->WaitForEvents();
    EXPECT_TRUE(backend::Requests("/zbd").empty());
}

TEST_F(EventTest, SendKeepsAPackageAliveThatEveryoneElseDropped) {
    backend::Script("/zbd", {{.body = "{}", .delaySeconds = 0.5}});
    std::weak_ptr<Package> watcher;
    {
        auto offer = MakeOffer();
        watcher = offer;
        offer->ReportEvent(2, {{"13", "REFUSED"}});
    }
    EXPECT_FALSE(watcher.expired());
    backend::Requests("/zbd", 1, 10);
    for (int i = 0; i < 100 && !watcher.expired(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(watcher.expired());
}

#include "net/ApiManager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ConfigurationManager.h"
#include "net/JsonPost.h"
#include "net/WayfarerException.h"
#include "tests/support/Backend.h"

using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

namespace {

// The fields of the build configuration that the request reads, set to known values.
void UseKnownConfiguration(ConfigurationManager& configuration) {
    configuration.m_configUrl = backend::Url("/o");
    configuration.m_localeName = L"en_US";
    configuration.m_programVersion = L"3.2.0.11262";
}

// What the request must carry as "o", asked of another system call than the one the program uses.
std::string ExpectedOsVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ::GetVersionExW(&info);
#pragma GCC diagnostic pop
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}

std::string ExpectedBody(const std::string& token) {
    return R"({"a":"Lumora","i":"QuarvelProduct","l":"en","o":")" + ExpectedOsVersion() +
           R"(","plv":"3.2.0.11262","prv":"0.1","s":"QuarvelProduct_CPP","u":")" + token + R"("})";
}

class ConfigurationRequest : public ::testing::Test {
protected:
    void SetUp() override {
        backend::Reset();
        m_saved = {m_configuration->m_configUrl, m_configuration->m_localeName, m_configuration->m_programVersion};
        UseKnownConfiguration(*m_configuration);
    }
    void TearDown() override {
        m_configuration->m_configUrl = m_saved[0];
        m_configuration->m_localeName = m_saved[1];
        m_configuration->m_programVersion = m_saved[2];
    }

    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
    std::shared_ptr<ApiManager> m_api = ApiManager::GetInstance();
    std::vector<std::wstring> m_saved;
};

// Outcome of one request: the parsed answer or which exception ended it.
struct Outcome {
    nlohmann::json value;
    std::string error;  // "" | "WayfarerException" | "parse_error"
};

Outcome RequestOutcome(const ApiManager& api, DWORD pauseMs) {
    try {
        return {api.RequestConfiguration(pauseMs), ""};
    } catch (const WayfarerException&) {
        return {nullptr, "WayfarerException"};
    } catch (const nlohmann::json::parse_error&) {
        return {nullptr, "parse_error"};
    }
}

}  // namespace

TEST_F(ConfigurationRequest, PostsTheRequestObjectByteForByte) {
    backend::Script("/o", {{.body = R"({"l":"US"})"}});
    EXPECT_EQ(m_api->RequestConfiguration(0), nlohmann::json::parse(R"({"l":"US"})"));

    auto requests = backend::Requests("/o");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].body, ExpectedBody(""));
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
    EXPECT_FALSE(requests[0].HasHeader("Authorization")) << "the configuration request is not signed";
}

TEST_F(ConfigurationRequest, SendsTheLanguageAsTwoLowerCaseLetters) {
    const std::vector<std::pair<std::wstring, std::string>> cases = {
        {L"en_US", "en"}, {L"DE", "de"}, {L"pt_BR", "pt"}, {L"x", "x"}, {L"", ""}};
    for (const auto& [locale, expected] : cases) {
        m_configuration->m_localeName = locale;
        EXPECT_EQ(nlohmann::json::parse(ApiManager::BuildRequestBody()).at("l"), expected);
    }
}

TEST_F(ConfigurationRequest, TextOutsideAsciiStillMakesAValidRequest) {
    // ANSI bytes beyond ASCII are not UTF-8; they must not stop the request from being written.
    const std::wstring savedBrand = m_configuration->m_brand;
    m_configuration->m_brand = L"Lum\u00f6ra \u4e2d";
    std::string body;
    EXPECT_NO_THROW(body = ApiManager::BuildRequestBody());
    m_configuration->m_brand = savedBrand;
    nlohmann::json request = nlohmann::json::parse(body);
    EXPECT_EQ(request.at("i"), "QuarvelProduct");
    EXPECT_EQ(request.at("a").get<std::string>().substr(0, 3), "Lum");
}

TEST_F(ConfigurationRequest, RetriesBadStatusesAndJudgesTheLastAnswer) {
    using backend::Response;
    struct Case {
        const char* name;
        std::vector<Response> answers;
        size_t attempts;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"503 three times", {{.status = 503}}, 3, {nullptr, "WayfarerException"}},
        {"204 without a body is a success, then blank", {{.status = 204}}, 1, {nullptr, "WayfarerException"}},
        {"503 then 200", {{.status = 503, .body = "busy"}, {.body = R"({"l":"US"})"}}, 2, {{{"l", "US"}}, ""}},
        {"500 with a JSON body three times", {{.status = 500, .body = R"({"error":"x"})"}}, 3, {{{"error", "x"}}, ""}},
        {"a redirect status counts as success", {{.status = 304}}, 1, {nullptr, "WayfarerException"}},
        {"400 then 200 with an array", {{.status = 400, .body = "{}"}, {.body = "[]"}}, 2, {"[]"_json, ""}},
    };
    const DWORD pauseMs = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/o", c.answers);
        const auto start = Clock::now();
        Outcome outcome = RequestOutcome(*m_api, pauseMs);
        const auto elapsed = Clock::now() - start;

        EXPECT_EQ(outcome.error, c.outcome.error);
        EXPECT_EQ(outcome.value, c.outcome.value);
        auto requests = backend::Requests("/o");
        ASSERT_EQ(requests.size(), c.attempts);
        // Each pause is spread by up to a fifth of itself either way.
        const double shortest = pauseMs * (1.0 - ApiManager::kRetryPauseJitter);
        for (size_t i = 1; i < requests.size(); ++i)
            EXPECT_GE(requests[i].time - requests[i - 1].time, shortest / 1000.0 - 0.02)
                << "pause before attempt " << i;
        // Every failed attempt is followed by a pause, the third one too.
        const long long pauses = c.attempts == 3 ? 3 : static_cast<long long>(c.attempts) - 1;
        EXPECT_GE(elapsed, std::chrono::milliseconds(static_cast<long long>(shortest * pauses) - 20));
    }
}

TEST_F(ConfigurationRequest, PausesFiveSecondsBetweenAttemptsByDefault) {
    backend::Script("/o", {{.status = 503}, {.body = R"({"l":"US"})"}});
    const auto start = Clock::now();
    EXPECT_EQ(m_api->RequestConfiguration(), nlohmann::json::parse(R"({"l":"US"})"));
    const auto elapsed = Clock::now() - start;

    auto requests = backend::Requests("/o");
    ASSERT_EQ(requests.size(), 2u);
    // Five seconds spread by a fifth either way: only the lower bound is exact; the upper one tells the pause from
    // twice that, with room for a busy machine.
    EXPECT_GE(requests[1].time - requests[0].time, 3.98);
    EXPECT_LT(requests[1].time - requests[0].time, 10.0);
    EXPECT_GE(elapsed, std::chrono::milliseconds(4000));
}

// Connections reset before the TLS handshake, before the request could be sent, are tried again with the
// downloads' backoff up to the bound; the answer then comes from one request only.
TEST_F(ConfigurationRequest, ConnectionsResetBeforeTheRequestAreTriedAgainUpToTheBound) {
    struct Case {
        int resets;
        bool answered;
        size_t connections;
    } cases[] = {{1, true, 2}, {kPostAttempts - 1, true, kPostAttempts}, {kPostAttempts, false, kPostAttempts}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.resets << " resets");
        backend::Reset();
        // Closed after the answer: WinHTTP would otherwise keep the connection for the calls that count.
        backend::Script("/o", {{.body = R"({"l":"US"})", .headers = {{"Connection", "close"}}}});
        backend::ResetConnections(c.resets);
        const Outcome outcome = RequestOutcome(*m_api, 60000);
        // Besides the request's own: the two control calls before it and the one that counts.
        EXPECT_EQ(backend::Connections().size() - 3, c.connections);
        EXPECT_EQ(outcome.error, c.answered ? "" : "WayfarerException");
        EXPECT_EQ(backend::Requests("/o").size(), c.answered ? 1u : 0u);
    }
}

// A request that may have reached the server (here it did, and the connection was then closed unanswered) is
// never sent again.
TEST_F(ConfigurationRequest, TransportFailureEndsAtOnceWithoutRetry) {
    backend::Script("/o", {{.drop = true}, {.body = "{}"}});
    const auto start = Clock::now();
    // A pause far longer than any delay of a busy machine: ending well before it shows that none was taken.
    EXPECT_THROW(m_api->RequestConfiguration(60000), WayfarerException);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(30000)) << "no pause after a transport failure";
    EXPECT_EQ(backend::Requests("/o").size(), 1u);
}

TEST_F(ConfigurationRequest, EmptyUrlFailsBeforeAnythingIsSent) {
    m_configuration->m_configUrl.clear();
    EXPECT_THROW(m_api->RequestConfiguration(0), WayfarerException);
    EXPECT_TRUE(backend::Requests().empty());
}

TEST_F(ConfigurationRequest, QueryAndForeignPortOfTheUrlAreNotUsed) {
    m_configuration->m_configUrl = L"http://localhost:8080/o?campaign=7";
    backend::Script("/o", {{.body = "{}"}});
    EXPECT_EQ(m_api->RequestConfiguration(0), nlohmann::json::object());
    auto requests = backend::Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/o");
}

TEST_F(ConfigurationRequest, JudgesTheAnswerText) {
    using backend::Response;
    const std::string big(64 << 20, 'x');
    struct Case {
        const char* name;
        Response answer;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"blank", {.body = "\n \r\n\t\v\f  \n"}, {nullptr, "WayfarerException"}},
        {"empty", {.body = ""}, {nullptr, "WayfarerException"}},
        {"not JSON", {.body = "<html>busy</html>"}, {nullptr, "parse_error"}},
        {"comments are not JSON", {.body = "{} // note"}, {nullptr, "parse_error"}},
        {"truncated", {.body = R"({"l":"US")"}, {nullptr, "parse_error"}},
        {"an array is returned as it is", {.body = R"([{"l":"US"}])"}, {R"([{"l":"US"}])"_json, ""}},
        {"a bare string", {.body = R"("text")"}, {"text", ""}},
        {"surrounding blanks are kept for the parser", {.body = "\n {\"l\":\"US\"} \n"}, {{{"l", "US"}}, ""}},
        {"the chunk ends at a NUL", {.body = "{\"l\":\"US\"}\0garbage"s}, {{{"l", "US"}}, ""}},
        {"64 MiB of text that is not JSON", {.bodySize = big.size(), .pattern = "x"}, {nullptr, "parse_error"}},
        {"64 MiB inside a JSON object",
         {.bodySize = big.size(), .pattern = "x", .prefix = R"({"l":"US","pad":")", .suffix = R"("})"},
         {{{"l", "US"}, {"pad", big}}, ""}},
        // Just past the bound, a text that would parse and fit: only the bound refuses it.
        {"129 MiB inside a JSON object",
         {.bodySize = 129ull << 20, .pattern = "x", .prefix = R"({"l":"US","pad":")", .suffix = R"("})"},
         {nullptr, "WayfarerException"}},
        // More than a 32-bit process can hold: the answer is refused once it outgrows its bound, long before the
        // address space ends (where an allocation anywhere in the process would fail).
        {"1.5 GiB", {.bodySize = 1536ull << 20, .pattern = "[],", .prefix = "["}, {nullptr, "WayfarerException"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Script("/o", {c.answer});
        Outcome outcome = RequestOutcome(*m_api, 0);
        EXPECT_EQ(outcome.error, c.outcome.error);
        EXPECT_TRUE(outcome.value == c.outcome.value);
    }
}

// Runs only inside the child process that the next test starts: the child's own executable path carries
// the campaign token.
TEST(ConfigurationRequestChild, PostsRequest) {
    if (::GetEnvironmentVariableW(L"WAYFARER_TOKEN_CHILD", nullptr, 0) == 0)
        GTEST_SKIP() << "only meaningful in the child process";
    UseKnownConfiguration(*ConfigurationManager::GetInstance());
    ApiManager::GetInstance()->RequestConfiguration(0);
}

TEST_F(ConfigurationRequest, CarriesTheTokenOfTheInstallersFileName) {
    wchar_t self[MAX_PATH] = {};
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::filesystem::path folder = std::filesystem::path(temp) / L"wayfarer_token_test";
    const std::filesystem::path copy = folder / L"QuarvelSetup_ab-12cd.exe";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(::CopyFileW(self, copy.c_str(), FALSE));

    backend::Script("/o", {{.body = "{}"}});
    std::wstring commandLine = L"\"" + copy.wstring() + L"\" --gtest_filter=ConfigurationRequestChild.*";
    ::SetEnvironmentVariableW(L"WAYFARER_TOKEN_CHILD", L"1");
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                          nullptr, &startup, &process);
    ::SetEnvironmentVariableW(L"WAYFARER_TOKEN_CHILD", nullptr);
    ASSERT_TRUE(started);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);

    EXPECT_EQ(exitCode, 0u);
    auto requests = backend::Requests("/o");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].body, ExpectedBody("ab-12cd"));
}

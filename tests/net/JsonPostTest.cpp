#include "net/JsonPost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "net/WayfarerException.h"
#include "tests/support/Backend.h"

using namespace std::string_literals;

namespace {

class PostJsonToBackend : public ::testing::Test {
protected:
    void SetUp() override { backend::Reset(); }

    // Posts and returns the single request that the backend recorded for `path`.
    backend::Request PostAndReceive(const std::wstring& url,
                                    const std::string& path,
                                    const std::string& body,
                                    const HeaderList& headers = {}) {
        std::string response;
        DWORD status = 0;
        EXPECT_TRUE(PostJson(url, body, headers, response, status));
        auto requests = backend::Requests(path);
        EXPECT_EQ(requests.size(), 1u);
        return requests.empty() ? backend::Request{} : requests.front();
    }
};

size_t IndexOfHeader(const backend::Request& request, const std::string& name) {
    for (size_t i = 0; i < request.headers.size(); ++i) {
        if (request.headers[i].first == name)
            return i;
    }
    return std::string::npos;
}

}  // namespace

TEST_F(PostJsonToBackend, SendsBodyAndCallersHeadersThenTheFixedOnes) {
    backend::Script("/zbd", {{.status = 201, .body = R"({"ok":true})"}});
    const HeaderList headers = {{L"X-First", L"1"}, {L"Authorization", L"Signature=abc"}};
    std::string response;
    DWORD status = 0;
    ASSERT_TRUE(PostJson(backend::Url("/zbd"), R"({"k":"v","n":1})", headers, response, status));
    EXPECT_EQ(status, 201u);
    EXPECT_EQ(response, R"({"ok":true})");

    auto requests = backend::Requests("/zbd");
    ASSERT_EQ(requests.size(), 1u);
    const backend::Request& request = requests.front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, R"({"k":"v","n":1})");
    EXPECT_EQ(request.Header("Content-Length"), "15");
    EXPECT_EQ(request.Header("Content-Type"), "application/json");
    EXPECT_EQ(request.Header("Expect"), "100-continue");
    EXPECT_EQ(request.Header("Authorization"), "Signature=abc");
    EXPECT_EQ(request.Header("Host"), "localhost");
    EXPECT_LT(IndexOfHeader(request, "X-First"), IndexOfHeader(request, "Authorization"));
    EXPECT_LT(IndexOfHeader(request, "Authorization"), IndexOfHeader(request, "Expect"));
    EXPECT_LT(IndexOfHeader(request, "Expect"), IndexOfHeader(request, "Content-Type"));
}

TEST_F(PostJsonToBackend, SendsBodyOnlyUpToItsFirstNul) {
    backend::Request request = PostAndReceive(backend::Url("/zbd"), "/zbd", "abc\0def"s);
    EXPECT_EQ(request.body, "abc");
    EXPECT_EQ(request.Header("Content-Length"), "3");

    backend::Reset();
    request = PostAndReceive(backend::Url("/zbd"), "/zbd", "");
    EXPECT_EQ(request.body, "");
    EXPECT_EQ(request.Header("Content-Length"), "0");
}

TEST_F(PostJsonToBackend, SendsThePathWithoutQueryOrFragment) {
    backend::Request request = PostAndReceive(backend::Url("/o?x=1#part"), "/o", "{}");
    EXPECT_EQ(request.target, "/o");
    EXPECT_EQ(request.query, "");
}

TEST_F(PostJsonToBackend, GoesToPort443OverTlsWhateverTheUrlSays) {
    // The backend only speaks TLS on 443, so an arrival at all shows scheme and port were ignored.
    backend::Request request = PostAndReceive(L"http://localhost:8080/o", "/o", "{}");
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.Header("Host"), "localhost");
}

TEST_F(PostJsonToBackend, ReturnsTrueForAnErrorStatusWithItsBody) {
    backend::Script("/o", {{.status = 500, .body = "oops"}});
    std::string response;
    DWORD status = 0;
    EXPECT_TRUE(PostJson(backend::Url("/o"), "{}", {}, response, status));
    EXPECT_EQ(status, 500u);
    EXPECT_EQ(response, "oops");
}

TEST_F(PostJsonToBackend, AppendsToTheCallersResponse) {
    backend::Script("/o", {{.body = "first"}, {.body = "second"}});
    std::string response = "kept:";
    DWORD status = 0;
    PostJson(backend::Url("/o"), "{}", {}, response, status);
    PostJson(backend::Url("/o"), "{}", {}, response, status);
    EXPECT_EQ(response, "kept:firstsecond");
}

TEST_F(PostJsonToBackend, TakesEachReceivedChunkUpToItsFirstNul) {
    backend::Script("/one", {{.body = "ab\0cd"s}});
    backend::Script("/two", {{.body = "ab\0cdef"s, .chunkDelaySeconds = 0.5, .chunkSize = 5}});
    std::string response;
    DWORD status = 0;
    PostJson(backend::Url("/one"), "{}", {}, response, status);
    EXPECT_EQ(response, "ab");

    // The second chunk arrives half a second later and is read on its own: it is kept whole.
    response.clear();
    PostJson(backend::Url("/two"), "{}", {}, response, status);
    EXPECT_EQ(response, "abef");
}

TEST_F(PostJsonToBackend, ReadsLongAnswersWhole) {
    backend::Script("/o", {{.bodySize = 3'000'000, .pattern = "0123456789"}});
    std::string response;
    DWORD status = 0;
    PostJson(backend::Url("/o"), "{}", {}, response, status);
    ASSERT_EQ(response.size(), 3'000'000u);
    EXPECT_EQ(response.substr(2'999'990), "0123456789");
}

TEST_F(PostJsonToBackend, KeepsWhatArrivedWhenTheConnectionBreaksInTheBody) {
    backend::Script("/o", {{.body = "0123456789", .closeAfter = 4}});
    std::string response;
    DWORD status = 0;
    // Whether the cut shows as an error of the next read or as the end of the data, the call has its answer.
    EXPECT_TRUE(PostJson(backend::Url("/o"), "{}", {}, response, status));
    EXPECT_EQ(status, 200u);
    EXPECT_EQ(response, "0123");
}

TEST_F(PostJsonToBackend, RaisesWhenTheRequestGetsNoAnswer) {
    backend::Script("/o", {{.drop = true}});
    std::string response = "kept";
    DWORD status = 7;
    EXPECT_THROW(PostJson(backend::Url("/o"), "{}", {}, response, status), WayfarerException);
    EXPECT_EQ(status, 7u) << "no status line, no status";
    EXPECT_EQ(response, "kept");
    EXPECT_EQ(backend::Requests("/o").size(), 1u);
}

TEST_F(PostJsonToBackend, RaisesWhenNothingListensOrTheUrlIsNotOne) {
    std::string response;
    DWORD status = 0;
    // 127.0.0.2 is loopback too, but the backend listens on 127.0.0.1 only.
    EXPECT_THROW(PostJson(L"https://127.0.0.2/o", "{}", {}, response, status), WayfarerException);
    EXPECT_THROW(PostJson(L"localhost/o", "{}", {}, response, status), WayfarerException);
    EXPECT_THROW(PostJson(L"", "{}", {}, response, status), WayfarerException);
    EXPECT_TRUE(backend::Requests().empty());
}

TEST_F(PostJsonToBackend, WaitsForASlowServerInsteadOfGivingUpEarly) {
    // No time-outs of our own: WinHTTP's defaults (tens of seconds) decide, so a server that takes a few seconds
    // to answer is waited for.
    backend::Script("/o", {{.body = "late", .delaySeconds = 4}});
    std::string response;
    DWORD status = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(PostJson(backend::Url("/o"), "{}", {}, response, status));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3900));
    EXPECT_EQ(response, "late");
}

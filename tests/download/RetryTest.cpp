// File downloads over a network that fails on the way: attempts after failures that may pass, the kept bytes
// continued where the server vouches for them (and never spliced onto another version), a single attempt for
// failures that cannot pass, and nothing fetched once the user has left.
#include "download/DownloadManager.h"

#include <gtest/gtest.h>

#include <future>
#include <set>
#include <string>
#include <thread>

#include "download/DownloadTesting.h"
#include "pages/IPage.h"
#include "support/Backend.h"
#include "support/WindowTesting.h"

using namespace download_testing;
using namespace std::chrono_literals;

namespace {

const std::string kPath = "/files/flaky.exe";
constexpr std::uint64_t kSize = 1024 * 1024;
const backend::Headers kVersion1 = {{"ETag", "\"v1\""}};

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

std::string Describe(const std::vector<backend::Request>& requests) {
    std::string text;
    for (const auto& r : requests) {
        text += "\n  " + std::to_string(r.time) + " Range \"" + r.Header("Range") + "\" If-Range \"" +
                r.Header("If-Range") + "\" body bytes " + std::to_string(r.bodyBytes) + (r.refused ? " refused" : "");
    }
    return text;
}

class Retry : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.retry.jitter = 0; });
    }

    // The first engine in a trace line.
    static const char* EngineName(download::Engine engine) {
        return engine == download::Engine::WinHttp ? "WinHTTP first" : "WinINet first";
    }
};

struct RetryCase {
    const char* name;
    std::vector<backend::Response> responses;
    // The bytes that must be on disk, from GeneratedBytes(kSize) when empty.
    std::string expected;
    int attempts;
    int resumed;
    // Range header of each request ("" for none).
    std::vector<std::string> ranges;
    // Most body bytes the server may have sent, as a share of the file.
    double sentShare;
    // The If-Range of every request that asked for a range.
    std::string ifRange = "\"v1\"";
};

}  // namespace

TEST_F(Retry, FailuresThatPassAreRetriedAndKeptBytesContinuedOnlyWhenTheyBelongToTheSameFile) {
    const std::string half = std::to_string(kSize / 2);
    const backend::Response whole{.bodySize = kSize, .headers = kVersion1, .ranges = true};
    backend::Response cut = whole;
    cut.closeAfter = kSize / 2;
    backend::Response cutQuarter = whole;
    cutQuarter.closeAfter = kSize / 4;
    backend::Response ignoresRanges{.bodySize = kSize, .headers = {{"ETag", "\"v1\""}, {"Accept-Ranges", "bytes"}}};
    backend::Response cutIgnoringRanges = ignoresRanges;
    cutIgnoringRanges.closeAfter = kSize / 2;
    const std::string secondVersion = "a second version of the installer ";
    backend::Response changed{
        .bodySize = kSize, .pattern = secondVersion, .headers = {{"ETag", "\"v2\""}}, .ranges = true};
    std::string changedBytes;
    while (changedBytes.size() < kSize)
        changedBytes += secondVersion;
    changedBytes.resize(kSize);
    const backend::Response disagreeing{
        .status = 206,
        .bodySize = kSize / 2,
        .headers = {{"ETag", "\"v1\""},
                    {"Content-Range", "bytes 0-" + std::to_string(kSize / 2 - 1) + "/" + std::to_string(kSize)}}};
    backend::Response busy{.status = 503, .headers = {{"Retry-After", "1"}}};
    // The file's first half as a 206 to a request that asked for no range.
    const backend::Response unaskedPart{
        .status = 206,
        .bodySize = kSize / 2,
        .headers = {{"ETag", "\"v1\""},
                    {"Accept-Ranges", "bytes"},
                    {"Content-Range", "bytes 0-" + std::to_string(kSize / 2 - 1) + "/" + std::to_string(kSize)}}};

    // A file that only its date vouches for, and a part of a newer version of it.
    const std::string date = "Tue, 01 Dec 2026 10:00:00 GMT";
    const backend::Response dated{.bodySize = kSize, .headers = {{"Last-Modified", date}}, .ranges = true};
    backend::Response cutDated = dated;
    cutDated.closeAfter = kSize / 2;
    const backend::Response newerPart{.status = 206,
                                      .bodySize = kSize / 2,
                                      .headers = {{"Last-Modified", "Wed, 02 Dec 2026 10:00:00 GMT"},
                                                  {"Content-Range", "bytes " + half + "-" + std::to_string(kSize - 1) +
                                                                        "/" + std::to_string(kSize)}}};

    const RetryCase cases[] = {
        {"cut at half, then the rest", {cut, whole}, "", 2, 1, {"", "bytes=" + half + "-"}, 1.01},
        {"cut at half, then the rest by date", {cutDated, dated}, "", 2, 1, {"", "bytes=" + half + "-"}, 1.01, date},
        {"206 of a newer date, then from the start",
         {cutDated, newerPart, dated},
         "",
         3,
         1,
         {"", "bytes=" + half + "-", ""},
         2.01,
         date},
        {"cut twice, then the rest",
         {cutQuarter, cutQuarter, whole},
         "",
         3,
         2,
         {"", "bytes=" + std::to_string(kSize / 4) + "-", "bytes=" + half + "-"},
         1.01},
        {"server ignores ranges", {cutIgnoringRanges, ignoresRanges}, "", 2, 1, {"", "bytes=" + half + "-"}, 1.51},
        {"file changed between attempts", {cut, changed}, changedBytes, 2, 1, {"", "bytes=" + half + "-"}, 1.51},
        {"416, then from the start", {cut, {.status = 416}, whole}, "", 3, 1, {"", "bytes=" + half + "-", ""}, 1.51},
        {"206 of another part, then from the start",
         {cut, disagreeing, whole},
         "",
         3,
         1,
         {"", "bytes=" + half + "-", ""},
         2.01},
        {"503 with Retry-After, then the file", {busy, whole}, "", 2, 0, {"", ""}, 1.0},
        {"206 nobody asked for, then the rest", {unaskedPart, whole}, "", 2, 1, {"", "bytes=" + half + "-"}, 1.01},
    };
    for (const download::Engine first : {download::Engine::WinHttp, download::Engine::WinInet}) {
        SCOPED_TRACE(EngineName(first));
        download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.firstEngine = first; });
        for (const RetryCase& c : cases) {
            SCOPED_TRACE(c.name);
            backend::Reset();
            backend::Script(kPath, c.responses);
            m_window.Clear();

            const download::FileOutcome result = Download(backend::Url(kPath));

            EXPECT_TRUE(result.ok) << result.text;
            const std::string onDisk = ReadWholeFile(PathInFolder(L"flaky.exe"));
            EXPECT_TRUE(onDisk == (c.expected.empty() ? GeneratedBytes(kSize) : c.expected))
                << "the file is not the one served (" << onDisk.size() << " bytes)";
            EXPECT_EQ(ListFolder(m_folder).size(), 1u) << "a temporary file stays behind";
            EXPECT_EQ(result.stats.attempts, c.attempts);
            EXPECT_EQ(result.stats.resumed, c.resumed);
            const auto requests = backend::Requests(kPath);
            ASSERT_EQ(requests.size(), c.ranges.size()) << Describe(requests);
            std::uint64_t sent = 0;
            for (size_t i = 0; i < requests.size(); ++i) {
                EXPECT_EQ(requests[i].Header("Range"), c.ranges[i]) << "request " << i << Describe(requests);
                if (!c.ranges[i].empty()) {
                    EXPECT_EQ(requests[i].Header("If-Range"), c.ifRange) << "request " << i;
                }
                sent += requests[i].bodyBytes;
            }
            EXPECT_LE(static_cast<double>(sent), c.sentShare * kSize) << Describe(requests);
            if (c.name == std::string("503 with Retry-After, then the file")) {
                EXPECT_GE(requests[1].time - requests[0].time, 0.98) << "Retry-After was not honoured";
            }

            // The bar never moves back and posts about a hundred messages whatever the attempts.
            const std::vector<unsigned> percentages = m_window.Percentages();
            ASSERT_FALSE(percentages.empty());
            EXPECT_LE(percentages.size(), 102u);
            EXPECT_EQ(percentages.back(), 100u);
            for (size_t i = 1; i + 1 < percentages.size(); ++i)
                EXPECT_GT(percentages[i], percentages[i - 1]) << "at " << i;
            ::DeleteFileW(PathInFolder(L"flaky.exe").c_str());
        }
    }
}

TEST_F(Retry, AServerThatRefusesConnectionsForAWhileIsReachedOnceItIsBack) {
    download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.retry.pauseBase = 300ms; });
    for (const download::Engine first : {download::Engine::WinHttp, download::Engine::WinInet}) {
        SCOPED_TRACE(EngineName(first));
        download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.firstEngine = first; });
        backend::Reset();
        backend::Script(kPath, {{.bodySize = kSize}});
        backend::Refuse(1.0);

        const download::FileOutcome result = Download(backend::Url(kPath));

        EXPECT_TRUE(result.ok) << result.text;
        EXPECT_TRUE(ReadWholeFile(PathInFolder(L"flaky.exe")) == GeneratedBytes(kSize));
        const auto requests = backend::Requests(kPath);
        ASSERT_GE(requests.size(), 2u) << Describe(requests);
        EXPECT_TRUE(requests.front().refused);
        EXPECT_FALSE(requests.back().refused);
        // An engine may send a request again by itself when its connection is reset.
        EXPECT_LE(result.stats.attempts, static_cast<int>(requests.size()));
        EXPECT_GE(result.stats.attempts, 2);
        ::DeleteFileW(PathInFolder(L"flaky.exe").c_str());
    }
}

// The pauses of a download are spread as shipped, by the random numbers its settings hand in (the system's unless
// a test hands in its own): a manager that spread them by a constant would send every client back in step.
TEST_F(Retry, ThePausesOfADownloadAreSpreadByItsRandomNumbers) {
    const download::Settings shipped;
    std::set<double> drawn;
    for (int i = 0; i < 8; ++i)
        drawn.insert(shipped.random());
    EXPECT_GT(drawn.size(), 1u) << "the shipped spread is a constant";

    backend::Script(kPath, {{.status = 503}, {.status = 503}, {.body = "the file"}});
    download_testing::Reconfigure(*m_manager, [](download::Settings& s) {
        s.retry = download::RetryPolicy();
        s.retry.pauseBase = 300ms;
        // The longest pause the spread allows, every time.
        s.random = [] { return 0.999; };
    });

    const download::FileOutcome result = Download(backend::Url(kPath));

    EXPECT_TRUE(result.ok) << result.text;
    EXPECT_EQ(result.stats.attempts, 3);
    // 300 ms and 600 ms, each lengthened by half of itself; unspread, they would take 900 ms. A pause never ends
    // early, however busy the machine.
    EXPECT_GE(result.stats.paused, 1345ms) << result.stats.paused.count();
}

TEST_F(Retry, GivesUpAfterTheBoundWithTheLastTextsAndTheNumberOfAttempts) {
    backend::Script(kPath, {{.status = 503}});
    // The bound of attempts is the one under test: the time bound, which a busy machine may reach first, is moved
    // out of its way, and the pauses are short.
    download_testing::Reconfigure(*m_manager, [](download::Settings& s) {
        s.retry.pauseBase = 10ms;
        s.retry.timeWithoutProgress = std::chrono::hours(1);
    });

    const download::FileOutcome result = Download(backend::Url(kPath));

    EXPECT_FALSE(result.ok);
    // The last failure of each engine, then the count.
    const std::wstring winHttp = L"[WINHTTP] Download failed: Server returned status code: 503 [WININET]";
    EXPECT_EQ(result.text.substr(0, winHttp.size()), winHttp);
    EXPECT_TRUE(Contains(result.text, L"[WININET]Server returned status code: HTTP 503 - ")) << result.text;
    const std::wstring count = L" (6 attempts)";
    ASSERT_GE(result.text.size(), count.size());
    EXPECT_EQ(result.text.substr(result.text.size() - count.size()), count);
    EXPECT_EQ(result.stats.attempts, download::kMaxAttemptsWithoutProgress);
    EXPECT_EQ(backend::Requests(kPath).size(), static_cast<size_t>(download::kMaxAttemptsWithoutProgress));
    EXPECT_TRUE(ListFolder(m_folder).empty());
}

TEST_F(Retry, FailuresThatCannotPassMakeOneAttemptOrOneForEachEngine) {
    const struct {
        const char* name;
        std::wstring url;
        std::wstring fileName;
        std::vector<backend::Response> responses;
        // Requests that reach the backend on the https listeners.
        size_t requests;
        std::wstring text;
    } cases[] = {
        {"TLS refusal", backend::Tls10Url(kPath), L"", {{.bodySize = 1000}}, 0, L"[WINHTTP] Failed to send request: "},
        // A certificate of a trusted CA for another host: a verdict on the server, which WinINet would meet too.
        // (Wine's WinHTTP reports it as a failed secure channel; Windows names the host.)
        {"certificate for another host",
         backend::OtherNameUrl(kPath),
         L"",
         {{.bodySize = 1000}},
         0,
         L"[WINHTTP] Failed to send request: "},
        {"invalid length",
         backend::Url(kPath),
         L"",
         {{.body = "x", .headers = {{"Content-Length", "1x"}}, .noContentLength = true}},
         1,
         L"[WINHTTP] Invalid answer: the length \"1x\" is not a number. (1 attempt)"},
        {"name refused",
         backend::Url(kPath),
         L"CON.exe",
         {{.bodySize = 1000}},
         0,
         L"[WINHTTP] Invalid file name for the download: \"CON.exe\""},
        {"name too long for the folder",
         backend::Url(kPath),
         std::wstring(250, L'n') + L".exe",
         {{.bodySize = 1000}},
         0,
         L"[WINHTTP] File name too long for the download folder: "},
        // After a cut, the same strong ETag with another length: which of the two is the file nobody can tell.
        {"same version, another length",
         backend::Url(kPath),
         L"",
         {{.bodySize = kSize, .headers = kVersion1, .closeAfter = kSize / 2, .ranges = true},
          {.bodySize = kSize - kSize / 2 - 75712, .headers = kVersion1}},
         2,
         L"[WINHTTP] Download was incomplete: content length: 1048576, downloaded: 524288 [WININET]The server sent "
         L"the file of the same version (ETag \"v1\") with another length (448576 bytes against 1048576). (2 "
         L"attempts)"},
        // Not found is not retried; WinINet is asked once, as a proxy may stand between WinHTTP and the server.
        {"404",
         backend::Url(kPath),
         L"",
         {{.status = 404}},
         2,
         L"[WINHTTP] Download failed: Server returned status code: 404 [WININET]Server returned status code: HTTP 404"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script(kPath, c.responses);
        ForgetWinInetCache(c.url);

        auto task = std::async(std::launch::async,
                               [this, &c] { return m_manager->DownloadFile(c.url, m_window.Get(), c.fileName, true); });
        const download::FileOutcome result = m_window.Wait(task);

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.text.substr(0, c.text.size()), c.text);
        if (c.requests < 2) {
            EXPECT_FALSE(Contains(result.text, L"[WININET]")) << result.text;
        }
        EXPECT_EQ(backend::Requests(kPath).size(), c.requests);
        EXPECT_LE(result.stats.attempts, 2);
        EXPECT_TRUE(ListFolder(m_folder).empty());
    }
}

TEST_F(Retry, InstallerUrlsInCleartextAreRefusedBeforeAnyConnection) {
    const struct {
        std::wstring url;
        bool accepted;
    } cases[] = {
        {backend::HttpUrl(kPath), false},
        {L"HTTP://localhost" + std::wstring(kPath.begin(), kPath.end()), false},
        {L"hTtP://localhost:443" + std::wstring(kPath.begin(), kPath.end()), false},
        {backend::Url(kPath), true},
        {L"HTTPS://localhost" + std::wstring(kPath.begin(), kPath.end()), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.url.begin(), c.url.end()));
        backend::Reset();
        backend::Script(kPath, {{.body = "installer"}});

        const download::FileOutcome result = Download(c.url);
        const download::FileOutcome winInet = m_manager->DownloadFileWinInet(c.url, nullptr, L"", true);

        EXPECT_EQ(result.ok, c.accepted) << result.text;
        EXPECT_EQ(winInet.ok, c.accepted) << winInet.text;
        if (!c.accepted) {
            EXPECT_EQ(result.text,
                      L"[WINHTTP] Refused to download a file that will be run over a connection that is "
                      L"not secure: \"" +
                          c.url + L"\"");
            EXPECT_EQ(result.stats.attempts, 0);
            EXPECT_TRUE(backend::Requests().empty());
            for (const backend::Connection& connection : backend::Connections())
                EXPECT_NE(connection.listener, "http") << "a connection reached the cleartext listener";
            EXPECT_TRUE(ListFolder(m_folder).empty());
        }
        ::DeleteFileW(PathInFolder(L"flaky.exe").c_str());
    }
}

TEST_F(Retry, LeavingTheWizardEndsAPauseAtOnceAndNothingIsFetchedAfterwards) {
    download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.retry.pauseBase = 20000ms; });
    backend::Script(kPath, {{.status = 503}, {.bodySize = kSize}});

    auto task = std::async(std::launch::async,
                           [this] { return m_manager->DownloadFile(backend::Url(kPath), m_window.Get(), L"", true); });
    ASSERT_EQ(backend::Requests(kPath, 1, 20).size(), 1u);
    // Inside the pause.
    std::this_thread::sleep_for(300ms);
    const auto closed = std::chrono::steady_clock::now();
    m_manager->Cancel();
    const download::FileOutcome result = m_window.Wait(task);

    EXPECT_LT(std::chrono::steady_clock::now() - closed, 1s);
    EXPECT_FALSE(result.ok);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(backend::Requests(kPath).size(), 1u);
    EXPECT_TRUE(ListFolder(m_folder).empty());
}

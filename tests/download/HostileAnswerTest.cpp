// What a broken or hostile server may answer, against both engines: every answer that is not a whole file ends
// in a failure with its own text, or at worst (where the platform's HTTP stack hides a cut) in a file that the
// whole-installer check refuses. Nothing of a failed download stays in the download folder or in WinINet's cache,
// and no request reaches the server once a download has returned.
#include "download/DownloadManager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <future>
#include <string>
#include <thread>

#include "download/DownloadTesting.h"
#include "download/InstallerCheck.h"
#include "download/InstallerFixtures.h"
#include "support/Backend.h"

using namespace download_testing;
using namespace std::chrono_literals;

namespace {

const std::string kPath = "/files/hostile.exe";

enum class Outcome {
    // Both engines fail with their texts.
    Refused,
    // The cut may pass the transport unseen; then the file left is not whole.
    NotWhole,
};

struct HostileCase {
    const char* name;
    std::vector<backend::Response> responses;
    Outcome outcome;
    std::wstring winHttpText;  // start of the WinHTTP engine's message
    std::wstring winInetText;  // start of the WinINet engine's message
    bool rescued = true;       // whether DownloadFile hands the WinHTTP failure to WinINet
    std::wstring url;          // backend::Url(kPath) when empty
    size_t requests = 0;       // requests each engine's run makes, when not 0
};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

class HostileAnswer : public DownloadTest {
protected:
    void SetUp() override {
        DownloadTest::SetUp();
        download_testing::Reconfigure(*m_manager, [](download::Settings& s) {
            s.transfer.stallTimeout = 4000ms;
            s.transfer.rateWindow = 2000ms;
            // One attempt of each engine: the attempts that follow a failure that may pass are RetryTest's.
            s.retry.maxAttemptsWithoutProgress = 2;
        });
    }

    download::FileOutcome DownloadWinInet(const std::wstring& url) {
        auto task = std::async(std::launch::async, [manager = m_manager, window = m_window.Get(), url] {
            return manager->DownloadFileWinInet(url, window, L"", true);
        });
        return m_window.Wait(task);
    }

    // What must hold after any download of a hostile answer has returned.
    void ExpectNothingLeft(const download::FileOutcome& result, const std::wstring& url) {
        if (result.ok) {
            EXPECT_NE(CheckInstallerIsWhole(PathInFolder(L"hostile.exe")), L"") << "a cut installer passes as whole";
            ::DeleteFileW(PathInFolder(L"hostile.exe").c_str());
        }
        EXPECT_TRUE(ListFolder(m_folder).empty()) << "a file stays behind";
        EXPECT_FALSE(InWinInetCache(url)) << "WinINet kept a copy";
        const size_t requests = backend::Requests().size();
        std::this_thread::sleep_for(1s);
        const std::vector<backend::Request> later = backend::Requests();
        EXPECT_EQ(later.size(), requests) << "requests after the download returned:" << Describe(later, requests);
    }

    // Every request since the case began, the late ones marked, so that a failure shows where they came from.
    static std::string Describe(const std::vector<backend::Request>& requests, size_t returnedAt) {
        std::string text;
        for (size_t i = 0; i < requests.size(); ++i) {
            const backend::Request& r = requests[i];
            char time[32];
            std::snprintf(time, sizeof(time), "%.3f", r.time);
            text += std::string("\n  ") + (i < returnedAt ? "  " : "* ") + time + " " + r.listener + " " + r.method +
                    " " + r.target.substr(0, 120) + " (User-Agent \"" + r.Header("User-Agent") + "\"; headers";
            // WinINet's request tells itself apart from WinHTTP's by the headers it adds.
            for (const auto& header : r.headers)
                text += " " + header.first;
            text += ")";
        }
        return text;
    }

    void Run(const HostileCase& c) {
        SCOPED_TRACE(c.name);
        const std::wstring url = c.url.empty() ? backend::Url(kPath) : c.url;
        ForgetWinInetCache(url);
        backend::Reset();
        backend::Script(kPath, c.responses);
        backend::Script("/files/plain.exe", {{.body = MakeProgram()}});
        backend::Script("/files/hop.exe", {{.redirect = "http://localhost/files/plain.exe"}});

        {
            SCOPED_TRACE("both engines");
            const download::FileOutcome both = Download(url);
            if (c.outcome == Outcome::Refused) {
                EXPECT_FALSE(both.ok);
                EXPECT_TRUE(StartsWith(both.text, L"[WINHTTP] " + c.winHttpText)) << both.text;
                const size_t winInet = both.text.find(L" [WININET]");
                if (c.rescued) {
                    EXPECT_NE(winInet, std::wstring::npos) << both.text;
                    if (winInet != std::wstring::npos)
                        EXPECT_TRUE(StartsWith(both.text.substr(winInet + 10), c.winInetText)) << both.text;
                } else {
                    EXPECT_EQ(winInet, std::wstring::npos) << both.text;
                }
            }
            if (c.requests > 0) {
                EXPECT_EQ(backend::Requests().size(), c.requests);
            }
            ExpectNothingLeft(both, url);
        }

        SCOPED_TRACE("WinINet alone");
        backend::ClearRequests();
        const download::FileOutcome alone = DownloadWinInet(url);
        if (c.outcome == Outcome::Refused) {
            EXPECT_FALSE(alone.ok);
            EXPECT_TRUE(StartsWith(alone.text, L" [WININET]" + c.winInetText)) << alone.text;
        }
        if (c.requests > 0) {
            EXPECT_EQ(backend::Requests().size(), c.requests);
        }
        ExpectNothingLeft(alone, url);
        for (const backend::Request& request : backend::Requests())
            EXPECT_NE(request.listener, "http") << "went on in cleartext";
    }
};

}  // namespace

TEST_F(HostileAnswer, CutBodiesNeverPassAsWholeInstallers) {
    const std::string program = MakeProgram({.sections = 4, .sectionBytes = 0x8000});
    // Where no length was announced, no engine tells a cut from the end (Wine's WinHTTP and WinINet read a garbage
    // chunk size as the last chunk, and a close inside a chunk as the body's end): such a body is refused before it
    // is read, whichever way it would have ended.
    const std::wstring unmarked =
        L"The server did not say how long the file is, and without a published hash or "
        L"signer a cut file could not be told from a whole one.";
    const HostileCase cases[] = {
        {"chunked body cut",
         {{.body = program, .chunkSize = 8192, .closeAfter = 60000, .chunked = true}},
         Outcome::Refused,
         unmarked,
         unmarked,
         false},
        {"chunked body cut inside its tenth chunk",
         {{.body = program, .chunkSize = 8192, .closeAfter = 8192 * 9 + 4000, .chunked = true, .cutInsideChunk = true}},
         Outcome::Refused,
         unmarked,
         unmarked,
         false},
        {"malformed chunk size",
         {{.body = program, .chunkSize = 8192, .closeAfter = 60000, .chunked = true, .badChunkSize = "zz"}},
         Outcome::Refused,
         unmarked,
         unmarked,
         false},
        {"garbage size line after four chunks",
         {{.body = program.substr(0, 4 * 8192), .chunkSize = 8192, .chunked = true, .badChunkSize = "garbage"}},
         Outcome::Refused,
         unmarked,
         unmarked,
         false},
        {"connection cut without a length",
         {{.body = program, .chunkSize = 8192, .noContentLength = true, .closeAfter = 60000}},
         Outcome::Refused,
         unmarked,
         unmarked,
         false},
        {"whole body without a length",
         {{.body = program, .chunkSize = 8192, .noContentLength = true}},
         Outcome::Refused,
         unmarked,
         unmarked,
         false},
        {"header block cut without a length",
         {{.body = program, .noContentLength = true, .cutHeaders = true}},
         Outcome::NotWhole},
        {"header block cut after its length",
         {{.body = program, .cutHeaders = true}},
         Outcome::Refused,
         L"Download was incomplete: content length: " + std::to_wstring(program.size()) + L", downloaded: 0",
         L"Download was incomplete: content length: " + std::to_wstring(program.size()) + L", downloaded: 0"},
        // The beginning of the file as a 206 nobody asked for: a part, never the whole.
        {"206 nobody asked for",
         {{.status = 206,
           .body = program.substr(0, 20000),
           .headers = {{"Content-Range", "bytes 0-19999/" + std::to_string(program.size())}}}},
         Outcome::Refused,
         L"Download was incomplete: content length: " + std::to_wstring(program.size()) + L", downloaded: 20000",
         L"Download was incomplete: content length: " + std::to_wstring(program.size()) + L", downloaded: 20000"},
        {"2 GiB+ length, cut early",
         {{.bodySize = 100000, .contentLength = 3000000000ull, .closeAfter = 100000}},
         Outcome::Refused,
         L"Download was incomplete: content length: 3000000000, downloaded: 100000",
         L"Download was incomplete: content length: 3000000000, downloaded: 100000"},
    };
    for (const HostileCase& c : cases)
        Run(c);
}

TEST_F(HostileAnswer, InvalidAnswersAreRefusedByBothEnginesWithoutARescue) {
    const std::string program = MakeProgram();
    const HostileCase cases[] = {
        {"length that is not a number",
         {{.body = program, .headers = {{"Content-Length", "12ab"}}, .noContentLength = true}},
         Outcome::Refused,
         L"Invalid answer: the length \"12ab\" is not a number.",
         L"Invalid answer: the length \"12ab\" is not a number.",
         false},
        {"conflicting lengths",
         {{.body = program,
           .headers = {{"Content-Length", "100"}, {"Content-Length", "200"}},
           .noContentLength = true}},
         Outcome::Refused,
         L"Invalid answer: conflicting lengths 100 and 200.",
         L"Invalid answer: conflicting lengths 100 and 200.",
         false},
        {"content coding nobody asked for",
         {{.body = program, .headers = {{"Content-Encoding", "gzip"}}}},
         Outcome::Refused,
         L"The server sent the file in a coding it was not asked for (Content-Encoding \"gzip\").",
         L"The server sent the file in a coding it was not asked for (Content-Encoding \"gzip\").",
         false},
        {"redirect loop",
         {{.redirect = kPath}},
         Outcome::Refused,
         L"Too many redirects.",
         L"Too many redirects.",
         false,
         L"",
         6},
        {"https to http",
         {{.redirect = "http://localhost/files/plain.exe"}},
         Outcome::Refused,
         L"Refused a redirect from https to http: \"http://localhost/files/plain.exe\"",
         L"Refused a redirect from https to http: \"http://localhost/files/plain.exe\"",
         false},
        {"https to http after a hop",
         {{.redirect = "/files/hop.exe"}},
         Outcome::Refused,
         L"Refused a redirect from https to http: \"http://localhost/files/plain.exe\"",
         L"Refused a redirect from https to http: \"http://localhost/files/plain.exe\"",
         false},
    };
    for (const HostileCase& c : cases)
        Run(c);
}

TEST_F(HostileAnswer, ServersThatDripAreGivenUpOn) {
    const std::string program = MakeProgram();
    backend::Headers headers;
    for (int i = 0; i < 30; ++i)
        headers.push_back({"X-Drip-" + std::to_string(i), "1"});
    const HostileCase cases[] = {
        // Never silent for long, so only the rate floor ends it.
        {"body that drips",
         {{.body = program, .chunkDelaySeconds = 0.1, .chunkSize = 32}},
         Outcome::Refused,
         L"Transfer too slow: less than 1024 bytes per second for 2 seconds.",
         L"Transfer too slow: less than 1024 bytes per second for 2 seconds."},
        // A byte a second restarts WinHTTP's timeouts under Wine: its watch ends it at twice the stall limit.
        {"header block that drips",
         {{.body = program, .headers = headers, .headerDelaySeconds = 1}},
         Outcome::Refused,
         L"No progress for 8 seconds.",
         L"No data received for 4 seconds."},
    };
    for (const HostileCase& c : cases)
        Run(c);
}

TEST_F(HostileAnswer, ServerOfferingOnlyTls10IsRefusedWithoutARescue) {
    backend::Script(kPath, {{.body = MakeProgram()}});
    const std::wstring url = backend::Tls10Url(kPath);
    ForgetWinInetCache(url);

    const download::FileOutcome result = Download(url);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(StartsWith(result.text, L"[WINHTTP] Failed to send request: ")) << result.text;
    // WinINet takes its TLS versions from the system and not every WinINet tells which one it used: it must not
    // be asked after such a refusal.
    EXPECT_EQ(result.text.find(L"[WININET]"), std::wstring::npos) << result.text;
    ExpectNothingLeft(result, url);

    const DownloadedBytes image = m_manager->DownloadToMemory(url);
    ASSERT_NE(image, nullptr);
    EXPECT_TRUE(image->empty());
    EXPECT_TRUE(backend::Requests().empty()) << "a request went out over TLS 1.0";
}

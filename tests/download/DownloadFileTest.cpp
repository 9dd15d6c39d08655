// Installer downloads to disk against the local backend: both engines, their texts, progress messages, redirects,
// cancellation and the pause before the rescue engine. (Attempts after failures that pass: RetryTest.cpp.)
#include "download/DownloadManager.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <string>
#include <thread>

#include "download/DownloadTesting.h"
#include "download/Failure.h"
#include "download/InstallerFetch.h"
#include "l10n/MessageBoxRecorder.h"
#include "download/ProgressMessages.h"
#include "support/Backend.h"
#include "support/WindowTesting.h"

using namespace download_testing;
using namespace std::chrono_literals;

namespace {

class FileDownload : public DownloadTest {};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// Percentages grow by at least one point each, stay within 0..100, and end with 100 (which the end of the
// transfer may post once more).
void ExpectGrowingPercentagesEndingAt100(const std::vector<unsigned>& values, size_t atLeast) {
    ASSERT_GE(values.size(), atLeast);
    EXPECT_LE(values.size(), 102u);
    EXPECT_EQ(values.back(), 100u);
    for (size_t i = 1; i + 1 < values.size(); ++i)
        EXPECT_GT(values[i], values[i - 1]) << "at " << i;
    for (unsigned value : values)
        EXPECT_LE(value, 100u);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    win32::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

}  // namespace

TEST_F(FileDownload, WritesTheBodyByteForByteAndPostsOneMessagePerGrownPoint) {
    const size_t size = 1024 * 1024 + 123;
    backend::Script("/files/setup.exe", {{.bodySize = size, .chunkSize = 4096}});

    const download::FileOutcome result = Download(backend::Url("/files/setup.exe"));

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.text, L"");
    EXPECT_FALSE(result.folderMissing);
    EXPECT_EQ(result.savedPath, PathInFolder(L"setup.exe"));
    EXPECT_TRUE(ReadWholeFile(PathInFolder(L"setup.exe")) == GeneratedBytes(size)) << "the file differs";
    EXPECT_EQ(m_window.MarqueeCount(), 0u);
    ExpectGrowingPercentagesEndingAt100(m_window.Percentages(), 50);
    // WinHTTP did it alone.
    auto requests = backend::Requests("/files/setup.exe");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
}

// A download's file and attempts come back to its own caller: another download of the same manager that ends
// meanwhile changes neither.
TEST_F(FileDownload, TwoDownloadsAtOnceEachGetTheirOwnFileAndAttempts) {
    backend::Script("/files/slow.exe",
                    {{.status = 503}, {.bodySize = 40000, .chunkDelaySeconds = 0.3, .chunkSize = 10000}});
    backend::Script("/files/quick.exe", {{.body = "quick"}});

    auto slow = std::async(std::launch::async, [this] {
        return m_manager->DownloadFile(backend::Url("/files/slow.exe"), m_window.Get(), L"", true);
    });
    ASSERT_TRUE(testing_ui::WaitFor([] { return backend::Requests("/files/slow.exe").size() == 2; }, 20s));
    const download::FileOutcome quick = Download(backend::Url("/files/quick.exe"));
    const download::FileOutcome first = m_window.Wait(slow);

    EXPECT_EQ(Verdict(quick), DownloadResult(true, L""));
    EXPECT_EQ(quick.savedPath, PathInFolder(L"quick.exe"));
    EXPECT_EQ(quick.stats.attempts, 1);
    EXPECT_TRUE(first.ok) << first.text;
    EXPECT_EQ(first.savedPath, PathInFolder(L"slow.exe"));
    EXPECT_EQ(first.stats.attempts, 2);
    EXPECT_TRUE(ReadWholeFile(first.savedPath) == GeneratedBytes(40000)) << "the slow file differs";
}

TEST_F(FileDownload, UsesTheGivenFileNameAndSendsTheQuery) {
    backend::Script("/files/get", {{.body = "installer bytes"}});

    const download::FileOutcome result = Download(backend::Url("/files/get?id=7&os=win"), L"Quarvel Setup.exe");

    EXPECT_EQ(Verdict(result), DownloadResult(true, L""));
    EXPECT_EQ(result.savedPath, PathInFolder(L"Quarvel Setup.exe"));
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"Quarvel Setup.exe")), "installer bytes");
    auto requests = backend::Requests("/files/get");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].target, "/files/get?id=7&os=win");
}

// Only a check of the content after the download can vouch for a body whose length nobody announced.
TEST_F(FileDownload, UnknownLengthShowsMarqueeAndSkipsPercentagesWhenTheContentIsCheckedAfterwards) {
    const size_t size = 300000;
    struct Case {
        const char* name;
        backend::Response response;
    } cases[] = {
        {"close-delimited", {.bodySize = size, .chunkSize = 8192, .noContentLength = true}},
        {"chunked", {.bodySize = size, .chunkSize = 8192, .chunked = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Script("/files/unknown.bin", {c.response});
        m_window.Clear();

        const download::FileOutcome result = Download(backend::Url("/files/unknown.bin"), L"", true);

        EXPECT_EQ(Verdict(result), DownloadResult(true, L""));
        EXPECT_TRUE(ReadWholeFile(PathInFolder(L"unknown.bin")) == GeneratedBytes(size));
        // One marquee message and nothing else: no percentages, no final 100.
        ASSERT_EQ(m_window.Messages().size(), 1u);
        EXPECT_EQ(m_window.Messages()[0].id, WM_DOWNLOAD_MARQUEE);
        ::DeleteFileW(PathInFolder(L"unknown.bin").c_str());

        const download::FileOutcome unchecked = Download(backend::Url("/files/unknown.bin"));
        EXPECT_FALSE(unchecked.ok);
        EXPECT_EQ(unchecked.text.rfind(L"[WINHTTP] The server did not say how long the file is", 0), 0u)
            << unchecked.text;
        EXPECT_EQ(unchecked.stats.attempts, 1);
        EXPECT_TRUE(ListFolder(m_folder).empty());
    }
}

TEST_F(FileDownload, BodyOfAnotherLengthThanAnnouncedFailsInBothEnginesAndLeavesNoFile) {
    struct Case {
        const char* name;
        backend::Response response;
        std::wstring winHttpText;
        std::wstring winInetText;
        // A cut body may pass; one longer than announced would come the same way again.
        size_t attempts;
    } cases[] = {
        {"shorter, connection closed",
         {.bodySize = 60000, .contentLength = 100000},
         L"Download was incomplete: content length: 100000, downloaded: 60000",
         L"Download was incomplete: content length: 100000, downloaded: 60000 (6 attempts)",
         6},
        {"longer, chunked beside a Content-Length",
         {.bodySize = 80000, .headers = {{"Content-Length", "50000"}}, .chunked = true},
         L"Download was incomplete: content length: 50000, downloaded: 80000",
         L"Download was incomplete: content length: 50000, downloaded: 80000 (2 attempts)",
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/files/odd.bin", {c.response});

        const download::FileOutcome result = Download(backend::Url("/files/odd.bin"));

        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.text, L"[WINHTTP] " + c.winHttpText + L" [WININET]" + c.winInetText);
        EXPECT_FALSE(FileExists(PathInFolder(L"odd.bin")));
        EXPECT_TRUE(ListFolder(m_folder).empty());
        EXPECT_EQ(backend::Requests("/files/odd.bin").size(), c.attempts);
    }
}

TEST_F(FileDownload, NotFoundRunsBothEnginesTextsTogetherAndLeavesNoFile) {
    backend::Script("/files/missing.exe", {{.status = 404, .body = "no such file"}});

    const download::FileOutcome result = Download(backend::Url("/files/missing.exe"));

    EXPECT_FALSE(result.ok);
    const std::wstring expected =
        L"[WINHTTP] Download failed: Server returned status code: 404 [WININET]Server returned status code: HTTP 404 "
        L"- ";
    EXPECT_TRUE(StartsWith(result.text, expected)) << result.text;
    EXPECT_EQ(ListFolder(m_folder).size(), 0u);
    EXPECT_EQ(backend::Requests("/files/missing.exe").size(), 2u);
}

TEST_F(FileDownload, WinInetRescuesAFailedWinHttpAttempt) {
    backend::Script("/files/flaky.exe", {{.status = 503}, {.body = "second engine"}});

    const download::FileOutcome result = Download(backend::Url("/files/flaky.exe"));

    // The flag tells the rescue; the text still holds what WinHTTP met.
    EXPECT_EQ(Verdict(result), DownloadResult(true, L"[WINHTTP] Download failed: Server returned status code: 503"));
    EXPECT_EQ(result.savedPath, PathInFolder(L"flaky.exe"));
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"flaky.exe")), "second engine");
    ExpectGrowingPercentagesEndingAt100(m_window.Percentages(), 1);
}

TEST_F(FileDownload, RefusedConnectionGivesBothEnginesSystemCodes) {
    const download::FileOutcome result = Download(L"https://localhost:1/setup.exe");

    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(StartsWith(result.text, L"[WINHTTP] Failed to send request: 12029 - ")) << result.text;
    EXPECT_NE(result.text.find(L" [WININET]Failed to open URL:: 12029 - "), std::wstring::npos) << result.text;
    EXPECT_EQ(ListFolder(m_folder).size(), 0u);
}

TEST_F(FileDownload, FollowsFiveRedirectsOfEveryFormAndFailsTheSixthInBothEngines) {
    // hop1 -> hop2 -> ... -> hop6 -> the file. The targets are written as a full URL, a path, a relative
    // reference, and a path too long for the first buffer offered for it.
    const std::string longQuery(300, 'q');
    backend::Script("/hop1", {{.redirect = "https://localhost/hop2"}});
    backend::Script("/hop2", {{.status = 301, .redirect = "/hop3"}});
    backend::Script("/hop3", {{.status = 307, .redirect = "hop4"}});
    backend::Script("/hop4", {{.redirect = "/hop5?pad=" + longQuery}});
    backend::Script("/hop5", {{.status = 303, .redirect = "//localhost/hop6"}});
    backend::Script("/hop6", {{.redirect = "/files/final.bin"}});
    backend::Script("/files/final.bin", {{.body = "landed"}});

    for (const bool winInet : {false, true}) {
        SCOPED_TRACE(winInet ? "WinINet" : "WinHTTP");
        backend::ClearRequests();
        auto task = std::async(std::launch::async, [manager = m_manager, window = m_window.Get(), winInet] {
            return winInet ? manager->DownloadFileWinInet(backend::Url("/hop2"), window, L"", true)
                           : manager->DownloadFile(backend::Url("/hop2"), window, L"", true);
        });
        EXPECT_EQ(Verdict(m_window.Wait(task)), DownloadResult(true, L""));
        EXPECT_EQ(ReadWholeFile(PathInFolder(L"hop2")), "landed");
        auto requests = backend::Requests();
        ASSERT_EQ(requests.size(), 6u);
        EXPECT_EQ(requests[3].target, "/hop5?pad=" + longQuery);
        EXPECT_EQ(requests[5].path, "/files/final.bin");
    }

    backend::ClearRequests();
    const download::FileOutcome six = Download(backend::Url("/hop1"));
    // WinHTTP stops at the sixth redirect response without requesting its target; WinINet, which would follow
    // the same chain to the same end, is not asked.
    EXPECT_EQ(Verdict(six), DownloadResult(false, L"[WINHTTP] Too many redirects. (1 attempt)"));
    EXPECT_FALSE(FileExists(PathInFolder(L"hop1")));
    auto requests = backend::Requests();
    ASSERT_EQ(requests.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(requests[i].path, "/hop" + std::to_string(i + 1));

    backend::ClearRequests();
    const download::FileOutcome alone = m_manager->DownloadFileWinInet(backend::Url("/hop1"), nullptr, L"", true);
    EXPECT_EQ(Verdict(alone), DownloadResult(false, L" [WININET]Too many redirects."));
    EXPECT_EQ(backend::Requests().size(), 6u);
}

TEST_F(FileDownload, RedirectsThatCannotBeFollowedFailTheWinHttpPass) {
    struct Case {
        const char* name;
        backend::Response response;
        std::wstring winHttpText;
    } cases[] = {
        {"no Location", {.status = 302}, L"[WINHTTP] Download failed: Server returned status code: 302 [WININET]"},
        {"another scheme",
         {.redirect = "ftp://localhost/setup.exe"},
         L"[WINHTTP] Refused a redirect to a URL that is neither http nor https: \"ftp://localhost/setup.exe\""},
        {"garbage", {.redirect = "https://"}, L"[WINHTTP] Failed to parse URL: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/files/moved.exe", {c.response});

        const download::FileOutcome result = Download(backend::Url("/files/moved.exe"));

        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(StartsWith(result.text, c.winHttpText)) << result.text;
        EXPECT_EQ(ListFolder(m_folder).size(), 0u);
    }
}

TEST_F(FileDownload, CancellationStopsTheTransferAtTheNextChunkAndNothingMoreIsFetched) {
    // 32 chunks of 64 KiB, 0.1 s apart: about 3 s for a transfer that runs to its end.
    const size_t size = 2 * 1024 * 1024;
    backend::Script("/files/slow.bin", {{.bodySize = size, .chunkDelaySeconds = 0.1, .chunkSize = 65536}});

    auto task = std::async(std::launch::async, [this] {
        return m_manager->DownloadFile(backend::Url("/files/slow.bin"), m_window.Get(), L"", true);
    });
    ASSERT_TRUE(testing_ui::WaitFor([this] { return !m_window.Percentages().empty(); }, 20s));
    m_manager->Cancel();
    const download::FileOutcome result = m_window.Wait(task);

    EXPECT_EQ(Verdict(result), DownloadResult(false, L"[WINHTTP] Download cancelled. (1 attempt)"));
    EXPECT_TRUE(ListFolder(m_folder).empty());
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(backend::Requests("/files/slow.bin").size(), 1u);

    // WinINet stops the same way.
    m_manager->Rearm();
    backend::ClearRequests();
    auto alone = std::async(std::launch::async, [this] {
        return m_manager->DownloadFileWinInet(backend::Url("/files/slow.bin"), m_window.Get(), L"", true);
    });
    ASSERT_TRUE(testing_ui::WaitFor([] { return !backend::Requests("/files/slow.bin").empty(); }, 20s));
    std::this_thread::sleep_for(300ms);
    m_manager->Cancel();
    EXPECT_EQ(Verdict(m_window.Wait(alone)), DownloadResult(false, L" [WININET]Download cancelled."));
    EXPECT_TRUE(ListFolder(m_folder).empty());
}

TEST_F(FileDownload, SilentServerFailsBothEnginesOnceTheStallLimitPasses) {
    download_testing::Reconfigure(*m_manager, [](download::Settings& s) {
        s.transfer.stallTimeout = 2000ms;
        s.retry.maxAttemptsWithoutProgress = 2;
    });
    struct Case {
        const char* name;
        backend::Response response;
        std::wstring winHttpText;
    } cases[] = {
        {"no answer", {.body = "late", .delaySeconds = 30}, L"[WINHTTP] Failed to receive response: "},
        {"body stops",
         {.bodySize = 100000, .chunkDelaySeconds = 30, .chunkSize = 10000},
         L"[WINHTTP] Failed to query data: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/files/silent.bin", {c.response});
        const auto start = std::chrono::steady_clock::now();

        const download::FileOutcome result = Download(backend::Url("/files/silent.bin"));

        EXPECT_LT(std::chrono::steady_clock::now() - start, 12s);
        EXPECT_FALSE(result.ok);
        EXPECT_TRUE(StartsWith(result.text, c.winHttpText)) << result.text;
        EXPECT_NE(result.text.find(L" [WININET]No data received for 2 seconds."), std::wstring::npos) << result.text;
        EXPECT_EQ(backend::Requests("/files/silent.bin").size(), 2u);
    }
}

TEST_F(FileDownload, WinInetStartsOneFirstPauseAfterWinHttpFailed) {
    download_testing::Reconfigure(*m_manager, [](download::Settings& s) {
        s.retry.pauseBase = 2000ms;
        s.retry.jitter = 0;
    });
    backend::Script("/files/missing.exe", {{.status = 404}});

    const download::FileOutcome result = Download(backend::Url("/files/missing.exe"));

    EXPECT_FALSE(result.ok);
    auto requests = backend::Requests("/files/missing.exe");
    ASSERT_EQ(requests.size(), 2u);
    const double pause = requests[1].time - requests[0].time;
    EXPECT_GE(pause, 1.95);
    EXPECT_LT(pause, 6.0);
}

// An installer fetched for the page comes held: from its checks on, nobody can replace or delete it until the page
// lets it go.
TEST_F(FileDownload, AFetchedInstallerComesHeld) {
    backend::Script("/files/setup.exe", {{.body = "MZ whole"}});
    download::FetchedInstaller fetched =
        download::FetchInstaller(*m_manager, {.url = backend::Url("/files/setup.exe")}, m_window.Get());

    ASSERT_TRUE(fetched.ok) << fetched.text;
    EXPECT_TRUE(fetched.held.IsHeld());
    EXPECT_FALSE(::DeleteFileW(fetched.savedPath.c_str()));
    fetched.held.Release();
    EXPECT_TRUE(::DeleteFileW(fetched.savedPath.c_str()));
}

// From its first byte to its hold the installer is the download's alone: while it is written, others may read it
// but neither write it, rename it nor delete it; and the file that comes held holds the bytes sent.
TEST_F(FileDownload, NobodyElseWritesRenamesOrDeletesTheFileWhileItIsWritten) {
    const size_t size = 40000;
    backend::Script("/files/setup.exe", {{.bodySize = size, .chunkDelaySeconds = 0.3, .chunkSize = 10000}});
    auto task = std::async(std::launch::async, [this] {
        return download::FetchInstaller(*m_manager, {.url = backend::Url("/files/setup.exe")}, m_window.Get());
    });
    std::wstring partial;
    ASSERT_TRUE(testing_ui::WaitFor(
        [&] {
            const auto names = ListFolder(m_folder);
            if (!names.empty())
                partial = PathInFolder(names.front());
            return !names.empty();
        },
        10s));

    const std::wstring elsewhere = PathInFolder(L"elsewhere.tmp");
    win32::FileHandle writer(::CreateFileW(partial.c_str(), GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer) << "another program could write the file";
    EXPECT_FALSE(::MoveFileExW(partial.c_str(), elsewhere.c_str(), 0)) << "another program could rename the file";
    EXPECT_FALSE(::DeleteFileW(partial.c_str())) << "another program could delete the file";
    win32::FileHandle reader(::CreateFileW(partial.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(reader);
    reader.Reset();

    download::FetchedInstaller fetched = m_window.Wait(task);
    ASSERT_TRUE(fetched.ok) << fetched.text;
    EXPECT_TRUE(fetched.held.IsHeld());
    EXPECT_TRUE(ReadWholeFile(fetched.savedPath) == GeneratedBytes(size)) << "the file differs";
    EXPECT_EQ(fetched.held.Id(), fetched.savedId);
    fetched.held.Release();
}

// The name of a finished download may come to stand for another file before it is held (a program that renames
// its own file over it): the file held must be the one written, or nothing is run and the impostor goes.
TEST_F(FileDownload, AFileSwappedUnderTheNameAfterTheLastByteIsRefusedAndDeleted) {
    const std::wstring written = PathInFolder(L"setup.exe");
    const std::wstring impostor = PathInFolder(L"impostor.exe");
    WriteBytes(written, "MZ written");
    WriteBytes(impostor, "MZ impostor");
    download::FileId writtenId;
    {
        win32::FileHandle file(::CreateFileW(written.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
        writtenId = download::FileIdOf(file.Get());
    }
    ASSERT_TRUE(writtenId.known);

    download::VerifiedFile same = download::VerifyInstaller(written, {}, writtenId);
    EXPECT_TRUE(same.ok) << same.text;
    same.held.Release();

    ASSERT_TRUE(::MoveFileExW(impostor.c_str(), written.c_str(), MOVEFILE_REPLACE_EXISTING));
    download::VerifiedFile swapped = download::VerifyInstaller(written, {}, writtenId);
    EXPECT_FALSE(swapped.ok);
    EXPECT_EQ(swapped.text, L"Downloaded installer was replaced before it could be checked.");
    EXPECT_FALSE(swapped.held.IsHeld());
    EXPECT_EQ(::GetFileAttributesW(written.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The download tells its caller of the missing folder and shows nothing itself: telling the user is the page's.
TEST_F(FileDownload, MissingFolderIsSaidToTheCallerAndFailsBothEngines) {
    m_configuration->m_tempFolder = m_folder + L"\\not-there";
    download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.retry.pauseBase = 1000ms; });
    backend::Script("/files/setup.exe", {{.body = "x"}});

    testing_ui::MessageBoxRecorder boxes;
    auto task = std::async(std::launch::async, [this] {
        return m_manager->DownloadFile(backend::Url("/files/setup.exe"), m_window.Get(), L"", true);
    });
    const download::FileOutcome result = m_window.Wait(task);

    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_TRUE(result.folderMissing);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(StartsWith(result.text, L"[WINHTTP] Failed to open file for writing: ")) << result.text;
    EXPECT_NE(result.text.find(L" [WININET]Failed to open file for writing: "), std::wstring::npos);
    EXPECT_EQ(ListFolder(m_folder).size(), 0u);
}

TEST(SystemErrorText, IsTheSystemsTextOrEmpty) {
    const std::wstring text = download::SystemMessage(ERROR_FILE_NOT_FOUND);
    EXPECT_GT(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), L"\r\n");
    EXPECT_EQ(download::SystemMessage(0xDEAD1234), L"");
}

// A file of the download's name (a user's own file in the Downloads folder) is never replaced: a failed download
// leaves it alone, and a whole one lands beside it under the next free name, through either engine.
TEST_F(FileDownload, FileOfTheSameNameIsNeverReplaced) {
    const std::wstring target = PathInFolder(L"setup.exe");
    {
        std::ofstream out(target.c_str(), std::ios::binary);
        out << "the user's own file";
    }
    const struct {
        const char* name;
        backend::Response response;
    } failures[] = {
        {"not found", {.status = 404}},
        {"cut short", {.bodySize = 50000, .contentLength = 90000}},
        {"invalid length", {.body = "x", .headers = {{"Content-Length", "1, 2"}}, .noContentLength = true}},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.name);
        backend::Script("/files/setup.exe", {c.response});
        EXPECT_FALSE(Download(backend::Url("/files/setup.exe")).ok);
        EXPECT_EQ(ReadWholeFile(target), "the user's own file");
        EXPECT_EQ(ListFolder(m_folder), std::vector<std::wstring>{L"setup.exe"});
    }

    // A folder of a numbered name is passed over as well.
    ASSERT_TRUE(::CreateDirectoryW(PathInFolder(L"setup (2).exe").c_str(), nullptr));
    backend::Script("/files/setup.exe", {{.body = "new installer"}});
    const download::FileOutcome first = Download(backend::Url("/files/setup.exe"));
    EXPECT_EQ(Verdict(first), DownloadResult(true, L""));
    EXPECT_EQ(first.savedPath, PathInFolder(L"setup (1).exe"));
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"setup (1).exe")), "new installer");
    const download::FileOutcome alone =
        m_manager->DownloadFileWinInet(backend::Url("/files/setup.exe"), m_window.Get(), L"", true);
    EXPECT_EQ(Verdict(alone), DownloadResult(true, L""));
    EXPECT_EQ(alone.savedPath, PathInFolder(L"setup (3).exe"));
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"setup (3).exe")), "new installer");
    EXPECT_EQ(ReadWholeFile(target), "the user's own file");
    EXPECT_EQ(ListFolder(m_folder).size(), 4u);
}

// Once every numbered name is taken the download fails, at once (the rescue engine would only find the same), and
// leaves nothing behind.
TEST_F(FileDownload, FailsWhenNoNumberedNameIsFree) {
    for (int number = 0; number <= 100; ++number) {
        const std::wstring name = number == 0 ? L"setup.exe" : L"setup (" + std::to_wstring(number) + L").exe";
        std::ofstream(PathInFolder(name).c_str(), std::ios::binary) << number;
    }
    backend::Script("/files/setup.exe", {{.body = "new installer"}});

    EXPECT_EQ(Verdict(Download(backend::Url("/files/setup.exe"))),
              DownloadResult(false,
                             L"[WINHTTP] Failed to put the downloaded file in place: no free name beside "
                             L"\"setup.exe\". (1 attempt)"));
    EXPECT_EQ(backend::Requests("/files/setup.exe").size(), 1u);
    EXPECT_EQ(ListFolder(m_folder).size(), 101u);
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"setup (100).exe")), "100");
}

TEST_F(FileDownload, StalledWinInetTransferIsClosedAndItsFileGoneBeforeItsFailureIsReported) {
    download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.transfer.stallTimeout = 2000ms; });
    // Two chunks, then silence far longer than the limit.
    backend::Script("/files/stalled.exe", {{.bodySize = 100000, .chunkDelaySeconds = 60, .chunkSize = 20000}});

    const download::FileOutcome result =
        m_manager->DownloadFileWinInet(backend::Url("/files/stalled.exe"), m_window.Get(), L"", true);

    EXPECT_EQ(Verdict(result), DownloadResult(false, L" [WININET]No data received for 2 seconds."));
    EXPECT_TRUE(ListFolder(m_folder).empty()) << "the abandoned transfer still holds its file";

    // The same name downloads again at once, and nothing of the abandoned transfer touches the new file later.
    backend::Script("/files/stalled.exe", {{.body = "second try"}});
    EXPECT_EQ(Verdict(m_manager->DownloadFileWinInet(backend::Url("/files/stalled.exe"), m_window.Get(), L"", true)),
              DownloadResult(true, L""));
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(ReadWholeFile(PathInFolder(L"stalled.exe")), "second try");
    EXPECT_EQ(ListFolder(m_folder), std::vector<std::wstring>{L"stalled.exe"});
    EXPECT_EQ(backend::Requests("/files/stalled.exe").size(), 2u);
}

// Every failure text keeps every character of the names and addresses it quotes, whatever the code page of the
// thread that met the failure, and its kind decides whether the other engine is asked.
TEST_F(FileDownload, FailureTextsKeepEveryCharacterAndTheirKindDecidesTheRescue) {
    struct Case {
        const char* name;
        std::wstring url;
        std::wstring fileName;
        std::wstring text;  // the whole result
        size_t requests;
    } cases[] = {
        {"Cyrillic file name that cannot be saved", backend::Url("/files/ok.exe"), L"Установка: Quarvel.exe",
         L"[WINHTTP] Invalid file name for the download: \"Установка: Quarvel.exe\"", 0},
        {"CJK file name over cleartext", L"http://localhost/files/安装程序.exe", L"",
         L"[WINHTTP] Refused to download a file that will be run over a connection that is not secure: "
         L"\"http://localhost/files/安装程序.exe\"",
         0},
        // Refused on the transfer's own thread, as a final failure: WinINet is not asked.
        {"CJK file name in an address of another scheme", L"ftp://localhost/files/安装程序.exe", L"",
         L"[WINHTTP] Refused a URL that is neither http nor https: \"ftp://localhost/files/安装程序.exe\" (1 attempt)",
         0},
        // The WinINet text carries the server's reason, never a system message that belongs to no error, and no
        // line break.
        {"not found, both engines", backend::Url("/files/missing.exe"), L"",
         L"[WINHTTP] Download failed: Server returned status code: 404 [WININET]Server returned status code: HTTP 404 "
         L"- Not Found (2 attempts)",
         2},
        {"cut from https to http, WinINet not asked", backend::Url("/files/moved.exe"), L"",
         L"[WINHTTP] Refused a redirect from https to http: \"http://localhost/files/ok.exe\" (1 attempt)", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/files/ok.exe", {{.body = "installer bytes"}});
        backend::Script("/files/missing.exe", {{.status = 404}});
        backend::Script("/files/moved.exe", {{.redirect = "http://localhost/files/ok.exe"}});

        const download::FileOutcome result = Download(c.url, c.fileName);

        EXPECT_EQ(Verdict(result), DownloadResult(false, c.text));
        EXPECT_EQ(backend::Requests().size(), c.requests);
        EXPECT_TRUE(ListFolder(m_folder).empty());
    }
}

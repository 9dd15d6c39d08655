// The download pages in the real frame against the local backend, with the stand-in installer served as every
// product's installer: the queue, the installers and their arguments, the events, the progress bar and the page
// the run ends on.
#include "pages/DownloadPage.h"

#include "download/DownloadManager.h"
#include "download/ProgressMessages.h"
#include "download/InstallerLaunch.h"
#include "download/StartedInstallers.h"
#include "l10n/LanguageManager.h"
#include "l10n/MessageBoxRecorder.h"
#include "net/Codecs.h"
#include "offers/Package.h"
#include "pages/DownloadRunTesting.h"
#include "pages/FinishPages.h"
#include "pages/FrameHarness.h"
#include "registry/RegistryPaths.h"
#include "support/Backend.h"
#include "tests/download/DownloadTesting.h"
#include "tests/download/InstallerFixtures.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <thread>
#include <type_traits>

using nlohmann::json;
using namespace download_run_testing;
using testing_frame::RunFrame;
using testing_frame::TestFrame;

namespace {

// What the page showed on its progress bar, message by message.
struct BarState {
    UINT message;
    WPARAM value;
    bool marquee;
    int position;
};

// The ISV page with a record of its progress messages, and a way to make the download task fail as no server
// can make it fail.
template <typename Base>
class RecordingPage : public Base {
public:
    using Base::Base;
    using Base::m_downloadQueue;
    using Base::m_downloadTask;

    std::vector<BarState> m_bar;
    std::function<download::FetchedInstaller(const std::wstring& url)> m_task;
    // False: the page's timers tick in vain, so that the page hears of a task's end only from the task.
    bool m_timerLooks = true;

protected:
    void OnTimer(UINT_PTR id) override {
        if (m_timerLooks)
            Base::OnTimer(id);
    }
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        bool handled = Base::OnMessage(message, wParam, lParam, result);
        if (message == WM_DOWNLOAD_PROGRESS || message == WM_DOWNLOAD_MARQUEE) {
            ui::ProgressBar bar(this->GetItem(IDC_DOWNLOAD_PROGRESS));
            bool marquee = (::GetWindowLongPtrW(bar.GetHwnd(), GWL_STYLE) & PBS_MARQUEE) != 0;
            m_bar.push_back({message, wParam, marquee, bar.GetPos()});
        }
        return handled;
    }
    win32::Task<download::FetchedInstaller> StartDownloadTask(const typename Base::DownloadTarget& target) override {
        if (!m_task)
            return Base::StartDownloadTask(target);
        return win32::Task<download::FetchedInstaller>::Run([task = m_task, url = target.url] { return task(url); });
    }
};
using RecordingPageIsv = RecordingPage<DownloadPageIsv>;
using RecordingPageDlm = RecordingPage<DownloadPageDlm>;

class DownloadFrame : public TestFrame {
public:
    // Makes the download page under test; it joins the page list, followed by a finish page, once the frame runs
    // (AddPages), after the frame's own first pages.
    template <typename Page>
    Page& AddDownloadPage() {
        constexpr bool isv = std::is_base_of_v<DownloadPageIsv, Page>;
        auto page = std::make_unique<Page>(m_languageManager, m_startedInstallers);
        Page& added = *page;
        if constexpr (std::is_base_of_v<DownloadPageIsv, Page>) {
            page->m_onInstallersStarted = [this] {
                m_installerNotices.push_back("started");
                m_installersRunning = true;
            };
            page->m_onInstallersFinished = [this] {
                m_installerNotices.push_back("finished");
                m_installersRunning = false;
            };
        }
        m_pending = std::move(page);
        m_finishName = isv ? L"FinishPageISV" : L"FinishPageDLM";
        return added;
    }
    void AddPages() {
        CreateAndAddPage(std::move(m_pending), GetPageRect());
        if (m_realFinishPage)
            CreateAndAddPage(std::make_unique<FinishPageDlm>(m_languageManager), GetPageRect());
        else
            AddStubPage(m_finishName);
    }
    // The DLM flavour's own finish page in place of the stub, so that Finish opens or shows what was saved.
    bool m_realFinishPage = false;
    std::wstring ErrorTitle() const { return m_errorPage->m_errorTitle; }
    std::wstring Text(const char* key) const { return m_languageManager->GetText(key); }
    std::wstring ErrorText() const { return m_errorPage->m_errorText; }
    std::vector<std::string> m_installerNotices;
    using CWayfarerDlg::m_startedInstallers;

private:
    std::unique_ptr<IPage> m_pending;
    std::wstring m_finishName;
};

std::shared_ptr<Package> Offer(const std::string& name, const std::string& url, const std::string& arguments) {
    json offer = {{"ad", {{"f", "tag-" + name}, {"o", name}}},
                  {"ps", {{"i", name + ".png"}, {"dn", name}, {"u", url}, {"p", arguments}}}};
    return std::make_shared<Package>(EventBase(), offer, false, "", 0);
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream(path.c_str(), std::ios::binary) << bytes;
}

std::shared_ptr<Package> MainPackage() {
    return std::make_shared<Package>(EventBase(), true, L"Quarvel", L"QuarvelProduct", L"", L"", 0);
}

class DownloadPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        backend::Reset();
        m_configuration = ConfigurationManager::GetInstance();
        m_saved.m_mainPackage = m_configuration->m_mainPackage;
        m_saved.m_mainDownloadUrl = m_configuration->m_mainDownloadUrl;
        m_saved.m_tempFolder = m_configuration->m_tempFolder;
        m_saved.m_downloadFolder = m_configuration->m_downloadFolder;
        m_saved.m_mainFileName = m_configuration->m_mainFileName;
        m_saved.m_reportMainFailure = m_configuration->m_reportMainFailure;
        m_folder = CreateUniqueTempFolder();
        ASSERT_FALSE(m_folder.empty());
        m_configuration->m_tempFolder = m_folder;
        m_configuration->m_downloadFolder = m_folder;
        m_configuration->m_mainPackage = MainPackage();
        m_configuration->m_acceptedOffers.clear();
        m_configuration->m_shownOffers.clear();
        m_configuration->m_reportMainFailure = true;
        m_configuration->m_downloadedFilePath.clear();
        m_configuration->m_closing = false;
        auto manager = DownloadManager::GetInstance();
        manager->Rearm();
        download_testing::Reconfigure(
            *manager, [&](download::Settings& s) { s.retry.pauseBase = std::chrono::milliseconds(10); });
        m_installer = FakeInstallerBytes();
        ASSERT_GT(m_installer.size(), 1000u) << Narrow(launch_testing::FakeInstallerSource());
    }
    void TearDown() override {
        TestFrame::DeleteDirectoryTree(m_folder);
        m_configuration->m_mainPackage = m_saved.m_mainPackage;
        m_configuration->m_acceptedOffers.clear();
        m_configuration->m_shownOffers.clear();
        m_configuration->m_mainDownloadUrl = m_saved.m_mainDownloadUrl;
        m_configuration->m_tempFolder = m_saved.m_tempFolder;
        m_configuration->m_downloadFolder = m_saved.m_downloadFolder;
        m_configuration->m_mainFileName = m_saved.m_mainFileName;
        m_configuration->m_reportMainFailure = m_saved.m_reportMainFailure;
        m_configuration->m_mainSha256.clear();
        m_configuration->m_closing = false;
        DownloadManager::GetInstance()->Rearm();
        DownloadManager::GetInstance()->Configure(download::Settings{});
    }

    // Serves the stand-in installer at `path` (its name there decides its exit code).
    void ServeInstaller(const std::string& path, backend::Response response = {}) {
        response.body = m_installer;
        backend::Script(path, {response});
    }

    // Shows the download page and waits for the run to end on the finish page or the error page.
    // `atEnd` looks at the pages while they still exist.
    template <typename Page>
    void Run(DownloadFrame& frame, Page& page, std::function<void()> atEnd = nullptr) {
        std::vector<testing_frame::StepRunner::Step> steps{[&] {
            frame.AddPages();
            frame.NavigateToPage(2);
            return true;
        }};
        steps.push_back([&] { return frame.m_currentPage == 3 || frame.m_errorShown; });
        steps.push_back([&] {
            if (atEnd)
                atEnd();
            frame.EndDialog(1);
            return true;
        });
        EXPECT_EQ(RunFrame(frame, steps), 1);
    }

    // Run with the download page of the ISV flavour or of the DLM one.
    void RunFlavour(DownloadFrame& frame, bool isv) {
        if (isv)
            Run(frame, frame.AddDownloadPage<RecordingPageIsv>());
        else
            Run(frame, frame.AddDownloadPage<RecordingPageDlm>());
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    struct Saved {
        std::shared_ptr<Package> m_mainPackage;
        std::wstring m_mainDownloadUrl;
        std::wstring m_tempFolder;
        std::wstring m_downloadFolder;
        std::wstring m_mainFileName;
        bool m_reportMainFailure = true;
    } m_saved;
    std::wstring m_folder;
    std::string m_installer;
    InstallerLog m_log;
};

// The main product alone, from our own extension-less main URL: downloaded, run silently, waited for, reported
// once, and the run ends on the finish page.
TEST_F(DownloadPageTest, MainProductAloneIsDownloadedRunAndReported) {
    m_configuration->m_mainDownloadUrl = backend::Url("/endpoint/quarvel/os/riserollout/track/beta");
    ServeInstaller("/endpoint/quarvel/os/riserollout/track/beta");
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    bool marqueeAtEnd = false;
    Run(frame, page, [&] {
        marqueeAtEnd = (::GetWindowLongPtrW(page.GetItem(IDC_DOWNLOAD_PROGRESS), GWL_STYLE) & PBS_MARQUEE) != 0;
    });

    EXPECT_FALSE(frame.m_errorShown);
    EXPECT_EQ(frame.m_currentPage, 3);
    auto runs = m_log.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].path, m_folder + L"\\beta.exe");
    EXPECT_EQ(runs[0].commandLine, L"\"" + m_folder + L"\\beta.exe\" /S");
    EXPECT_EQ(m_configuration->m_downloadedFilePath, m_folder + L"\\beta.exe");
    EXPECT_EQ(frame.m_installerNotices, (std::vector<std::string>{"started", "finished"}));
    EXPECT_FALSE(frame.m_installersRunning);

    ASSERT_FALSE(page.m_bar.empty());
    EXPECT_EQ(page.m_bar.back().message, WM_DOWNLOAD_PROGRESS);
    EXPECT_EQ(page.m_bar.back().position, 100);
    // Once the downloads are done the bar runs as a marquee while the installer works.
    EXPECT_TRUE(marqueeAtEnd);

    auto events = ReceivedEvents(1, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].state, "3");
    EXPECT_EQ(events[0].name, "Quarvel");
    EXPECT_EQ(events[0].Text(), "");
}

// How the main product's failures end the run: the event's state and text, and the error page.
TEST_F(DownloadPageTest, MainProductFailuresAreReportedWithTheirTextAndEndOnTheErrorPage) {
    struct Case {
        const char* name;
        std::string path;
        // Bytes of the stand-in installer served: all of them, none (404), or its start only.
        enum { Whole, None, Cut } served;
        bool reportMainFailure;
        std::string state;
        std::string textStart;
        size_t installerRuns;
    };
    const std::vector<Case> cases = {
        {"installer exits 1603", "/dl/main-exit1603", Case::Whole, true, "3", "EXEC FAILED: exit code = 1603", 1},
        {"installer exits 1603, failures reported as such", "/dl/main-exit1603", Case::Whole, false, "-1",
         "EXEC FAILED: exit code = 1603", 1},
        {"download 404", "/dl/missing", Case::None, true, "3",
         "DOWNLOAD FAILED: [WINHTTP] Download failed: Server returned status code: 404 [WININET]", 0},
        // A transfer that ends early without an error is caught before the installer runs.
        {"installer cut short", "/dl/main", Case::Cut, true, "3", "DOWNLOAD FAILED: Downloaded installer is incomplete",
         0},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        backend::Reset();
        m_configuration->m_mainPackage = MainPackage();
        m_configuration->m_reportMainFailure = test.reportMainFailure;
        m_configuration->m_mainDownloadUrl = backend::Url(test.path);
        if (test.served == Case::Whole)
            ServeInstaller(test.path);
        else if (test.served == Case::Cut)
            backend::Script(test.path, {{.body = m_installer.substr(0, m_installer.size() / 2)}});
        InstallerLog log;
        testing_ui::MessageBoxRecorder boxes;
        DownloadFrame frame;
        auto& page = frame.AddDownloadPage<RecordingPageIsv>();
        Run(frame, page);

        EXPECT_TRUE(boxes.Texts().empty()) << "only a missing folder is told in a box";
        EXPECT_TRUE(frame.m_errorShown);
        EXPECT_EQ(frame.m_currentPage, 2);
        EXPECT_EQ(frame.ErrorTitle(), frame.Text("PAGE_ERROR_TITLE"));
        auto events = ReceivedEvents(1, 10);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].state, test.state);
        EXPECT_EQ(events[0].Text().substr(0, test.textStart.size()), test.textStart) << events[0].Text();
        EXPECT_EQ(log.WaitForRuns(test.installerRuns, std::chrono::seconds(2)).size(), test.installerRuns);
    }
}

// A work folder that is gone by the time of the download: the user is told once, on the wizard's thread, and the
// failure is reported and ends on the error page.
TEST_F(DownloadPageTest, MissingWorkFolderIsToldToTheUserOnce) {
    m_configuration->m_tempFolder = m_folder + L"\\not-there";
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main");
    testing_ui::MessageBoxRecorder boxes;
    DownloadFrame frame;
    Run(frame, frame.AddDownloadPage<RecordingPageIsv>());

    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Invalid path"});
    EXPECT_TRUE(frame.m_errorShown);
    auto events = ReceivedEvents(1, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(events[0].Text().starts_with("DOWNLOAD FAILED: [WINHTTP] Failed to open file for writing: "))
        << events[0].Text();
    EXPECT_TRUE(m_log.Runs().empty());
}

// A failed main download still lets the accepted offers be fetched and started; the main failure is reported
// first, and the run ends on the error page with the ISV error texts.
TEST_F(DownloadPageTest, OffersStillRunWhenTheMainDownloadFails) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/missing");
    // The offers' answers come late enough for the main product's report to be delivered before theirs.
    ServeInstaller("/offers/first/first-setup.exe", {.delaySeconds = 1});
    ServeInstaller("/f/offers/second-setup.exe");
    m_configuration->m_acceptedOffers = {
        Offer("First", "https://localhost/offers/first/first-setup.exe", "/first --quiet"),
        // Relative: fetched from the file endpoint.
        Offer("Second", "offers/second-setup.exe", "/second"),
    };
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    Run(frame, page);

    EXPECT_TRUE(frame.m_errorShown);
    EXPECT_EQ(frame.ErrorTitle(), frame.Text("PAGE_ERROR_TITLE"));
    EXPECT_EQ(frame.ErrorText(), frame.Text("PAGE_ERROR_TEXT"));
    EXPECT_NE(frame.ErrorTitle(), L"");

    auto runs = m_log.WaitForRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    std::sort(runs.begin(), runs.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    EXPECT_EQ(runs[0].commandLine, L"\"" + m_folder + L"\\first-setup.exe\" /first --quiet");
    EXPECT_EQ(runs[1].commandLine, L"\"" + m_folder + L"\\second-setup.exe\" /second");

    auto events = ReceivedEvents(3, 10);
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].name, "Quarvel");
    EXPECT_EQ(events[0].state, "3");
    EXPECT_EQ(events[0].Text().rfind("DOWNLOAD FAILED: [WINHTTP] Download failed: Server returned status code: 404", 0),
              0u)
        << events[0].Text();
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(events[i].state, "3");
        EXPECT_EQ(events[i].Text(), "");
    }
    EXPECT_EQ(frame.m_installerNotices, (std::vector<std::string>{"started", "finished"}));
}

// An offer whose own download fails is reported with -1 and its text; the other offer and the main product
// run, and the run ends on the finish page.
TEST_F(DownloadPageTest, AnOfferWhoseDownloadFailsIsReportedAndTheRunGoesOn) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main");
    ServeInstaller("/dl/second-setup.exe");
    m_configuration->m_acceptedOffers = {Offer("First", "https://localhost/dl/missing-setup.exe", "/first"),
                                         Offer("Second", "https://localhost/dl/second-setup.exe", "/second")};
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    Run(frame, page);

    EXPECT_FALSE(frame.m_errorShown);
    EXPECT_EQ(frame.m_currentPage, 3);
    auto runs = m_log.WaitForRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    std::map<std::wstring, std::wstring> argumentsByFile;
    for (const auto& run : runs)
        argumentsByFile[FileNameOf(run.path)] = run.commandLine.substr(run.commandLine.rfind(L"\" ") + 2);
    EXPECT_EQ(argumentsByFile,
              (std::map<std::wstring, std::wstring>{{L"main.exe", L"/S"}, {L"second-setup.exe", L"/second"}}));

    auto events = ReceivedEvents(3, 10);
    ASSERT_EQ(events.size(), 3u);
    std::map<std::string, std::pair<std::string, std::string>> byName;
    for (const auto& event : events)
        byName[event.name] = {event.state, event.Text()};
    EXPECT_EQ(byName["Quarvel"], (std::pair<std::string, std::string>{"3", ""}));
    EXPECT_EQ(byName["Second"], (std::pair<std::string, std::string>{"3", ""}));
    EXPECT_EQ(byName["First"].first, "-1");
    EXPECT_EQ(
        byName["First"].second.rfind("DOWNLOAD FAILED: [WINHTTP] Download failed: Server returned status code: 404", 0),
        0u)
        << byName["First"].second;
}

// An offer whose installer could not start (its archive gave no program, so the archive itself was run) is no
// installed offer: its event carries the failure, as for a failed download, and the run goes on.
TEST_F(DownloadPageTest, AnOfferWhoseInstallerCannotStartIsReportedWithItsText) {
    const std::string archive = download_testing::MakeZip({{"../../evil.exe", m_installer}, {"setup.exe", "MZ"}});
    // Nothing of the archive was unpacked: its entries were refused.
    SetZipExtractorForTesting([](BSTR, BSTR) { return false; });
    for (bool isv : {true, false}) {
        SCOPED_TRACE(isv ? "ISV" : "DLM");
        backend::Reset();
        InstallerLog log;
        m_configuration->m_mainPackage = MainPackage();
        m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
        ServeInstaller("/dl/main");
        const std::string broken = isv ? "broken-isv.zip" : "broken-dlm.zip";
        backend::Script("/dl/" + broken, {{.body = archive}});
        ServeInstaller("/dl/good-setup.exe");
        m_configuration->m_acceptedOffers = {Offer("Broken", "https://localhost/dl/" + broken, "/b"),
                                             Offer("Good", "https://localhost/dl/good-setup.exe", "/g")};
        DownloadFrame frame;
        RunFlavour(frame, isv);
        EXPECT_FALSE(frame.m_errorShown);

        std::map<std::string, std::pair<std::string, std::string>> byName;
        for (const auto& event : ReceivedEvents(3, 10))
            byName[event.name] = {event.state, event.Text()};
        EXPECT_EQ(byName["Good"], (std::pair<std::string, std::string>{"3", ""}));
        EXPECT_EQ(byName["Broken"].first, "-1");
        EXPECT_EQ(byName["Broken"].second.rfind("EXEC FAILED: Error launching executable: ", 0), 0u)
            << byName["Broken"].second;
        EXPECT_EQ(log.WaitForRuns(isv ? 2 : 1).size(), isv ? 2u : 1u);
    }
    SetZipExtractorForTesting(nullptr);
}

// The download page stamps, as it starts, the no-show date of every shown offer that carries a "pn" block,
// accepted or not; an offer without one leaves nothing.
TEST_F(DownloadPageTest, ShownOffersWithANoShowBlockAreStampedWhenThePageStarts) {
    const std::wstring key = L"Software\\WayfarerDownloadPageStamp";
    // The stamps live in the installer's own (32-bit) view of the registry.
    auto removeStamps = [] {
        win32::RegKey software;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_ALL_ACCESS | registry::kProcessView,
                            software.Put()) == ERROR_SUCCESS)
            ::RegDeleteTreeW(software.Get(), L"WayfarerDownloadPageStamp");
    };
    removeStamps();
    auto shown = [](const std::string& name, bool pn) {
        json ps = {{"i", "i.png"}, {"dn", name}, {"u", "https://localhost/dl/never.exe"}};
        if (pn) {
            ps["pn"] = true;
            ps["pnr"] = "Software\\WayfarerDownloadPageStamp\\" + name;
        }
        return std::make_shared<Package>(EventBase(), json{{"ad", {{"f", "t"}, {"o", name}}}, {"ps", ps}}, false, "",
                                         0);
    };
    m_configuration->m_shownOffers = {shown("Declined", true), shown("Plain", false)};
    // The main download fails at once: the stamps do not wait for any download.
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/missing");
    DWORD stamp = 0;
    std::vector<std::wstring> values;
    {
        DownloadFrame frame;
        auto& page = frame.AddDownloadPage<RecordingPageIsv>();
        RunFrame(frame, {[&] {
                             frame.AddPages();
                             frame.NavigateToPage(2);
                             // Read before the page's first timer tick.
                             win32::RegKey stamps;
                             if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | registry::kProcessView,
                                                 stamps.Put()) == ERROR_SUCCESS) {
                                 wchar_t name[64];
                                 for (DWORD i = 0, length = 64;
                                      ::RegEnumValueW(stamps.Get(), i, name, &length, nullptr, nullptr, nullptr,
                                                      nullptr) == ERROR_SUCCESS;
                                      ++i, length = 64)
                                     values.push_back(name);
                                 DWORD size = sizeof(stamp);
                                 ::RegQueryValueExW(stamps.Get(), L"Declined", nullptr, nullptr,
                                                    reinterpret_cast<BYTE*>(&stamp), &size);
                             }
                             return true;
                         },
                         [&] { return frame.m_errorShown; },
                         [&] {
                             frame.EndDialog(1);
                             return true;
                         }});
        (void)page;
    }
    removeStamps();
    EXPECT_EQ(values, std::vector<std::wstring>{L"Declined"});
    // yyyymmdd, some 180 days ahead.
    SYSTEMTIME today{};
    ::GetLocalTime(&today);
    const DWORD now = today.wYear * 10000u + today.wMonth * 100u + today.wDay;
    EXPECT_GT(stamp, now);
    EXPECT_LT(stamp, now + 10000u);
}

// A ZIP archive as the installer, in both flavours: it is unpacked beside itself in the work folder and its
// program runs with the product's arguments. Wine's Shell has no ZIP folder, so the unpacking is played here.
TEST_F(DownloadPageTest, ZipInstallersAreUnpackedAndTheirProgramRuns) {
    const std::string archive = download_testing::MakeZip({{"setup.exe", m_installer}});
    std::vector<std::wstring> unpacked;
    SetZipExtractorForTesting([&](BSTR, BSTR destination) {
        unpacked.push_back(destination);
        WriteFileBytes(std::wstring(destination) + L"\\setup.exe", m_installer);
        return true;
    });
    for (bool isv : {true, false}) {
        SCOPED_TRACE(isv ? "ISV" : "DLM");
        backend::Reset();
        unpacked.clear();
        InstallerLog log;
        m_configuration->m_mainPackage = MainPackage();
        m_configuration->m_mainDownloadUrl = backend::Url("/dl/product.zip");
        m_configuration->m_mainFileName = L"Product.zip";
        backend::Script("/dl/product.zip", {{.body = archive}});
        // Each flavour's offer unpacks into a folder of its own.
        const std::string offer = isv ? "offer-isv" : "offer-dlm";
        backend::Script("/dl/" + offer + ".zip", {{.body = archive}});
        m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/" + offer + ".zip", "/o")};
        DownloadFrame frame;
        RunFlavour(frame, isv);
        EXPECT_FALSE(frame.m_errorShown);

        // The DLM flavour stores its product as it came; only the offer is unpacked and run.
        std::vector<std::wstring> expected = {m_folder + L"\\" + win32::Utf8ToWide(offer)};
        if (isv)
            expected.insert(expected.begin(), m_folder + L"\\product");
        EXPECT_EQ(unpacked, expected);
        auto runs = log.WaitForRuns(expected.size());
        std::vector<std::wstring> commandLines;
        for (const auto& run : runs)
            commandLines.push_back(run.commandLine);
        std::sort(commandLines.begin(), commandLines.end());
        std::vector<std::wstring> expectedLines = {L"\"" + m_folder + L"\\" + win32::Utf8ToWide(offer) +
                                                   L"\\setup.exe\" /o"};
        if (isv)
            expectedLines.push_back(L"\"" + m_folder + L"\\product\\setup.exe\" /S");
        EXPECT_EQ(commandLines, expectedLines);
        for (const auto& event : ReceivedEvents(2, 10)) {
            EXPECT_EQ(event.state, "3") << event.name;
            EXPECT_EQ(event.Text(), "") << event.name;
        }
    }
    SetZipExtractorForTesting(nullptr);
}

// Two offers whose URLs end in the same name: each is saved and run as its own installer.
TEST_F(DownloadPageTest, OffersWithTheSameFileNameEachRunTheirOwnInstaller) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main");
    ServeInstaller("/a/setup.exe");
    // The second one's stand-in fails when it runs under the first one's name.
    backend::Script("/b/setup.exe", {{.body = m_installer}});
    m_configuration->m_acceptedOffers = {Offer("A", "https://localhost/a/setup.exe", "/from-a"),
                                         Offer("B", "https://localhost/b/setup.exe", "/from-b")};
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    Run(frame, page);

    EXPECT_FALSE(frame.m_errorShown);
    auto runs = m_log.WaitForRuns(3);
    ASSERT_EQ(runs.size(), 3u);
    std::map<std::wstring, std::wstring> argumentsByFile;
    for (const auto& run : runs)
        argumentsByFile[FileNameOf(run.path)] = run.commandLine.substr(run.commandLine.rfind(L"\" ") + 2);
    EXPECT_EQ(argumentsByFile, (std::map<std::wstring, std::wstring>{
                                   {L"main.exe", L"/S"}, {L"setup.exe", L"/from-a"}, {L"setup (2).exe", L"/from-b"}}));
}

// A server that does not announce the length turns the bar into a marquee; the next file with a known length
// turns it back into a bar that starts at 0. A percentage above 100 means an unknown length as well.
TEST_F(DownloadPageTest, TheBarTurnsToAMarqueeForAnUnknownLengthAndBack) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main", {.noContentLength = true});
    // Only a published hash can vouch for a body whose length nobody announced.
    m_configuration->m_mainSha256 = Sha256Hex(m_installer);
    backend::Script("/dl/offer.exe", {{.bodySize = 4 * 1024 * 1024, .chunkSize = 16 * 1024}});
    m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/offer.exe", "")};
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    std::vector<BarState> direct;
    Run(frame, page, [&] {
        for (WPARAM value : {WPARAM{40}, WPARAM{101}, WPARAM{0xFFFFFFFF}, WPARAM{100}}) {
            ::SendMessageW(page.GetHwnd(), WM_DOWNLOAD_PROGRESS, value, 0);
            direct.push_back(page.m_bar.back());
        }
    });

    auto marquee = std::find_if(page.m_bar.begin(), page.m_bar.end(),
                                [](const BarState& state) { return state.message == WM_DOWNLOAD_MARQUEE; });
    ASSERT_NE(marquee, page.m_bar.end());
    EXPECT_TRUE(marquee->marquee);
    EXPECT_EQ(marquee->position, 0);
    auto next = std::find_if(marquee, page.m_bar.end(),
                             [](const BarState& state) { return state.message == WM_DOWNLOAD_PROGRESS; });
    ASSERT_NE(next, page.m_bar.end());
    EXPECT_FALSE(next->marquee);
    // The share of this message, or of one queued behind it.
    EXPECT_GE(next->position, static_cast<int>(next->value));
    EXPECT_LT(next->value, 100u);
    auto last = page.m_bar.end() - 1 - static_cast<std::ptrdiff_t>(direct.size());
    EXPECT_EQ(last->position, 100);
    EXPECT_FALSE(last->marquee);
    // At most one message per point of growth, and the marquee.
    EXPECT_LE(page.m_bar.size() - direct.size(), 1u + 101u);

    struct Expected {
        bool marquee;
        int position;
    };
    const std::vector<Expected> expected{{false, 40}, {true, 0}, {true, 0}, {false, 100}};
    ASSERT_EQ(direct.size(), expected.size());
    for (size_t i = 0; i < direct.size(); ++i) {
        EXPECT_EQ(direct[i].marquee, expected[i].marquee) << direct[i].value;
        EXPECT_EQ(direct[i].position, expected[i].position) << direct[i].value;
    }
}

// Shares queued behind each other are shown as the latest in one go: a window that handled each (a repaint of the
// bar) would leave whatever comes after them, the download's end first, waiting behind stale ones. A marquee
// between them keeps its place.
TEST_F(DownloadPageTest, QueuedSharesAreShownAsTheLatestAroundAMarquee) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main");
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    const std::pair<UINT, WPARAM> queued[] = {{WM_DOWNLOAD_PROGRESS, 10}, {WM_DOWNLOAD_PROGRESS, 20},
                                              {WM_DOWNLOAD_PROGRESS, 30}, {WM_DOWNLOAD_MARQUEE, 0},
                                              {WM_DOWNLOAD_PROGRESS, 40}, {WM_DOWNLOAD_PROGRESS, 60}};
    size_t before = 0;
    std::vector<testing_frame::StepRunner::Step> steps{
        [&] {
            frame.AddPages();
            frame.NavigateToPage(2);
            return true;
        },
        [&] { return frame.m_currentPage == 3 || frame.m_errorShown; },
        // All are queued before the page handles any: the steps run on its thread.
        [&] {
            before = page.m_bar.size();
            for (const auto& [message, share] : queued)
                ::PostMessageW(page.GetHwnd(), message, share, 0);
            return true;
        },
        // A timer ticks only once no posted message waits.
        [&] {
            frame.EndDialog(1);
            return true;
        }};
    EXPECT_EQ(RunFrame(frame, steps), 1);

    struct Expected {
        UINT message;
        bool marquee;
        int position;
    };
    const std::vector<Expected> expected{
        {WM_DOWNLOAD_PROGRESS, false, 30}, {WM_DOWNLOAD_MARQUEE, true, 0}, {WM_DOWNLOAD_PROGRESS, false, 60}};
    ASSERT_EQ(page.m_bar.size() - before, expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const BarState& shown = page.m_bar[before + i];
        EXPECT_EQ(shown.message, expected[i].message) << i;
        EXPECT_EQ(shown.marquee, expected[i].marquee) << i;
        EXPECT_EQ(shown.position, expected[i].position) << i;
    }
}

// Each download and the main installer tell the page of their end: it goes on at once, not at a look of its timer.
TEST_F(DownloadPageTest, TasksTellThePageOfTheirEnd) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main");
    ServeInstaller("/dl/offer.exe");
    m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/offer.exe", "/o")};
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    page.m_timerLooks = false;
    Run(frame, page);

    EXPECT_FALSE(frame.m_errorShown);
    EXPECT_EQ(frame.m_currentPage, 3);
    EXPECT_EQ(m_log.WaitForRuns(2).size(), 2u);
}

// A task that raises instead of returning a result is a failed download with the exception's text: the run
// goes on to its end instead of leaving the page without a timer.
TEST_F(DownloadPageTest, ATaskThatRaisesIsAFailedDownloadWithItsText) {
    m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/offer.exe", "/o")};
    ServeInstaller("/dl/offer.exe");
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    page.m_task = [manager = DownloadManager::GetInstance()](const std::wstring& url) {
        if (url.find(L"offer.exe") == std::wstring::npos)
            throw std::runtime_error("disk on fire");
        return download::FetchInstaller(*manager, {.url = url, .fileName = L"offer.exe"}, nullptr);
    };
    Run(frame, page);

    EXPECT_TRUE(frame.m_errorShown);
    auto events = ReceivedEvents(2, 10);
    ASSERT_EQ(events.size(), 2u);
    auto main = std::find_if(events.begin(), events.end(), [](const Event& e) { return e.name == "Quarvel"; });
    ASSERT_NE(main, events.end());
    EXPECT_EQ(main->Text(), "DOWNLOAD FAILED: disk on fire");
    EXPECT_EQ(m_log.WaitForRuns(1).size(), 1u);
}

// Whether `window` or any window inside it still waits to be painted.
bool OwesPainting(HWND window) {
    if (::IsWindowVisible(window) && ::GetUpdateRect(window, nullptr, FALSE))
        return true;
    for (HWND child = ::GetWindow(window, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (OwesPainting(child))
            return true;
    }
    return false;
}

// The page is whole from its first frame, whatever its downloads do. A download's progress messages all come before
// any painting the system still owes, so the page is painted before it starts its work: once the frame has shown
// it, nothing in the window waits to be painted. And nothing of the frame paints over it later: the page lies above
// the frame's own controls under it, which clip themselves by it, and the frame does not paint over its children.
TEST_F(DownloadPageTest, ThePageIsWholeFromItsFirstFrame) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    std::atomic<bool> released{false};
    // A download that lasts until the test is done looking.
    page.m_task = [&](const std::wstring&) {
        while (!released)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        download::FetchedInstaller stopped;
        stopped.text = L"stopped by the test";
        return stopped;
    };
    const INT_PTR result = RunFrame(
        frame, {[&] {
                    frame.AddPages();
                    frame.NavigateToPage(2);
                    EXPECT_FALSE(OwesPainting(frame.GetHwnd()));
                    HWND window = frame.GetHwnd();
                    EXPECT_EQ(::GetWindow(window, GW_CHILD), page.GetHwnd());
                    EXPECT_NE(::GetWindowLongW(window, GWL_STYLE) & WS_CLIPCHILDREN, 0);
                    for (int id : {IDC_PAGE_AREA, IDC_BOTTOM_BAND})
                        EXPECT_NE(::GetWindowLongW(::GetDlgItem(window, id), GWL_STYLE) & WS_CLIPSIBLINGS, 0) << id;
                    released = true;
                    return true;
                },
                [&] { return frame.m_errorShown; },
                [&] {
                    frame.EndDialog(1);
                    return true;
                }});
    EXPECT_EQ(result, 1);
}

// A malformed configuration without a main product: the error page, and nothing is fetched.
TEST_F(DownloadPageTest, NoMainProductShowsTheErrorPage) {
    m_configuration->m_mainPackage.reset();
    m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/offer.exe", "")};
    for (bool isv : {true, false}) {
        DownloadFrame frame;
        RunFlavour(frame, isv);
        EXPECT_TRUE(frame.m_errorShown);
        EXPECT_EQ(frame.ErrorTitle(), frame.Text(isv ? "PAGE_ERROR_TITLE" : "PAGE_DOWNLOAD_ERROR_TITLE"));
    }
    EXPECT_TRUE(backend::Requests("/dl/offer.exe").empty());
}

// Leaving the wizard while the main product downloads: the download ends, but nothing else is fetched or run.
TEST_F(DownloadPageTest, NoDownloadStartsAfterTheClose) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main", {.delaySeconds = 1});
    ServeInstaller("/dl/offer.exe");
    m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/offer.exe", "")};
    DownloadFrame frame;
    auto& page = frame.AddDownloadPage<RecordingPageIsv>();
    std::chrono::steady_clock::time_point taken;
    std::vector<testing_frame::StepRunner::Step> steps{
        [&] {
            frame.AddPages();
            frame.NavigateToPage(2);
            return true;
        },
        [&] { return !backend::Requests("/dl/main").empty(); },
        [&] {
            // What a confirmed close does first; the frame's window stays, so the page's timer keeps running.
            m_configuration->m_closing = true;
            DownloadManager::GetInstance()->Cancel();
            return true;
        },
        // The main product's task ends and the page takes its result.
        [&] {
            taken = std::chrono::steady_clock::now();
            return !page.m_downloadTask.Valid();
        },
        [&] { return std::chrono::steady_clock::now() - taken > std::chrono::seconds(1); },
        [&] {
            frame.EndDialog(1);
            return true;
        }};
    EXPECT_EQ(RunFrame(frame, steps), 1);
    EXPECT_TRUE(backend::Requests("/dl/offer.exe").empty());
    EXPECT_TRUE(m_log.Runs().empty());
    EXPECT_FALSE(frame.m_errorShown);
}

// Closing the wizard while the main product downloads: once the wizard is gone, so is the work folder, with
// whatever the cancelled download still wrote into it.
TEST_F(DownloadPageTest, ClosingDuringADownloadLeavesNoWorkFolder) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    ServeInstaller("/dl/main", {.delaySeconds = 1});
    {
        DownloadFrame frame;
        frame.AddDownloadPage<RecordingPageIsv>();
        // The exit question carries the wizard's title, known once the frame is up.
        std::optional<testing_ui::MessageBoxRecorder> boxes;
        std::vector<testing_frame::StepRunner::Step> steps{[&] {
                                                               frame.AddPages();
                                                               frame.NavigateToPage(2);
                                                               return true;
                                                           },
                                                           [&] { return !backend::Requests("/dl/main").empty(); },
                                                           [&] {
                                                               boxes.emplace(
                                                                   testing_ui::GetWindowTextOf(frame.GetHwnd()), IDOK);
                                                               ::PostMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                                                               return true;
                                                           }};
        EXPECT_EQ(RunFrame(frame, steps), IDCANCEL);
    }
    EXPECT_FALSE(::PathFileExistsW(m_folder.c_str()));
    EXPECT_TRUE(m_log.Runs().empty());
}

// The DLM page stores the product under the server's file name in the download folder and reports it at
// once; offers are started as in the ISV page.
TEST_F(DownloadPageTest, DlmStoresTheProductAndStartsTheOffers) {
    const std::wstring downloads = CreateUniqueTempFolder();
    m_configuration->m_downloadFolder = downloads;
    m_configuration->m_mainDownloadUrl = backend::Url("/product/latest");
    m_configuration->m_mainFileName = L"Product Setup.exe";
    ServeInstaller("/product/latest");
    ServeInstaller("/dl/offer.exe");
    m_configuration->m_acceptedOffers = {Offer("Offer", "https://localhost/dl/offer.exe", "/o")};
    {
        DownloadFrame frame;
        auto& page = frame.AddDownloadPage<RecordingPageDlm>();
        Run(frame, page);
        EXPECT_FALSE(frame.m_errorShown);
    }
    EXPECT_EQ(m_configuration->m_downloadedFilePath, downloads + L"\\Product Setup.exe");
    EXPECT_TRUE(::PathFileExistsW(m_configuration->m_downloadedFilePath.c_str()));
    auto runs = m_log.WaitForRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].commandLine, L"\"" + m_folder + L"\\offer.exe\" /o");
    auto events = ReceivedEvents(2, 10);
    ASSERT_EQ(events.size(), 2u);
    for (const auto& event : events)
        EXPECT_EQ(event.state, "3");

    // A failed product download ends on the DLM's own error texts.
    backend::Reset();
    m_configuration->m_mainPackage = MainPackage();
    m_configuration->m_acceptedOffers.clear();
    m_configuration->m_mainDownloadUrl = backend::Url("/product/missing");
    DownloadFrame failing;
    auto& failingPage = failing.AddDownloadPage<RecordingPageDlm>();
    Run(failing, failingPage);
    EXPECT_TRUE(failing.m_errorShown);
    EXPECT_EQ(failing.ErrorTitle(), failing.Text("PAGE_DOWNLOAD_ERROR_TITLE"));
    EXPECT_EQ(failing.ErrorText(), failing.Text("PAGE_DOWNLOAD_ERROR_DESC"));
    TestFrame::DeleteDirectoryTree(downloads);
}

// The DLM run up to its real finish page, where Finish is pressed with Launch or with Open Folder chosen.
class DlmFinishTest : public DownloadPageTest {
protected:
    void SetUp() override {
        DownloadPageTest::SetUp();
        m_downloads = CreateUniqueTempFolder();
        ASSERT_FALSE(m_downloads.empty());
        m_configuration->m_downloadFolder = m_downloads;
        m_configuration->m_mainDownloadUrl = backend::Url("/product/latest");
    }
    void TearDown() override {
        TestFrame::DeleteDirectoryTree(m_downloads);
        DownloadPageTest::TearDown();
    }

    void RunToFinish(bool openFolder = false) {
        backend::Reset();
        ServeInstaller("/product/latest");
        m_configuration->m_mainPackage = MainPackage();
        m_configuration->m_downloadedFilePath.clear();
        DownloadFrame frame;
        frame.m_realFinishPage = true;
        frame.AddDownloadPage<RecordingPageDlm>();
        std::vector<testing_frame::StepRunner::Step> steps{
            [&] {
                frame.AddPages();
                frame.NavigateToPage(2);
                return true;
            },
            [&] { return frame.m_currentPage == 3 || frame.m_errorShown; },
            [&] {
                if (frame.m_errorShown) {
                    frame.EndDialog(2);
                    return true;
                }
                HWND finish = frame.Page(3).GetHwnd();
                if (openFolder)
                    ::SendMessageW(::GetDlgItem(finish, IDC_FINISH_OPEN_FOLDER_RADIO), BM_CLICK, 0, 0);
                ::SendMessageW(::GetDlgItem(finish, IDC_FINISH_BUTTON), BM_CLICK, 0, 0);
                return true;
            }};
        EXPECT_EQ(RunFrame(frame, steps), 1);
    }

    // Places `bytes` as a file of the user's in the Downloads folder.
    std::wstring PlaceUserFile(const std::wstring& name, const std::string& bytes) {
        const std::wstring path = m_downloads + L"\\" + name;
        std::ofstream(path.c_str(), std::ios::binary) << bytes;
        return path;
    }

    // Expects exactly one program started since `runsBefore`: the download, from where it was saved.
    void ExpectOnlyTheDownloadRan(size_t runsBefore, const std::wstring& saved) {
        const auto runs = m_log.WaitForRuns(runsBefore + 1);
        ASSERT_EQ(runs.size(), runsBefore + 1);
        EXPECT_EQ(::lstrcmpiW(runs.back().path.c_str(), saved.c_str()), 0) << Narrow(runs.back().path);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(m_log.Runs().size(), runsBefore + 1);
    }

    std::wstring m_downloads;
};

// A file of the server's name in the user's Downloads folder (a document of theirs, an older copy of the
// product, even a folder) survives byte for byte; the download lands beside it under the next free name, and
// Finish runs that one.
TEST_F(DlmFinishTest, AFileOfTheSameNameSurvivesAndFinishRunsTheNewOne) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::wstring, std::string>> present;
        bool folder;
        std::wstring saved;
    };
    // The older copy is a program that would log its run if Finish started it.
    const Case cases[] = {
        {"nothing there", {}, false, L"Quarvel Setup.exe"},
        {"a document of the user's", {{L"Quarvel Setup.exe", "the user's own notes"}}, false, L"Quarvel Setup (1).exe"},
        {"older copies of the product",
         {{L"Quarvel Setup.exe", m_installer}, {L"QUARVEL SETUP (1).EXE", m_installer}},
         false,
         L"Quarvel Setup (2).exe"},
        {"a folder of that name", {}, true, L"Quarvel Setup (1).exe"},
    };
    m_configuration->m_mainFileName = L"Quarvel Setup.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& [name, bytes] : c.present)
            PlaceUserFile(name, bytes);
        if (c.folder) {
            ASSERT_TRUE(::CreateDirectoryW((m_downloads + L"\\Quarvel Setup.exe").c_str(), nullptr));
        }
        const size_t runsBefore = m_log.Runs().size();

        RunToFinish();

        const std::wstring saved = m_downloads + L"\\" + c.saved;
        EXPECT_EQ(m_configuration->m_downloadedFilePath, saved);
        EXPECT_TRUE(ReadFileBytes(saved) == m_installer) << "the download differs";
        for (const auto& [name, bytes] : c.present)
            EXPECT_TRUE(ReadFileBytes(m_downloads + L"\\" + name) == bytes) << Narrow(name) << " changed";
        ExpectOnlyTheDownloadRan(runsBefore, saved);
        TestFrame::DeleteDirectoryTree(m_downloads);
        ASSERT_TRUE(::CreateDirectoryW(m_downloads.c_str(), nullptr));
    }
}

// A name holding "%NAME%" is saved without it, and Finish runs the saved file, never the one the shell would
// make of the name (the user's own "<name>.exe" beside it).
TEST_F(DlmFinishTest, APercentNameIsSavedWithoutItAndFinishRunsExactlyTheSavedFile) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"WAYFARER_DECOY", L"decoy"));
    struct Case {
        std::wstring serverName;
        std::wstring decoy;
        std::wstring saved;
    };
    std::vector<Case> cases{{L"%WAYFARER_DECOY%.exe", L"decoy.exe", L"_WAYFARER_DECOY_.exe"},
                            {L"%WAYFARER_DECOY%", L"decoy.exe", L"_WAYFARER_DECOY_"},
                            // Without "%" as well: a name without an extension is not completed to another file.
                            {L"Quarvel", L"Quarvel.exe", L"Quarvel"}};
    wchar_t user[256] = {};
    const DWORD userLength = ::GetEnvironmentVariableW(L"USERNAME", user, 256);
    if (userLength > 0 && userLength < 256)
        cases.push_back({L"%USERNAME%.exe", std::wstring(user) + L".exe", L"_USERNAME_.exe"});
    for (const Case& c : cases) {
        SCOPED_TRACE(Narrow(c.serverName));
        const std::wstring decoy = PlaceUserFile(c.decoy, m_installer);
        m_configuration->m_mainFileName = c.serverName;
        const size_t runsBefore = m_log.Runs().size();

        RunToFinish();

        const std::wstring saved = m_downloads + L"\\" + c.saved;
        EXPECT_EQ(m_configuration->m_downloadedFilePath, saved);
        EXPECT_TRUE(ReadFileBytes(saved) == m_installer) << "the download differs";
        if (c.saved.find(L'.') != std::wstring::npos) {
            ExpectOnlyTheDownloadRan(runsBefore, saved);
        } else {
            // A file without an extension is the server's choice; whatever the shell does with it, it starts
            // nothing else.
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            for (size_t i = runsBefore; i < m_log.Runs().size(); ++i)
                EXPECT_EQ(::lstrcmpiW(m_log.Runs()[i].path.c_str(), saved.c_str()), 0);
        }
        EXPECT_TRUE(ReadFileBytes(decoy) == m_installer);
        TestFrame::DeleteDirectoryTree(m_downloads);
        ASSERT_TRUE(::CreateDirectoryW(m_downloads.c_str(), nullptr));
    }
    ::SetEnvironmentVariableW(L"WAYFARER_DECOY", nullptr);
}

// Invisible formatting leaves the saved name as it leaves the shown one.
TEST_F(DlmFinishTest, SavedNamesLoseInvisibleFormatting) {
    m_configuration->m_mainFileName = L"Quarvel\u202Efdp.exe";
    const size_t runsBefore = m_log.Runs().size();

    RunToFinish();

    const std::wstring saved = m_downloads + L"\\Quarvelfdp.exe";
    EXPECT_EQ(m_configuration->m_downloadedFilePath, saved);
    ExpectOnlyTheDownloadRan(runsBefore, saved);
}

// The hash the configuration publishes, through the whole page: the right digest (in either case) lets the
// installer run; another fails the download with both digests named, the file is gone and nothing runs it.
TEST_F(DownloadPageTest, InstallerRunsOnlyWhenItMatchesItsPublishedHash) {
    const std::string right = Sha256Hex(m_installer);
    std::string upper = right;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string wrong(64, 'e');
    struct Case {
        const char* name;
        std::string sha256;
        bool runs;
    };
    const std::vector<Case> cases = {{"right", right, true}, {"upper-case", upper, true}, {"wrong", wrong, false}};
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        // A download never replaces a file of its name: the earlier case's installer goes, so that this case's
        // file is saved under the same name.
        ::DeleteFileW((m_folder + L"\\offer-setup.exe").c_str());
        backend::Reset();
        m_configuration->m_mainPackage = MainPackage();
        m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
        ServeInstaller("/dl/main");
        ServeInstaller("/hashed/offer-setup.exe");
        json offer = {{"ad", {{"f", "tag-Hashed"}, {"o", "Hashed"}}},
                      {"ps",
                       {{"i", "Hashed.png"},
                        {"dn", "Hashed"},
                        {"u", "https://localhost/hashed/offer-setup.exe"},
                        {"sha256", test.sha256}}}};
        m_configuration->m_acceptedOffers = {std::make_shared<Package>(EventBase(), offer, false, "", 0)};
        InstallerLog log;
        DownloadFrame frame;
        auto& page = frame.AddDownloadPage<RecordingPageIsv>();
        Run(frame, page);

        EXPECT_FALSE(frame.m_errorShown);
        const size_t expectedRuns = test.runs ? 2 : 1;
        auto runs = log.WaitForRuns(expectedRuns, std::chrono::seconds(test.runs ? 20 : 2));
        EXPECT_EQ(runs.size(), expectedRuns);
        auto events = ReceivedEvents(2, 10);
        ASSERT_EQ(events.size(), 2u);
        const auto hashed =
            std::find_if(events.begin(), events.end(), [](const Event& e) { return e.name == "Hashed"; });
        ASSERT_NE(hashed, events.end());
        if (test.runs) {
            EXPECT_EQ(hashed->state, "3");
            EXPECT_EQ(hashed->Text(), "");
        } else {
            EXPECT_EQ(hashed->state, "-1");
            EXPECT_EQ(hashed->Text(),
                      "DOWNLOAD FAILED: Downloaded installer does not match its published SHA-256: "
                      "expected " +
                          wrong + ", got " + right + ".");
            EXPECT_FALSE(::PathFileExistsW((m_folder + L"\\offer-setup.exe").c_str()));
        }
    }

    // The DLM product's hash from its "i" block: a mismatch is the product's failed download, and the file the
    // user would open is not left in the Downloads folder.
    backend::Reset();
    const std::wstring downloads = CreateUniqueTempFolder();
    m_configuration->m_mainPackage = MainPackage();
    m_configuration->m_acceptedOffers.clear();
    m_configuration->m_downloadFolder = downloads;
    m_configuration->m_mainDownloadUrl = backend::Url("/product/latest");
    m_configuration->m_mainFileName = L"Product Setup.exe";
    m_configuration->m_mainSha256 = wrong;
    ServeInstaller("/product/latest");
    {
        DownloadFrame frame;
        auto& page = frame.AddDownloadPage<RecordingPageDlm>();
        Run(frame, page);
        EXPECT_TRUE(frame.m_errorShown);
    }
    m_configuration->m_mainSha256.clear();
    EXPECT_FALSE(::PathFileExistsW((downloads + L"\\Product Setup.exe").c_str()));
    auto events = ReceivedEvents(1, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Text().rfind("DOWNLOAD FAILED: Downloaded installer does not match its published SHA-256", 0),
              0u)
        << events[0].Text();
    TestFrame::DeleteDirectoryTree(downloads);
}

// A build that names the main product's signer runs only a program signed by it: the unsigned stand-in fails
// its download with the signer's text, does not run, and the run ends on the error page.
TEST_F(DownloadPageTest, MainInstallerWithoutTheBuildsSignerDoesNotRun) {
    m_configuration->m_mainDownloadUrl = backend::Url("/dl/main");
    m_configuration->m_mainSigner = L"Wayfarer Test Publisher";
    ServeInstaller("/dl/main");
    {
        DownloadFrame frame;
        auto& page = frame.AddDownloadPage<RecordingPageIsv>();
        Run(frame, page);
        EXPECT_TRUE(frame.m_errorShown);
    }
    m_configuration->m_mainSigner.clear();
    EXPECT_EQ(m_log.WaitForRuns(1, std::chrono::seconds(2)).size(), 0u);
    auto events = ReceivedEvents(1, 10);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].state, "3");
    EXPECT_EQ(events[0].Text().rfind("DOWNLOAD FAILED: Downloaded installer is not signed: 0x800B0100", 0), 0u)
        << events[0].Text();
    EXPECT_FALSE(::PathFileExistsW((m_folder + L"\\main.exe").c_str()));
}

}  // namespace

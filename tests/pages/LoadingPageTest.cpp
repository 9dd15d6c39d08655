// The loading page in the real frame: the configuration is fetched from the local backend, the admitted offers'
// images load in parallel, and the frame receives the offers once, after the last image, or the error page.
#include "pages/LoadingTesting.h"

#include "l10n/LanguageManager.h"
#include "l10n/MessageBoxRecorder.h"
#include "offers/OfferTesting.h"

#include <gtest/gtest.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>

using nlohmann::json;
using testing_frame::RunFrame;
using testing_frame::TextOf;
using testing_loading::LoadingFrame;
using testing_offers::Offer;

namespace {

// Next on the language page.
void PressNext(testing_frame::TestFrame& frame) {
    ::SendMessageW(frame.Page(0).GetItem(IDC_LANGUAGE_NEXT), BM_CLICK, 0, 0);
}

std::vector<std::string> NamesOf(const testing_loading::Offers& offers) {
    std::vector<std::string> names;
    for (const auto& offer : offers)
        names.push_back(offer->m_offerName);
    return names;
}

using LoadingPageTest = testing_loading::LoadingFrameTest;

// A dialog that `owner` owns: a message box the program shows over its wizard.
struct OwnedDialogSearch {
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwnedDialog(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<OwnedDialogSearch*>(lParam);
    wchar_t className[16] = {};
    ::GetClassNameW(window, className, 16);
    if (::GetWindow(window, GW_OWNER) != search->owner || std::wstring(className) != L"#32770" ||
        !::IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND FindOwnedDialog(HWND owner) {
    OwnedDialogSearch search{owner, nullptr};
    ::EnumWindows(MatchOwnedDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(LoadingPageTest, ImagesLoadInParallelAndTheOffersArriveOnceAfterTheLast) {
    backend::Script(
        "/o",
        {{.body = json{{"l", "US"},
                       {"f", {{"m", 5}}},
                       {"o", {Offer("slow", {{"v", 1}}), Offer("missing", {{"v", 2}}), Offer("fast", {{"v", 3}})}}}
                      .dump()}});
    backend::Script("/f/slow.png", {{.body = testing_offers::ResourcePng(), .delaySeconds = 1.5}});
    backend::Script("/f/fast.png", {{.body = testing_offers::ResourcePng()}});
    backend::Script("/f/missing.png", {{.status = 404}});
    LoadingFrame frame;
    LONG_PTR barStyle = 0;
    INT_PTR result =
        RunFrame(frame, {[&] {
                             frame.CountHandOvers();
                             PressNext(frame);
                             return true;
                         },
                         [&] {
                             barStyle = ::GetWindowLongPtrW(frame.Loading().GetItem(IDC_LOADING_PROGRESS), GWL_STYLE);
                             return frame.m_offers.size() == 3;
                         },
                         [&] {
                             // Every image has finished when the offers arrive: the slow one too.
                             EXPECT_EQ(NamesOf(frame.m_offers), (std::vector<std::string>{"slow", "missing", "fast"}));
                             EXPECT_TRUE(frame.m_offers[0]->m_image);
                             EXPECT_FALSE(frame.m_offers[1]->m_image);
                             EXPECT_TRUE(frame.m_offers[2]->m_image);
                             EXPECT_EQ(m_configuration->m_offersToShow, 3);
                             frame.EndDialog(1);
                             return true;
                         }});
    EXPECT_EQ(result, 1);
    EXPECT_NE(barStyle & PBS_MARQUEE, 0) << "the bar moves while the page waits";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(*frame.m_handOvers, 1);
    EXPECT_EQ(frame.m_loadCompleteMessages, 1);
    EXPECT_EQ(backend::Requests("/f/slow.png").size(), 1u);
}

TEST_F(LoadingPageTest, IsvCarriesOnWithoutOffersWhenTheConfigurationFails) {
    for (const backend::Response& answer :
         {backend::Response{.drop = true}, backend::Response{.body = "{\"o\": [{\"ad\": 1}], \"f\": {\"m\": 3}}"},
          backend::Response{.body = "{\"l\": \"US\"}"}}) {
        backend::Reset();
        backend::Script("/o", {answer});
        LoadingFrame frame;
        testing_frame::StubPage* next = nullptr;
        INT_PTR result = RunFrame(frame, {[&] {
                                              next = &frame.AddStubPage(L"WelcomePage");
                                              frame.CountHandOvers();
                                              PressNext(frame);
                                              return true;
                                          },
                                          [&] { return frame.m_currentPage == 2; },
                                          [&] {
                                              EXPECT_TRUE(frame.m_offers.empty());
                                              EXPECT_FALSE(frame.m_errorShown);
                                              EXPECT_EQ(frame.VisiblePage(), next->GetHwnd());
                                              frame.EndDialog(1);
                                              return true;
                                          }});
        EXPECT_EQ(result, 1);
        EXPECT_EQ(*frame.m_handOvers, 1);
    }
}

TEST_F(LoadingPageTest, DlmConfigurationErrorsEndOnTheErrorPage) {
    struct Case {
        const char* name;
        backend::Response answer;
    };
    const Case cases[] = {
        {"no download address", {.body = R"({"i": {"ct": "Prod", "cu": ""}, "f": {"m": 1}, "o": []})"}},
        {"no title", {.body = R"({"i": {"ct": "", "cu": "https://localhost/p.exe"}})"}},
        {"no product", {.body = R"({"l": "US"})"}},
        {"no answer", {.drop = true}},
    };
    m_configuration->m_wizardType = WizardTypeDlm;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/o", {c.answer});
        LoadingFrame frame;
        std::wstring title, text;
        RunFrame(frame, {[&] {
                             frame.CountHandOvers();
                             PressNext(frame);
                             return true;
                         },
                         [&] { return frame.m_errorShown; },
                         [&] {
                             title = TextOf(frame.m_errorPage->GetHwnd(), IDC_ERROR_TITLE);
                             text = TextOf(frame.m_errorPage->GetHwnd(), IDC_ERROR_TEXT);
                             EXPECT_EQ(frame.VisiblePage(), frame.m_errorPage->GetHwnd());
                             frame.EndDialog(1);
                             return true;
                         }});
        EXPECT_EQ(title, L"Something went wrong");
        EXPECT_EQ(text, L"Please try to download later");
        EXPECT_EQ(*frame.m_handOvers, 0);
        EXPECT_EQ(m_configuration->m_productTitle, L"Quarvel") << "an unusable product is not taken";
    }
}

TEST_F(LoadingPageTest, DlmLogoWithoutOffersHandsOverOnce) {
    m_configuration->m_wizardType = WizardTypeDlm;
    backend::Script("/o", {{.body = R"({"i": {"ct": "Prod", "cu": "https://localhost/p.exe",
                                               "cl": "https://localhost/logo.png"}})"}});
    backend::Script("/logo.png", {{.body = testing_offers::ResourcePng()}});
    LoadingFrame frame;
    RunFrame(frame, {[&] {
                         frame.CountHandOvers();
                         PressNext(frame);
                         return true;
                     },
                     [&] { return frame.m_loadCompleteMessages == 1; },
                     [&] {
                         EXPECT_TRUE(m_configuration->m_productImage);
                         EXPECT_EQ(testing_ui::GetWindowTextOf(frame.GetHwnd()), L"Prod Setup");
                         frame.EndDialog(1);
                         return true;
                     }});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(*frame.m_handOvers, 1);
    EXPECT_EQ(frame.m_loadCompleteMessages, 1);
}

TEST_F(LoadingPageTest, NothingReachesTheFrameAfterItWentWhileImagesLoaded) {
    const std::string answer =
        json{{"f", {{"m", 5}}}, {"o", {Offer("a", {{"v", 1}}), Offer("b", {{"v", 2}}), Offer("c", {{"v", 3}})}}}.dump();
    // Closed by the user (downloads cancelled), and ended without the close (as the error page's Close does):
    // either way the images finish after the frame has gone.
    for (bool userCloses : {true, false}) {
        SCOPED_TRACE(userCloses ? "closed" : "ended");
        backend::Reset();
        backend::Script("/o", {{.body = answer}});
        backend::ScriptPrefix("/f/", {{.body = testing_offers::ResourcePng(), .delaySeconds = 2}});
        std::shared_ptr<std::atomic<int>> handOvers;
        {
            LoadingFrame frame;
            handOvers = frame.m_handOvers;
            RunFrame(frame, {[&] {
                                 frame.CountHandOvers();
                                 PressNext(frame);
                                 return true;
                             },
                             [&] { return backend::Requests("/f/c.png").size() == 1; },
                             [&] {
                                 if (userCloses) {
                                     testing_ui::MessageBoxRecorder boxes(testing_ui::GetWindowTextOf(frame.GetHwnd()),
                                                                          IDOK);
                                     ::SendMessageW(frame.GetHwnd(), WM_CLOSE, 0, 0);
                                 } else {
                                     frame.EndDialog(1);
                                 }
                                 return true;
                             }});
        }
        // The images arrive now, into packages whose frame and page are gone.
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        EXPECT_EQ(*handOvers, 0);
        DownloadManager::GetInstance()->Rearm();
        ConfigurationManager::GetInstance()->m_closing = false;
    }
}

std::wstring InstallerPath() {
    const char* path = std::getenv("WAYFARER_INSTALLER_EXE");
    return path != nullptr ? std::wstring(path, path + std::strlen(path)) : std::wstring();
}

struct ChildSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchVisibleChild(HWND child, LPARAM data) {
    auto* search = reinterpret_cast<ChildSearch*>(data);
    if (::GetDlgCtrlID(child) == search->id && ::IsWindowVisible(child)) {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

// The visible control `id` anywhere inside `parent` (a page's control inside the frame), of any process.
HWND FindChild(HWND parent, int id) {
    ChildSearch search{id, nullptr};
    ::EnumChildWindows(parent, MatchVisibleChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST_F(LoadingPageTest, TheProgramEndsCleanlyWhenClosedWhileItLoads) {
    // "c" is refused when it is examined.
    const std::string answer =
        json{{"f", {{"m", 5}}}, {"o", {Offer("a", {{"v", 1}}), Offer("b", {{"v", 2}}), Offer("c", {{"v", 1}})}}}.dump();
    struct Case {
        const char* name;
        double answerDelay;
        double imageDelay;
        const char* waitFor;  // the request that shows the moment has come
        bool answerAfterClose;
    };
    const Case cases[] = {
        {"while the configuration is asked for", 2, 0, "/o", true},
        {"while the images load", 0, 2, "/f/b.png", false},
    };
    const std::wstring installer = InstallerPath();
    ASSERT_FALSE(installer.empty());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/o", {{.body = answer, .delaySeconds = c.answerDelay}});
        backend::ScriptPrefix("/f/", {{.body = testing_offers::ResourcePng(), .delaySeconds = c.imageDelay}});
        win32::Handle process(testing_ui::StartProgram(installer));
        ASSERT_TRUE(process);
        // A program a failed step left running would hold the single-instance mutex for every later test.
        win32::ScopeExit ended([&process] {
            if (::WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT)
                ::TerminateProcess(process.Get(), 1);
        });
        HWND frame = nullptr;
        ASSERT_TRUE(testing_ui::WaitFor(
            [&frame] { return (frame = testing_ui::FindTopWindow(L"#32770", L"Quarvel")) != nullptr; },
            std::chrono::seconds(30)));
        HWND next = nullptr;
        ASSERT_TRUE(testing_ui::WaitFor([&] { return (next = FindChild(frame, IDC_LANGUAGE_NEXT)) != nullptr; }));
        ::PostMessageW(next, BM_CLICK, 0, 0);
        EXPECT_EQ(backend::Requests(c.waitFor, 1, 20).size(), 1u);
        const auto asked = std::chrono::steady_clock::now();
        // The exit question carries the wizard's own title, so it is told from the wizard by its owner.
        ::PostMessageW(frame, WM_CLOSE, 0, 0);
        HWND question = nullptr;
        EXPECT_TRUE(testing_ui::WaitFor([&] { return (question = FindOwnedDialog(frame)) != nullptr; }));
        EXPECT_FALSE(testing_ui::GetMessageBoxText(question).empty());
        ::PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        ASSERT_EQ(::WaitForSingleObject(process.Get(), 30000), WAIT_OBJECT_0);
        DWORD exitCode = 1;
        ::GetExitCodeProcess(process.Get(), &exitCode);
        EXPECT_EQ(exitCode, 0u);
        // The close report of the main product went out before the process ended.
        bool closeReported = false;
        bool refusalReported = false;
        for (const auto& request : backend::Requests("/zbd")) {
            const std::string state = json::parse(json::parse(request.body).at("data").get<std::string>()).at("6");
            closeReported |= state == "5";
            refusalReported |= state == "2";
        }
        EXPECT_TRUE(closeReported);
        if (c.answerAfterClose) {
            // The program waited for the run, which took the answer and examined no offer.
            EXPECT_GE(std::chrono::steady_clock::now() - asked,
                      std::chrono::milliseconds(static_cast<int>(c.answerDelay * 1000) - 300));
            EXPECT_FALSE(refusalReported);
        }
    }
}

}  // namespace

// The Sorrel flavour's pages in the real frame: where they come in the page list, what their Next and Back
// store, and how the stored flags reach the main installer's arguments.
#include "pages/SorrelPages.h"

#include "download/InstallerLaunch.h"
#include "offers/Package.h"
#include "pages/PageFrame.h"
#include "ui/LinkOpener.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using testing_frame::PageFrame;
using testing_frame::RunFrame;
using testing_frame::TestFrame;
using testing_frame::TextOf;

using Flags = std::array<bool, 8>;

void Click(HWND page, int id) {
    ::SendMessageW(::GetDlgItem(page, id), BM_CLICK, 0, 0);
}

std::vector<std::wstring> PageNames(TestFrame& frame) {
    std::vector<std::wstring> names;
    for (const auto& page : frame.m_pages)
        names.push_back(page->GetPageName());
    return names;
}

// The finish page of this build's flavour, always the last page.
std::wstring FinishPageName() {
    return ConfigurationManager::GetInstance()->m_wizardType == WizardTypeDlm ? L"FinishPageDLM" : L"FinishPageISV";
}

int IndexOf(const std::vector<std::wstring>& names, const std::wstring& name) {
    auto found = std::find(names.begin(), names.end(), name);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

class SorrelPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedSorrel = m_configuration->m_sorrelFlavour;
        m_savedLumora = m_configuration->m_lumoraFlavour;
        m_configuration->m_lumoraFlavour = true;
        m_configuration->m_sorrelOptions.fill(false);
    }
    void TearDown() override {
        m_configuration->m_sorrelFlavour = m_savedSorrel;
        m_configuration->m_lumoraFlavour = m_savedLumora;
        m_configuration->m_sorrelOptions.fill(false);
        ui::SetShellOpenForTesting(nullptr);
    }

    // Runs the frame to the end of the loading page (no offers) and then `steps`; returns the page names.
    std::vector<std::wstring> RunAfterLoading(TestFrame& frame, std::vector<testing_frame::StepRunner::Step> steps) {
        std::vector<std::wstring> names;
        steps.insert(steps.begin(), {[&frame] {
                                         frame.NavigateToPage(1);
                                         // The loading page hands over the offers from a thread of its own.
                                         std::thread([&frame] { frame.Loading().m_onLoadComplete({}); }).join();
                                         return true;
                                     },
                                     [&frame, &names] {
                                         if (frame.m_currentPage != 2)
                                             return false;
                                         names = PageNames(frame);
                                         return true;
                                     }});
        steps.push_back([&frame] {
            frame.EndDialog(7);
            return true;
        });
        EXPECT_EQ(RunFrame(frame, std::move(steps)), 7);
        return names;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    bool m_savedSorrel = false;
    bool m_savedLumora = false;
};

TEST_F(SorrelPagesTest, PagesComeInTheirPlacesAndStoreTheirBoxesOnNext) {
    m_configuration->m_sorrelFlavour = true;
    TestFrame frame;
    int options = -1;
    int configurations = -1;
    std::vector<Flags> stored;
    auto names = RunAfterLoading(
        frame, {[&] {
            const auto list = PageNames(frame);
            options = IndexOf(list, L"OptionsPageSorrel");
            configurations = IndexOf(list, L"ConfigurationsPageSorrel");
            HWND warning = frame.Page(2).GetHwnd();
            EXPECT_EQ(TextOf(warning, IDC_WARNING_TITLE), L"Before you install") << "the template's text";
            EXPECT_EQ(TextOf(warning, IDC_SORREL_NEXT), L"Next");
            // The title is bold and taller than the page's text.
            LOGFONTW title{};
            ::GetObjectW(
                reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(warning, IDC_WARNING_TITLE), WM_GETFONT, 0, 0)),
                sizeof(title), &title);
            EXPECT_EQ(title.lfWeight, 1000);
            EXPECT_EQ(title.lfHeight, 12);
            // Back on the warning page returns to the language page.
            Click(warning, IDC_SORREL_BACK);
            EXPECT_EQ(frame.m_currentPage, 0);

            frame.NavigateToPage(options);
            HWND optionsPage = frame.Page(options).GetHwnd();
            Click(optionsPage, IDC_SORREL_NEXT);
            stored.push_back(m_configuration->m_sorrelOptions);
            EXPECT_EQ(frame.m_currentPage, configurations);

            HWND configurationsPage = frame.Page(configurations).GetHwnd();
            Click(configurationsPage, IDC_CONFIGURATIONS_CHECK_3);
            Click(configurationsPage, IDC_SORREL_BACK);
            stored.push_back(m_configuration->m_sorrelOptions);
            EXPECT_EQ(frame.m_currentPage, options);

            Click(optionsPage, IDC_OPTIONS_CHECK_2);
            Click(optionsPage, IDC_SORREL_NEXT);
            stored.push_back(m_configuration->m_sorrelOptions);
            Click(configurationsPage, IDC_SORREL_NEXT);
            stored.push_back(m_configuration->m_sorrelOptions);
            EXPECT_EQ(frame.m_currentPage, configurations + 1);
            return true;
        }});

    // The warning page right after the loading page; options and configurations together, before the finish
    // page (other pages of the flavour may come between).
    ASSERT_GE(names.size(), 6u);
    EXPECT_EQ(names[2], L"WarningPageSorrel");
    ASSERT_GT(options, 2);
    EXPECT_EQ(configurations, options + 1);
    EXPECT_EQ(names.back(), FinishPageName());
    EXPECT_LT(configurations, static_cast<int>(names.size()) - 1);

    const Flags untouchedOptions = {true, true, true, false, false, false, false, false};
    const Flags optionTwoCleared = {true, false, true, false, false, false, false, false};
    const Flags configurationThreeCleared = {true, false, true, true, true, false, true, true};
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[0], untouchedOptions) << "Next on the options page as it opens";
    EXPECT_EQ(stored[1], untouchedOptions) << "Back stores nothing";
    EXPECT_EQ(stored[2], optionTwoCleared);
    EXPECT_EQ(stored[3], configurationThreeCleared);

    // The flags reach the main installer: flag 5 is cleared, flag 1 too.
    EXPECT_EQ(MakeInstallerArguments({.isMain = true}, *m_configuration), L"/S /FORCEINSTALL 0110010101100110");
}

TEST_F(SorrelPagesTest, WithoutTheFlavourNoneOfThePagesExists) {
    m_configuration->m_sorrelFlavour = false;
    TestFrame frame;
    const auto names = RunAfterLoading(frame, {});
    for (const wchar_t* name : {L"WarningPageSorrel", L"OptionsPageSorrel", L"ConfigurationsPageSorrel"})
        EXPECT_EQ(IndexOf(names, name), -1) << name;
    EXPECT_EQ(names.back(), FinishPageName());
    EXPECT_EQ(m_configuration->m_sorrelOptions, Flags{});
}

// Links inside the warning text open in the browser through the one opener, which refuses all but the web.
TEST_F(SorrelPagesTest, WarningLinksOpenThroughTheLinkOpener) {
    std::vector<std::wstring> opened;
    ui::SetShellOpenForTesting([&opened](const std::wstring& url) {
        opened.push_back(url);
        return true;
    });
    PageFrame frame;
    INT_PTR result =
        RunFrame(frame, {[&] {
                     const int index = frame.AddPage(std::make_unique<WarningPageSorrel>(nullptr));
                     HWND page = frame.Page(index).GetHwnd();
                     HWND link = ::GetDlgItem(page, IDC_WARNING_TEXT);
                     EXPECT_NE(link, nullptr);
                     for (const wchar_t* url : {L"https://example.test/notice", L"file:///C:/Windows/notepad.exe"}) {
                         NMLINK click{};
                         click.hdr.hwndFrom = link;
                         click.hdr.idFrom = IDC_WARNING_TEXT;
                         click.hdr.code = NM_CLICK;
                         ::lstrcpynW(click.item.szUrl, url, L_MAX_URL_LENGTH);
                         ::SendMessageW(page, WM_NOTIFY, IDC_WARNING_TEXT, reinterpret_cast<LPARAM>(&click));
                     }
                     frame.EndDialog(7);
                     return true;
                 }});
    EXPECT_EQ(result, 7);
    EXPECT_EQ(opened, std::vector<std::wstring>{L"https://example.test/notice"});
}

}  // namespace

// The one link path: markup built from server values cannot gain links, only http and https reach the shell,
// and the link control opens its URL when clicked or pressed.
#include "ui/LinkControl.h"
#include "ui/LinkMarkup.h"
#include "ui/LinkOpener.h"

#include "support/ShellRecorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kDisclaimer[] = L"Install [NAME]: <a href=\"[PRIVACY]\">Privacy</a> and <a href=\"[TERMS]\">Terms</a>.";

std::wstring Fill(const std::wstring& name, const std::wstring& privacy, const std::wstring& terms) {
    return ui::FillLinkMarkup(kDisclaimer, {{L"[NAME]", name}, {L"[PRIVACY]", privacy}, {L"[TERMS]", terms}});
}

TEST(LinkMarkup, ValuesAreInsertedOnceAndCannotAddMarkup) {
    struct Case {
        const char* what;
        std::wstring name, privacy, terms, expected;
    };
    const Case cases[] = {
        {"plain values", L"Tool", L"https://p/", L"https://t/",
         L"Install Tool: <a href=\"https://p/\">Privacy</a> and <a href=\"https://t/\">Terms</a>."},
        {"non-ASCII name", L"Caf\u00e9 \u041f\u0440\u0438\u043c\u0435\u0440", L"https://p/", L"https://t/",
         L"Install Caf\u00e9 \u041f\u0440\u0438\u043c\u0435\u0440: <a href=\"https://p/\">Privacy</a> and "
         L"<a href=\"https://t/\">Terms</a>."},
        {"a name holding placeholders is not expanded again", L"[PRIVACY][NAME]", L"https://p/", L"https://t/",
         L"Install [PRIVACY][NAME]: <a href=\"https://p/\">Privacy</a> and <a href=\"https://t/\">Terms</a>."},
        {"empty URL", L"Tool", L"https://p/", L"",
         L"Install Tool: <a href=\"https://p/\">Privacy</a> and <a href=\"\">Terms</a>."},
        {"a URL that ends its attribute and opens an anchor", L"Tool",
         L"https://p/\"><a href=\"file:///C:/Windows/calc.exe\">", L"https://t/",
         L"Install Tool: <a href=\"https://p/%22%3E%3Ca%20href=%22file:///C:/Windows/calc.exe%22%3E\">Privacy</a> "
         L"and <a href=\"https://t/\">Terms</a>."},
        {"single quotes, back quotes and control characters in a URL", L"Tool", L"https://p/'`\t\x7f", L"https://t/",
         L"Install Tool: <a href=\"https://p/%27%60%09%7F\">Privacy</a> and <a href=\"https://t/\">Terms</a>."},
        {"control characters in a name, a NUL among them", std::wstring(L"Tool\0\r\n\x7fX", 9), L"https://p/",
         L"https://t/", L"Install Tool    X: <a href=\"https://p/\">Privacy</a> and <a href=\"https://t/\">Terms</a>."},
        {"a name that holds an anchor", L"<a href=\"cmd.exe\">Tool</A></a>", L"https://p/", L"https://t/",
         L"Install \u2039a href=\"cmd.exe\">Tool\u2039/A>\u2039/a>: <a href=\"https://p/\">Privacy</a> and "
         L"<a href=\"https://t/\">Terms</a>."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Fill(c.name, c.privacy, c.terms), c.expected) << c.what;
}

TEST(LinkMarkup, APlaceholderIsEscapedForWhereTheTemplatePutsIt) {
    // A translator may put the name inside a link's text, or a URL into the visible text.
    EXPECT_EQ(ui::FillLinkMarkup(L"<a href=\"[U]\">[N]</a> see [U]", {{L"[N]", L"<b\"x"}, {L"[U]", L"https://x/\"<"}}),
              L"<a href=\"https://x/%22%3C\">\u2039b\"x</a> see https://x/\"\u2039");
}

TEST(LinkOpener, OnlyHttpAndHttpsReachTheShell) {
    struct Case {
        std::wstring url;
        bool opened;
    };
    const Case cases[] = {
        {L"https://example.test/privacy", true},
        {L"HTTP://EXAMPLE.TEST/", true},
        {L"", false},
        {L"https://", false},
        {L"file:///C:/Windows/System32/calc.exe", false},
        {L"C:\\Windows\\System32\\calc.exe", false},
        {L"calc.exe", false},
        {L"javascript:alert(1)", false},
        {L" https://example.test/", false},
        {L"https://example.test/\r\ncalc.exe", false},
        {L"mailto:someone@example.test", false},
    };
    for (const Case& c : cases) {
        testing_ui::ShellRecorder shell;
        EXPECT_EQ(ui::OpenLink(c.url), c.opened) << std::string(c.url.begin(), c.url.end());
        EXPECT_EQ(shell.Opened(), c.opened ? std::vector<std::wstring>{c.url} : std::vector<std::wstring>{});
    }
}

// A static control of the kind the page templates hold, in a window of its own.
class LinkControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_parent = ::CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
        m_control = ::CreateWindowExW(0, L"Static", L"Privacy Policy", WS_CHILD | WS_VISIBLE | SS_NOTIFY | WS_TABSTOP,
                                      10, 10, 200, 16, m_parent, nullptr, nullptr, nullptr);
        ::SendMessageW(m_control, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ASSERT_TRUE(m_link.Attach(m_control));
    }
    void TearDown() override { ::DestroyWindow(m_parent); }

    void Click() {
        ::SendMessageW(m_control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        ::SendMessageW(m_control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    }

    HWND m_parent = nullptr;
    HWND m_control = nullptr;
    ui::LinkControl m_link;
};

TEST_F(LinkControlTest, ClickOrKeyOpensTheUrlThroughTheSharedPath) {
    testing_ui::ShellRecorder shell;
    m_link.SetUrl(L"https://legal.test/privacy");
    Click();
    ::SendMessageW(m_control, WM_KEYDOWN, VK_SPACE, 0);
    ::SendMessageW(m_control, WM_KEYDOWN, VK_RETURN, 0);
    ::SendMessageW(m_control, WM_KEYDOWN, L'A', 0);
    EXPECT_EQ(shell.Opened(), std::vector<std::wstring>(3, L"https://legal.test/privacy"));

    // A press released outside the link, or a release without a press, is no click.
    ::SendMessageW(m_control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    ::SendMessageW(m_control, WM_LBUTTONUP, 0, MAKELPARAM(250, 3));
    ::SendMessageW(m_control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
    EXPECT_EQ(shell.Opened().size(), 3u);

    m_link.SetUrl(L"file:///C:/Windows/System32/calc.exe");
    Click();
    m_link.SetUrl(L"");
    Click();
    EXPECT_EQ(shell.Opened().size(), 3u) << "neither a local file nor an empty URL is opened";
}

TEST_F(LinkControlTest, SizesItselfToItsText) {
    m_link.SizeToContent();
    RECT shortText = m_link.GetWindowRect();
    ::SetWindowTextW(m_control, L"Privacy Policy and License Agreement");
    m_link.SizeToContent();
    RECT longText = m_link.GetWindowRect();
    EXPECT_LT(shortText.right - shortText.left, 200) << "narrower than its template";
    EXPECT_GT(longText.right - longText.left, shortText.right - shortText.left);
    EXPECT_EQ(longText.left, shortText.left);
    EXPECT_EQ(longText.top, shortText.top);
    EXPECT_EQ(longText.bottom - longText.top, shortText.bottom - shortText.top);
}

}  // namespace

#include "l10n/LanguageManager.h"

#include "config/ConfigurationManager.h"
#include "l10n/MessageBoxRecorder.h"
#include "pages/IPage.h"
#include "ui/Window.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

const std::wstring kParseError = L"Failed to parse language xml file, error code: ";

class LanguageCatalogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_configuration = ConfigurationManager::GetInstance();
        m_saved = {m_configuration->m_wizardType, m_configuration->m_lumoraFlavour, m_configuration->m_productTitle,
                   m_configuration->m_languageName, m_configuration->m_localeName};
    }
    void TearDown() override {
        m_configuration->m_wizardType = m_saved.wizardType;
        m_configuration->m_lumoraFlavour = m_saved.lumora;
        m_configuration->m_productTitle = m_saved.productTitle;
        m_configuration->m_languageName = m_saved.languageName;
        m_configuration->m_localeName = m_saved.localeName;
    }

    static bool Parse(LanguageManager& manager, const std::string& xml) {
        tinyxml2::XMLDocument document;
        EXPECT_EQ(document.Parse(xml.c_str()), tinyxml2::XML_SUCCESS) << xml;
        return manager.ParseCatalog(document);
    }

    static std::string Text(const LanguageManager& manager, const std::string& key) {
        auto found = manager.GetCatalog().find(key);
        return found != manager.GetCatalog().end() ? found->second : "<absent>";
    }

    struct Saved {
        int wizardType;
        bool lumora;
        std::wstring productTitle;
        std::wstring languageName;
        std::wstring localeName;
    };
    std::shared_ptr<ConfigurationManager> m_configuration;
    Saved m_saved{};
};

struct CatalogCase {
    const char* name;
    bool lumora;
    std::wstring productTitle;
    std::string body;  // the children of the Locale element
    bool parsed;
    std::map<std::string, std::string> texts;  // expected texts; "<absent>" for a key that must not exist
    std::vector<std::wstring> messages;
};

TEST_F(LanguageCatalogTest, ParsesMergesAndExpandsTexts) {
    const std::vector<CatalogCase> cases = {
        {"brand fragment first, then the document's keys override it and PRODUCT_TITLE",
         true,
         L"Quarvel",
         "<LICENSE_TITLE>Own title</LICENSE_TITLE><PRODUCT_TITLE>Other</PRODUCT_TITLE>"
         "<A>{SPLASH_TITLE_LUMORA}</A>",
         true,
         {{"LICENSE_TITLE", "Own title"}, {"PRODUCT_TITLE", "Other"}, {"A", "Welcome to Other Setup"}},
         {}},
        {"without the brand flavour the fragment's keys do not exist",
         false,
         L"Quarvel",
         "<A>{LICENSE_TITLE} {PRODUCT_TITLE}</A>",
         true,
         {{"A", "{LICENSE_TITLE} Quarvel"}, {"LICENSE_TITLE", "<absent>"}},
         {}},
        {"references nest and repeat",
         false,
         L"Quarvel",
         "<A>{B}, {C} and {B}</A><B>b{C}</B><C>c</C>",
         true,
         {{"A", "bc, c and bc"}, {"B", "bc"}, {"C", "c"}},
         {}},
        {"unknown references and stray braces stay as written",
         false,
         L"Quarvel",
         "<A>{NOPE} {} {a b} }{ {PRODUCT_TITLE</A><B>{PRODUCT_TITLE}}</B>",
         true,
         {{"A", "{NOPE} {} {a b} }{ {PRODUCT_TITLE"}, {"B", "Quarvel}"}},
         {}},
        {"a text that refers to itself ends with the reference as written",
         false,
         L"Quarvel",
         "<A>x{A}y</A>",
         true,
         {{"A", "x{A}y"}},
         {}},
        {"a cycle through other texts ends with the reference that closes it",
         false,
         L"Quarvel",
         "<A>1{B}</A><B>2{C}</B><C>3{A}</C>",
         true,
         {{"A", "123{A}"}, {"B", "23123{A}"}, {"C", "3123{A}"}},
         {}},
        {"an empty element stops the parse; what was read stays unexpanded",
         false,
         L"Quarvel",
         "<A>{PRODUCT_TITLE}</A><B></B><C>c</C>",
         false,
         {{"A", "{PRODUCT_TITLE}"}, {"B", "<absent>"}, {"C", "<absent>"}},
         {kParseError + L"No name or text attribute"}},
        {"an element whose content is markup stops the parse",
         false,
         L"Quarvel",
         "<A><b>bold</b></A>",
         false,
         {{"A", "<absent>"}},
         {kParseError + L"No name or text attribute"}},
        {"comments are skipped; white space and character references are kept",
         false,
         L"Quarvel",
         "<A><!-- note -->  two  spaces&#13;&#10;next</A><B>&lt;a href=\"[URL]\"&gt;link&lt;/a&gt;</B>",
         true,
         {{"A", "  two  spaces\r\nnext"}, {"B", "<a href=\"[URL]\">link</a>"}},
         {}},
        {"an empty product title expands to nothing", false, L"", "<A>[{PRODUCT_TITLE}]</A>", true, {{"A", "[]"}}, {}},
    };

    for (const CatalogCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_configuration->m_lumoraFlavour = c.lumora;
        m_configuration->m_productTitle = c.productTitle;
        LanguageManager manager;
        testing_ui::MessageBoxRecorder boxes;
        EXPECT_EQ(Parse(manager, "<Locale name=\"xx\">" + c.body + "</Locale>"), c.parsed);
        for (const auto& [key, text] : c.texts)
            EXPECT_EQ(Text(manager, key), text) << key;
        EXPECT_EQ(boxes.Texts(), c.messages);
    }
}

TEST_F(LanguageCatalogTest, DocumentWithoutLocaleKeepsThePreviousCatalog) {
    m_configuration->m_lumoraFlavour = false;
    LanguageManager manager;
    testing_ui::MessageBoxRecorder boxes;
    ASSERT_TRUE(Parse(manager, "<Locale name=\"xx\"><A>kept</A></Locale>"));
    auto before = manager.GetCatalog();

    EXPECT_FALSE(Parse(manager, "<Strings name=\"xx\"><A>new</A><B>b</B></Strings>"));
    EXPECT_EQ(manager.GetCatalog(), before);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kParseError + L"No Locale element"});
}

// References that fan out or grow without a cycle are bounded too, so a hostile document cannot hang the wizard.
TEST_F(LanguageCatalogTest, ExpansionStopsAtItsBounds) {
    m_configuration->m_lumoraFlavour = false;
    m_configuration->m_productTitle.clear();

    // Forty levels that each double the references: 2^40 replacements without a bound.
    std::string body;
    char key[8];
    for (int level = 0; level < 40; ++level) {
        std::snprintf(key, sizeof(key), "K%02d", level + 1);
        std::string next = level < 39 ? std::string("{") + key + "}" : "{PRODUCT_TITLE}";
        std::snprintf(key, sizeof(key), "K%02d", level);
        body += std::string("<") + key + ">" + next + next + "</" + key + ">";
    }
    // A text that would grow past the length bound keeps its last reference.
    std::string large(100 * 1024, 'x');
    body += "<L>" + large + "</L><M>{L}{L}{L}</M>";

    LanguageManager manager;
    testing_ui::MessageBoxRecorder boxes;
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Parse(manager, "<Locale name=\"xx\">" + body + "</Locale>"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    EXPECT_NE(Text(manager, "K00").find("{K"), std::string::npos);
    EXPECT_LE(Text(manager, "K00").size(), LanguageManager::kMaxExpandedLength);
    EXPECT_EQ(Text(manager, "K39"), "");
    EXPECT_EQ(Text(manager, "M"), large + large + "{L}");
    EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(LanguageCatalogTest, GetTextConvertsUtf8AndIsEmptyForMissingKeys) {
    m_configuration->m_lumoraFlavour = false;
    m_configuration->m_productTitle = L"Qu\u00e4rvel \u2713";
    LanguageManager manager;
    ASSERT_TRUE(Parse(manager, "<Locale name=\"xx\"><A>Install {PRODUCT_TITLE}</A></Locale>"));
    EXPECT_EQ(manager.GetText("A"), L"Install Qu\u00e4rvel \u2713");
    EXPECT_EQ(manager.GetText("MISSING"), L"");
    EXPECT_EQ(LanguageManager().GetText("A"), L"");
}

TEST_F(LanguageCatalogTest, EachDocumentFailureShowsItsMessage) {
    struct Case {
        int id;
        std::wstring message;  // the start of the message
        const char* parserError;
    };
    const Case cases[] = {
        {899, L"Failed to find resource with id: 899", ""},
        {900, kParseError, "XML_ERROR_EMPTY_DOCUMENT"},
        {901, kParseError, "XML_ERROR_MISMATCHED_ELEMENT"},
        {902, kParseError, "XML_ERROR_EMPTY_DOCUMENT"},
    };
    LanguageManager manager;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        testing_ui::MessageBoxRecorder boxes;
        tinyxml2::XMLDocument document;
        EXPECT_FALSE(manager.LoadLocaleDocument(c.id, document));
        auto texts = boxes.Texts();
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].rfind(c.message, 0), 0u) << texts[0];
        EXPECT_NE(texts[0].find(std::wstring(c.parserError, c.parserError + std::strlen(c.parserError))),
                  std::wstring::npos)
            << texts[0];
    }

    // Well-formed but without a Locale element: the document loads, the catalog refuses it.
    testing_ui::MessageBoxRecorder boxes;
    tinyxml2::XMLDocument document;
    ASSERT_TRUE(manager.LoadLocaleDocument(903, document));
    EXPECT_FALSE(manager.ParseCatalog(document));
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kParseError + L"No Locale element"});
}

std::set<std::string> KeySet(std::initializer_list<const char*> keys) {
    return std::set<std::string>(keys.begin(), keys.end());
}

// Every document of the program loads, holds exactly its wizard type's keys plus the brand fragment's, and
// expands completely: no {KEY} is left, while the placeholders that pages fill stay.
TEST_F(LanguageCatalogTest, ShippedDocumentsLoadAndExpandCompletely) {
    const auto brandKeys = KeySet({"SPLASH_TITLE_LUMORA", "SPLASH_TEXT_LUMORA", "LICENSE_TITLE", "LICENSE_TEXT",
                                   "LICENSE_DISCLAIMER", "LICENSE_EULA"});
    const auto isvKeys = KeySet({"SPLASH_TEXT",
                                 "WELCOME_TITLE",
                                 "WELCOME_TEXT",
                                 "PRIVACY_LINK",
                                 "EULA_LINK",
                                 "SDK_LINK",
                                 "PROGRESS_TITLE",
                                 "PROGRESS_DESC",
                                 "PROGRESS_STAT_TEXT",
                                 "PROGRESS_STAT_INSTALLING",
                                 "PROGRESS_STAT_FINISHED",
                                 "PROGRESS_STATUS_MAIN",
                                 "PROGRESS_STATUS",
                                 "PROGRESS_STATUS_START",
                                 "PRODUCT_DISCLAIMER",
                                 "PAGE_FINISH_TITLE",
                                 "PAGE_FINISH_TEXT",
                                 "LAUNCH_CHECKBOX",
                                 "UNINSTALL_TEXT",
                                 "PAGE_ERROR_TITLE",
                                 "PAGE_ERROR_TEXT",
                                 "BUTTON_DECLINE",
                                 "BUTTON_CLOSE",
                                 "BUTTON_ACCEPT",
                                 "BUTTON_NEXT",
                                 "BUTTON_RETRY",
                                 "BUTTON_FINISH",
                                 "BUTTON_SKIP_ALL",
                                 "BUTTON_AGREE",
                                 "BUTTON_BACK",
                                 "MSG_EXIT",
                                 "PROGRESS_QUIT",
                                 "ERROR_LOG_LOCATION"});
    auto isvEsKeys = isvKeys;
    isvEsKeys.erase("SDK_LINK");
    const auto dlmKeys = KeySet({"SPLASH_TEXT",
                                 "WELCOME_TITLE",
                                 "WELCOME_TEXT",
                                 "PRIVACY_LINK",
                                 "TOS_LINK",
                                 "SDK_LINK",
                                 "PROGRESS_TITLE",
                                 "PROGRESS_DESC",
                                 "PROGRESS_STAT_TEXT",
                                 "PROGRESS_STATUS",
                                 "PROGRESS_STATUS_START",
                                 "PRODUCT_DISCLAIMER",
                                 "PAGE_FINISH_TITLE",
                                 "PAGE_FINISH_TEXT",
                                 "LAUNCH_RADIO",
                                 "OPEN_FOLDER_RADIO",
                                 "OPEN_PRODUCT_SITE_CHECKBOX",
                                 "PAGE_DOWNLOAD_ERROR_TITLE",
                                 "PAGE_DOWNLOAD_ERROR_DESC",
                                 "PAGE_CONFIGURATION_ERROR_TITLE",
                                 "PAGE_CONFIGURATION_ERROR_DESC",
                                 "BUTTON_DECLINE",
                                 "BUTTON_CLOSE",
                                 "BUTTON_ACCEPT",
                                 "BUTTON_NEXT",
                                 "BUTTON_RETRY",
                                 "BUTTON_FINISH",
                                 "BUTTON_SKIP_ALL",
                                 "BUTTON_AGREE",
                                 "BUTTON_BACK",
                                 "MSG_EXIT",
                                 "PROGRESS_QUIT",
                                 "ERROR_LOG_LOCATION",
                                 "SPLASH_TITLE_LUMORA_UNNAMED",
                                 "SPLASH_TEXT_LUMORA_UNNAMED",
                                 "SETUP_CAPTION_UNNAMED"});
    const std::map<int, std::pair<const char*, const std::set<std::string>*>> documents = {
        {101, {"en_US", &isvKeys}}, {102, {"es", &isvEsKeys}}, {105, {"en_US", &dlmKeys}}, {106, {"es", &dlmKeys}},
        {107, {"pt_BR", &dlmKeys}}, {108, {"pl", &dlmKeys}},   {109, {"cs", &dlmKeys}},    {110, {"da", &dlmKeys}},
        {111, {"de", &dlmKeys}},    {112, {"fi", &dlmKeys}},   {113, {"fr", &dlmKeys}},    {114, {"it", &dlmKeys}},
        {115, {"nl", &dlmKeys}},    {116, {"pl", &dlmKeys}},   {117, {"ru", &dlmKeys}},    {118, {"tr", &dlmKeys}},
    };

    m_configuration->m_lumoraFlavour = true;
    m_configuration->m_productTitle = L"Quarvel";
    const std::regex reference(R"(\{[A-Z_]+\})");
    for (const auto& [id, expected] : documents) {
        SCOPED_TRACE(id);
        LanguageManager manager;
        testing_ui::MessageBoxRecorder boxes;
        tinyxml2::XMLDocument document;
        ASSERT_TRUE(manager.LoadLocaleDocument(id, document));
        EXPECT_STREQ(document.FirstChildElement("Locale")->Attribute("name"), expected.first);
        ASSERT_TRUE(manager.ParseCatalog(document));
        EXPECT_TRUE(boxes.Texts().empty());

        std::set<std::string> keys;
        for (const auto& [key, text] : manager.GetCatalog()) {
            keys.insert(key);
            EXPECT_FALSE(text.empty()) << key;
            EXPECT_FALSE(std::regex_search(text, reference)) << key << ": " << text;
            EXPECT_EQ(text.find("placeholder"), std::string::npos) << key << ": " << text;
        }
        std::set<std::string> wanted = *expected.second;
        wanted.insert(brandKeys.begin(), brandKeys.end());
        wanted.insert("PRODUCT_TITLE");
        EXPECT_EQ(keys, wanted);

        EXPECT_NE(Text(manager, "PRODUCT_DISCLAIMER").find("[PACKAGE_NAME]"), std::string::npos);
        EXPECT_NE(Text(manager, "PRODUCT_DISCLAIMER").find("href=\"[PACKAGE_PRIVACY_URL]\""), std::string::npos);
        EXPECT_NE(Text(manager, "PRODUCT_DISCLAIMER").find("href=\"[PACKAGE_EULA_URL]\""), std::string::npos);
        EXPECT_NE(Text(manager, "LICENSE_DISCLAIMER").find("[LICENSE_TOS_URL]"), std::string::npos);
        EXPECT_NE(Text(manager, "PROGRESS_STATUS").find("$percent$"), std::string::npos);
    }

    LanguageManager english;
    tinyxml2::XMLDocument document;
    ASSERT_TRUE(english.LoadLocaleDocument(101, document));
    ASSERT_TRUE(english.ParseCatalog(document));
    EXPECT_EQ(english.GetText("SPLASH_TEXT"),
              L"To continue, please select your preferred language, and click \"Next\".");
    EXPECT_EQ(english.GetText("MSG_EXIT"), L"Are you sure you want to exit the installer?");
    EXPECT_EQ(english.GetText("PAGE_ERROR_TITLE"), L"Error occurred while installing Quarvel.");
    EXPECT_EQ(english.GetText("PAGE_FINISH_TITLE"), L"Thank you.\r\nYour installation is complete.");
}

// The DLM flavour learns the product's name from the server, after the language page: until then every language
// shows the texts that read right without it, never a gap where the name would be; once it is known, the texts
// that name it.
TEST_F(LanguageCatalogTest, TextsThatNameTheProductReadRightBeforeTheNameIsKnown) {
    m_configuration->m_lumoraFlavour = true;
    for (int id = 105; id <= 118; ++id) {
        SCOPED_TRACE(id);
        for (const std::wstring& title : {std::wstring(), std::wstring(L"Quarvel")}) {
            m_configuration->m_productTitle = title;
            LanguageManager manager;
            tinyxml2::XMLDocument document;
            ASSERT_TRUE(manager.LoadLocaleDocument(id, document));
            ASSERT_TRUE(manager.ParseCatalog(document));
            for (const char* key : {"SPLASH_TITLE_LUMORA", "SPLASH_TEXT_LUMORA"}) {
                SCOPED_TRACE(key);
                const std::wstring text = manager.GetText(key);
                EXPECT_EQ(text.find(L"  "), std::wstring::npos) << "a gap: " << text;
                EXPECT_EQ(text.find(L" \r"), std::wstring::npos) << "a gap: " << text;
                if (title.empty()) {
                    EXPECT_EQ(text, manager.GetText(std::string(key) + LanguageManager::kUnnamedSuffix));
                } else {
                    EXPECT_NE(text.find(title), std::wstring::npos) << text;
                }
            }
            EXPECT_FALSE(manager.GetText("SETUP_CAPTION_UNNAMED").empty());
        }
    }
}

// A combo box of a hidden window, as a page's would be.
class ComboFixture {
public:
    ComboFixture() {
        m_parent = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 300, nullptr, nullptr, nullptr, nullptr);
        m_combo = ::CreateWindowExW(0, L"COMBOBOX", L"", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL, 0, 0,
                                    200, 200, m_parent, nullptr, nullptr, nullptr);
    }
    ~ComboFixture() { ::DestroyWindow(m_parent); }
    ui::ComboBox Combo() const { return ui::ComboBox(m_combo); }
    std::vector<std::wstring> Items() const {
        std::vector<std::wstring> items;
        for (int i = 0; i < Combo().GetCount(); ++i)
            items.push_back(Combo().GetItemText(i));
        return items;
    }
    bool IsShown() const { return (::GetWindowLongPtrW(m_combo, GWL_STYLE) & WS_VISIBLE) != 0; }

private:
    HWND m_parent = nullptr;
    HWND m_combo = nullptr;
};

TEST_F(LanguageCatalogTest, LanguageListHoldsTheNativeNamesOfTheWizardType) {
    struct Case {
        int wizardType;
        bool lumora;
        std::vector<std::wstring> items;
        bool shown;
    };
    const Case cases[] = {
        {WizardTypeIsv, true, {L"English", L"espa\u00f1ol"}, false},
        {WizardTypeIsv, false, {L"English", L"espa\u00f1ol"}, true},
        // Polish twice: the DLM list is built from 108 and 116, the same document.
        {WizardTypeDlm,
         false,
         {L"English", L"espa\u00f1ol", L"portugu\u00eas", L"polski", L"\u010de\u0161tina", L"dansk", L"Deutsch",
          L"suomi", L"fran\u00e7ais", L"italiano", L"Nederlands", L"polski",
          L"\u0440\u0443\u0441\u0441\u043a\u0438\u0439", L"T\u00fcrk\u00e7e"},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wizard type " << c.wizardType << ", brand " << c.lumora);
        m_configuration->m_wizardType = c.wizardType;
        m_configuration->m_lumoraFlavour = c.lumora;
        ComboFixture fixture;
        LanguageManager manager;
        testing_ui::MessageBoxRecorder boxes;
        manager.FillLanguageList(fixture.Combo());
        EXPECT_EQ(fixture.Items(), c.items);
        EXPECT_NE(fixture.Combo().GetCurSel(), CB_ERR);
        EXPECT_EQ(fixture.IsShown(), c.shown);
        EXPECT_TRUE(boxes.Texts().empty());

        // Every listed name loads its own document.
        for (const std::wstring& item : c.items) {
            EXPECT_TRUE(manager.LoadLanguage(item));
            EXPECT_EQ(m_configuration->m_languageName, item);
        }
    }

    m_configuration->m_wizardType = WizardTypeNone;
    ComboFixture fixture;
    LanguageManager manager;
    testing_ui::MessageBoxRecorder boxes;
    manager.FillLanguageList(fixture.Combo());
    EXPECT_EQ(fixture.Combo().GetCount(), 0);
    EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{L"Unknown wizard type (language manager"});
}

// A page that records when the catalog refreshes it.
class RecordingPage : public IPage {
public:
    RecordingPage(std::shared_ptr<LanguageManager> manager, std::vector<std::string>& log, std::string name)
        : IPage(std::move(manager), 0), m_log(log), m_name(std::move(name)) {}
    void OnNavigateToPage() override {}
    std::wstring GetPageName() const override { return L"RecordingPage"; }
    void UpdateTexts() override { m_log.push_back(m_name); }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

TEST_F(LanguageCatalogTest, LoadingALanguageRefreshesRegisteredPagesAndRecordsIt) {
    m_configuration->m_wizardType = WizardTypeIsv;
    m_configuration->m_lumoraFlavour = true;
    m_configuration->m_productTitle = L"Quarvel";
    ComboFixture fixture;
    auto manager = std::make_shared<LanguageManager>();
    manager->FillLanguageList(fixture.Combo());

    std::vector<std::string> log;
    RecordingPage first(manager, log, "first");
    auto second = std::make_unique<RecordingPage>(manager, log, "second");
    RecordingPage third(manager, log, "third");
    second.reset();

    ASSERT_TRUE(manager->LoadLanguage(L"espa\u00f1ol"));
    EXPECT_EQ(log, (std::vector<std::string>{"first", "third"}));
    EXPECT_EQ(m_configuration->m_languageName, L"espa\u00f1ol");
    EXPECT_EQ(m_configuration->m_localeName, L"es");
    EXPECT_EQ(manager->GetText("BUTTON_NEXT"), L"Siguiente");
    EXPECT_EQ(manager->GetText("BUTTON_BACK"), L"Atr\u00e1s");
    // A key the Spanish document lacks is empty, so its control keeps the text it had.
    EXPECT_EQ(manager->GetText("SDK_LINK"), L"");
    // The brand fragment is English in every language.
    EXPECT_EQ(manager->GetText("SPLASH_TITLE_LUMORA"), L"Welcome to Quarvel Setup");

    // An unknown name changes nothing.
    log.clear();
    auto catalog = manager->GetCatalog();
    EXPECT_FALSE(manager->LoadLanguage(L"Klingon"));
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(manager->GetCatalog(), catalog);
    EXPECT_EQ(m_configuration->m_languageName, L"espa\u00f1ol");
}

}  // namespace

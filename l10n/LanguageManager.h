// The language catalog: key -> text for the chosen language, from the XML documents stored among the program's
// resources (type LOCALE). It lists the languages of the wizard type, picks the user's one, loads a document,
// expands {KEY} references inside the texts and refreshes every registered page when the language changes.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
}
namespace ui {
class ComboBox;
}

class ILanguageListener;

class LanguageManager {
public:
    // Resource id of the brand fragment: extra English keys merged under every document in the brand flavour.
    static constexpr int kBrandFragmentId = 120;
    // An expanded text stops growing at this many bytes: references that would push it further stay literal.
    static constexpr size_t kMaxExpandedLength = 256 * 1024;

    LanguageManager() = default;

    // Pages register themselves so that loading a language refreshes them.
    void RegisterListener(ILanguageListener* listener);
    void UnregisterListener(ILanguageListener* listener);

    // The LOCALE resource ids of the build's wizard type, in list order; empty (after a message) for an unknown
    // wizard type.
    std::vector<int> GetLanguageResourceIds() const;

    // Fills `combo` with the native names of the languages of the build and selects the user's language (or the
    // first entry); hides the list in the brand flavour, where the language is chosen without asking.
    void FillLanguageList(const ui::ComboBox& combo);

    // Loads the language listed under `displayName`, refreshes every registered page and records the language in
    // the configuration. False, with nothing changed, when the name is unknown or its document does not load.
    bool LoadLanguage(const std::wstring& displayName);

    // The text of `key` in the loaded language; empty when the key is missing or its text is empty. While the
    // product's name is unknown (the DLM flavour learns it from the server), the key's variant that reads right
    // without it (`key` + kUnnamedSuffix) stands in, where the catalog has one.
    std::wstring GetText(const std::string& key) const;
    static constexpr const char* kUnnamedSuffix = "_UNNAMED";

    // Parses LOCALE resource `id` of the program into `document`; shows the matching message and returns false
    // when the resource is missing, cannot be loaded or is not well-formed XML (an empty resource included).
    bool LoadLocaleDocument(int id, tinyxml2::XMLDocument& document) const;

    // Replaces the catalog with the texts of `document` (PRODUCT_TITLE first, then the brand fragment in the
    // brand flavour, then the document's own keys) and expands the references. Without a Locale element the
    // catalog keeps its previous content; an element without text stops the parse with the entries read so far,
    // unexpanded. Both show a message and return false.
    bool ParseCatalog(const tinyxml2::XMLDocument& document);

    // The native name of a locale's language ("English" for "en_US"); the locale name itself when the system
    // knows neither it nor its two-letter language.
    static std::wstring LanguageNameFromLocale(const std::wstring& localeName);

    const std::map<std::string, std::string>& GetCatalog() const { return m_texts; }

private:
    void AddProductTitle();
    void AddBrandTexts();
    void ExpandPlaceholders();
    void ExpandText(const std::string& key, std::string& text) const;

    std::map<std::wstring, int> m_languageIds;
    std::map<std::wstring, std::wstring> m_localeNames;
    std::vector<ILanguageListener*> m_listeners;
    std::map<std::string, std::string> m_texts;
};

#include "l10n/LanguageManager.h"

#include "config/ConfigurationManager.h"
#include "l10n/LanguageListener.h"
#include "ui/Window.h"
#include "win32/Strings.h"

#include <tinyxml2.h>

#include <algorithm>

namespace {

// A text stops expanding after this many replacements; the remaining references stay as written. Real texts
// hold a handful; the bound only matters for documents whose references fan out without end.
constexpr int kMaxReplacements = 1000;

void ShowParseError(const char* reason) {
    ui::ShowAppMessageBox(win32::FormatWide(L"Failed to parse language xml file, error code: %hs", reason));
}

// The text of a catalog element: the value of its first child that is not a comment, when that child is text.
const char* GetElementText(const tinyxml2::XMLElement& element) {
    const tinyxml2::XMLNode* child = element.FirstChild();
    while (child != nullptr && child->ToComment() != nullptr)
        child = child->NextSibling();
    if (child == nullptr || child->ToText() == nullptr)
        return nullptr;
    return child->Value();
}

}  // namespace

void LanguageManager::RegisterListener(ILanguageListener* listener) {
    m_listeners.push_back(listener);
}

void LanguageManager::UnregisterListener(ILanguageListener* listener) {
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

std::vector<int> LanguageManager::GetLanguageResourceIds() const {
    switch (ConfigurationManager::GetInstance()->m_wizardType) {
        case WizardTypeDlm: {
            std::vector<int> ids;
            for (int id = 105; id <= 118; ++id)
                ids.push_back(id);
            return ids;
        }
        case WizardTypeIsv:
            return {101, 102};
        default:
            ui::ShowAppMessageBox(L"Unknown wizard type (language manager");
            return {};
    }
}

std::wstring LanguageManager::LanguageNameFromLocale(const std::wstring& localeName) {
    wchar_t name[85] = {};
    if (::GetLocaleInfoEx(localeName.c_str(), LOCALE_SNATIVELANGNAME, name, 85) > 0)
        return name;
    // The documents name their locales with an underscore ("en_US"), which the system may refuse; the language
    // alone still has a native name.
    if (localeName.size() > 2) {
        std::wstring language = localeName.substr(0, 2);
        if (::GetLocaleInfoEx(language.c_str(), LOCALE_SNATIVELANGNAME, name, 85) > 0)
            return name;
    }
    return localeName;
}

void LanguageManager::FillLanguageList(const ui::ComboBox& combo) {
    std::vector<int> ids = GetLanguageResourceIds();
    m_languageIds.clear();
    m_localeNames.clear();
    combo.ResetContent();

    std::wstring userLanguage;
    wchar_t userLocale[85] = {};
    if (::GetUserDefaultLocaleName(userLocale, 85) > 0)
        userLanguage = LanguageNameFromLocale(userLocale);
    if (userLanguage.empty())
        userLanguage = L"English";

    int selected = 0;
    for (int id : ids) {
        tinyxml2::XMLDocument document;
        if (!LoadLocaleDocument(id, document))
            continue;
        const tinyxml2::XMLElement* locale = document.FirstChildElement("Locale");
        if (locale == nullptr)
            continue;
        const char* name = locale->Attribute("name");
        if (name == nullptr) {
            ShowParseError("No name attribute");
            continue;
        }
        std::wstring localeName = win32::Utf8ToWide(name);
        std::wstring displayName = LanguageNameFromLocale(localeName);
        if (displayName == userLanguage)
            selected = combo.GetCount();
        combo.AddString(displayName);
        m_languageIds[displayName] = id;
        m_localeNames[displayName] = localeName;
    }
    combo.SetCurSel(selected);

    if (ConfigurationManager::GetInstance()->m_lumoraFlavour)
        combo.Hide();
}

bool LanguageManager::LoadLanguage(const std::wstring& displayName) {
    auto id = m_languageIds.find(displayName);
    if (id == m_languageIds.end())
        return false;
    tinyxml2::XMLDocument document;
    if (!LoadLocaleDocument(id->second, document))
        return false;

    ParseCatalog(document);
    // Refreshing a page must not change the list, but index-based iteration stays safe even if it did.
    for (size_t i = 0; i < m_listeners.size(); ++i)
        m_listeners[i]->UpdateTexts();

    auto configuration = ConfigurationManager::GetInstance();
    configuration->m_languageName = displayName;
    auto localeName = m_localeNames.find(displayName);
    configuration->m_localeName = localeName != m_localeNames.end() ? localeName->second : std::wstring();
    return true;
}

std::wstring LanguageManager::GetText(const std::string& key) const {
    // A name left empty would leave a gap ("Welcome to  Setup").
    auto title = m_texts.find("PRODUCT_TITLE");
    if (title == m_texts.end() || title->second.empty()) {
        auto unnamed = m_texts.find(key + kUnnamedSuffix);
        if (unnamed != m_texts.end() && !unnamed->second.empty())
            return win32::Utf8ToWide(unnamed->second);
    }
    auto found = m_texts.find(key);
    if (found == m_texts.end() || found->second.empty())
        return {};
    return win32::Utf8ToWide(found->second);
}

bool LanguageManager::LoadLocaleDocument(int id, tinyxml2::XMLDocument& document) const {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), L"LOCALE");
    if (resource == nullptr) {
        ui::ShowAppMessageBox(win32::FormatWide(L"Failed to find resource with id: %d", id));
        return false;
    }
    HGLOBAL loaded = ::LoadResource(module, resource);
    const char* bytes = loaded != nullptr ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        ui::ShowAppMessageBox(win32::FormatWide(L"Failed to load resource with id: %d", id));
        return false;
    }
    DWORD size = ::SizeofResource(module, resource);
    // The resource is not terminated: the parser gets exactly its bytes. An empty one is the parser's own
    // empty-document error.
    std::string text(bytes, size);
    if (document.Parse(text.c_str(), text.size()) != tinyxml2::XML_SUCCESS) {
        ShowParseError(document.ErrorStr());
        return false;
    }
    return true;
}

bool LanguageManager::ParseCatalog(const tinyxml2::XMLDocument& document) {
    const tinyxml2::XMLElement* locale = document.FirstChildElement("Locale");
    if (locale == nullptr) {
        ShowParseError("No Locale element");
        return false;
    }
    m_texts.clear();
    AddProductTitle();
    AddBrandTexts();
    for (const tinyxml2::XMLElement* element = locale->FirstChildElement(); element != nullptr;
         element = element->NextSiblingElement()) {
        const char* key = element->Name();
        const char* text = GetElementText(*element);
        if (key == nullptr || text == nullptr) {
            ShowParseError("No name or text attribute");
            return false;
        }
        m_texts[key] = text;
    }
    ExpandPlaceholders();
    return true;
}

void LanguageManager::AddProductTitle() {
    m_texts["PRODUCT_TITLE"] = win32::WideToUtf8(ConfigurationManager::GetInstance()->m_productTitle);
}

void LanguageManager::AddBrandTexts() {
    if (!ConfigurationManager::GetInstance()->m_lumoraFlavour)
        return;
    tinyxml2::XMLDocument fragment;
    if (!LoadLocaleDocument(kBrandFragmentId, fragment))
        return;
    for (const tinyxml2::XMLElement* element = fragment.FirstChildElement(); element != nullptr;
         element = element->NextSiblingElement()) {
        // An element without text has nothing to contribute; the document's own keys may still supply it.
        if (const char* text = GetElementText(*element))
            m_texts[element->Name()] = text;
    }
}

void LanguageManager::ExpandPlaceholders() {
    for (auto& [key, text] : m_texts) {
        // Expanded on a copy: lookups of this key during its own expansion see the text as it was.
        std::string expanded = text;
        ExpandText(key, expanded);
        text = std::move(expanded);
    }
}

// Replaces each {NAME} whose NAME is a catalog key by that key's text, scanning the inserted text again so that
// references inside it are expanded too. A reference ends up literal, braces included, when the key is unknown,
// when it names a key whose text is already being inserted around that position (the entry's own key included:
// so a text that refers to itself, directly or through others, ends with that reference as written), or when
// the text has reached kMaxReplacements replacements or would exceed kMaxExpandedLength bytes.
void LanguageManager::ExpandText(const std::string& key, std::string& text) const {
    struct Insertion {
        std::string key;
        size_t end;  // one past the inserted text; npos for the entry itself
    };
    std::vector<Insertion> open{{key, std::string::npos}};
    int replacements = 0;
    size_t position = 0;
    for (;;) {
        size_t start = text.find('{', position);
        if (start == std::string::npos)
            return;
        size_t end = text.find('}', start + 1);
        if (end == std::string::npos)
            return;
        while (open.back().end <= start)
            open.pop_back();

        std::string name = text.substr(start + 1, end - start - 1);
        size_t referenceLength = end - start + 1;
        auto found = m_texts.find(name);
        bool cyclic = std::any_of(open.begin(), open.end(), [&name](const Insertion& i) { return i.key == name; });
        if (found == m_texts.end() || cyclic || replacements >= kMaxReplacements ||
            text.size() - referenceLength + found->second.size() > kMaxExpandedLength) {
            position = end + 1;
            continue;
        }

        const std::string& inserted = found->second;
        text.replace(start, referenceLength, inserted);
        ++replacements;
        // Every open insertion contains `start`, so each one grows or shrinks with this replacement.
        for (Insertion& insertion : open) {
            if (insertion.end != std::string::npos)
                insertion.end = insertion.end + inserted.size() - referenceLength;
        }
        open.push_back({name, start + inserted.size()});
        position = start;
    }
}

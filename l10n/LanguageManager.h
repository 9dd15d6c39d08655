// The language catalog: key -> text for the chosen language, from the XML documents among the resources.
#pragma once

#include <map>
#include <string>
#include <vector>

class CWayfarerDlg;
class IPage;

class LanguageManager {
public:
    explicit LanguageManager(CWayfarerDlg* dialog) : m_dialog(dialog) {}

    // Pages register themselves so that loading a language refreshes them.
    void RegisterPage(IPage* page);
    void UnregisterPage(IPage* page);

    // The text of `key` in the loaded language; empty when the key is missing or its text is empty.
    std::wstring GetText(const std::string& key) const;

private:
    CWayfarerDlg* m_dialog;
    std::vector<IPage*> m_registeredPages;
    std::map<std::string, std::string> m_texts;
};

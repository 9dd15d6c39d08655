#include "l10n/LanguageManager.h"

#include "win32/Strings.h"

#include <algorithm>

void LanguageManager::RegisterPage(IPage* page) {
    m_registeredPages.push_back(page);
}

void LanguageManager::UnregisterPage(IPage* page) {
    m_registeredPages.erase(std::remove(m_registeredPages.begin(), m_registeredPages.end(), page),
                            m_registeredPages.end());
}

std::wstring LanguageManager::GetText(const std::string& key) const {
    auto found = m_texts.find(key);
    if (found == m_texts.end() || found->second.empty())
        return {};
    return win32::Utf8ToWide(found->second);
}

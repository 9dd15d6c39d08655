// The page shown while the configuration is fetched and the offers are evaluated. For now it only exists in the
// page list and carries the callback through which it hands the admitted offers to the frame.
#pragma once

#include "pages/IPage.h"

#include <functional>
#include <memory>
#include <vector>

class Package;

class LoadingPage : public IPage {
public:
    LoadingPage(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    std::wstring GetPageName() const override { return L"LoadingPage"; }

    // Set by the frame when it creates the page; receives the admitted offers. It may run on any thread.
    std::function<void(std::vector<std::shared_ptr<Package>>)> m_onLoadComplete;

protected:
    BOOL OnInitDialog() override;
};

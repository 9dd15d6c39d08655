// The page that replaces the current one when a page reports a fatal condition: an image, a title, a text and
// a Close button that ends the wizard. It lives outside the frame's page list and is shown at most once.
#pragma once

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"

class ErrorPage : public IPage {
public:
    ErrorPage(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    void OnNavigateToPage() override {}
    // The Close button reports through this callback; the page itself never reports errors.
    void SetButtonCallback(ButtonCallback callback) override { m_closeCallback = std::move(callback); }
    void SetErrorCallback(ErrorCallback) override {}
    std::wstring GetPageName() const override { return L"ErrorPage"; }
    int GetFirstFocusId() const override;

    // Pushes m_errorTitle and m_errorText to their controls.
    void UpdateData();

    // Written by the frame just before it shows the page.
    std::wstring m_errorTitle;
    std::wstring m_errorText;

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(WORD code, WORD id, HWND control) override;

private:
    void OnCloseClicked();

    ButtonCallback m_closeCallback;
    CStaticFromImage m_image;
};

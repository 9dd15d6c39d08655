// The last page of a run that went well. FinishPageIsv offers to start the installed product; FinishPageDlm
// offers to run the downloaded installer or to show it in Explorer. Both end the wizard with Finish; the frame
// does the closing. While a finish page is current the frame window has no minimise box.
#pragma once

#include "pages/CStaticFromImage.h"
#include "pages/IPage.h"

#include <string>

class ConfigurationManager;

// What the ISV finish page starts: the build's installed-product path with its placeholders replaced.
std::wstring MakeInstalledProductPath(ConfigurationManager& configuration);
// Explorer's parameters that open the folder of `path` with the file selected.
std::wstring MakeSelectInExplorerParameters(const std::wstring& path);

// What both finish pages share: the success mark, Finish as the default button, the minimise box removed on
// entry, and the Finish click.
class FinishPage : public IPage {
public:
    void OnNavigateToPage() override;
    int GetFirstFocusId() const override;
    PageKind GetKind() const override { return PageKind::Finish; }

protected:
    FinishPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, HWND parent);

    // Registers the texts both pages show; the page adds its own choices.
    void AddCommonLocalizedControls();
    // The success mark and the default button; called once the texts are set.
    void FinishInitialization();
    bool OnCommand(WORD code, WORD id, HWND control) override;
    // Starts what the user chose, then reports Finish.
    virtual void OnFinishClicked() = 0;

    CStaticFromImage m_image;
};

class FinishPageIsv : public FinishPage {
public:
    FinishPageIsv(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    std::wstring GetPageName() const override { return L"FinishPageISV"; }

protected:
    BOOL OnInitDialog() override;
    void OnFinishClicked() override;

private:
    ui::Button m_launchCheck;
};

class FinishPageDlm : public FinishPage {
public:
    FinishPageDlm(std::shared_ptr<LanguageManager> languageManager, HWND parent = nullptr);

    std::wstring GetPageName() const override { return L"FinishPageDLM"; }

protected:
    BOOL OnInitDialog() override;
    void OnFinishClicked() override;

private:
    ui::Button m_launchRadio;
    ui::Button m_openFolderRadio;
};

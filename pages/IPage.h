// The interface of every wizard page: a modeless child dialog over the frame's page area. Pages never
// navigate themselves; they report button presses and fatal errors to the frame through two callbacks.
#pragma once

#include "l10n/LanguageListener.h"
#include "ui/Dialog.h"
#include "win32/Handle.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class LanguageManager;

// Values of the wizard's buttons, as pages report them to the frame.
enum class ButtonType : int { Next = 0, Accept = 1, Close = 2, Decline = 3, Finish = 4, Back = 5, SkipAll = 6 };

// Custom messages of the system, after the download's progress messages (WM_USER + 1 and + 2); the numbers are
// fixed.
constexpr UINT WM_LOAD_COMPLETE = WM_USER + 3;
constexpr UINT WM_LOADING_FINISHED = WM_USER + 4;

// The title font of the pages that have a title (license, Sorrel pages): the title's own font, this bold and this
// high in pixels at 96 DPI; at any other DPI as much larger as the dialog font is.
constexpr int kTitleFontHeightAt96 = 12;
constexpr int kTitleFontWeight = 1000;

// What the frame tells pages apart by: it counts the offers' pages ahead, and the download pages take the Close
// command away until a finish page gives it back.
enum class PageKind { Other, Product, Download, Finish };

class IPage : public ui::Dialog {
public:
    using ButtonCallback = std::function<void(ButtonType)>;
    using ErrorCallback = std::function<void(const std::wstring& title, const std::wstring& text)>;

    IPage(std::shared_ptr<LanguageManager> languageManager, UINT templateId, HWND parent = nullptr);
    ~IPage() override;

    virtual void OnNavigateToPage() = 0;
    virtual void SetButtonCallback(ButtonCallback callback) { m_onButton = std::move(callback); }
    virtual void SetErrorCallback(ErrorCallback callback) { m_onError = std::move(callback); }
    // Fills every registered control from the catalog; a missing or empty text leaves the control as it is.
    virtual void UpdateTexts();
    virtual std::wstring GetPageName() const = 0;
    virtual PageKind GetKind() const { return PageKind::Other; }
    // The control the keyboard focus starts on when the page is shown: its forward button, or on an offer's page
    // Decline, so that pressing Enter through the wizard never installs an extra product. 0 when the page has no
    // button (the focus then goes to the page's first control, or the page itself).
    virtual int GetFirstFocusId() const { return 0; }
    // Puts the focus where it starts when the page is shown.
    void FocusFirstControl() const;

protected:
    // Registers a control whose text comes from the catalog under `key`.
    void AddLocalizedControl(const std::string& key, int controlId);
    // Gives control `controlId` the title font, made into `font`, which must live as long as the control.
    void ApplyTitleFont(int controlId, win32::GdiObject& font) const;

    BOOL OnInitDialog() override;
    HBRUSH OnCtlColor(HDC dc, HWND window, UINT controlType) override;
    // Enter and Escape inside a page do nothing.
    void OnOK() override {}
    void OnCancel() override {}

    void ReportButton(ButtonType button) const {
        if (m_onButton)
            m_onButton(button);
    }
    void ReportError(const std::wstring& title, const std::wstring& text) const {
        if (m_onError)
            m_onError(title, text);
    }

    std::shared_ptr<LanguageManager> m_languageManager;
    std::vector<std::pair<HWND, std::string>> m_localizedControls;
    win32::Brush m_accentBrush;
    ui::Static m_bottomBand;
    ButtonCallback m_onButton;
    ErrorCallback m_onError;

private:
    // What the catalog refreshes when another language is loaded: this page's texts.
    struct TextsListener : ILanguageListener {
        explicit TextsListener(IPage& page) : m_page(page) {}
        void UpdateTexts() override { m_page.UpdateTexts(); }
        IPage& m_page;
    } m_textsListener{*this};
};

// The rich edit library whose window class the text pages use, and a wrapper for a rich edit control that shows
// a document. The library stays loaded for the life of the process, as the window classes it registers must.
#pragma once

#include "ui/Window.h"

namespace ui {

// Loads the library once; later calls return the first call's outcome.
bool LoadRichEditLibrary();

// A rich edit control that shows a document to be read from its start: the dialog manager's habit of
// selecting an edit control's whole text when it receives the focus would scroll the reader to the end.
class RichEdit : public SubclassedWindow {
public:
    bool Attach(HWND hwnd) { return Subclass(hwnd); }

    // Scrolls back to the first line, with nothing selected.
    void ShowStart() const;

private:
    bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
};

}  // namespace ui

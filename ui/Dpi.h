// Sizes at the display's scale. The process is DPI-aware (its manifest says so): the system does not stretch its
// windows, so every size in pixels the program chooses itself is given for 96 DPI and scaled here. Dialog
// templates scale by themselves, through their font.
#pragma once

#include "win32/Handle.h"

#include <windows.h>

namespace ui {

// The DPI of a window's display: the system's setting for a DPI-aware process.
int GetDpi(HWND window);

// `pixelsAt96`, a size chosen for 96 DPI, at `dpi`; unchanged at 96.
inline int ScaleForDpi(int pixelsAt96, int dpi) {
    return ::MulDiv(pixelsAt96, dpi, 96);
}

// A font like `window`'s (the default GUI font when it has none) with the given weight and a cell height of
// `heightAt96` pixels at 96 DPI, scaled to the window's DPI. Empty when it cannot be made.
win32::GdiObject CreateScaledFont(HWND window, int heightAt96, int weight);

}  // namespace ui

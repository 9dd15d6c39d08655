#include "ui/Dpi.h"

namespace ui {

int GetDpi(HWND window) {
    HDC dc = ::GetDC(window);
    if (dc == nullptr)
        return 96;
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(window, dc);
    return dpi > 0 ? dpi : 96;
}

win32::GdiObject CreateScaledFont(HWND window, int heightAt96, int weight) {
    auto font = reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0));
    if (font == nullptr)
        font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    LOGFONTW description{};
    if (::GetObjectW(font, sizeof(description), &description) == 0)
        return {};
    description.lfHeight = ScaleForDpi(heightAt96, GetDpi(window));
    description.lfWeight = weight;
    return win32::GdiObject(::CreateFontIndirectW(&description));
}

}  // namespace ui

// PNG pictures from the program's resources, and the static control that paints one as large as its client area
// allows, in the picture's own proportions. Pictures are shared: one image may be painted by several controls at
// once.
#pragma once

#include "ui/AccessibleName.h"
#include "ui/Window.h"

#include <functional>
#include <memory>
#include <string>

namespace Gdiplus {
class Image;
}

// Decodes the PNG stored as resource `id` of `type` in `module`, starting GDI+ if no picture has yet; empty when
// the resource is missing, empty or cannot be decoded, or GDI+ has been ended. Each call yields an independent
// bitmap.
std::shared_ptr<Gdiplus::Image> LoadImageFromResource(HMODULE module, UINT id, const wchar_t* type);

// Where a picture of `imageWidth` x `imageHeight` pixels is drawn in `box`: as large as fits, in its own
// proportions, centred. The layout grows with the font, not evenly in both directions, so a box drifts from the
// shape of its picture as the display's scale changes; the picture never does.
RECT FitPicture(const RECT& box, UINT imageWidth, UINT imageHeight);

class CStaticFromImage : public ui::SubclassedWindow {
public:
    // Shares `image` (an empty pointer clears the picture) and repaints with the background erased.
    void SetImage(std::shared_ptr<Gdiplus::Image> image);
    // The picture is decoded when it is first painted or asked for: a page created hidden at start-up (the error
    // page) costs nothing until it is shown.
    void SetImageFromResource(UINT id, const wchar_t* type);
    const std::shared_ptr<Gdiplus::Image>& GetImage() const;
    // What a screen reader makes of the picture, once the control is subclassed: the name `name` returns, for a
    // picture that carries meaning; or nothing at all, for one that only repeats the text beside it.
    void NameForReaders(std::function<std::wstring()> name) { m_readerName.Attach(m_hwnd, std::move(name)); }
    void HideFromReaders() { m_readerName.AttachHidden(m_hwnd); }

private:
    bool OnSubclassMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    void Paint(HDC dc);

    mutable std::shared_ptr<Gdiplus::Image> m_gdiImage;
    // The resource still to be decoded into m_gdiImage; id 0 when there is none.
    mutable UINT m_pendingId = 0;
    const wchar_t* m_pendingType = nullptr;
    ui::AccessibleName m_readerName;
};

#include "pages/CStaticFromImage.h"

#include "win32/GdiplusSession.h"
#include "win32/Handle.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

std::shared_ptr<Gdiplus::Image> LoadImageFromResource(HMODULE module, UINT id, const wchar_t* type) {
    if (!win32::GdiplusSession::Process().Ensure())
        return {};
    HRSRC resource = ::FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (resource == nullptr)
        return {};
    DWORD size = ::SizeofResource(module, resource);
    if (size == 0)
        return {};
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
    if (bytes == nullptr)
        return {};

    // GDI+ reads the picture through a stream, possibly after this function returns, so the bytes go into a
    // movable block that the stream owns and frees when its last reference goes.
    win32::GlobalMemory block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size));
    if (!block)
        return {};
    void* target = ::GlobalLock(block.Get());
    if (target == nullptr)
        return {};
    std::memcpy(target, bytes, size);
    ::GlobalUnlock(block.Get());

    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(block.Get(), TRUE, &stream)) || stream == nullptr)
        return {};
    (void)block.Release();  // the stream owns it now
    auto bitmap = std::make_shared<Gdiplus::Bitmap>(stream);
    stream->Release();
    if (bitmap->GetLastStatus() != Gdiplus::Ok)
        return {};
    return bitmap;
}

RECT FitPicture(const RECT& box, UINT imageWidth, UINT imageHeight) {
    const LONG width = box.right - box.left;
    const LONG height = box.bottom - box.top;
    if (imageWidth == 0 || imageHeight == 0 || width <= 0 || height <= 0)
        return box;
    // The side that limits the picture takes the box's length, the other its share of it, rounded.
    LONG fitWidth = width;
    LONG fitHeight = height;
    if (static_cast<long long>(width) * imageHeight > static_cast<long long>(height) * imageWidth)
        fitWidth = static_cast<LONG>((static_cast<long long>(height) * imageWidth + imageHeight / 2) / imageHeight);
    else
        fitHeight = static_cast<LONG>((static_cast<long long>(width) * imageHeight + imageWidth / 2) / imageWidth);
    const LONG left = box.left + (width - fitWidth) / 2;
    const LONG top = box.top + (height - fitHeight) / 2;
    return {left, top, left + fitWidth, top + fitHeight};
}

void CStaticFromImage::SetImage(std::shared_ptr<Gdiplus::Image> image) {
    m_pendingId = 0;
    m_gdiImage = std::move(image);
    Invalidate(true);
}

void CStaticFromImage::SetImageFromResource(UINT id, const wchar_t* type) {
    SetImage(nullptr);
    m_pendingId = id;
    m_pendingType = type;
}

const std::shared_ptr<Gdiplus::Image>& CStaticFromImage::GetImage() const {
    if (m_pendingId != 0) {
        m_gdiImage = LoadImageFromResource(::GetModuleHandleW(nullptr), m_pendingId, m_pendingType);
        m_pendingId = 0;
    }
    return m_gdiImage;
}

bool CStaticFromImage::OnSubclassMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = ::BeginPaint(m_hwnd, &paint);
            Paint(dc);
            ::EndPaint(m_hwnd, &paint);
            result = 0;
            return true;
        }
        case WM_PRINTCLIENT:
            // Into another device context, whole, whether the control is on the screen or not.
            Paint(reinterpret_cast<HDC>(wParam));
            result = 0;
            return true;
        default:
            return false;
    }
}

void CStaticFromImage::Paint(HDC dc) {
    RECT client = GetClientRect();
    if (dc != nullptr) {
        // The static class erases its background while painting; painting in its place must do the same, or a
        // cleared or replaced picture would leave the old pixels behind. The parent chooses the colour, as it
        // does for every static.
        auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
            ::GetParent(m_hwnd), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(m_hwnd)));
        ::FillRect(dc, &client, brush != nullptr ? brush : ::GetSysColorBrush(COLOR_3DFACE));
    }
    if (dc != nullptr && GetImage()) {
        const RECT drawn = FitPicture(client, m_gdiImage->GetWidth(), m_gdiImage->GetHeight());
        Gdiplus::Graphics graphics(dc);
        // Resampled with the best filter, whether it is shrunk (at 96 DPI) or grown.
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.DrawImage(m_gdiImage.get(), static_cast<INT>(drawn.left), static_cast<INT>(drawn.top),
                           static_cast<INT>(drawn.right - drawn.left), static_cast<INT>(drawn.bottom - drawn.top));
    }
}

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
        Gdiplus::Graphics graphics(dc);
        // Stretched over the whole control, whose size follows the display's scale: the aspect ratio is not kept,
        // and the picture is resampled with the best filter, whether it is shrunk (at 96 DPI) or grown.
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.DrawImage(m_gdiImage.get(), 0, 0, client.right - client.left, client.bottom - client.top);
    }
}

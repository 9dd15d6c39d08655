#include "offers/PictureFetch.h"

#include "download/DownloadManager.h"
#include "offers/LoadingCountdown.h"
#include "offers/PictureSize.h"
#include "win32/GdiplusSession.h"
#include "win32/Handle.h"

#include <objidl.h>
#include <shlwapi.h>
#include <gdiplus.h>

std::shared_ptr<Gdiplus::Image> MakeImageFromBytes(const std::vector<char>& bytes) {
    // Bounded by its pixels, read from its header, before anything decodes it.
    if (!pictures::IsPictureWithinBounds(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) ||
        !win32::GdiplusSession::Process().Ensure())
        return nullptr;
    IStream* stream = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (stream == nullptr)
        return nullptr;
    win32::ScopeExit release([stream] { stream->Release(); });
    return std::make_shared<Gdiplus::Bitmap>(stream);
}

void FetchPicture(const std::wstring& url,
                  std::function<void(const std::vector<char>& bytes)> store,
                  std::function<void()> completion) {
    // Runs once however the fetch ends: loaded, failed, dropped on an exception, or never started.
    auto once = std::make_shared<CompletionOnce>(std::move(completion));
    if (url.empty()) {
        once->Run();
        return;
    }
    auto arrived = [store = std::move(store), once](DownloadedBytes bytes) {
        try {
            if (bytes && !bytes->empty() && store)
                store(*bytes);
        } catch (...) {
            // A picture that cannot be made is a picture that did not arrive.
        }
        once->Run();
    };
    try {
        DownloadManager::GetInstance()->DownloadToMemoryAsync(url, std::move(arrived));
    } catch (...) {
        once->Run();
    }
}

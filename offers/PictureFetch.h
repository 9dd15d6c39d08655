// The pictures the wizard fetches from the server, an offer's image and the DLM logo: fetched into memory on a
// download thread and made into GDI+ bitmaps only within the picture bounds (PictureSize.h).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Gdiplus {
class Image;
}

// A GDI+ bitmap of PNG, JPEG, GIF or BMP bytes, starting GDI+ if no picture has yet; null when there are no
// bytes, when the header does not tell a size within the picture bounds, or when GDI+ has been ended.
std::shared_ptr<Gdiplus::Image> MakeImageFromBytes(const std::vector<char>& bytes);

// Fetches `url` into memory on a download thread of its own and gives the bytes to `store` there when any
// arrived; then runs `completion`, exactly once however the fetch ends: at once on this thread when `url` is
// empty or no thread can be started. What `store` throws is dropped: a picture that cannot be made is a picture
// that did not arrive.
void FetchPicture(const std::wstring& url,
                  std::function<void(const std::vector<char>& bytes)> store,
                  std::function<void()> completion);

// The size of a picture from the server (an offer's image, the DLM logo), read from its header before anything
// decodes it: a few kilobytes can ask for billions of pixels, which would hold the loading run for many seconds
// and the memory of the process with it. A picture beyond the bounds is handled as one that failed to arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pictures {

// Any side beyond this is no image a page shows: the wizard's pictures are a few hundred pixels wide.
constexpr std::uint32_t kMaxPictureSide = 4096;
// 16 MiB of 32-bit pixels once decoded: a picture of 2048 x 2048, or a wide banner of 4096 x 1024.
constexpr std::uint64_t kMaxPicturePixels = 2048ull * 2048ull;

struct PictureSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The width and height the header of a PNG, JPEG, GIF (its logical screen and every frame) or BMP declares;
// nothing for any other format, or a header that is cut or says nothing usable (a side of 0).
std::optional<PictureSize> ReadPictureSize(const unsigned char* bytes, std::size_t size);

// Whether the picture may be decoded: its size can be read from its header and it lies within both bounds.
bool IsPictureWithinBounds(const unsigned char* bytes, std::size_t size);

}  // namespace pictures

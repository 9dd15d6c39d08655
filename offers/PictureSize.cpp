#include "offers/PictureSize.h"

#include <algorithm>
#include <cstring>

namespace pictures {

namespace {

// The bytes of a header. The readers do not check their bounds: every format asks Has first, and answers nothing
// when the header is cut.
class Reader {
public:
    Reader(const unsigned char* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}

    bool Has(std::size_t at, std::size_t count) const { return at <= m_size && count <= m_size - at; }
    bool StartsWith(const char* magic, std::size_t count) const {
        return Has(0, count) && std::memcmp(m_bytes, magic, count) == 0;
    }
    unsigned Byte(std::size_t at) const { return m_bytes[at]; }
    std::uint32_t Big16(std::size_t at) const { return (Byte(at) << 8) | Byte(at + 1); }
    std::uint32_t Big32(std::size_t at) const { return (Big16(at) << 16) | Big16(at + 2); }
    std::uint32_t Little16(std::size_t at) const { return Byte(at) | (Byte(at + 1) << 8); }
    std::uint32_t Little32(std::size_t at) const { return Little16(at) | (Little16(at + 2) << 16); }

private:
    const unsigned char* m_bytes;
    std::size_t m_size;
};

std::optional<PictureSize> Sized(std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0)
        return std::nullopt;
    return PictureSize{width, height};
}

// The signature, then the IHDR chunk, which must come first.
std::optional<PictureSize> ReadPng(const Reader& png) {
    if (!png.Has(0, 24))
        return std::nullopt;
    if (png.Big32(8) != 13 || png.Byte(12) != 'I' || png.Byte(13) != 'H' || png.Byte(14) != 'D' || png.Byte(15) != 'R')
        return std::nullopt;
    return Sized(png.Big32(16), png.Big32(20));
}

// The segments up to the first start of frame, which holds the size. A height of 0 (given later, in a DNL
// segment) is not known before decoding, so it is nothing.
std::optional<PictureSize> ReadJpeg(const Reader& jpeg) {
    std::size_t at = 2;
    for (;;) {
        if (!jpeg.Has(at, 1) || jpeg.Byte(at) != 0xFF)
            return std::nullopt;
        while (jpeg.Has(at, 1) && jpeg.Byte(at) == 0xFF)
            ++at;
        if (!jpeg.Has(at, 1))
            return std::nullopt;
        const unsigned marker = jpeg.Byte(at);
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {
            ++at;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA || !jpeg.Has(at + 1, 2))
            return std::nullopt;
        const std::uint32_t length = jpeg.Big16(at + 1);
        const bool startOfFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame)
            return jpeg.Has(at + 1, 7) ? Sized(jpeg.Big16(at + 6), jpeg.Big16(at + 4)) : std::nullopt;
        if (length < 2)
            return std::nullopt;
        at += 1 + length;
    }
}

// The logical screen, widened by every frame that reaches beyond it: a frame is decoded at its own size.
std::optional<PictureSize> ReadGif(const Reader& gif) {
    if (!gif.Has(0, 13))
        return std::nullopt;
    std::uint32_t width = gif.Little16(6);
    std::uint32_t height = gif.Little16(8);
    auto colourTable = [](unsigned flags) -> std::size_t { return (flags & 0x80) ? 3u << ((flags & 7) + 1) : 0; };
    std::size_t at = 13 + colourTable(gif.Byte(10));
    // Skips a chain of sub-blocks; false when the bytes end inside it.
    auto skipBlocks = [&gif, &at] {
        while (gif.Has(at, 1) && gif.Byte(at) != 0)
            at += 1 + gif.Byte(at);
        ++at;
        return gif.Has(at, 0);
    };
    bool frame = false;
    while (gif.Has(at, 1) && gif.Byte(at) != 0x3B) {
        if (gif.Byte(at) == 0x21) {
            at += 2;
            if (!skipBlocks())
                break;
        } else if (gif.Byte(at) == 0x2C && gif.Has(at, 10)) {
            width = std::max(width, gif.Little16(at + 1) + gif.Little16(at + 5));
            height = std::max(height, gif.Little16(at + 3) + gif.Little16(at + 7));
            frame = true;
            at += 10 + colourTable(gif.Byte(at + 9)) + 1;
            if (!skipBlocks())
                break;
        } else {
            return std::nullopt;
        }
    }
    return frame ? Sized(width, height) : std::nullopt;
}

// The file header, then the info header: the old core form with 16-bit sides, or any later form with 32-bit
// ones (a negative height is a picture stored top down).
std::optional<PictureSize> ReadBmp(const Reader& bmp) {
    if (!bmp.Has(0, 26))
        return std::nullopt;
    const std::uint32_t infoSize = bmp.Little32(14);
    if (infoSize == 12)
        return Sized(bmp.Little16(18), bmp.Little16(20));
    if (infoSize < 40)
        return std::nullopt;
    const auto width = static_cast<std::int32_t>(bmp.Little32(18));
    const auto height = static_cast<std::int32_t>(bmp.Little32(22));
    if (width <= 0 || height == INT32_MIN)
        return std::nullopt;
    return Sized(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height < 0 ? -height : height));
}

}  // namespace

std::optional<PictureSize> ReadPictureSize(const unsigned char* bytes, std::size_t size) {
    const Reader reader(bytes, size);
    if (reader.StartsWith("\x89PNG\r\n\x1A\n", 8))
        return ReadPng(reader);
    if (reader.StartsWith("\xFF\xD8", 2))
        return ReadJpeg(reader);
    if (reader.StartsWith("GIF87a", 6) || reader.StartsWith("GIF89a", 6))
        return ReadGif(reader);
    if (reader.StartsWith("BM", 2))
        return ReadBmp(reader);
    return std::nullopt;
}

bool IsPictureWithinBounds(const unsigned char* bytes, std::size_t size) {
    const std::optional<PictureSize> picture = ReadPictureSize(bytes, size);
    return picture && picture->width <= kMaxPictureSide && picture->height <= kMaxPictureSide &&
           std::uint64_t{picture->width} * picture->height <= kMaxPicturePixels;
}

}  // namespace pictures

#include "offers/Package.h"

#include "config/ConfigurationManager.h"
#include "offers/PictureFetch.h"
#include "offers/PictureSize.h"
#include "resource.h"
#include "support/Backend.h"
#include "support/WindowTesting.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>
#include <cstring>
#include <optional>
#include <vector>

using nlohmann::json;

namespace {

std::string ResourceBytes(UINT id, const wchar_t* type) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(self, resource)));
    return std::string(bytes, ::SizeofResource(self, resource));
}

// A picture of `width` x `height` in the format of `mime`, made by GDI+'s own encoder.
std::vector<char> Encode(UINT width, UINT height, const wchar_t* mime) {
    // GIF holds indexed colours only: the bitmap is made so, and the encoder has nothing to convert.
    const Gdiplus::PixelFormat format =
        std::wcscmp(mime, L"image/gif") == 0 ? PixelFormat8bppIndexed : PixelFormat24bppRGB;
    UINT count = 0;
    UINT size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<char> table(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(table.data());
    Gdiplus::GetImageEncoders(count, size, encoders);
    const Gdiplus::ImageCodecInfo* encoder = nullptr;
    for (UINT i = 0; i < count; ++i)
        if (std::wcscmp(encoders[i].MimeType, mime) == 0)
            encoder = &encoders[i];
    if (!encoder) {
        ADD_FAILURE() << "no encoder";
        return {};
    }
    Gdiplus::Bitmap bitmap(static_cast<INT>(width), static_cast<INT>(height), format);
    win32::ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) || !stream) {
        ADD_FAILURE() << "no stream";
        return {};
    }
    std::vector<char> bytes;
    if (bitmap.Save(stream.Get(), &encoder->Clsid, nullptr) == Gdiplus::Ok) {
        STATSTG stat{};
        stream->Stat(&stat, STATFLAG_NONAME);
        bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        ULONG read = 0;
        stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    } else {
        ADD_FAILURE() << "cannot encode";
    }
    return bytes;
}

// The first 24 bytes of a PNG whose header declares `width` x `height`: enough for the size, never decoded.
std::vector<unsigned char> PngHeader(std::uint32_t width, std::uint32_t height) {
    std::vector<unsigned char> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (std::uint32_t side : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<unsigned char>(side >> shift));
    return bytes;
}

void PutLittle(std::vector<char>& bytes, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes.push_back(static_cast<char>(value >> (8 * i)));
}

// A GIF whose logical screen is 1 x 1 while its one frame is `frameWidth` wide: the picture is as large as its
// largest frame, whatever the screen says.
std::vector<char> GifWithWideFrame(std::uint32_t frameWidth) {
    std::vector<char> bytes = {'G', 'I', 'F', '8', '9', 'a'};
    PutLittle(bytes, 1, 2);
    PutLittle(bytes, 1, 2);
    bytes.insert(bytes.end(), {0, 0, 0, 0x2C});
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, frameWidth, 2);
    PutLittle(bytes, 1, 2);
    bytes.insert(bytes.end(), {0, 2, 0, 0x3B});
    return bytes;
}

// A whole 24-bit BMP of `width` x `height` grey pixels stored top down, as a negative height says.
std::vector<char> TopDownBmp(std::uint32_t width, std::uint32_t height) {
    const std::uint32_t row = (width * 3 + 3) & ~3u;
    std::vector<char> bytes = {'B', 'M'};
    PutLittle(bytes, 54 + row * height, 4);
    PutLittle(bytes, 0, 4);
    PutLittle(bytes, 54, 4);
    PutLittle(bytes, 40, 4);
    PutLittle(bytes, width, 4);
    PutLittle(bytes, static_cast<std::uint32_t>(-static_cast<std::int32_t>(height)), 4);
    PutLittle(bytes, 1, 2);
    PutLittle(bytes, 24, 2);
    for (int i = 0; i < 6; ++i)
        PutLittle(bytes, 0, 4);
    bytes.resize(bytes.size() + row * height, static_cast<char>(0x80));
    return bytes;
}

std::shared_ptr<Package> MakeOffer(const std::string& image) {
    json offer = {{"ad", {{"f", "t"}, {"o", "Offer"}}}, {"ps", {{"i", image}, {"dn", "Offer"}, {"u", "https://x/"}}}};
    return std::make_shared<Package>(EventBase(), offer, false, "", 0);
}

class PackageImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        backend::Reset();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedBase = m_configuration->m_filesBaseUrl;
        m_configuration->m_filesBaseUrl = backend::Url("/f/");
    }
    void TearDown() override { m_configuration->m_filesBaseUrl = m_savedBase; }

    // Starts the download and waits for its completion; false when it never came. The count is shared with the
    // download's thread: a completion that comes after the wait gave up must not write into this stack frame.
    static bool Download(Package& package) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        package.DownloadImage([calls] { ++*calls; });
        bool done = testing_ui::WaitFor([&calls] { return calls->load() > 0; }, std::chrono::seconds(30));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return done && *calls == 1;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::wstring m_savedBase;
};

}  // namespace

TEST_F(PackageImageTest, ImageComesFromTheFileEndpointAsABitmap) {
    backend::Script("/f/offer1.png", {{.body = ResourceBytes(IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO)}});
    auto package = MakeOffer("offer1.png");
    ASSERT_TRUE(Download(*package));
    ASSERT_TRUE(package->m_image);
    EXPECT_EQ(package->m_image->GetWidth(), 256u);
    EXPECT_EQ(backend::Requests("/f/offer1.png").size(), 1u);
}

TEST_F(PackageImageTest, FailedDownloadLeavesNoImageButCompletes) {
    backend::Script("/f/missing.png", {{.status = 404}});
    auto package = MakeOffer("missing.png");
    ASSERT_TRUE(Download(*package));
    EXPECT_FALSE(package->m_image);
}

// Pictures are bounded by their pixels, read from the header before anything decodes them: each format the
// image code accepts, at and beyond the bounds.
TEST_F(PackageImageTest, PicturesBeyondTheirBoundsAreRefusedBeforeDecoding) {
    using pictures::kMaxPicturePixels;
    using pictures::kMaxPictureSide;
    const UINT side = kMaxPictureSide;
    struct Case {
        const char* name;
        std::vector<char> bytes;
        std::optional<UINT> headerWidth;  // what the header tells, or none
        std::optional<UINT> width;        // of the image made, or none
    };
    const Case cases[] = {
        {"PNG", Encode(64, 32, L"image/png"), 64, 64},
        {"JPEG", Encode(64, 32, L"image/jpeg"), 64, 64},
        {"GIF", Encode(64, 32, L"image/gif"), 64, 64},
        {"BMP", Encode(64, 32, L"image/bmp"), 64, 64},
        {"PNG as wide as a side may be", Encode(side, 1, L"image/png"), side, side},
        {"PNG one pixel wider", Encode(side + 1, 1, L"image/png"), side + 1, std::nullopt},
        {"PNG one pixel higher", Encode(1, side + 1, L"image/png"), 1, std::nullopt},
        {"JPEG one pixel wider", Encode(side + 1, 1, L"image/jpeg"), side + 1, std::nullopt},
        {"GIF one pixel wider", Encode(side + 1, 1, L"image/gif"), side + 1, std::nullopt},
        {"BMP one pixel higher", Encode(1, side + 1, L"image/bmp"), 1, std::nullopt},
        {"BMP stored top down", TopDownBmp(64, 32), 64, 64},
        // At the edge of the pixel bound, in the figures users meet: a square of 2048 is drawn, one column more is not.
        {"PNG of 2048 x 2048", Encode(2048, 2048, L"image/png"), 2048, 2048},
        {"PNG of 2049 x 2048", Encode(2049, 2048, L"image/png"), 2049, std::nullopt},
        {"GIF whose frame is wider than its screen", GifWithWideFrame(side + 1), side + 1, std::nullopt},
        // A format whose size is not read before decoding is not decoded.
        {"TIFF", Encode(64, 32, L"image/tiff"), std::nullopt, std::nullopt},
        {"a PNG cut in its header",
         [] {
             std::vector<char> png = Encode(64, 32, L"image/png");
             png.resize(20);
             return png;
         }(),
         std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto header =
            pictures::ReadPictureSize(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
        EXPECT_EQ(header ? std::optional<UINT>(header->width) : std::nullopt, c.headerWidth);
        const auto image = MakeImageFromBytes(c.bytes);
        EXPECT_EQ(image ? std::optional<UINT>(image->GetWidth()) : std::nullopt, c.width);
    }

    // The bound on the pixels, on headers alone: a bomb of 20000 x 20000 is refused without a byte of its pixels.
    struct Bound {
        std::uint32_t width;
        std::uint32_t height;
        bool within;
    };
    const std::uint32_t pixelsPerSide = kMaxPicturePixels / side;
    const Bound bounds[] = {
        {side, pixelsPerSide, true},
        {side, pixelsPerSide + 1, false},
        {pixelsPerSide + 1, side, false},
        {20000, 20000, false},
        {0, 10, false},
        // The bound in plain figures, so that a bound raised by mistake shows here.
        {2048, 2048, true},
        {2049, 2048, false},
        {2048, 2049, false},
        {4096, 1024, true},
        {4096, 1025, false},
    };
    for (const Bound& b : bounds) {
        const std::vector<unsigned char> header = PngHeader(b.width, b.height);
        EXPECT_EQ(pictures::IsPictureWithinBounds(header.data(), header.size()), b.within)
            << b.width << " x " << b.height;
    }
}

TEST_F(PackageImageTest, AnImageBeyondItsBoundsEndsAsAFailedOne) {
    const std::vector<char> wide = Encode(pictures::kMaxPictureSide + 1, 1, L"image/png");
    backend::Script("/f/wide.png", {{.body = std::string(wide.begin(), wide.end())}});
    auto package = MakeOffer("wide.png");
    ASSERT_TRUE(Download(*package));
    EXPECT_FALSE(package->m_image);
    EXPECT_EQ(backend::Requests("/f/wide.png").size(), 1u);
}

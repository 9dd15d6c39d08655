#include "pages/CStaticFromImage.h"

#include "resource.h"
#include "support/WindowTesting.h"
#include "win32/GdiplusSession.h"

#include <gtest/gtest.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

class ImageTest : public ::testing::Test {
protected:
    void SetUp() override { testing_ui::EnsureGdiplus(); }
};

bool IsMostlyRed(COLORREF colour) {
    return GetRValue(colour) > 180 && GetGValue(colour) < 90 && GetBValue(colour) < 90;
}

}  // namespace

TEST_F(ImageTest, ProgramPicturesDecodeAtTheirSizes) {
    struct Case {
        UINT id;
        const wchar_t* type;
        UINT size;
    } cases[] = {{IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO, 256},
                 {IDB_SUCCESS_MARK, RT_IMAGE_SUCCESS_MARK, 512},
                 {IDB_ERROR_MARK, RT_IMAGE_ERROR_MARK, 512}};
    for (const auto& c : cases) {
        auto image = LoadImageFromResource(::GetModuleHandleW(nullptr), c.id, c.type);
        ASSERT_TRUE(image) << c.id;
        EXPECT_EQ(image->GetWidth(), c.size);
        EXPECT_EQ(image->GetHeight(), c.size);
    }
}

TEST_F(ImageTest, MissingOrWrongResourceGivesNoImage) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    EXPECT_FALSE(LoadImageFromResource(self, 999, RT_IMAGE_PRODUCT_LOGO));
    EXPECT_FALSE(LoadImageFromResource(self, IDB_PRODUCT_LOGO, RT_IMAGE_ERROR_MARK));
    // The version resource exists but is no picture.
    EXPECT_FALSE(LoadImageFromResource(self, 1, MAKEINTRESOURCEW(16)));
}

TEST_F(ImageTest, EachLoadYieldsAnIndependentBitmap) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    auto first = LoadImageFromResource(self, IDB_SUCCESS_MARK, RT_IMAGE_SUCCESS_MARK);
    auto second = LoadImageFromResource(self, IDB_SUCCESS_MARK, RT_IMAGE_SUCCESS_MARK);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    first.reset();
    EXPECT_EQ(second->GetWidth(), 512u);
}

TEST_F(ImageTest, ControlPaintsThePictureScaledAndClearsItWhenEmptied) {
    HWND host = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 100, 100, 64, 64, nullptr, nullptr, nullptr,
                                  nullptr);
    // A 16 x 16 control, as the frame's header image, showing a 512 x 512 picture.
    HWND control = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_CENTERIMAGE, 0, 0, 16,
                                     16, host, nullptr, nullptr, nullptr);
    ASSERT_TRUE(host && control);
    {
        CStaticFromImage image;
        ASSERT_TRUE(image.Subclass(control));
        image.SetImageFromResource(IDB_ERROR_MARK, RT_IMAGE_ERROR_MARK);
        ASSERT_TRUE(image.GetImage());
        // Left of centre lies on the red disc, clear of the white cross.
        EXPECT_TRUE(IsMostlyRed(testing_ui::ReadClientPixel(control, 3, 8)));
        EXPECT_TRUE(IsMostlyRed(testing_ui::ReadClientPixel(control, 12, 8)));

        image.SetImage(nullptr);
        EXPECT_FALSE(IsMostlyRed(testing_ui::ReadClientPixel(control, 3, 8)));
    }
    ::DestroyWindow(host);
}

TEST(GdiplusSessionTest, StartsOnFirstUseOnceFromAnyThreadAndNeverAfterItsEnd) {
    win32::GdiplusSession session;
    EXPECT_FALSE(session.IsRunning());
    // Pictures are first made on the GUI thread or on image threads, whichever comes first.
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] { started += session.Ensure() ? 1 : 0; });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(started, 4);
    EXPECT_TRUE(session.IsRunning());
    EXPECT_TRUE(session.Ensure());

    session.End();
    EXPECT_FALSE(session.IsRunning());
    // An image thread that finishes after the end must not start GDI+ again: nothing would end it.
    EXPECT_FALSE(session.Ensure());
    EXPECT_FALSE(session.IsRunning());
    session.End();
}

TEST(GdiplusSessionTest, EndingWithoutAStartIsQuiet) {
    win32::GdiplusSession session;
    session.End();
    EXPECT_FALSE(session.Ensure());
}

TEST(GdiplusSessionTest, TheFirstProgramPictureStartsTheProcessSession) {
    // No GDI+ of the test's own here: the picture must start what it needs.
    auto image = LoadImageFromResource(::GetModuleHandleW(nullptr), IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetWidth(), 256u);
    EXPECT_TRUE(win32::GdiplusSession::Process().IsRunning());
}

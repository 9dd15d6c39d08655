// The pages at the display scales users have, 96, 120, 144 and 192 DPI (100 % to 200 %): the title fonts the pages
// make grow with the dialog font, every picture fills its rectangle, which grows with the page, and keeps its own
// proportions in it, however the rectangle's shape drifts. The scale of a Wine prefix is read
// when a program starts, so the test sets it in the prefix, measures in a copy of itself started then, and puts
// the prefix's setting back at once.
#include "offers/Package.h"
#include "pages/DownloadPage.h"
#include "pages/FinishPages.h"
#include "pages/LicensePageIsv.h"
#include "pages/PageFrame.h"
#include "pages/ProductPage.h"
#include "pages/SorrelPages.h"
#include "pages/WelcomePageIsv.h"
#include "support/ProgramOutput.h"
#include "ui/Dpi.h"
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace {

using testing_frame::PageFrame;
using testing_frame::RunFrame;

const wchar_t kProbeVariable[] = L"WAYFARER_SCALE_PROBE";
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kLogPixels[] = L"LogPixels";

// The height in pixels of the characters of `window`'s font.
int FontHeight(HWND window) {
    HDC dc = ::GetDC(window);
    HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, previous);
    ::ReleaseDC(window, dc);
    return metrics.tmHeight;
}

bool Differs(COLORREF a, COLORREF b) {
    constexpr int kThreshold = 48;
    return std::abs(GetRValue(a) - GetRValue(b)) > kThreshold || std::abs(GetGValue(a) - GetGValue(b)) > kThreshold ||
           std::abs(GetBValue(a) - GetBValue(b)) > kThreshold;
}

// The size of what `control` paints over the page's background (which shows through the pictures' transparent
// margins, and around a picture whose box is not its shape), painted whole into memory: at 192 DPI the frame is larger than the test's screen.
SIZE PaintedSize(HWND control) {
    RECT client{};
    ::GetClientRect(control, &client);
    const int width = client.right;
    const int height = client.bottom;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB};
    void* bits = nullptr;
    HDC screen = ::GetDC(control);
    HDC memory = ::CreateCompatibleDC(screen);
    win32::GdiObject bitmap(::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    HGDIOBJ previous = ::SelectObject(memory, bitmap.Get());
    ::SendMessageW(control, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    ::GdiFlush();
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
    ::ReleaseDC(control, screen);
    if (bits == nullptr)
        return {0, 0};
    const auto* pixels = static_cast<const DWORD*>(bits);
    auto at = [&](int x, int y) {
        DWORD pixel = pixels[y * width + x];
        return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
    };
    const COLORREF background = ConfigurationManager::GetInstance()->m_backgroundColour;
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!Differs(at(x, y), background))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? SIZE{0, 0} : SIZE{right - left + 1, bottom - top + 1};
}

// The size of what `image` shows over a white ground, at its own size: its transparent margins do not count.
SIZE SourceSize(Gdiplus::Image& image) {
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    Gdiplus::Bitmap canvas(width, height, PixelFormat32bppRGB);
    {
        Gdiplus::Graphics graphics(&canvas);
        graphics.Clear(Gdiplus::Color(255, 255, 255));
        graphics.DrawImage(&image, 0, 0, width, height);
    }
    int left = width, top = height, right = -1, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Gdiplus::Color colour;
            canvas.GetPixel(x, y, &colour);
            if (!Differs(RGB(colour.GetR(), colour.GetG(), colour.GetB()), RGB(255, 255, 255)))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right < 0 ? SIZE{0, 0} : SIZE{right - left + 1, bottom - top + 1};
}

// Runs in the copy started by the test below: shows each page in the real frame and prints what it measures.
//   dpi N
//   title PAGE TITLE_HEIGHT DIALOG_FONT_HEIGHT
//   picture PAGE RECT_WIDTH RECT_HEIGHT PAINTED_WIDTH PAINTED_HEIGHT SOURCE_WIDTH SOURCE_HEIGHT
TEST(ScaleProbe, MeasuresEveryPage) {
    wchar_t probe[8] = {};
    if (::GetEnvironmentVariableW(kProbeVariable, probe, 8) == 0)
        GTEST_SKIP() << "run by ScaleTest in a copy of its own";
    // The scale is fixed from the program's start on; the test may put the prefix's setting back now.
    std::printf("dpi %d\n", ui::GetDpi(nullptr));
    std::fflush(stdout);
    testing_ui::EnsureGdiplus();

    auto configuration = ConfigurationManager::GetInstance();
    nlohmann::json offerJson = {{"ad", {{"f", "t"}, {"o", "ScaleOffer"}}},
                                {"ps", {{"i", "i.png"}, {"dn", "Scale Offer"}, {"u", "https://files.test/setup.exe"}}}};
    auto offer = std::make_shared<Package>(EventBase(), offerJson, false, "", 0);
    // An offer's picture of the usual shape, twice as wide as high and then some, of one colour.
    auto offerImage = std::make_shared<Gdiplus::Bitmap>(640, 300, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(offerImage.get());
        graphics.Clear(Gdiplus::Color(255, 40, 90, 160));
    }
    offer->m_image = offerImage;

    struct Probe {
        const char* name;
        int index;
        int titleId;
        int pictureId;
        // The picture it shows.
        std::shared_ptr<Gdiplus::Image> source;
        // The page's window, for a page that is measured without being shown.
        HWND page = nullptr;
    };
    auto resource = [](UINT id, const wchar_t* type) {
        return LoadImageFromResource(::GetModuleHandleW(nullptr), id, type);
    };
    const auto logo = resource(IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO);
    const auto success = resource(IDB_SUCCESS_MARK, RT_IMAGE_SUCCESS_MARK);
    const auto error = resource(IDB_ERROR_MARK, RT_IMAGE_ERROR_MARK);
    std::vector<Probe> probes;
    PageFrame frame;
    INT_PTR result = RunFrame(
        frame,
        {[&] { return frame.m_errorPage != nullptr; },
         [&] {
             auto manager = frame.m_languageManager;
             probes = {
                 {"LicensePage", frame.AddPage(std::make_unique<LicensePageIsv>(manager)), IDC_LICENSE_TITLE, 0},
                 {"WarningPageSorrel", frame.AddPage(std::make_unique<WarningPageSorrel>(manager)), IDC_WARNING_TITLE,
                  0},
                 {"OptionsPageSorrel", frame.AddPage(std::make_unique<OptionsPageSorrel>(manager)), IDC_OPTIONS_TITLE,
                  0},
                 {"ConfigurationsPageSorrel", frame.AddPage(std::make_unique<ConfigurationsPageSorrel>(manager)),
                  IDC_CONFIGURATIONS_TITLE, 0},
                 {"WelcomePage", frame.AddPage(std::make_unique<WelcomePageIsv>(manager)), 0, IDC_WELCOME_IMAGE, logo},
                 {"ProductPage", frame.AddPage(std::make_unique<ProductPage>(manager, offer)), 0, IDC_PRODUCT_IMAGE,
                  offerImage},
                 {"FinishPageISV", frame.AddPage(std::make_unique<FinishPageIsv>(manager)), 0, IDC_PAGE_IMAGE, success},
                 // Made, not shown: showing it would start the downloads. Pictures are measured painted into memory.
                 {"DownloadPage", -1, 0, IDC_PAGE_IMAGE, logo, frame.AddDownloadPage().GetHwnd()},
                 {"ErrorPage", -1, 0, IDC_PAGE_IMAGE, error, frame.m_errorPage->GetHwnd()},
             };
             for (const Probe& probe : probes) {
                 HWND page = probe.page;
                 if (page == nullptr) {
                     frame.NavigateToPage(probe.index);
                     page = frame.Page(probe.index).GetHwnd();
                 }
                 ::RedrawWindow(page, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                 if (probe.titleId != 0)
                     std::printf("title %s %d %d\n", probe.name, FontHeight(::GetDlgItem(page, probe.titleId)),
                                 FontHeight(page));
                 if (probe.pictureId != 0) {
                     HWND picture = ::GetDlgItem(page, probe.pictureId);
                     RECT rect{};
                     ::GetClientRect(picture, &rect);
                     SIZE painted = PaintedSize(picture);
                     const SIZE source = probe.source ? SourceSize(*probe.source) : SIZE{0, 0};
                     std::printf("picture %s %ld %ld %ld %ld %ld %ld\n", probe.name, rect.right, rect.bottom,
                                 painted.cx, painted.cy, source.cx, source.cy);
                 }
             }
             std::fflush(stdout);
             frame.EndDialog(7);
             return true;
         }});
    EXPECT_EQ(result, 7);
    configuration->m_shownOffers.clear();
    offer->DropImage();
}

struct Measures {
    int dpi = 0;
    // page → (title height, dialog font height)
    std::map<std::string, std::pair<int, int>> titles;
    // page → (rectangle, painted size)
    std::map<std::string, std::pair<SIZE, SIZE>> pictures;
    // page → what its picture shows, at the picture's own size
    std::map<std::string, SIZE> sources;
    std::string output;
};

Measures Parse(const std::string& output) {
    Measures measures;
    measures.output = output;
    std::istringstream lines(output);
    std::string kind;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string name;
        if (!(words >> kind))
            continue;
        if (kind == "dpi") {
            words >> measures.dpi;
        } else if (kind == "title") {
            int title = 0, dialog = 0;
            words >> name >> title >> dialog;
            measures.titles[name] = {title, dialog};
        } else if (kind == "picture") {
            SIZE rect{}, painted{}, source{};
            words >> name >> rect.cx >> rect.cy >> painted.cx >> painted.cy >> source.cx >> source.cy;
            measures.pictures[name] = {rect, painted};
            measures.sources[name] = source;
        }
    }
    return measures;
}

std::optional<DWORD> ReadLogPixels() {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

void WriteLogPixels(const std::optional<DWORD>& value) {
    if (value)
        ::RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels, REG_DWORD, &*value, sizeof(DWORD));
    else
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kDesktopKey, kLogPixels);
}

// Starts the probe with the prefix at `dpi`; the prefix's own setting is back as soon as the probe has read it.
Measures MeasureAt(DWORD dpi) {
    const std::optional<DWORD> saved = ReadLogPixels();
    WriteLogPixels(dpi);
    bool restored = false;
    auto restoreNow = [&] {
        if (!restored)
            WriteLogPixels(saved);
        restored = true;
    };
    win32::ScopeExit restore(restoreNow);
    ::SetEnvironmentVariableW(kProbeVariable, L"1");
    win32::ScopeExit clearVariable([] { ::SetEnvironmentVariableW(kProbeVariable, nullptr); });

    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const testing_programs::ProgramRun run = testing_programs::RunCapturingOutput(
        L"\"" + std::wstring(self) + L"\" --gtest_filter=ScaleProbe.*", [&](const std::string& output) {
            // The probe has its scale: other programs started in the prefix from now on get the prefix's own.
            if (output.find("dpi ") != std::string::npos)
                restoreNow();
        });
    if (!run.started)
        return {};
    return Parse(run.output);
}

// Each scale is measured once, for all the tests.
const Measures& MeasuredAt(DWORD dpi) {
    static std::map<DWORD, Measures> measured;
    auto found = measured.find(dpi);
    if (found == measured.end())
        found = measured.emplace(dpi, MeasureAt(dpi)).first;
    return found->second;
}

TEST(ScaleTest, TitleFontsGrowWithTheDialogFontAndPicturesFillTheirRectangles) {
    const Measures& normal = MeasuredAt(96);
    const Measures& doubled = MeasuredAt(192);
    SCOPED_TRACE("at 96 DPI:\n" + normal.output + "\nat 192 DPI:\n" + doubled.output);
    ASSERT_EQ(normal.dpi, 96);
    ASSERT_EQ(doubled.dpi, 192) << "the prefix's scale did not reach the program";
    ASSERT_EQ(normal.titles.size(), 4u);
    ASSERT_EQ(normal.pictures.size(), 5u);

    for (const auto& [page, sizes] : normal.titles) {
        SCOPED_TRACE(page);
        ASSERT_TRUE(doubled.titles.count(page));
        const auto [title96, dialog96] = sizes;
        const auto [title192, dialog192] = doubled.titles.at(page);
        EXPECT_GE(dialog192, dialog96 * 9 / 5) << "the dialog font grows with the scale";
        // The title keeps its size against the text around it: within a pixel or two of rounding.
        const double normalRatio = static_cast<double>(title96) / dialog96;
        const double doubledRatio = static_cast<double>(title192) / dialog192;
        EXPECT_NEAR(doubledRatio, normalRatio, normalRatio * 0.1);
    }
    for (const auto& [page, sizes] : normal.pictures) {
        SCOPED_TRACE(page);
        ASSERT_TRUE(doubled.pictures.count(page));
        for (const auto& [rect, painted] : {sizes, doubled.pictures.at(page)}) {
            // The pictures' own transparent margins are 3 % to 6 % of their sides; nothing is clipped or tiny.
            EXPECT_GE(painted.cx, rect.cx * 85 / 100);
            EXPECT_LE(painted.cx, rect.cx);
            EXPECT_GE(painted.cy, rect.cy * 85 / 100);
            EXPECT_LE(painted.cy, rect.cy);
        }
        const SIZE rect96 = sizes.first;
        const SIZE rect192 = doubled.pictures.at(page).first;
        EXPECT_NEAR(rect192.cx, 2 * rect96.cx, rect96.cx * 0.2);
        EXPECT_NEAR(rect192.cy, 2 * rect96.cy, rect96.cy * 0.2);
    }
}

// The layout grows with the font, not evenly in both directions, so a picture's box drifts from the picture's shape
// from one scale to the next (a round mark would turn into an ellipse, an offer's picture grow taller): every
// picture keeps the proportions of what it shows, within 2 % and a pixel of rounding on its shorter side.
TEST(ScaleTest, PicturesKeepTheirProportionsAtEveryScale) {
    for (DWORD dpi : {96u, 120u, 144u, 192u}) {
        const Measures& measures = MeasuredAt(dpi);
        SCOPED_TRACE("at " + std::to_string(dpi) + " DPI:\n" + measures.output);
        ASSERT_EQ(measures.dpi, static_cast<int>(dpi)) << "the prefix's scale did not reach the program";
        ASSERT_EQ(measures.pictures.size(), 5u);
        for (const auto& [page, sizes] : measures.pictures) {
            SCOPED_TRACE(page);
            const SIZE painted = sizes.second;
            const SIZE source = measures.sources.at(page);
            ASSERT_GT(painted.cy, 0);
            ASSERT_GT(source.cy, 0);
            const double paintedRatio = static_cast<double>(painted.cx) / painted.cy;
            const double sourceRatio = static_cast<double>(source.cx) / source.cy;
            const double rounding = 1.0 / std::min(painted.cx, painted.cy);
            EXPECT_NEAR(paintedRatio, sourceRatio, sourceRatio * (0.02 + rounding))
                << "painted " << painted.cx << "x" << painted.cy << ", shows " << source.cx << "x" << source.cy;
        }
    }
}

}  // namespace

// A splash image larger than the screen (images/splash_large.png, 2001 x 1201): centred, it hangs over all four
// edges, the left and top ones by half the difference, cut towards zero: (1920 - 2001) / 2 = -40 and
// (1080 - 1201) / 2 = -60 on a 1920 x 1080 screen. A screen that is not smaller than the image in both
// directions cannot show that, and there the tests skip.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "launcher/report.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"

namespace
{
const int c_cxImage = 2001;
const int c_cyImage = 1201;
const int c_bOpacity = 229;
const CRgb c_rgbFill = {60, 90, 200};
const CRgb c_rgbWhite = {255, 255, 255}; // the image's pixel (40, 60) only
const CRgb c_rgbGreen = {0, 255, 0};     // the image's pixel (1000, 600), its middle, only
const POINT c_ptWhite = {40, 60};
const POINT c_ptGreen = {1000, 600};
const int c_tolerance = 2;

// The major version of the Wine the test runs on, 0 elsewhere.
int WineMajorVersion()
{
    typedef const char*(__cdecl * PFN_WINE_GET_VERSION)();
    const HMODULE hmodNtdll = GetModuleHandleW(L"ntdll.dll");
    const auto pfnGetVersion = hmodNtdll ? reinterpret_cast<PFN_WINE_GET_VERSION>(reinterpret_cast<void*>(
                                               GetProcAddress(hmodNtdll, "wine_get_version")))
                                         : nullptr;
    return pfnGetVersion ? atoi(pfnGetVersion()) : 0;
}

// The image's colour at image coordinates (x, y) (see generate_test_images.py).
CRgb ImageColourAt(int x, int y)
{
    if (x == c_ptWhite.x && y == c_ptWhite.y)
        return c_rgbWhite;
    if (x == c_ptGreen.x && y == c_ptGreen.y)
        return c_rgbGreen;
    return c_rgbFill;
}

// Where the screen shows the image: its top left pixel lands at ptOrigin, and the screen shows it within rcShown.
struct CShownImage
{
    POINT ptOrigin;
    RECT rcShown;
};

CShownImage ShownImage()
{
    const POINT ptWindow = SplashOriginFor(c_cxImage, c_cyImage);
    const RECT rcScreen = PrimaryScreenRect();
    // Wine 10 defect: a window that hangs over the screen's left and top edges, at (x, y) with both negative, is
    // drawn as if it began at the screen's top left corner. The part of it that lies on the screen, from the
    // image's pixel (-x, -y) on ((40, 60) on a 1920 x 1080 screen), shows at the image's own coordinates, and the
    // screen's first -x columns and -y rows stay black. GetWindowRect still gives the window's own place, which
    // CentredBeyondTheLeftAndTopEdges checks. Windows and Wine 8 show it where it is.
    if (WineMajorVersion() >= 10)
        return CShownImage{POINT{0, 0}, RECT{-ptWindow.x, -ptWindow.y, rcScreen.right, rcScreen.bottom}};
    return CShownImage{ptWindow, rcScreen};
}

class SplashLarge : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const RECT rcScreen = PrimaryScreenRect();
        if (rcScreen.right >= c_cxImage || rcScreen.bottom >= c_cyImage)
        {
            GTEST_SKIP() << "the screen is " << rcScreen.right << " x " << rcScreen.bottom
                         << ", not smaller than the image (" << c_cxImage << " x " << c_cyImage
                         << ") in both directions: the image cannot hang over its edges";
        }
    }
};
} // namespace

TEST_F(SplashLarge, CentredBeyondTheLeftAndTopEdges)
{
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(GetModuleHandleW(nullptr)));
    const HWND hwnd = GetSplashWindow();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    const POINT ptCentred = SplashOriginFor(c_cxImage, c_cyImage);
    RECT rc = {};
    ASSERT_TRUE(GetWindowRect(hwnd, &rc));
    EXPECT_EQ(ptCentred.x, rc.left);
    EXPECT_EQ(ptCentred.y, rc.top);
    EXPECT_EQ(ptCentred.x + c_cxImage, rc.right);
    EXPECT_EQ(ptCentred.y + c_cyImage, rc.bottom);
}

TEST_F(SplashLarge, ScreenShowsTheImageWhereTheWindowIs)
{
    const CBlackBackdrop backdrop;
    ASSERT_TRUE(backdrop.Ok()) << "the backdrop shows " << Describe(backdrop.Seen());
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(GetModuleHandleW(nullptr)));
    const CShownImage shown = ShownImage();
    // The display shows the window once the server has it: wait for the green marker, which is on the screen
    // whatever its size (on its middle pixel; under Wine 10 at (1000, 600)).
    const CRgb rgbGreen = OverBlack(c_rgbGreen, 255, c_bOpacity);
    const POINT ptGreen = {shown.ptOrigin.x + c_ptGreen.x, shown.ptOrigin.y + c_ptGreen.y};
    const CRgb rgbSeen = WaitForScreenPixel(ptGreen.x, ptGreen.y, rgbGreen, c_tolerance, 3000);
    EXPECT_TRUE(IsNear(rgbSeen, rgbGreen, c_tolerance)) << Describe(rgbSeen);

    const RECT rcScreen = PrimaryScreenRect();
    const CScreenCapture capture(rcScreen);
    ASSERT_TRUE(capture.Ok());
    // Only within the work area: a taskbar is topmost, and so above the splash.
    RECT rcWork = rcScreen;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    RECT rcChecked = {};
    ASSERT_TRUE(IntersectRect(&rcChecked, &shown.rcShown, &rcWork));
    // Each marker that lies there with its neighbours to the right and below (on a 1920 x 1080 screen the white
    // one is in the corner), the screen's middle and the far corners: what the image has at each.
    std::vector<POINT> points;
    for (const POINT& ptMarker : {c_ptWhite, c_ptGreen})
    {
        const POINT pt = {shown.ptOrigin.x + ptMarker.x, shown.ptOrigin.y + ptMarker.y};
        for (const POINT& ptNear : {pt, POINT{pt.x + 1, pt.y}, POINT{pt.x, pt.y + 1}, POINT{pt.x + 1, pt.y + 1}})
        {
            if (PtInRect(&rcChecked, ptNear))
                points.push_back(ptNear);
        }
    }
    const RECT& rc = rcChecked;
    for (const POINT& pt : {POINT{rcScreen.right / 2, rcScreen.bottom / 2}, POINT{rc.left, rc.top},
                            POINT{rc.right - 1, rc.top}, POINT{rc.left, rc.bottom - 1},
                            POINT{rc.right - 1, rc.bottom - 1}})
    {
        points.push_back(pt);
    }
    for (const POINT& pt : points)
    {
        const CRgb rgbImage = ImageColourAt(pt.x - shown.ptOrigin.x, pt.y - shown.ptOrigin.y);
        const CRgb rgbExpected = OverBlack(rgbImage, 255, c_bOpacity);
        EXPECT_TRUE(IsNear(capture.At(pt.x, pt.y), rgbExpected, c_tolerance))
            << "(" << pt.x << ", " << pt.y << ") is " << Describe(capture.At(pt.x, pt.y)) << ", expected "
            << Describe(rgbExpected);
    }
}

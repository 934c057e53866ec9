// A splash image larger than the screen (images/splash_large.png, 2001 x 1201 on the 1920 x 1080 test display):
// centred, it hangs over all four edges, the left and top ones by (1920 - 2001) / 2 = -40 and
// (1080 - 1201) / 2 = -60.
#include <gtest/gtest.h>

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
const int c_tolerance = 2;
} // namespace

TEST(SplashLarge, CentredBeyondTheLeftAndTopEdges)
{
    ASSERT_EQ(1920, GetSystemMetrics(SM_CXSCREEN));
    ASSERT_EQ(1080, GetSystemMetrics(SM_CYSCREEN));
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(GetModuleHandleW(nullptr)));
    const HWND hwnd = GetSplashWindow();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    RECT rc = {};
    ASSERT_TRUE(GetWindowRect(hwnd, &rc));
    EXPECT_EQ(-40, rc.left);
    EXPECT_EQ(-60, rc.top);
    EXPECT_EQ(-40 + c_cxImage, rc.right);
    EXPECT_EQ(-60 + c_cyImage, rc.bottom);
}

TEST(SplashLarge, ScreenCornerShowsTheImagesPixelFortySixty)
{
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(GetModuleHandleW(nullptr)));
    const CRgb rgbMarker = OverBlack(c_rgbWhite, 255, c_bOpacity);
    const CRgb rgbFill = OverBlack(c_rgbFill, 255, c_bOpacity);
    const CRgb rgbCorner = WaitForScreenPixel(0, 0, rgbMarker, c_tolerance, 3000);
    EXPECT_TRUE(IsNear(rgbCorner, rgbMarker, c_tolerance)) << Describe(rgbCorner);

    const RECT rcScreen = {0, 0, 1920, 1080};
    const CScreenCapture capture(rcScreen);
    ASSERT_TRUE(capture.Ok());
    for (const POINT& pt : {POINT{1, 0}, POINT{0, 1}, POINT{1, 1}, POINT{960, 540}, POINT{1919, 0}, POINT{0, 1079},
                            POINT{1919, 1079}})
    {
        EXPECT_TRUE(IsNear(capture.At(pt.x, pt.y), rgbFill, c_tolerance))
            << "(" << pt.x << ", " << pt.y << ") is " << Describe(capture.At(pt.x, pt.y));
    }
}

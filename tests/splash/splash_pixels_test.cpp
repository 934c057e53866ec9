// What the splash puts on the screen, over the test's black backdrop: where (centred on the primary screen of
// whatever size), how large, and the colours of the test image's regions after per-pixel alpha and the splash's
// constant opacity of 229.
#include <gtest/gtest.h>

#include <iostream>
#include <memory>

#include "launcher/report.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"

namespace
{
// images/splash_test.png (see generate_test_images.py).
const int c_cxImage = 101;
const int c_cyImage = 61;
const int c_bOpacity = 229;
const CRgb c_rgbTop = {200, 100, 50};    // x 0..32, y 0..29, opaque
const CRgb c_rgbBottom = {40, 220, 120}; // x 0..32, y 30..60, opaque
const CRgb c_rgbHalf = {240, 120, 60};   // x 33..66, alpha 128
const CRgb c_rgbWhite = {255, 255, 255}; // marker at (0, 0); also the colour of the transparent part
const CRgb c_rgbGreen = {0, 255, 0};     // marker at (100, 60)
const CRgb c_rgbBlack = {0, 0, 0};
const int c_tolerance = 2;

class SplashPixels : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_backdrop.Ok()) << "the backdrop shows " << Describe(m_backdrop.Seen());
        ASSERT_EQ(S_OK, m_apartment.Result());
        ASSERT_EQ(S_OK, ShowSplashScreen(GetModuleHandleW(nullptr)));
        m_hwnd = GetSplashWindow();
        ASSERT_NE(nullptr, m_hwnd);
        // The display shows the window once the server has it: wait for the top left marker.
        const CRgb rgbCorner = WaitForScreenPixel(m_xLeft, m_yTop, OverBlack(c_rgbWhite, 255, c_bOpacity), c_tolerance, 3000);
        ASSERT_TRUE(IsNear(rgbCorner, OverBlack(c_rgbWhite, 255, c_bOpacity), c_tolerance)) << Describe(rgbCorner);
        m_pCapture.reset(new CScreenCapture(PrimaryScreenRect()));
        ASSERT_TRUE(m_pCapture->Ok());
    }

    // On screen, at image coordinates.
    CRgb ImagePixel(int x, int y) const { return m_pCapture->At(m_xLeft + x, m_yTop + y); }

    CBlackBackdrop m_backdrop;
    CTestApartment m_apartment;
    HWND m_hwnd = nullptr;
    // (909, 509) on a 1920 x 1080 screen: half of 1819 and of 1019, cut towards zero.
    const int m_xLeft = SplashOriginFor(c_cxImage, c_cyImage).x;
    const int m_yTop = SplashOriginFor(c_cxImage, c_cyImage).y;
    std::unique_ptr<CScreenCapture> m_pCapture;
};

// HWND_TOP puts a window above every other window that is not topmost. Hidden windows may still be listed above
// it: Wine 10 keeps its IME windows at the top of the z-order.
::testing::AssertionResult IsAboveEveryShownWindow(HWND hwnd)
{
    for (HWND hwndAbove = GetWindow(hwnd, GW_HWNDPREV); hwndAbove; hwndAbove = GetWindow(hwndAbove, GW_HWNDPREV))
    {
        if (IsWindowVisible(hwndAbove) && !(GetWindowLongPtrW(hwndAbove, GWL_EXSTYLE) & WS_EX_TOPMOST))
        {
            wchar_t szClass[256] = L"";
            GetClassNameW(hwndAbove, szClass, ARRAYSIZE(szClass));
            return ::testing::AssertionFailure() << "a shown window of class \"" << szClass << "\" is above it";
        }
    }
    return ::testing::AssertionSuccess();
}

bool IsBelow(HWND hwndLower, HWND hwndUpper)
{
    for (HWND hwnd = GetWindow(hwndUpper, GW_HWNDNEXT); hwnd; hwnd = GetWindow(hwnd, GW_HWNDNEXT))
    {
        if (hwnd == hwndLower)
            return true;
    }
    return false;
}

#define EXPECT_PIXEL(expected, actual)                                                                     \
    do                                                                                                     \
    {                                                                                                      \
        const CRgb rgbExpected = (expected);                                                               \
        const CRgb rgbActual = (actual);                                                                   \
        EXPECT_TRUE(IsNear(rgbActual, rgbExpected, c_tolerance))                                           \
            << #actual << " is " << Describe(rgbActual) << ", expected " << Describe(rgbExpected);         \
    } while (false)
} // namespace

TEST_F(SplashPixels, CentredAtTheImageSizeAndShown)
{
    RECT rc = {};
    ASSERT_TRUE(GetWindowRect(m_hwnd, &rc));
    EXPECT_EQ(m_xLeft, rc.left);
    EXPECT_EQ(m_yTop, rc.top);
    EXPECT_EQ(m_xLeft + c_cxImage, rc.right);
    EXPECT_EQ(m_yTop + c_cyImage, rc.bottom);
    EXPECT_TRUE(IsWindowVisible(m_hwnd));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE),
              GetWindowLongPtrW(m_hwnd, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS));
    // On top of the other top-level windows of the desktop, the backdrop among them.
    EXPECT_TRUE(IsAboveEveryShownWindow(m_hwnd));
}

TEST_F(SplashPixels, OpaquePixelsAtTheConstantOpacity)
{
    EXPECT_PIXEL(OverBlack(c_rgbWhite, 255, c_bOpacity), ImagePixel(0, 0));
    EXPECT_PIXEL(OverBlack(c_rgbTop, 255, c_bOpacity), ImagePixel(1, 0));
    EXPECT_PIXEL(OverBlack(c_rgbTop, 255, c_bOpacity), ImagePixel(16, 15));
    EXPECT_PIXEL(OverBlack(c_rgbTop, 255, c_bOpacity), ImagePixel(32, 29));
    EXPECT_PIXEL(OverBlack(c_rgbGreen, 255, c_bOpacity), ImagePixel(c_cxImage - 1, c_cyImage - 1));
}

TEST_F(SplashPixels, RowsKeepTheirOrder)
{
    // The image's first row is at the top of the window, its last at the bottom: no mirror either way.
    EXPECT_PIXEL(OverBlack(c_rgbTop, 255, c_bOpacity), ImagePixel(10, 5));
    EXPECT_PIXEL(OverBlack(c_rgbBottom, 255, c_bOpacity), ImagePixel(10, 55));
    EXPECT_PIXEL(OverBlack(c_rgbBottom, 255, c_bOpacity), ImagePixel(32, 30));
    EXPECT_PIXEL(OverBlack(c_rgbBottom, 255, c_bOpacity), ImagePixel(0, c_cyImage - 1));
}

TEST_F(SplashPixels, HalfTransparentPixelsArePremultiplied)
{
    EXPECT_PIXEL(OverBlack(c_rgbHalf, 128, c_bOpacity), ImagePixel(33, 0));
    EXPECT_PIXEL(OverBlack(c_rgbHalf, 128, c_bOpacity), ImagePixel(50, 30));
    EXPECT_PIXEL(OverBlack(c_rgbHalf, 128, c_bOpacity), ImagePixel(66, 60));
}

TEST_F(SplashPixels, TransparentPixelsShowNothing)
{
    // White at alpha 0: the black of the backdrop, not white.
    EXPECT_PIXEL(c_rgbBlack, ImagePixel(67, 0));
    EXPECT_PIXEL(c_rgbBlack, ImagePixel(80, 30));
    EXPECT_PIXEL(c_rgbBlack, ImagePixel(c_cxImage - 1, 0));
    EXPECT_PIXEL(c_rgbBlack, ImagePixel(c_cxImage - 2, c_cyImage - 1));
}

TEST_F(SplashPixels, NothingAroundTheWindow)
{
    EXPECT_PIXEL(c_rgbBlack, m_pCapture->At(m_xLeft - 1, m_yTop));
    EXPECT_PIXEL(c_rgbBlack, m_pCapture->At(m_xLeft, m_yTop - 1));
    EXPECT_PIXEL(c_rgbBlack, m_pCapture->At(m_xLeft + 1, m_yTop + c_cyImage));
    // Far away: the top left corner of the work area, which is (0, 0) unless a taskbar lies along the top or the
    // left edge (it is topmost, and so above the backdrop).
    RECT rcWork = PrimaryScreenRect();
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    EXPECT_PIXEL(c_rgbBlack, m_pCapture->At(rcWork.left, rcWork.top));
}

TEST(SplashPixelsOverContent, TransparentPixelsShowWhatIsBeneath)
{
    const CBlackBackdrop backdrop;
    ASSERT_TRUE(backdrop.Ok()) << "the backdrop shows " << Describe(backdrop.Seen());
    // A white window around where the splash will be, shown after the backdrop and before the splash: at
    // (800, 400) on a 1920 x 1080 screen.
    const POINT ptSplash = SplashOriginFor(c_cxImage, c_cyImage);
    const int xWhite = ptSplash.x - 109;
    const int yWhite = ptSplash.y - 109;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"SplashWhiteContent";
    ASSERT_NE(0, RegisterClassExW(&wc));
    const HWND hwndWhite = CreateWindowExW(0, L"SplashWhiteContent", L"white", WS_POPUP | WS_VISIBLE, xWhite, yWhite,
                                           400, 300, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_NE(nullptr, hwndWhite);
    UpdateWindow(hwndWhite);
    const CRgb rgbWhite = {255, 255, 255};
    ASSERT_TRUE(IsNear(WaitForScreenPixel(xWhite + 50, yWhite + 50, rgbWhite, 0, 3000), rgbWhite, 0));

    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(GetModuleHandleW(nullptr)));
    const int xLeft = ptSplash.x;
    const int yTop = ptSplash.y;
    const CRgb rgbTopShown = OverBlack(c_rgbTop, 255, c_bOpacity);
    ASSERT_TRUE(IsNear(WaitForScreenPixel(xLeft + 1, yTop, rgbTopShown, 30, 3000), rgbTopShown, 30));
    EXPECT_TRUE(IsAboveEveryShownWindow(GetSplashWindow()));
    EXPECT_TRUE(IsBelow(hwndWhite, GetSplashWindow()));

    const RECT rcSplash = {xLeft, yTop, xLeft + c_cxImage, yTop + c_cyImage};
    const CScreenCapture capture(rcSplash);
    ASSERT_TRUE(capture.Ok());
    EXPECT_PIXEL(rgbWhite, capture.At(xLeft + 80, yTop + 30));
    EXPECT_PIXEL(rgbWhite, capture.At(xLeft + 67, yTop));
    // For the record: the opaque and the half-transparent part over white. Windows blends them with the white,
    // so they come out lighter than over black; Wine on a display without a compositing manager shows them as
    // over black.
    std::cout << "opaque over white " << Describe(capture.At(xLeft + 10, yTop + 5)) << ", half over white "
              << Describe(capture.At(xLeft + 50, yTop + 30)) << std::endl;
    DestroyWindow(hwndWhite);
}

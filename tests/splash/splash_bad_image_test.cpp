// Artwork that no decoder takes (images/not_an_image.bin as RCDATA 129): the splash fails with the imaging
// component's own HRESULT, its window stays hidden, and a report shown afterwards is owned by it.
#include <gtest/gtest.h>

#include <wincodec.h>

#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"

TEST(SplashBadImage, ShowReturnsTheDecodersError)
{
    CTestApartment apartment;
    const HRESULT hr = ShowSplashScreen(GetModuleHandleW(nullptr));
    // No decoder recognises the bytes.
    EXPECT_EQ(WINCODEC_ERR_COMPONENTNOTFOUND, hr) << std::hex << hr;
}

TEST(SplashBadImage, WindowExistsButStaysHidden)
{
    const CBlackBackdrop backdrop;
    ASSERT_TRUE(backdrop.Ok()) << "the backdrop shows " << Describe(backdrop.Seen());
    CTestApartment apartment;
    ASSERT_TRUE(FAILED(ShowSplashScreen(GetModuleHandleW(nullptr))));
    const HWND hwnd = GetSplashWindow();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(L"CorvaneLauncherSplash", ClassNameOf(hwnd));
    EXPECT_FALSE(IsWindowVisible(hwnd));
    // Nothing of it on screen either: the backdrop's black where a splash would be centred.
    Sleep(300);
    const RECT rcScreen = PrimaryScreenRect();
    const CScreenCapture capture(rcScreen);
    ASSERT_TRUE(capture.Ok());
    const int xCentre = rcScreen.right / 2;
    const int yCentre = rcScreen.bottom / 2;
    EXPECT_TRUE(IsNear(capture.At(xCentre, yCentre), CRgb{0, 0, 0}, 0)) << Describe(capture.At(xCentre, yCentre));
}

TEST(SplashBadImage, ReportBoxIsOwnedByTheHiddenSplash)
{
    CTestApartment apartment;
    const HRESULT hr = ShowSplashScreen(GetModuleHandleW(nullptr));
    ASSERT_TRUE(FAILED(hr));
    CMessageBoxRecorder recorder;
    ReportHresult(E_FAIL, CComPtrT<IErrorInfo>(), L"Could not start the CLR.");
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(g_hwndSplash, recorder.Boxes()[0].hwndOwner);
    EXPECT_NE(nullptr, recorder.Boxes()[0].hwndOwner);
}

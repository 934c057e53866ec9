// An executable without splash artwork (no RCDATA at all): the splash fails at the resource with the system's
// error and shows nothing.
#include <gtest/gtest.h>

#include "launcher/report.h"
#include "splash/splash_render.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"

TEST(SplashMissingImage, ShowFailsWithTheResourceError)
{
    CTestApartment apartment;
    const HRESULT hr = ShowSplashScreen(GetModuleHandleW(nullptr));
    // The executable has no RCDATA at all: ERROR_RESOURCE_TYPE_NOT_FOUND.
    EXPECT_EQ(static_cast<HRESULT>(0x80070715), hr) << std::hex << hr;
    ASSERT_NE(nullptr, GetSplashWindow());
    EXPECT_FALSE(IsWindowVisible(GetSplashWindow()));
}

TEST(SplashMissingImage, LoadGivesNothingBack)
{
    const BYTE* pResBytes = reinterpret_cast<const BYTE*>(1);
    DWORD dwSize = 1;
    EXPECT_EQ(static_cast<HRESULT>(0x80070715), LoadSplashResource(pResBytes, dwSize));
    EXPECT_EQ(nullptr, pResBytes);
    EXPECT_EQ(0u, dwSize);
}

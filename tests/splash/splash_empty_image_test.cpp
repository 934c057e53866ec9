// An executable whose artwork slot holds zero bytes (images/empty.bin as RCDATA 129): the system finds the
// resource but reports no size and no error. The splash fails all the same, with E_FAIL, and shows nothing.
#include <gtest/gtest.h>

#include "launcher/report.h"
#include "splash/splash_render.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"

TEST(SplashEmptyImage, ZeroBytesWithoutAnErrorIsEFail)
{
    // SizeofResource reports 0 and leaves the last error alone: without the fallback this would pass as S_OK.
    const BYTE* pResBytes = reinterpret_cast<const BYTE*>(1);
    DWORD dwSize = 1;
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, LoadSplashResource(pResBytes, dwSize));
    EXPECT_EQ(nullptr, pResBytes);
    EXPECT_EQ(0u, dwSize);
}

TEST(SplashEmptyImage, ShowFailsAndNothingIsShown)
{
    CTestApartment apartment;
    const HRESULT hr = ShowSplashScreen(GetModuleHandleW(nullptr));
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    ASSERT_NE(nullptr, GetSplashWindow());
    EXPECT_FALSE(IsWindowVisible(GetSplashWindow()));
}

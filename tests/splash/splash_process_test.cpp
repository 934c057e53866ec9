// The real Lumenix.exe's splash, watched from this process while the driver runs the launcher on another
// thread. The stand-in hosting library in the system folder holds the managed entry call as long as the
// scenario says, pumping the launcher's messages meanwhile.
#include <gtest/gtest.h>

#include <wincodec.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"
#include "splash_test_support.h"
#include "test_thread.h"
#include "tests/standin/fake_assembly.h"
#include "unit/standin_session.h"

namespace
{
const std::wstring c_happyRoad = L"defaultDomain.base={folder}\n";

std::wstring Environment(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(pszName, szValue, ARRAYSIZE(szValue));
    return szValue;
}

void PrepareRun(CStandinSession& session)
{
    session.InstallInSystemFolder(L"full");
    ASSERT_TRUE(WriteFakeAssembly((session.Folder() + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll").c_str()));
}

// What the watcher saw of the launcher's splash window.
struct CSighting
{
    HWND hwnd = nullptr;   // first window of the class seen
    bool fVisible = false; // seen visible at least once
    RECT rcVisible = {};   // its rectangle when first seen visible
    DWORD dwPid = 0;
    LONG_PTR exStyle = 0;
    std::wstring caption;
    CRgb rgbCentre = {-1, -1, -1}; // screen at the image's centre, once painted (see WatchLauncher)
    CRgb rgbCorner = {-1, -1, -1}; // screen at the image's top left pixel, at the same time
};

// A splash window of another process, or null.
HWND FindLauncherSplash()
{
    for (HWND hwnd = FindWindowExW(nullptr, nullptr, L"CorvaneLauncherSplash", nullptr); hwnd;
         hwnd = FindWindowExW(nullptr, hwnd, L"CorvaneLauncherSplash", nullptr))
    {
        DWORD dwPid = 0;
        GetWindowThreadProcessId(hwnd, &dwPid);
        if (dwPid != GetCurrentProcessId())
            return hwnd;
    }
    return nullptr;
}

// Runs the launcher through the driver on a thread of its own and polls for its splash meanwhile. With
// rgbPainted, the screen is read once the image's centre shows that colour (or at the end of the run).
CLaunchResult WatchLauncher(CSighting& sighting, const CRgb* prgbPainted = nullptr)
{
    CLaunchOptions options;
    options.exePath = Environment(L"LUMENIX_EXE");
    options.timeoutMs = 60000;
    CLaunchResult result;
    std::atomic<bool> fDone(false);
    CTestThread runner([&]() {
        RunAndWatch(options, result);
        fDone = true;
    });

    bool fPixelsRead = false;
    while (!fDone)
    {
        const HWND hwnd = FindLauncherSplash();
        if (hwnd && !sighting.hwnd)
        {
            sighting.hwnd = hwnd;
            GetWindowThreadProcessId(hwnd, &sighting.dwPid);
            sighting.exStyle = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
            wchar_t szCaption[256] = {};
            GetWindowTextW(hwnd, szCaption, ARRAYSIZE(szCaption));
            sighting.caption = szCaption;
        }
        if (hwnd && !sighting.fVisible && IsWindowVisible(hwnd))
        {
            sighting.fVisible = true;
            GetWindowRect(hwnd, &sighting.rcVisible);
        }
        if (prgbPainted && sighting.fVisible && !fPixelsRead)
        {
            const RECT& rc = sighting.rcVisible;
            const int xCentre = rc.left + (rc.right - rc.left) / 2;
            const int yCentre = rc.top + (rc.bottom - rc.top) / 2;
            const RECT rcCapture = {rc.left, rc.top, rc.right, rc.bottom};
            const CScreenCapture capture(rcCapture);
            if (capture.Ok() && IsNear(capture.At(xCentre, yCentre), *prgbPainted, 2))
            {
                fPixelsRead = true;
                sighting.rgbCentre = capture.At(xCentre, yCentre);
                sighting.rgbCorner = capture.At(rc.left, rc.top);
            }
            else if (capture.Ok())
            {
                sighting.rgbCentre = capture.At(xCentre, yCentre);
            }
        }
        Sleep(prgbPainted ? 20 : 2);
    }
    runner.Join();
    EXPECT_TRUE(result.started) << "error " << result.startError;
    EXPECT_FALSE(result.timedOut);
    return result;
}

// The second argument of the entry call, as the stand-in logged it (VT_UI8, hex).
unsigned long long EntryWindowArgument(const CStandinSession& session)
{
    const std::string invoke = session.FirstCall("InvokeMember_3");
    const std::string lead = "{\"vt\":21,\"value\":\"";
    const size_t at = invoke.find(lead);
    if (at == std::string::npos)
        return 0;
    return strtoull(invoke.c_str() + at + lead.size(), nullptr, 16);
}

// A pixel of a PNG file as it shows over black in a layered window of the given opacity.
bool ShownPixelOfImage(const std::wstring& path, int x, int y, int bOpacity, CRgb& rgb)
{
    CTestApartment apartment;
    IWICImagingFactory* pFactory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(&pFactory))))
        return false;
    bool fOk = false;
    IWICBitmapDecoder* pDecoder = nullptr;
    IWICBitmapFrameDecode* pFrame = nullptr;
    IWICFormatConverter* pConverter = nullptr;
    if (SUCCEEDED(pFactory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                      WICDecodeMetadataCacheOnDemand, &pDecoder)) &&
        SUCCEEDED(pDecoder->GetFrame(0, &pFrame)) && SUCCEEDED(pFactory->CreateFormatConverter(&pConverter)) &&
        SUCCEEDED(pConverter->Initialize(pFrame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom)))
    {
        BYTE bgra[4] = {};
        const WICRect wrc = {x, y, 1, 1};
        if (SUCCEEDED(pConverter->CopyPixels(&wrc, 4, 4, bgra)))
        {
            rgb.r = (bgra[2] * bOpacity + 127) / 255;
            rgb.g = (bgra[1] * bOpacity + 127) / 255;
            rgb.b = (bgra[0] * bOpacity + 127) / 255;
            fOk = true;
        }
    }
    for (IUnknown* p : std::vector<IUnknown*>{pConverter, pFrame, pDecoder, pFactory})
    {
        if (p)
            p->Release();
    }
    return fOk;
}
} // namespace

TEST(SplashProcess, VisibleAndCentredWhileTheEntryRuns)
{
    CStandinSession session(c_happyRoad + L"entry.delayMs=3000\n");
    PrepareRun(session);
    CSighting sighting;
    const CLaunchResult result = WatchLauncher(sighting);

    ASSERT_NE(nullptr, sighting.hwnd);
    EXPECT_NE(GetCurrentProcessId(), sighting.dwPid);
    EXPECT_EQ(L"Starting Corvane Lumenix", sighting.caption);
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_LAYERED), sighting.exStyle);
    ASSERT_TRUE(sighting.fVisible);
    // 512 x 197 on 1920 x 1080.
    EXPECT_EQ(704, sighting.rcVisible.left);
    EXPECT_EQ(441, sighting.rcVisible.top);
    EXPECT_EQ(704 + 512, sighting.rcVisible.right);
    EXPECT_EQ(441 + 197, sighting.rcVisible.bottom);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
}

TEST(SplashProcess, EntryCallGetsTheSplashWindow)
{
    CStandinSession session(c_happyRoad + L"entry.delayMs=3000\n");
    PrepareRun(session);
    CSighting sighting;
    const CLaunchResult result = WatchLauncher(sighting);
    ASSERT_NE(nullptr, sighting.hwnd);
    const std::string invoke = session.FirstCall("InvokeMember_3");
    EXPECT_NE(std::string::npos, invoke.find("\"args\":[{\"vt\":8,\"value\":\"Lumenix\"},{\"vt\":21,\"value\":\"0x"))
        << invoke;
    EXPECT_EQ(static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(sighting.hwnd)), EntryWindowArgument(session))
        << invoke;
    EXPECT_EQ(0u, result.exitCode);
}

TEST(SplashProcess, ApplicationCanCloseTheSplashThroughItsHandle)
{
    CStandinSession session(c_happyRoad + L"entry.delayMs=1500\nentry.closeSplash=1\n");
    PrepareRun(session);
    CSighting sighting;
    const CLaunchResult result = WatchLauncher(sighting);
    ASSERT_NE(nullptr, sighting.hwnd);
    EXPECT_TRUE(sighting.fVisible);
    const std::string closed = session.FirstCall("closeSplash");
    EXPECT_NE(std::string::npos, closed.find("\"destroyed\":true")) << closed;
    EXPECT_EQ(static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(sighting.hwnd)),
              strtoull(JsonText(closed, "hwnd").c_str(), nullptr, 16));
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
}

TEST(SplashProcess, ReportBoxIsOwnedByTheSplash)
{
    CStandinSession session(c_happyRoad + L"type.missing=1\n");
    PrepareRun(session);
    CSighting sighting;
    const CLaunchResult result = WatchLauncher(sighting);
    ASSERT_NE(nullptr, sighting.hwnd);
    EXPECT_TRUE(sighting.fVisible);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Lumenix \u2013 Loading", result.boxes[0].caption);
    EXPECT_EQ(sighting.hwnd, result.boxes[0].hwndOwner);
    EXPECT_NE(0u, result.exitCode);
}

TEST(SplashProcess, ShowsTheArtwork)
{
    CStandinSession session(c_happyRoad + L"entry.delayMs=3000\n");
    PrepareRun(session);
    // The shipped artwork as the screen should show it: the centre pixel (256, 98) of the 512 x 197 image, and
    // the top left pixel, which the rounded corner leaves transparent.
    const std::wstring artwork = Environment(L"LX_SPLASH_ARTWORK");
    CRgb rgbCentre;
    ASSERT_TRUE(ShownPixelOfImage(artwork, 256, 98, 229, rgbCentre));
    CRgb rgbCorner;
    ASSERT_TRUE(ShownPixelOfImage(artwork, 0, 0, 229, rgbCorner));
    EXPECT_TRUE(IsNear(rgbCorner, CRgb{0, 0, 0}, 0)) << "the artwork's corner is no longer transparent";

    CSighting sighting;
    WatchLauncher(sighting, &rgbCentre);
    ASSERT_TRUE(sighting.fVisible);
    EXPECT_TRUE(IsNear(sighting.rgbCentre, rgbCentre, 2))
        << "centre " << Describe(sighting.rgbCentre) << ", expected " << Describe(rgbCentre);
    EXPECT_TRUE(IsNear(sighting.rgbCorner, rgbCorner, 2))
        << "corner " << Describe(sighting.rgbCorner) << ", expected " << Describe(rgbCorner);
}

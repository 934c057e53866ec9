// The real Lumenix.exe's splash, watched from this process while the driver runs the launcher on another
// thread. The stand-in hosting library in the system folder holds the managed entry call as long as the
// scenario says, pumping the launcher's messages meanwhile.
#include <gtest/gtest.h>

#include <wincodec.h>

#include <atomic>
#include <cstdlib>
#include <functional>
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

// Runs the launcher through the driver on a thread of its own, and meanwhile calls onPoll, then waits the
// milliseconds it answers, until the run has ended. The run must have started and ended by itself.
CLaunchResult RunPolling(const CLaunchOptions& options, const std::function<DWORD()>& onPoll)
{
    CLaunchResult result;
    std::atomic<bool> fDone(false);
    CTestThread runner([&]() {
        RunAndWatch(options, result);
        fDone = true;
    });
    while (!fDone)
        Sleep(onPoll());
    runner.Join();
    EXPECT_TRUE(result.started) << "error " << result.startError;
    EXPECT_FALSE(result.timedOut);
    return result;
}

// Runs the launcher through the driver on a thread of its own and polls for its splash meanwhile. With
// rgbPainted, the screen is read once the image's centre shows that colour (or at the end of the run).
CLaunchResult WatchLauncher(CSighting& sighting, const CRgb* prgbPainted = nullptr)
{
    CLaunchOptions options;
    options.exePath = Environment(L"LUMENIX_EXE");
    options.timeoutMs = 60000;
    bool fPixelsRead = false;
    return RunPolling(options, [&]() -> DWORD {
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
        return prgbPainted ? 20 : 2;
    });
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

namespace
{
// The bar of a 512 x 197 splash: 4 rows, 12 pixels inside the sides and the lower edge. A pixel near its left
// end is filled as soon as any progress shows; one in its middle shows the track until half is done.
const int c_xBarStart = 14;
const int c_xBarMiddle = 256;
const int c_yBar = 197 - 12 - 2;
const CRgb c_rgbBar = {0x28, 0xC8, 0xD2}; // the default colour

// The large product's 6 MB are written in about 150 calls: slowed down, its first start unpacks for about
// 3 seconds, as a product of hundreds of megabytes does.
const std::wstring c_slowFirstStart = c_happyRoad + L"start.writeDelayMs=20\n";

// A cold first start of the large product (a TEMP of its own), run through the driver on a thread of its own.
// While it unpacks (the stand-in's runtime has started and no domain is made yet) and its splash is visible,
// onUnpacking is called about every 50 ms; once the entry call has come, onHandedOver once, if given.
CLaunchResult WatchFirstStart(const wchar_t* pszExeVariable, CStandinSession& session,
                              const std::function<void(HWND)>& onUnpacking,
                              const std::function<void(HWND)>& onHandedOver)
{
    CLaunchOptions options;
    options.exePath = Environment(pszExeVariable);
    const std::wstring temp = session.Folder() + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    options.environment = {{L"TEMP", temp}, {L"TMP", temp}};
    options.timeoutMs = 60000;
    bool fHandedOver = false;
    const CLaunchResult result = RunPolling(options, [&]() -> DWORD {
        const HWND hwnd = FindLauncherSplash();
        if (hwnd && IsWindowVisible(hwnd))
        {
            if (onHandedOver && !fHandedOver && session.WasCalled("InvokeMember_3"))
            {
                fHandedOver = true;
                Sleep(200); // for the X server to show what the launcher drew last
                onHandedOver(hwnd);
            }
            else if (session.WasCalled("Start") && !session.WasCalled("CreateDomainSetup"))
            {
                onUnpacking(hwnd);
            }
        }
        return 50;
    });
    EXPECT_TRUE(fHandedOver || !onHandedOver);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    return result;
}

// The screen at a pixel of the splash, counted from its top left corner.
CRgb SplashPixel(HWND hwnd, int x, int y)
{
    RECT rc = {};
    GetWindowRect(hwnd, &rc);
    const CScreenCapture capture(rc);
    return capture.Ok() ? capture.At(rc.left + x, rc.top + y) : CRgb{-1, -1, -1};
}

// What the artwork shows at these pixels over black; the test stops when it cannot be read.
CRgb ArtworkPixel(int x, int y)
{
    CRgb rgb = {-1, -1, -1};
    EXPECT_TRUE(ShownPixelOfImage(Environment(L"LX_SPLASH_ARTWORK"), x, y, 229, rgb));
    return rgb;
}
} // namespace

TEST(SplashWhileUnpacking, AnswersAnotherProcessAgainAndAgain)
{
    CStandinSession session(c_slowFirstStart + L"entry.delayMs=500\n");
    PrepareRun(session);
    int cAnswered = 0;
    int cUnanswered = 0;
    WatchFirstStart(
        L"LUMENIX_LARGE_PACK_EXE", session,
        [&](HWND hwnd) {
            DWORD_PTR dwResult = 0;
            if (SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &dwResult))
                ++cAnswered;
            else if (IsWindow(hwnd))
                ++cUnanswered;
        },
        nullptr);
    EXPECT_EQ(0, cUnanswered);
    EXPECT_GE(cAnswered, 5) << "the unpacking was too short to tell";
}

TEST(SplashWhileUnpacking, BarShowsAndGoesWhenTheApplicationTakesOver)
{
    CStandinSession session(c_slowFirstStart + L"entry.delayMs=1000\n");
    PrepareRun(session);
    const CRgb rgbBar = OverBlack(c_rgbBar, 255, 229);
    const CRgb rgbArtworkStart = ArtworkPixel(c_xBarStart, c_yBar);
    const CRgb rgbArtworkMiddle = ArtworkPixel(c_xBarMiddle, c_yBar);
    bool fBarSeen = false;
    bool fMiddleToCome = false; // the bar showed less than half done
    bool fMiddleReached = false;
    CRgb rgbStart = {-1, -1, -1};
    CRgb rgbMiddle = {-1, -1, -1};
    WatchFirstStart(
        L"LUMENIX_LARGE_PACK_EXE", session,
        [&](HWND hwnd) {
            if (!IsNear(SplashPixel(hwnd, c_xBarStart, c_yBar), rgbBar, 2))
                return;
            fBarSeen = true;
            const bool fMiddleFilled = IsNear(SplashPixel(hwnd, c_xBarMiddle, c_yBar), rgbBar, 2);
            fMiddleToCome = fMiddleToCome || (!fMiddleFilled && !fMiddleReached);
            fMiddleReached = fMiddleReached || fMiddleFilled;
        },
        [&](HWND hwnd) {
            rgbStart = SplashPixel(hwnd, c_xBarStart, c_yBar);
            rgbMiddle = SplashPixel(hwnd, c_xBarMiddle, c_yBar);
        });
    EXPECT_TRUE(fBarSeen);
    // It grows with the bytes written against the product's recorded size: neither full at once nor stuck.
    EXPECT_TRUE(fMiddleToCome);
    EXPECT_TRUE(fMiddleReached);
    EXPECT_TRUE(IsNear(rgbStart, rgbArtworkStart, 2))
        << Describe(rgbStart) << ", the artwork shows " << Describe(rgbArtworkStart);
    EXPECT_TRUE(IsNear(rgbMiddle, rgbArtworkMiddle, 2))
        << Describe(rgbMiddle) << ", the artwork shows " << Describe(rgbArtworkMiddle);
}

TEST(SplashWhileUnpacking, WithoutTheBarThePixelsNeverChange)
{
    CStandinSession session(c_slowFirstStart + L"entry.delayMs=500\n");
    PrepareRun(session);
    const CRgb rgbArtworkCentre = ArtworkPixel(256, 98);
    const CRgb rgbArtworkStart = ArtworkPixel(c_xBarStart, c_yBar);
    const CRgb rgbArtworkMiddle = ArtworkPixel(c_xBarMiddle, c_yBar);
    int cPainted = 0;
    int cChanged = 0;
    WatchFirstStart(
        L"LUMENIX_LARGE_PACK_NO_BAR_EXE", session,
        [&](HWND hwnd) {
            // Only once the image is on the screen (Wine shows it when the launcher handles its exposure).
            if (!IsNear(SplashPixel(hwnd, 256, 98), rgbArtworkCentre, 2))
                return;
            ++cPainted;
            if (!IsNear(SplashPixel(hwnd, c_xBarStart, c_yBar), rgbArtworkStart, 2) ||
                !IsNear(SplashPixel(hwnd, c_xBarMiddle, c_yBar), rgbArtworkMiddle, 2))
                ++cChanged;
        },
        nullptr);
    EXPECT_GE(cPainted, 5) << "the unpacking was too short to tell";
    EXPECT_EQ(0, cChanged);
}

TEST(SplashWhileUnpacking, QuitPostedMeanwhileReachesTheApplicationsLoop)
{
    // Without the quit, the entry call would wait for 20 seconds.
    CStandinSession session(c_slowFirstStart + L"entry.delayMs=20000\n");
    PrepareRun(session);
    ULONGLONG ullFirstSeen = 0;
    bool fPosted = false;
    bool fPostedWhileUnpacking = false;
    WatchFirstStart(
        L"LUMENIX_LARGE_PACK_EXE", session,
        [&](HWND hwnd) {
            if (!ullFirstSeen)
                ullFirstSeen = GetTickCount64();
            // Well into the unpacking, when the launcher has pumped already.
            if (fPosted || GetTickCount64() - ullFirstSeen < 1000)
                return;
            fPosted = PostThreadMessageW(GetWindowThreadProcessId(hwnd, nullptr), WM_QUIT, 7, 0) != FALSE;
            fPostedWhileUnpacking = fPosted && !session.WasCalled("CreateDomainSetup");
        },
        nullptr);
    EXPECT_TRUE(fPostedWhileUnpacking);
    const std::string quit = session.FirstCall("quit");
    EXPECT_NE(std::string::npos, quit.find("\"exitCode\":7")) << quit;
}

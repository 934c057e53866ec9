// Decoding the splash image and putting it on the window, watched through the executable's imports: the calls
// the render makes, what it does when one of them fails, and the GDI objects it gives back on every way out.
#include <gtest/gtest.h>

#include <wincodec.h>

#include <string>
#include <vector>

#include "launcher/report.h"
#include "splash/splash_render.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"
#include "unit/import_patch.h"

namespace
{
// images/splash_test.png
const int c_cxImage = 101;
const int c_cyImage = 61;

struct CCall
{
    std::string name;
    const void* h1 = nullptr;
    const void* h2 = nullptr;
    const void* hResult = nullptr; // SelectObject: what it gave back
};

// What the watched imports saw. One render per test process, so plain globals do.
struct CWatchState
{
    std::vector<CCall> calls;
    std::string failCall; // this import fails, leaving failError as the last error
    DWORD failError = 0;
    int cxScreen = 0; // non-zero: GetSystemMetrics reports this screen size instead
    int cyScreen = 0;

    BITMAPINFOHEADER dibHeader = {};
    UINT dibUsage = 0;
    HDC hdcDib = nullptr;
    HANDLE hDibSection = nullptr;
    DWORD dwDibOffset = 0;
    std::wstring dcDriver;
    bool fDcArgumentsNull = false;

    HWND hwndLayered = nullptr;
    HDC hdcLayeredDst = nullptr;
    HDC hdcLayeredSrc = nullptr;
    POINT ptLayeredDst = {-1, -1};
    SIZE sizeLayered = {-1, -1};
    POINT ptLayeredSrc = {-1, -1};
    COLORREF crLayeredKey = 0xFFFFFFFF;
    BLENDFUNCTION blend = {};
    DWORD dwLayeredFlags = 0;

    HWND hwndPos = nullptr;
    HWND hwndInsertAfter = reinterpret_cast<HWND>(-1);
    RECT rcPos = {};
    UINT uPosFlags = 0;

    CLSID clsid = {};
    IID iid = {};
    DWORD dwClsContext = 0;
    bool fOuterNull = false;
};
CWatchState g_state;

struct COriginals
{
    decltype(&::CreateDIBSection) pfnCreateDIBSection = nullptr;
    decltype(&::CreateDCW) pfnCreateDCW = nullptr;
    decltype(&::CreateCompatibleDC) pfnCreateCompatibleDC = nullptr;
    decltype(&::SelectObject) pfnSelectObject = nullptr;
    decltype(&::DeleteObject) pfnDeleteObject = nullptr;
    decltype(&::DeleteDC) pfnDeleteDC = nullptr;
    decltype(&::UpdateLayeredWindow) pfnUpdateLayeredWindow = nullptr;
    decltype(&::SetWindowPos) pfnSetWindowPos = nullptr;
    decltype(&::GetSystemMetrics) pfnGetSystemMetrics = nullptr;
    decltype(&::FindResourceW) pfnFindResourceW = nullptr;
    decltype(&::LoadResource) pfnLoadResource = nullptr;
    decltype(&::LockResource) pfnLockResource = nullptr;
    decltype(&::SizeofResource) pfnSizeofResource = nullptr;
    decltype(&::CoCreateInstance) pfnCoCreateInstance = nullptr;
};
COriginals g_orig;

// Notes the call; true when the test wants it to fail (the last error is then set).
bool Note(const char* pszName, const void* h1 = nullptr, const void* h2 = nullptr)
{
    CCall call;
    call.name = pszName;
    call.h1 = h1;
    call.h2 = h2;
    g_state.calls.push_back(call);
    if (g_state.failCall != pszName)
        return false;
    g_state.calls.back().name += " failed";
    SetLastError(g_state.failError);
    return true;
}

HBITMAP WINAPI WatchCreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, void** ppvBits, HANDLE hSection,
                                     DWORD dwOffset)
{
    g_state.hdcDib = hdc;
    g_state.dibHeader = pbmi->bmiHeader;
    g_state.dibUsage = usage;
    g_state.hDibSection = hSection;
    g_state.dwDibOffset = dwOffset;
    if (Note("CreateDIBSection"))
        return nullptr;
    const HBITMAP hbm = g_orig.pfnCreateDIBSection(hdc, pbmi, usage, ppvBits, hSection, dwOffset);
    g_state.calls.back().h1 = hbm;
    return hbm;
}

HDC WINAPI WatchCreateDCW(LPCWSTR pszDriver, LPCWSTR pszDevice, LPCWSTR pszPort, const DEVMODEW* pdm)
{
    g_state.dcDriver = pszDriver ? pszDriver : L"(null)";
    g_state.fDcArgumentsNull = !pszDevice && !pszPort && !pdm;
    if (Note("CreateDCW"))
        return nullptr;
    const HDC hdc = g_orig.pfnCreateDCW(pszDriver, pszDevice, pszPort, pdm);
    g_state.calls.back().h1 = hdc;
    return hdc;
}

HDC WINAPI WatchCreateCompatibleDC(HDC hdc)
{
    if (Note("CreateCompatibleDC", nullptr, hdc))
        return nullptr;
    const HDC hdcNew = g_orig.pfnCreateCompatibleDC(hdc);
    g_state.calls.back().h1 = hdcNew;
    return hdcNew;
}

HGDIOBJ WINAPI WatchSelectObject(HDC hdc, HGDIOBJ h)
{
    if (Note("SelectObject", hdc, h))
        return nullptr;
    const HGDIOBJ hPrevious = g_orig.pfnSelectObject(hdc, h);
    g_state.calls.back().hResult = hPrevious;
    return hPrevious;
}

BOOL WINAPI WatchDeleteObject(HGDIOBJ h)
{
    Note("DeleteObject", h);
    return g_orig.pfnDeleteObject(h);
}

BOOL WINAPI WatchDeleteDC(HDC hdc)
{
    Note("DeleteDC", hdc);
    return g_orig.pfnDeleteDC(hdc);
}

BOOL WINAPI WatchUpdateLayeredWindow(HWND hwnd, HDC hdcDst, POINT* pptDst, SIZE* psize, HDC hdcSrc, POINT* pptSrc,
                                     COLORREF crKey, BLENDFUNCTION* pblend, DWORD dwFlags)
{
    g_state.hwndLayered = hwnd;
    g_state.hdcLayeredDst = hdcDst;
    g_state.hdcLayeredSrc = hdcSrc;
    if (pptDst)
        g_state.ptLayeredDst = *pptDst;
    if (psize)
        g_state.sizeLayered = *psize;
    if (pptSrc)
        g_state.ptLayeredSrc = *pptSrc;
    g_state.crLayeredKey = crKey;
    if (pblend)
        g_state.blend = *pblend;
    g_state.dwLayeredFlags = dwFlags;
    if (Note("UpdateLayeredWindow", hwnd))
        return FALSE;
    return g_orig.pfnUpdateLayeredWindow(hwnd, hdcDst, pptDst, psize, hdcSrc, pptSrc, crKey, pblend, dwFlags);
}

BOOL WINAPI WatchSetWindowPos(HWND hwnd, HWND hwndInsertAfter, int x, int y, int cx, int cy, UINT uFlags)
{
    g_state.hwndPos = hwnd;
    g_state.hwndInsertAfter = hwndInsertAfter;
    g_state.rcPos = {x, y, x + cx, y + cy};
    g_state.uPosFlags = uFlags;
    if (Note("SetWindowPos", hwnd))
        return FALSE;
    return g_orig.pfnSetWindowPos(hwnd, hwndInsertAfter, x, y, cx, cy, uFlags);
}

int WINAPI WatchGetSystemMetrics(int nIndex)
{
    if (nIndex == SM_CXSCREEN && g_state.cxScreen)
        return g_state.cxScreen;
    if (nIndex == SM_CYSCREEN && g_state.cyScreen)
        return g_state.cyScreen;
    return g_orig.pfnGetSystemMetrics(nIndex);
}

HRSRC WINAPI WatchFindResourceW(HMODULE hmod, LPCWSTR pszName, LPCWSTR pszType)
{
    if (Note("FindResourceW", hmod, pszName))
        return nullptr;
    return g_orig.pfnFindResourceW(hmod, pszName, pszType);
}

HGLOBAL WINAPI WatchLoadResource(HMODULE hmod, HRSRC hResInfo)
{
    if (Note("LoadResource", hmod, hResInfo))
        return nullptr;
    return g_orig.pfnLoadResource(hmod, hResInfo);
}

LPVOID WINAPI WatchLockResource(HGLOBAL hResData)
{
    if (Note("LockResource", hResData))
        return nullptr;
    return g_orig.pfnLockResource(hResData);
}

DWORD WINAPI WatchSizeofResource(HMODULE hmod, HRSRC hResInfo)
{
    if (Note("SizeofResource", hmod, hResInfo))
        return 0;
    return g_orig.pfnSizeofResource(hmod, hResInfo);
}

HRESULT WINAPI WatchCoCreateInstance(REFCLSID clsid, LPUNKNOWN punkOuter, DWORD dwClsContext, REFIID iid, LPVOID* ppv)
{
    g_state.clsid = clsid;
    g_state.iid = iid;
    g_state.dwClsContext = dwClsContext;
    g_state.fOuterNull = punkOuter == nullptr;
    Note("CoCreateInstance");
    return g_orig.pfnCoCreateInstance(clsid, punkOuter, dwClsContext, iid, ppv);
}

template <class T>
T Original(const CImportPatch& patch)
{
    return reinterpret_cast<T>(patch.Original());
}

// The imports of the render, watched for the scope of a test.
class CRenderWatch
{
public:
    CRenderWatch()
        : m_dib("gdi32.dll", "CreateDIBSection", reinterpret_cast<void*>(&WatchCreateDIBSection)),
          m_dc("gdi32.dll", "CreateDCW", reinterpret_cast<void*>(&WatchCreateDCW)),
          m_compatibleDc("gdi32.dll", "CreateCompatibleDC", reinterpret_cast<void*>(&WatchCreateCompatibleDC)),
          m_select("gdi32.dll", "SelectObject", reinterpret_cast<void*>(&WatchSelectObject)),
          m_deleteObject("gdi32.dll", "DeleteObject", reinterpret_cast<void*>(&WatchDeleteObject)),
          m_deleteDc("gdi32.dll", "DeleteDC", reinterpret_cast<void*>(&WatchDeleteDC)),
          m_layered("user32.dll", "UpdateLayeredWindow", reinterpret_cast<void*>(&WatchUpdateLayeredWindow)),
          m_pos("user32.dll", "SetWindowPos", reinterpret_cast<void*>(&WatchSetWindowPos)),
          m_metrics("user32.dll", "GetSystemMetrics", reinterpret_cast<void*>(&WatchGetSystemMetrics)),
          m_find("kernel32.dll", "FindResourceW", reinterpret_cast<void*>(&WatchFindResourceW)),
          m_load("kernel32.dll", "LoadResource", reinterpret_cast<void*>(&WatchLoadResource)),
          m_lock("kernel32.dll", "LockResource", reinterpret_cast<void*>(&WatchLockResource)),
          m_size("kernel32.dll", "SizeofResource", reinterpret_cast<void*>(&WatchSizeofResource)),
          m_coCreate("ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&WatchCoCreateInstance))
    {
        g_orig.pfnCreateDIBSection = Original<decltype(g_orig.pfnCreateDIBSection)>(m_dib);
        g_orig.pfnCreateDCW = Original<decltype(g_orig.pfnCreateDCW)>(m_dc);
        g_orig.pfnCreateCompatibleDC = Original<decltype(g_orig.pfnCreateCompatibleDC)>(m_compatibleDc);
        g_orig.pfnSelectObject = Original<decltype(g_orig.pfnSelectObject)>(m_select);
        g_orig.pfnDeleteObject = Original<decltype(g_orig.pfnDeleteObject)>(m_deleteObject);
        g_orig.pfnDeleteDC = Original<decltype(g_orig.pfnDeleteDC)>(m_deleteDc);
        g_orig.pfnUpdateLayeredWindow = Original<decltype(g_orig.pfnUpdateLayeredWindow)>(m_layered);
        g_orig.pfnSetWindowPos = Original<decltype(g_orig.pfnSetWindowPos)>(m_pos);
        g_orig.pfnGetSystemMetrics = Original<decltype(g_orig.pfnGetSystemMetrics)>(m_metrics);
        g_orig.pfnFindResourceW = Original<decltype(g_orig.pfnFindResourceW)>(m_find);
        g_orig.pfnLoadResource = Original<decltype(g_orig.pfnLoadResource)>(m_load);
        g_orig.pfnLockResource = Original<decltype(g_orig.pfnLockResource)>(m_lock);
        g_orig.pfnSizeofResource = Original<decltype(g_orig.pfnSizeofResource)>(m_size);
        g_orig.pfnCoCreateInstance = Original<decltype(g_orig.pfnCoCreateInstance)>(m_coCreate);
    }

    bool AllPatched() const
    {
        for (const CImportPatch* p : {&m_dib, &m_dc, &m_compatibleDc, &m_select, &m_deleteObject, &m_deleteDc, &m_layered,
                                      &m_pos, &m_metrics, &m_find, &m_load, &m_lock, &m_size, &m_coCreate})
        {
            if (!p->IsPatched())
                return false;
        }
        return true;
    }

private:
    CImportPatch m_dib, m_dc, m_compatibleDc, m_select, m_deleteObject, m_deleteDc, m_layered, m_pos, m_metrics,
        m_find, m_load, m_lock, m_size, m_coCreate;
};

// The calls of one name, in order.
std::vector<CCall> CallsOf(const std::string& name)
{
    std::vector<CCall> found;
    for (const CCall& call : g_state.calls)
    {
        if (call.name == name)
            found.push_back(call);
    }
    return found;
}

const void* Created(const char* pszName)
{
    const std::vector<CCall> calls = CallsOf(pszName);
    return calls.empty() ? nullptr : calls[0].h1;
}

// The release calls (SelectObject back, DeleteObject, DeleteDC) after the first call of the given name,
// written as "name:what".
std::vector<std::string> ReleasesAfter(const std::string& after)
{
    const void* hbm = Created("CreateDIBSection");
    const void* hdcScreen = Created("CreateDCW");
    const void* hdcMem = Created("CreateCompatibleDC");
    auto what = [&](const void* h) -> std::string {
        if (!h)
            return "null";
        if (h == hbm)
            return "bitmap";
        if (h == hdcScreen)
            return "screen";
        if (h == hdcMem)
            return "memory";
        return "other";
    };
    std::vector<std::string> releases;
    bool fAfter = false;
    for (const CCall& call : g_state.calls)
    {
        if (!fAfter)
        {
            fAfter = call.name == after || call.name == after + " failed";
            continue;
        }
        if (call.name == "SelectObject")
            releases.push_back("SelectObject:" + what(call.h1) + "<-" + what(call.h2));
        else if (call.name == "DeleteObject" || call.name == "DeleteDC")
            releases.push_back(call.name + ":" + what(call.h1));
    }
    return releases;
}

class SplashRender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_state = CWatchState();
        ASSERT_EQ(S_OK, m_apartment.Result());
        ASSERT_TRUE(m_watch.AllPatched());
        g_hinstModule = GetModuleHandleW(nullptr);
        ASSERT_EQ(S_OK, RegisterSplashClass());
        ASSERT_EQ(S_OK, CreateSplashWindow());
        m_hwnd = g_hwndSplash;
        g_state.calls.clear();
    }

    void Fail(const char* pszCall, DWORD dwError)
    {
        g_state.failCall = pszCall;
        g_state.failError = dwError;
    }

    CTestApartment m_apartment;
    CRenderWatch m_watch;
    HWND m_hwnd = nullptr;
};

const std::vector<std::string> c_allReleases = {"SelectObject:memory<-other", "DeleteObject:bitmap",
                                                "DeleteDC:screen", "DeleteDC:memory"};
} // namespace

TEST_F(SplashRender, DrawsTheImageThroughTheLayeredWindowAndShowsIt)
{
    // Centred on the primary screen: (909, 509) on a 1920 x 1080 screen.
    const POINT ptCentred = SplashOriginFor(c_cxImage, c_cyImage);
    ASSERT_EQ(S_OK, RenderSplashImage());

    // The bitmap: bottom-up 32 bits a pixel, the image's size, no padding.
    EXPECT_EQ(nullptr, g_state.hdcDib);
    EXPECT_EQ(static_cast<DWORD>(sizeof(BITMAPINFOHEADER)), g_state.dibHeader.biSize);
    EXPECT_EQ(c_cxImage, g_state.dibHeader.biWidth);
    EXPECT_EQ(c_cyImage, g_state.dibHeader.biHeight);
    EXPECT_EQ(1, g_state.dibHeader.biPlanes);
    EXPECT_EQ(32, g_state.dibHeader.biBitCount);
    EXPECT_EQ(static_cast<DWORD>(BI_RGB), g_state.dibHeader.biCompression);
    EXPECT_EQ(static_cast<DWORD>(c_cxImage * 4 * c_cyImage), g_state.dibHeader.biSizeImage);
    EXPECT_EQ(0, g_state.dibHeader.biXPelsPerMeter);
    EXPECT_EQ(0u, g_state.dibHeader.biClrUsed);
    EXPECT_EQ(static_cast<UINT>(DIB_RGB_COLORS), g_state.dibUsage);
    EXPECT_EQ(nullptr, g_state.hDibSection);
    EXPECT_EQ(0u, g_state.dwDibOffset);

    EXPECT_EQ(L"DISPLAY", g_state.dcDriver);
    EXPECT_TRUE(g_state.fDcArgumentsNull);
    ASSERT_EQ(1u, CallsOf("CreateCompatibleDC").size());
    EXPECT_EQ(Created("CreateDCW"), CallsOf("CreateCompatibleDC")[0].h2);

    EXPECT_EQ(m_hwnd, g_state.hwndLayered);
    EXPECT_EQ(Created("CreateDCW"), g_state.hdcLayeredDst);
    EXPECT_EQ(Created("CreateCompatibleDC"), g_state.hdcLayeredSrc);
    EXPECT_EQ(ptCentred.x, g_state.ptLayeredDst.x);
    EXPECT_EQ(ptCentred.y, g_state.ptLayeredDst.y);
    EXPECT_EQ(c_cxImage, g_state.sizeLayered.cx);
    EXPECT_EQ(c_cyImage, g_state.sizeLayered.cy);
    EXPECT_EQ(0, g_state.ptLayeredSrc.x);
    EXPECT_EQ(0, g_state.ptLayeredSrc.y);
    EXPECT_EQ(0u, g_state.crLayeredKey);
    EXPECT_EQ(AC_SRC_OVER, g_state.blend.BlendOp);
    EXPECT_EQ(0, g_state.blend.BlendFlags);
    EXPECT_EQ(229, g_state.blend.SourceConstantAlpha);
    EXPECT_EQ(AC_SRC_ALPHA, g_state.blend.AlphaFormat);
    EXPECT_EQ(static_cast<DWORD>(ULW_ALPHA), g_state.dwLayeredFlags);

    EXPECT_EQ(m_hwnd, g_state.hwndPos);
    EXPECT_EQ(HWND_TOP, g_state.hwndInsertAfter);
    EXPECT_EQ(ptCentred.x, g_state.rcPos.left);
    EXPECT_EQ(ptCentred.y, g_state.rcPos.top);
    EXPECT_EQ(ptCentred.x + c_cxImage, g_state.rcPos.right);
    EXPECT_EQ(ptCentred.y + c_cyImage, g_state.rcPos.bottom);
    EXPECT_EQ(static_cast<UINT>(SWP_FRAMECHANGED | SWP_SHOWWINDOW), g_state.uPosFlags);
    EXPECT_TRUE(IsWindowVisible(m_hwnd));

    // WIC's factory, in process.
    EXPECT_TRUE(IsEqualCLSID(CLSID_WICImagingFactory, g_state.clsid));
    EXPECT_TRUE(IsEqualIID(IID_IWICImagingFactory, g_state.iid));
    EXPECT_EQ(static_cast<DWORD>(CLSCTX_INPROC_SERVER), g_state.dwClsContext);
    EXPECT_TRUE(g_state.fOuterNull);
}

TEST_F(SplashRender, StepsInOrder)
{
    ASSERT_EQ(S_OK, RenderSplashImage());
    std::vector<std::string> names;
    for (const CCall& call : g_state.calls)
        names.push_back(call.name);
    EXPECT_EQ((std::vector<std::string>{"FindResourceW", "LoadResource", "LockResource", "SizeofResource",
                                        "CoCreateInstance", "CreateDIBSection", "CreateDCW", "CreateCompatibleDC",
                                        "SelectObject", "UpdateLayeredWindow", "SetWindowPos", "SelectObject",
                                        "DeleteObject", "DeleteDC", "DeleteDC"}),
              names);
}

TEST_F(SplashRender, GivesBackTheGdiObjectsAfterSuccess)
{
    ASSERT_EQ(S_OK, RenderSplashImage());
    EXPECT_EQ(c_allReleases, ReleasesAfter("SetWindowPos"));
    // The bitmap went back out of the memory DC before it was deleted: what the DC held first is back.
    const std::vector<CCall> selects = CallsOf("SelectObject");
    ASSERT_EQ(2u, selects.size());
    EXPECT_EQ(Created("CreateDIBSection"), selects[0].h2);
    EXPECT_NE(nullptr, selects[0].hResult);
    EXPECT_EQ(selects[0].hResult, selects[1].h2);
    EXPECT_EQ(Created("CreateDIBSection"), selects[1].hResult);
}

TEST_F(SplashRender, LayeredUpdateFailingWithoutAnErrorIsStillAFailure)
{
    Fail("UpdateLayeredWindow", ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RenderSplashImage());
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
    EXPECT_TRUE(CallsOf("SetWindowPos").empty());
    EXPECT_EQ(c_allReleases, ReleasesAfter("UpdateLayeredWindow"));
}

TEST_F(SplashRender, LayeredUpdateFailureCarriesTheSystemError)
{
    Fail("UpdateLayeredWindow", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(static_cast<HRESULT>(0x80070008), RenderSplashImage());
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
    EXPECT_EQ(c_allReleases, ReleasesAfter("UpdateLayeredWindow"));
}

TEST_F(SplashRender, RealLayeredUpdateFailureOnAWindowThatIsNotLayered)
{
    // The system's own refusal, not a made-up one: a window without WS_EX_LAYERED.
    const HWND hwndPlain = CreateWindowExW(0, L"CorvaneLauncherSplash", L"plain", WS_POPUP, 0, 0, 10, 10, nullptr,
                                           nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, hwndPlain);
    g_hwndSplash = hwndPlain;
    const HRESULT hr = RenderSplashImage();
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(static_cast<HRESULT>(0x80070057), hr) << std::hex << hr; // ERROR_INVALID_PARAMETER
    EXPECT_FALSE(IsWindowVisible(hwndPlain));
    EXPECT_EQ(c_allReleases, ReleasesAfter("UpdateLayeredWindow"));
}

TEST_F(SplashRender, NoWindowAtAllCarriesTheSystemsRefusal)
{
    g_hwndSplash = nullptr;
    const HRESULT hr = RenderSplashImage();
    // Which code the system picks for a null window differs between systems (Wine: ERROR_INVALID_PARAMETER);
    // it arrives as a Win32 HRESULT either way, never as S_OK or a bare E_FAIL.
    EXPECT_EQ(FACILITY_WIN32, HRESULT_FACILITY(hr)) << std::hex << hr;
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(c_allReleases, ReleasesAfter("UpdateLayeredWindow"));
}

TEST_F(SplashRender, PositioningFailureLeavesTheWindowHidden)
{
    Fail("SetWindowPos", ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RenderSplashImage());
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
    EXPECT_EQ(c_allReleases, ReleasesAfter("SetWindowPos"));

    g_state = CWatchState();
    Fail("SetWindowPos", ERROR_ACCESS_DENIED);
    EXPECT_EQ(static_cast<HRESULT>(0x80070005), RenderSplashImage());
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
}

TEST_F(SplashRender, BitmapFailureEndsBeforeAnyDc)
{
    Fail("CreateDIBSection", ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RenderSplashImage());
    EXPECT_TRUE(CallsOf("CreateDCW").empty());
    EXPECT_TRUE(CallsOf("UpdateLayeredWindow").empty());
    EXPECT_TRUE(ReleasesAfter("CreateDIBSection").empty());
    EXPECT_FALSE(IsWindowVisible(m_hwnd));

    g_state = CWatchState();
    Fail("CreateDIBSection", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(static_cast<HRESULT>(0x80070008), RenderSplashImage());
}

TEST_F(SplashRender, ScreenDcFailureDeletesTheBitmapOnly)
{
    Fail("CreateDCW", ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RenderSplashImage());
    EXPECT_EQ((std::vector<std::string>{"DeleteObject:bitmap"}), ReleasesAfter("CreateDCW"));

    g_state = CWatchState();
    Fail("CreateDCW", ERROR_INVALID_PARAMETER);
    EXPECT_EQ(static_cast<HRESULT>(0x80070057), RenderSplashImage());
}

TEST_F(SplashRender, MemoryDcFailureDeletesTheBitmapAndTheScreenDc)
{
    Fail("CreateCompatibleDC", ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RenderSplashImage());
    EXPECT_EQ((std::vector<std::string>{"DeleteObject:bitmap", "DeleteDC:screen"}), ReleasesAfter("CreateCompatibleDC"));

    g_state = CWatchState();
    Fail("CreateCompatibleDC", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(static_cast<HRESULT>(0x80070008), RenderSplashImage());
}

TEST_F(SplashRender, SelectionFailureSelectsNothingBack)
{
    Fail("SelectObject", ERROR_SUCCESS);
    EXPECT_EQ(E_FAIL, RenderSplashImage());
    EXPECT_TRUE(CallsOf("UpdateLayeredWindow").empty());
    EXPECT_EQ((std::vector<std::string>{"DeleteObject:bitmap", "DeleteDC:screen", "DeleteDC:memory"}),
              ReleasesAfter("SelectObject"));
}

TEST_F(SplashRender, CentresInSignedArithmetic)
{
    // A screen smaller than the image: the window hangs over the left and top edges by half the difference,
    // halves cut towards zero: (50 - 101) / 2 = -25, (40 - 61) / 2 = -10.
    g_state.cxScreen = 50;
    g_state.cyScreen = 40;
    ASSERT_EQ(S_OK, RenderSplashImage());
    EXPECT_EQ(-25, g_state.ptLayeredDst.x);
    EXPECT_EQ(-10, g_state.ptLayeredDst.y);
    EXPECT_EQ(-25, g_state.rcPos.left);
    EXPECT_EQ(-10, g_state.rcPos.top);
    RECT rc = {};
    ASSERT_TRUE(GetWindowRect(m_hwnd, &rc));
    EXPECT_EQ(-25, rc.left);
    EXPECT_EQ(-10, rc.top);
    EXPECT_EQ(-25 + c_cxImage, rc.right);
    EXPECT_EQ(-10 + c_cyImage, rc.bottom);
}

TEST_F(SplashRender, CentresWithOddRemainders)
{
    g_state.cxScreen = 1000; // (1000 - 101) / 2 = 449
    g_state.cyScreen = 700;  // (700 - 61) / 2 = 319
    ASSERT_EQ(S_OK, RenderSplashImage());
    EXPECT_EQ(449, g_state.rcPos.left);
    EXPECT_EQ(319, g_state.rcPos.top);
    EXPECT_EQ(449, g_state.ptLayeredDst.x);
    EXPECT_EQ(319, g_state.ptLayeredDst.y);
}

TEST_F(SplashRender, WithoutComTheFactoryCannotBeMade)
{
    // A thread that never entered an apartment: the render ends at the factory, before any GDI object.
    HRESULT hr = S_OK;
    std::vector<CCall> calls;
    HANDLE hThread = CreateThread(
        nullptr, 0,
        [](void* pv) -> DWORD {
            *static_cast<HRESULT*>(pv) = RenderSplashImage();
            return 0;
        },
        &hr, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
    EXPECT_EQ(CO_E_NOTINITIALIZED, hr);
    EXPECT_TRUE(CallsOf("CreateDIBSection").empty());
    EXPECT_FALSE(IsWindowVisible(m_hwnd));
}

TEST_F(SplashRender, ShowReturnsTheRenderFailure)
{
    // Through ShowSplashScreen this time: a fresh process, so the class is gone first.
    DestroyWindow(m_hwnd);
    ASSERT_TRUE(UnregisterClassW(L"CorvaneLauncherSplash", GetModuleHandleW(nullptr)));
    Fail("UpdateLayeredWindow", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(static_cast<HRESULT>(0x80070008), ShowSplashScreen(GetModuleHandleW(nullptr)));
    ASSERT_NE(nullptr, GetSplashWindow());
    EXPECT_FALSE(IsWindowVisible(GetSplashWindow()));
}

TEST_F(SplashRender, ResourceIsReadInPlace)
{
    const BYTE* pResBytes = nullptr;
    DWORD dwSize = 0;
    ASSERT_EQ(S_OK, LoadSplashResource(pResBytes, dwSize));
    ASSERT_NE(nullptr, pResBytes);
    EXPECT_EQ(227u, dwSize); // images/splash_test.png
    EXPECT_EQ(0, memcmp(pResBytes, "\x89PNG\r\n\x1a\n", 8));
    // Inside the mapped executable, not a copy.
    const BYTE* pbBase = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        pbBase + reinterpret_cast<const IMAGE_DOS_HEADER*>(pbBase)->e_lfanew);
    EXPECT_GE(pResBytes, pbBase);
    EXPECT_LE(pResBytes + dwSize, pbBase + pNt->OptionalHeader.SizeOfImage);
    // The executable's own resources: the module argument is null every time.
    for (const char* pszName : {"FindResourceW", "LoadResource", "SizeofResource"})
    {
        const std::vector<CCall> calls = CallsOf(pszName);
        ASSERT_EQ(1u, calls.size()) << pszName;
        EXPECT_EQ(nullptr, calls[0].h1) << pszName;
    }
    EXPECT_EQ(MAKEINTRESOURCEW(129), CallsOf("FindResourceW")[0].h2);
}

TEST_F(SplashRender, ResourceStepsFailingWithoutAnErrorAreStillFailures)
{
    for (const char* pszStep : {"FindResourceW", "LoadResource", "LockResource", "SizeofResource"})
    {
        g_state = CWatchState();
        Fail(pszStep, ERROR_SUCCESS);
        const BYTE* pResBytes = nullptr;
        DWORD dwSize = 0;
        EXPECT_EQ(E_FAIL, LoadSplashResource(pResBytes, dwSize)) << pszStep;
        EXPECT_EQ(E_FAIL, RenderSplashImage()) << pszStep;
        EXPECT_TRUE(CallsOf("CoCreateInstance").empty()) << pszStep;
    }
}

TEST_F(SplashRender, ResourceStepsCarryTheSystemError)
{
    for (const char* pszStep : {"FindResourceW", "LoadResource", "LockResource", "SizeofResource"})
    {
        g_state = CWatchState();
        Fail(pszStep, ERROR_RESOURCE_DATA_NOT_FOUND);
        const BYTE* pResBytes = nullptr;
        DWORD dwSize = 0;
        EXPECT_EQ(static_cast<HRESULT>(0x80070714), LoadSplashResource(pResBytes, dwSize)) << pszStep;
    }
}

#include "splash_test_support.h"

#include "screen_pixels.h"

#include <cstdio>
#include <cstdlib>

bool IsNear(const CRgb& actual, const CRgb& expected, int tolerance)
{
    return abs(actual.r - expected.r) <= tolerance && abs(actual.g - expected.g) <= tolerance &&
           abs(actual.b - expected.b) <= tolerance;
}

std::string Describe(const CRgb& rgb)
{
    char sz[64];
    snprintf(sz, sizeof(sz), "(%d, %d, %d)", rgb.r, rgb.g, rgb.b);
    return sz;
}

CRgb OverBlack(const CRgb& rgb, int a, int bOpacity)
{
    // Straight colour to premultiplied (rounded), then the constant opacity on top of it.
    auto channel = [a, bOpacity](int c) {
        const int premultiplied = (c * a + 127) / 255;
        return (premultiplied * bOpacity + 127) / 255;
    };
    CRgb result;
    result.r = channel(rgb.r);
    result.g = channel(rgb.g);
    result.b = channel(rgb.b);
    return result;
}

POINT SplashOriginFor(int cxImage, int cyImage)
{
    // The launcher's own rule (splash/splash_render.cpp), from the metrics it reads itself.
    POINT pt;
    pt.x = (GetSystemMetrics(SM_CXSCREEN) - cxImage) / 2;
    pt.y = (GetSystemMetrics(SM_CYSCREEN) - cyImage) / 2;
    return pt;
}

RECT PrimaryScreenRect()
{
    const RECT rc = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return rc;
}

CScreenCapture::CScreenCapture(const RECT& rc) : m_rc(rc)
{
    m_fOk = CaptureScreenPixels(rc, m_pixels);
}

CRgb CScreenCapture::At(int x, int y) const
{
    CRgb rgb;
    const int cx = m_rc.right - m_rc.left;
    if (!m_fOk || x < m_rc.left || y < m_rc.top || x >= m_rc.right || y >= m_rc.bottom)
    {
        rgb.r = rgb.g = rgb.b = -1;
        return rgb;
    }
    const DWORD dw = m_pixels[static_cast<size_t>(y - m_rc.top) * cx + (x - m_rc.left)];
    rgb.r = (dw >> 16) & 0xFF;
    rgb.g = (dw >> 8) & 0xFF;
    rgb.b = dw & 0xFF;
    return rgb;
}

CRgb WaitForScreenPixel(int x, int y, const CRgb& expected, int tolerance, DWORD msTimeout)
{
    const ULONGLONG start = GetTickCount64();
    const RECT rc = {x, y, x + 1, y + 1};
    for (;;)
    {
        const CRgb rgb = CScreenCapture(rc).At(x, y);
        if (IsNear(rgb, expected, tolerance) || GetTickCount64() - start >= msTimeout)
            return rgb;
        // Under Wine the display gets a shown layered window's pixels when the owning thread handles the
        // window's exposure, which needs the thread to look at its queue, as any message loop does.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

namespace
{
const wchar_t c_szBackdropClass[] = L"LumenixTestBlackBackdrop";
} // namespace

CBlackBackdrop::CBlackBackdrop()
{
    const HINSTANCE hinst = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = hinst;
    // The default erase paints the class brush; nothing else is ever drawn.
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = c_szBackdropClass;
    // A second backdrop in the same process finds the class there already.
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return;

    // Every monitor, not only the primary one: the splash is centred there, but nothing of the desktop shall
    // show through wherever a test looks.
    m_hwnd = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, c_szBackdropClass, L"", WS_POPUP,
                             GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                             GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN), nullptr,
                             nullptr, hinst, nullptr);
    if (!m_hwnd)
        return;
    // Not activated: the splash is the window that takes the activation, as it does in the launcher.
    ShowWindow(m_hwnd, SW_SHOWNOACTIVATE);
    UpdateWindow(m_hwnd);
    GdiFlush();

    // Shown and painted is not yet on screen: a composited desktop may fade the window in, and under Wine the
    // X window gets its pixels once this thread handles its exposure, which the wait's message pass does.
    const RECT rcScreen = PrimaryScreenRect();
    const CRgb rgbBlack = {0, 0, 0};
    m_rgbSeen = WaitForScreenPixel(rcScreen.right / 2, rcScreen.bottom / 2, rgbBlack, 0, 3000);
    m_fBlack = IsNear(m_rgbSeen, rgbBlack, 0);
}

CBlackBackdrop::~CBlackBackdrop()
{
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

std::wstring ClassNameOf(HWND hwnd)
{
    wchar_t szClass[256] = {};
    if (!GetClassNameW(hwnd, szClass, ARRAYSIZE(szClass)))
        return L"";
    return szClass;
}

namespace
{
struct CWindowSearch
{
    const wchar_t* pszClass;
    DWORD dwPid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam)
{
    CWindowSearch& search = *reinterpret_cast<CWindowSearch*>(lParam);
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hwnd, &dwPid);
    if (dwPid == search.dwPid && ClassNameOf(hwnd) == search.pszClass)
        search.found.push_back(hwnd);
    return TRUE;
}
} // namespace

std::vector<HWND> FindTopLevelWindows(const wchar_t* pszClass, DWORD dwPid)
{
    CWindowSearch search = {pszClass, dwPid, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

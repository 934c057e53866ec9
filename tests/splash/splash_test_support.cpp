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

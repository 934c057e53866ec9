// Helpers shared by the splash tests: a COM apartment like the launcher's, and reading the screen.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The apartment the launch sequence enters before it shows the splash, for the scope of a test.
class CTestApartment
{
public:
    CTestApartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CTestApartment()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CTestApartment(const CTestApartment&) = delete;
    CTestApartment& operator=(const CTestApartment&) = delete;

    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

struct CRgb
{
    int r = 0;
    int g = 0;
    int b = 0;
};

// Whether every channel of actual is within tolerance of expected.
bool IsNear(const CRgb& actual, const CRgb& expected, int tolerance);
std::string Describe(const CRgb& rgb);

// What a pixel of straight (not premultiplied) colour rgb at alpha a looks like on screen when a layered
// window shows it with constant opacity bOpacity over black: the premultiplied colour scaled by the opacity.
CRgb OverBlack(const CRgb& rgb, int a, int bOpacity);

// A copy of part of the screen as the system's screen DC shows it.
class CScreenCapture
{
public:
    // Copies the rectangle from the screen DC (GetDC(nullptr)).
    explicit CScreenCapture(const RECT& rc);

    bool Ok() const { return m_fOk; }
    // Pixel at screen coordinates inside the captured rectangle.
    CRgb At(int x, int y) const;

private:
    RECT m_rc;
    bool m_fOk = false;
    std::vector<DWORD> m_pixels; // 0x00RRGGBB, top-down
};

// Polls the screen until the pixel at (x, y) is near expected or msTimeout passes; returns the last value.
// Dispatches the thread's messages between polls (see the README on Wine's exposure of layered windows).
CRgb WaitForScreenPixel(int x, int y, const CRgb& expected, int tolerance, DWORD msTimeout);

// Class name of a window ("" when it has none or is gone).
std::wstring ClassNameOf(HWND hwnd);

// The top-level windows of the given class that belong to process dwPid, in z-order.
std::vector<HWND> FindTopLevelWindows(const wchar_t* pszClass, DWORD dwPid);

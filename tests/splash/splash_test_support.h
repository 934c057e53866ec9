// Helpers shared by the splash tests: a COM apartment like the launcher's, where the launcher puts its splash,
// a black backdrop to show it over, and reading the screen.
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
// window shows it with constant opacity bOpacity over black (a CBlackBackdrop): the premultiplied colour scaled
// by the opacity.
CRgb OverBlack(const CRgb& rgb, int a, int bOpacity);

// Where the launcher puts the top left corner of a splash image of cxImage x cyImage: centred on the primary
// screen (SM_CXSCREEN x SM_CYSCREEN), each half of the difference cut towards zero, so negative on both sides
// alike when the image is the larger.
POINT SplashOriginFor(int cxImage, int cyImage);

// The primary screen, from (0, 0) to SM_CXSCREEN x SM_CYSCREEN.
RECT PrimaryScreenRect();

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

// A black window over the whole virtual screen for the scope of a test, so that the splash shows over black on
// any desktop, whatever its wallpaper and windows. Shown before the splash and never activated (a borderless
// tool window, without a taskbar button), it lies above the desktop's other windows and below the splash, which
// is made and shown later with HWND_TOP. Topmost windows, such as a taskbar, stay above both: a topmost backdrop
// would cover the splash as well, which is not topmost.
class CBlackBackdrop
{
public:
    // Shows the window, paints it and waits (up to 3 s) until the screen shows black at the primary screen's
    // centre, where the splash will be.
    CBlackBackdrop();
    ~CBlackBackdrop();
    CBlackBackdrop(const CBlackBackdrop&) = delete;
    CBlackBackdrop& operator=(const CBlackBackdrop&) = delete;

    // Whether the window is up and the screen showed it black.
    bool Ok() const { return m_fBlack; }
    // What the screen showed at the primary screen's centre when the wait ended.
    const CRgb& Seen() const { return m_rgbSeen; }

private:
    HWND m_hwnd = nullptr;
    bool m_fBlack = false;
    CRgb m_rgbSeen = {-1, -1, -1};
};

// Class name of a window ("" when it has none or is gone).
std::wstring ClassNameOf(HWND hwnd);

// The top-level windows of the given class that belong to process dwPid, in z-order.
std::vector<HWND> FindTopLevelWindows(const wchar_t* pszClass, DWORD dwPid);

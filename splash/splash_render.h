// The splash image: the PNG in the executable's resources, decoded and put on the layered splash window.
#pragma once

#include <windows.h>

// How opaque the whole splash is drawn, on top of the image's own alpha.
inline constexpr BYTE c_bSplashOpacity = 229;

// GDI objects of one render, released on every way out: the bitmap is selected back out of the memory DC,
// then the bitmap and both DCs are deleted.
struct SplashGdiHandles
{
    HBITMAP hBmpSplash = nullptr;
    HDC hdcScreen = nullptr;
    HDC hdcMem = nullptr;
    HGDIOBJ hPrevObject = nullptr; // what hdcMem held before hBmpSplash

    SplashGdiHandles() = default;
    ~SplashGdiHandles();
    SplashGdiHandles(const SplashGdiHandles&) = delete;
    SplashGdiHandles& operator=(const SplashGdiHandles&) = delete;
};

// Creates handles.hBmpSplash: a 32bpp DIB section of dwWidth x dwHeight, bottom-up rows without padding, whose
// pixels *ppvBits points to. A failure is the HRESULT of the system's last error.
HRESULT CreateSplashBitmap(SplashGdiHandles& handles, UINT dwWidth, UINT dwHeight, void** ppvBits);

// Selects handles.hBmpSplash (a 32bpp premultiplied DIB of dwWidth x dwHeight) into a memory DC of the screen's,
// both kept in handles (made on the first call, reused by the next), and makes it the layered content of
// g_hwndSplash, placed at *pptScreen (null: where the window is). A failure is the HRESULT of the system's
// last error.
HRESULT PutBitmapOnSplash(SplashGdiHandles& handles, const POINT* pptScreen, DWORD dwWidth, DWORD dwHeight);

// The bytes of the splash PNG (RCDATA 129 of the executable), in place in the mapped image. A failure is the
// HRESULT of the system's last error, E_FAIL when the system set none.
HRESULT LoadSplashResource(const BYTE*& pResBytes, DWORD& dwSize);

// Decodes the splash PNG, centres g_hwndSplash on the primary screen with the image as its layered content
// and shows it. Needs COM on the calling thread. On failure the window stays as it was (hidden after
// CreateSplashWindow) and the user sees nothing of it.
HRESULT RenderSplashImage();

#include "splash/splash_progress.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "launcher/errors.h"
#include "launcher/report.h"
#include "splash/splash_render.h"

namespace
{
// The bar: c_cyBar rows, c_cxyBarInset pixels inside the image's sides and lower edge, clear of a frame or
// rounded corners (less inset and fewer rows on a small image). The part still to come shows the bar's
// colour faintly over the image, at c_bTrackAlpha of 255.
const UINT c_cyBar = 4;
const UINT c_cxyBarInset = 12;
const UINT c_bTrackAlpha = 64;

// What the bar is drawn with; one splash per process.
struct CSplashProgress
{
    bool fWanted = false;
    DWORD dwRgbBar = 0;
    std::unique_ptr<BYTE[]> pbImage; // the decoded premultiplied pixels, bottom-up rows
    UINT dwWidth = 0;
    UINT dwHeight = 0;
    // The bitmap and DCs that the bar is drawn through, made by its first drawing and kept until it goes: the
    // image with the bar, of which only the bar's rows change.
    std::unique_ptr<SplashGdiHandles> pSurface;
    BYTE* pbSurface = nullptr;
    bool fBarDrawn = false;
    UINT cxFilled = 0; // of the bar last drawn
};
CSplashProgress s_progress;

struct CBarGeometry
{
    UINT xLeft = 0;
    UINT cxBar = 0;
    UINT yTop = 0; // counted from the image's top row
    UINT cyBar = 0;
};

// False for an image too small to carry a bar.
bool GetBarGeometry(UINT dwWidth, UINT dwHeight, CBarGeometry& bar)
{
    const UINT cxyInset = std::min(std::min(dwWidth, dwHeight) / 4, c_cxyBarInset);
    bar.cyBar = std::min(dwHeight / 8, c_cyBar);
    if (bar.cyBar == 0 || dwWidth <= 2 * cxyInset)
        return false;
    bar.xLeft = cxyInset;
    bar.cxBar = dwWidth - 2 * cxyInset;
    bar.yTop = dwHeight - cxyInset - bar.cyBar;
    return true;
}

// One premultiplied BGRA pixel of the bar's colour over pbPixel, at bAlpha of 255.
void BlendBarPixel(BYTE* pbPixel, DWORD dwRgb, UINT bAlpha)
{
    const UINT rgbSource[3] = {dwRgb & 0xFF, (dwRgb >> 8) & 0xFF, (dwRgb >> 16) & 0xFF}; // B, G, R
    for (int i = 0; i < 3; ++i)
        pbPixel[i] = static_cast<BYTE>((rgbSource[i] * bAlpha + pbPixel[i] * (255 - bAlpha) + 127) / 255);
    pbPixel[3] = static_cast<BYTE>(bAlpha + (pbPixel[3] * (255 - bAlpha) + 127) / 255);
}

// Paints the bar, filled cxFilled pixels from the left, into bottom-up rows of dwWidth pixels.
void PaintBar(BYTE* pbPixels, UINT dwWidth, UINT dwHeight, const CBarGeometry& bar, UINT cxFilled, DWORD dwRgb)
{
    for (UINT y = bar.yTop; y < bar.yTop + bar.cyBar; ++y)
    {
        BYTE* pbRow = pbPixels + static_cast<size_t>(dwHeight - 1 - y) * dwWidth * 4;
        for (UINT x = bar.xLeft; x < bar.xLeft + bar.cxBar; ++x)
            BlendBarPixel(pbRow + static_cast<size_t>(x) * 4, dwRgb, x - bar.xLeft < cxFilled ? 255 : c_bTrackAlpha);
    }
}

// Puts the kept image on the splash where it stands, with the bar filled cxFilled pixels when fBar is set.
HRESULT UpdateSplashPixels(bool fBar, const CBarGeometry& bar, UINT cxFilled)
{
    const UINT dwWidth = s_progress.dwWidth;
    const UINT dwHeight = s_progress.dwHeight;
    if (!s_progress.pSurface)
    {
        std::unique_ptr<SplashGdiHandles> pSurface(new (std::nothrow) SplashGdiHandles);
        if (!pSurface)
            return E_OUTOFMEMORY;
        void* pBitmapBits = nullptr;
        const HRESULT hr = CreateSplashBitmap(*pSurface, dwWidth, dwHeight, &pBitmapBits);
        if (FAILED(hr))
            return hr;
        memcpy(pBitmapBits, s_progress.pbImage.get(), static_cast<size_t>(dwWidth) * dwHeight * 4);
        s_progress.pSurface = std::move(pSurface);
        s_progress.pbSurface = static_cast<BYTE*>(pBitmapBits);
    }
    // The bar's rows as decoded, then the bar over them.
    const size_t cbRow = static_cast<size_t>(dwWidth) * 4;
    const size_t ibBarRows = static_cast<size_t>(dwHeight - bar.yTop - bar.cyBar) * cbRow;
    memcpy(s_progress.pbSurface + ibBarRows, s_progress.pbImage.get() + ibBarRows, bar.cyBar * cbRow);
    if (fBar)
        PaintBar(s_progress.pbSurface, dwWidth, dwHeight, bar, cxFilled, s_progress.dwRgbBar);

    // The window stays where it is: only its contents change.
    return PutBitmapOnSplash(*s_progress.pSurface, nullptr, dwWidth, dwHeight);
}
} // namespace

void SetSplashProgressStyle(bool fShowProgress, DWORD dwRgbBar)
{
    s_progress.fWanted = fShowProgress;
    s_progress.dwRgbBar = dwRgbBar & 0xFFFFFF;
}

void KeepSplashImage(const BYTE* pbPixels, UINT dwWidth, UINT dwHeight)
{
    s_progress.pSurface.reset();
    s_progress.pbSurface = nullptr;
    s_progress.pbImage.reset();
    s_progress.fBarDrawn = false;
    CBarGeometry bar;
    if (!s_progress.fWanted || !GetBarGeometry(dwWidth, dwHeight, bar))
        return;
    const size_t cbImage = static_cast<size_t>(dwWidth) * dwHeight * 4;
    s_progress.pbImage.reset(new (std::nothrow) BYTE[cbImage]);
    if (!s_progress.pbImage)
        return;
    memcpy(s_progress.pbImage.get(), pbPixels, cbImage);
    s_progress.dwWidth = dwWidth;
    s_progress.dwHeight = dwHeight;
}

bool CanShowSplashProgress()
{
    return s_progress.fWanted && s_progress.pbImage && IsWindowVisible(g_hwndSplash);
}

HRESULT ShowSplashProgress(ULONGLONG cbDone, ULONGLONG cbTotal)
{
    CBarGeometry bar;
    if (!CanShowSplashProgress() || !GetBarGeometry(s_progress.dwWidth, s_progress.dwHeight, bar))
        return S_FALSE;
    if (cbDone > cbTotal)
        cbDone = cbTotal;
    const UINT cxFilled = cbTotal ? static_cast<UINT>(cbDone * bar.cxBar / cbTotal) : bar.cxBar;
    // A bar that would look the same is not drawn again.
    if (s_progress.fBarDrawn && cxFilled == s_progress.cxFilled)
        return S_OK;
    const HRESULT hr = UpdateSplashPixels(true, bar, cxFilled);
    if (FAILED(hr))
        return hr;
    s_progress.fBarDrawn = true;
    s_progress.cxFilled = cxFilled;
    return S_OK;
}

HRESULT EndSplashProgress()
{
    HRESULT hr = S_OK;
    CBarGeometry bar;
    if (s_progress.fBarDrawn && s_progress.pbImage && IsWindow(g_hwndSplash) &&
        GetBarGeometry(s_progress.dwWidth, s_progress.dwHeight, bar))
        hr = UpdateSplashPixels(false, bar, 0);
    s_progress.fBarDrawn = false;
    s_progress.pSurface.reset();
    s_progress.pbSurface = nullptr;
    s_progress.pbImage.reset();
    return hr;
}

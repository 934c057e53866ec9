#include "splash/splash_render.h"

#include <objbase.h>
#include <wincodec.h>

#include "common/com_ptr.h"
#include "launcher/errors.h"
#include "launcher/report.h"
#include "splash/splash_progress.h"

namespace
{
// Splash artwork (IDR_SPLASH_PNG in resources/resource.h).
const WORD c_idSplashImage = 129;
} // namespace

SplashGdiHandles::~SplashGdiHandles()
{
    if (hPrevObject && hdcMem)
        SelectObject(hdcMem, hPrevObject);
    if (hBmpSplash)
        DeleteObject(hBmpSplash);
    if (hdcScreen)
        DeleteDC(hdcScreen);
    if (hdcMem)
        DeleteDC(hdcMem);
}

HRESULT LoadSplashResource(const BYTE*& pResBytes, DWORD& dwSize)
{
    pResBytes = nullptr;
    dwSize = 0;

    const HRSRC hResInfo = FindResourceW(nullptr, MAKEINTRESOURCEW(c_idSplashImage), RT_RCDATA);
    if (!hResInfo)
        return LastErrorResult();

    const HGLOBAL hResData = LoadResource(nullptr, hResInfo);
    if (!hResData)
        return LastErrorResult();

    const void* pvRes = LockResource(hResData);
    if (!pvRes)
        return LastErrorResult();

    const DWORD dwResSize = SizeofResource(nullptr, hResInfo);
    if (!dwResSize)
        return LastErrorResult();

    pResBytes = static_cast<const BYTE*>(pvRes);
    dwSize = dwResSize;
    return S_OK;
}

HRESULT CreateSplashBitmap(SplashGdiHandles& handles, UINT dwWidth, UINT dwHeight, void** ppvBits)
{
    BITMAPINFO bmInfo = {};
    bmInfo.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmInfo.bmiHeader.biWidth = static_cast<LONG>(dwWidth);
    bmInfo.bmiHeader.biHeight = static_cast<LONG>(dwHeight);
    bmInfo.bmiHeader.biPlanes = 1;
    bmInfo.bmiHeader.biBitCount = 32;
    bmInfo.bmiHeader.biCompression = BI_RGB;
    bmInfo.bmiHeader.biSizeImage = dwWidth * 4 * dwHeight;
    handles.hBmpSplash = CreateDIBSection(nullptr, &bmInfo, DIB_RGB_COLORS, ppvBits, nullptr, 0);
    return handles.hBmpSplash ? S_OK : LastErrorResult();
}

HRESULT PutBitmapOnSplash(SplashGdiHandles& handles, const POINT* pptScreen, DWORD dwWidth, DWORD dwHeight)
{
    // Made on the first call for these handles, and kept with them for the next.
    if (!handles.hdcScreen)
        handles.hdcScreen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    if (!handles.hdcScreen)
        return LastErrorResult();
    if (!handles.hdcMem)
        handles.hdcMem = CreateCompatibleDC(handles.hdcScreen);
    if (!handles.hdcMem)
        return LastErrorResult();
    if (!handles.hPrevObject)
        handles.hPrevObject = SelectObject(handles.hdcMem, handles.hBmpSplash);
    if (!handles.hPrevObject)
        return LastErrorResult();

    SIZE sizeImage = {static_cast<LONG>(dwWidth), static_cast<LONG>(dwHeight)};
    POINT ptSrc = {0, 0};
    BLENDFUNCTION blender = {AC_SRC_OVER, 0, c_bSplashOpacity, AC_SRC_ALPHA};
    if (!UpdateLayeredWindow(g_hwndSplash, handles.hdcScreen, const_cast<POINT*>(pptScreen), &sizeImage,
                             handles.hdcMem, &ptSrc, 0, &blender, ULW_ALPHA))
        return LastErrorResult();
    return S_OK;
}

HRESULT RenderSplashImage()
{
    const BYTE* pResBytes = nullptr;
    DWORD dwSize = 0;
    HRESULT hr = LoadSplashResource(pResBytes, dwSize);
    if (FAILED(hr))
        return hr;

    // Declared in the order they are made, so that they go in the opposite order; the GDI objects go first.
    CComPtrT<IWICImagingFactory> oFactory;
    CComPtrT<IWICStream> oStream;
    CComPtrT<IWICBitmapDecoder> oDecoder;
    CComPtrT<IWICBitmapFrameDecode> oFrameDecode;
    CComPtrT<IWICFormatConverter> oFormatConverter;
    CComPtrT<IWICBitmapFlipRotator> oFlipRotator;
    SplashGdiHandles handles;

    hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                          oFactory.GetVoidAddressOf());
    if (FAILED(hr))
        return hr;
    if (!oFactory.Get())
        return E_POINTER;

    // The decoder reads the resource where it is mapped: no copy, no file.
    hr = oFactory.Get()->CreateStream(oStream.GetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!oStream.Get())
        return E_POINTER;
    hr = oStream.Get()->InitializeFromMemory(const_cast<BYTE*>(pResBytes), dwSize);
    if (FAILED(hr))
        return hr;

    hr = oFactory.Get()->CreateDecoderFromStream(oStream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                 oDecoder.GetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!oDecoder.Get())
        return E_POINTER;
    hr = oDecoder.Get()->GetFrame(0, oFrameDecode.GetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!oFrameDecode.Get())
        return E_POINTER;

    // UpdateLayeredWindow wants premultiplied BGRA.
    hr = oFactory.Get()->CreateFormatConverter(oFormatConverter.GetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!oFormatConverter.Get())
        return E_POINTER;
    hr = oFormatConverter.Get()->Initialize(oFrameDecode.Get(), GUID_WICPixelFormat32bppPBGRA,
                                            WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr))
        return hr;

    // WIC hands out rows top-down, the DIB below keeps them bottom-up: flipping on the way lets one copy do.
    hr = oFactory.Get()->CreateBitmapFlipRotator(oFlipRotator.GetAddressOf());
    if (FAILED(hr))
        return hr;
    if (!oFlipRotator.Get())
        return E_POINTER;
    hr = oFlipRotator.Get()->Initialize(oFormatConverter.Get(), WICBitmapTransformFlipVertical);
    if (FAILED(hr))
        return hr;

    UINT dwWidth = 0;
    UINT dwHeight = 0;
    hr = oFlipRotator.Get()->GetSize(&dwWidth, &dwHeight);
    if (FAILED(hr))
        return hr;

    // 32 bits a pixel: rows need no padding.
    const UINT cbStride = dwWidth * 4;
    const UINT cbImage = cbStride * dwHeight;

    void* pBitmapBits = nullptr;
    hr = CreateSplashBitmap(handles, dwWidth, dwHeight, &pBitmapBits);
    if (FAILED(hr))
        return hr;

    const WICRect wrc = {0, 0, static_cast<INT>(dwWidth), static_cast<INT>(dwHeight)};
    hr = oFlipRotator.Get()->CopyPixels(&wrc, cbStride, cbImage, static_cast<BYTE*>(pBitmapBits));
    if (FAILED(hr))
        return hr;

    // Centred on the primary screen. Signed: an image larger than the screen hangs over both edges alike.
    POINT ptScreen;
    ptScreen.x = (GetSystemMetrics(SM_CXSCREEN) - static_cast<int>(dwWidth)) / 2;
    ptScreen.y = (GetSystemMetrics(SM_CYSCREEN) - static_cast<int>(dwHeight)) / 2;

    hr = PutBitmapOnSplash(handles, &ptScreen, dwWidth, dwHeight);
    if (FAILED(hr))
        return hr;

    if (!SetWindowPos(g_hwndSplash, HWND_TOP, ptScreen.x, ptScreen.y, static_cast<int>(dwWidth),
                      static_cast<int>(dwHeight), SWP_FRAMECHANGED | SWP_SHOWWINDOW))
        return LastErrorResult();

    // A long first start draws its progress over these pixels later.
    KeepSplashImage(static_cast<const BYTE*>(pBitmapBits), dwWidth, dwHeight);

    return S_OK;
}

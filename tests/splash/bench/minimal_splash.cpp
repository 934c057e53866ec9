// minimal_splash: the least a program can do to show the launcher's splash artwork the way the launcher does.
// The baseline of the splash benchmark (see ../README.md): a layered popup of the same class, the PNG from its
// own RCDATA 129 decoded by WIC into a bottom-up premultiplied DIB, UpdateLayeredWindow at opacity 229, then
// shown centred. It keeps its messages flowing for a second and ends.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

namespace
{
template <class T>
void SafeRelease(T*& p)
{
    if (p)
    {
        p->Release();
        p = nullptr;
    }
}

bool ShowArtwork(HWND hwnd)
{
    const HRSRC hResInfo = FindResourceW(nullptr, MAKEINTRESOURCEW(129), RT_RCDATA);
    const HGLOBAL hResData = hResInfo ? LoadResource(nullptr, hResInfo) : nullptr;
    BYTE* pbRes = hResData ? static_cast<BYTE*>(LockResource(hResData)) : nullptr;
    const DWORD cbRes = hResInfo ? SizeofResource(nullptr, hResInfo) : 0;
    if (!pbRes || !cbRes)
        return false;

    bool fShown = false;
    IWICImagingFactory* pFactory = nullptr;
    IWICStream* pStream = nullptr;
    IWICBitmapDecoder* pDecoder = nullptr;
    IWICBitmapFrameDecode* pFrame = nullptr;
    IWICFormatConverter* pConverter = nullptr;
    IWICBitmapFlipRotator* pFlip = nullptr;
    UINT cx = 0;
    UINT cy = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                   reinterpret_cast<void**>(&pFactory))) &&
        SUCCEEDED(pFactory->CreateStream(&pStream)) && SUCCEEDED(pStream->InitializeFromMemory(pbRes, cbRes)) &&
        SUCCEEDED(pFactory->CreateDecoderFromStream(pStream, nullptr, WICDecodeMetadataCacheOnDemand, &pDecoder)) &&
        SUCCEEDED(pDecoder->GetFrame(0, &pFrame)) && SUCCEEDED(pFactory->CreateFormatConverter(&pConverter)) &&
        SUCCEEDED(pConverter->Initialize(pFrame, GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                         WICBitmapPaletteTypeCustom)) &&
        SUCCEEDED(pFactory->CreateBitmapFlipRotator(&pFlip)) &&
        SUCCEEDED(pFlip->Initialize(pConverter, WICBitmapTransformFlipVertical)) && SUCCEEDED(pFlip->GetSize(&cx, &cy)))
    {
        BITMAPINFO bmi = {};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = static_cast<LONG>(cx);
        bmi.bmiHeader.biHeight = static_cast<LONG>(cy);
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        bmi.bmiHeader.biSizeImage = cx * 4 * cy;
        void* pvBits = nullptr;
        const HBITMAP hbm = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
        const WICRect wrc = {0, 0, static_cast<INT>(cx), static_cast<INT>(cy)};
        if (hbm && SUCCEEDED(pFlip->CopyPixels(&wrc, cx * 4, cx * 4 * cy, static_cast<BYTE*>(pvBits))))
        {
            POINT ptDst = {(GetSystemMetrics(SM_CXSCREEN) - static_cast<int>(cx)) / 2,
                           (GetSystemMetrics(SM_CYSCREEN) - static_cast<int>(cy)) / 2};
            SIZE size = {static_cast<LONG>(cx), static_cast<LONG>(cy)};
            POINT ptSrc = {0, 0};
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 229, AC_SRC_ALPHA};
            const HDC hdcScreen = CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
            const HDC hdcMem = CreateCompatibleDC(hdcScreen);
            const HGDIOBJ hOld = SelectObject(hdcMem, hbm);
            fShown = UpdateLayeredWindow(hwnd, hdcScreen, &ptDst, &size, hdcMem, &ptSrc, 0, &blend, ULW_ALPHA) &&
                     SetWindowPos(hwnd, HWND_TOP, ptDst.x, ptDst.y, size.cx, size.cy,
                                  SWP_FRAMECHANGED | SWP_SHOWWINDOW);
            SelectObject(hdcMem, hOld);
            DeleteDC(hdcMem);
            DeleteDC(hdcScreen);
        }
        if (hbm)
            DeleteObject(hbm);
    }
    SafeRelease(pFlip);
    SafeRelease(pConverter);
    SafeRelease(pFrame);
    SafeRelease(pDecoder);
    SafeRelease(pStream);
    SafeRelease(pFactory);
    return fShown;
}
} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DROPSHADOW;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = hInstance;
    wc.hCursor = LoadCursorW(nullptr, IDC_WAIT);
    wc.lpszClassName = L"CorvaneLauncherSplash";
    if (!RegisterClassExW(&wc))
        return 2;
    const HWND hwnd = CreateWindowExW(WS_EX_LAYERED, wc.lpszClassName, L"minimal splash", WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, hInstance, nullptr);
    if (!hwnd || !ShowArtwork(hwnd))
        return 3;

    // A second of messages, as the launcher's application would pump them, then the end.
    const ULONGLONG end = GetTickCount64() + 1000;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64())
    {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    DestroyWindow(hwnd);
    CoUninitialize();
    return 0;
}

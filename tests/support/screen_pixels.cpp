#include "screen_pixels.h"

bool CaptureScreenPixels(const RECT& rc, std::vector<DWORD>& pixels)
{
    pixels.clear();
    const int cx = rc.right - rc.left;
    const int cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0)
        return false;
    HDC hdcScreen = GetDC(nullptr);
    if (!hdcScreen)
        return false;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = cx;
    bmi.bmiHeader.biHeight = -cy;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void* pvBits = nullptr;
    HDC hdcMem = CreateCompatibleDC(hdcScreen);
    HBITMAP hbm = CreateDIBSection(hdcScreen, &bmi, DIB_RGB_COLORS, &pvBits, nullptr, 0);
    bool fCopied = false;
    if (hdcMem && hbm)
    {
        HGDIOBJ hOld = SelectObject(hdcMem, hbm);
        fCopied = BitBlt(hdcMem, 0, 0, cx, cy, hdcScreen, rc.left, rc.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        if (fCopied)
        {
            const DWORD* pFirst = static_cast<const DWORD*>(pvBits);
            pixels.assign(pFirst, pFirst + static_cast<size_t>(cx) * cy);
        }
        SelectObject(hdcMem, hOld);
    }
    if (hbm)
        DeleteObject(hbm);
    if (hdcMem)
        DeleteDC(hdcMem);
    ReleaseDC(nullptr, hdcScreen);
    return fCopied;
}

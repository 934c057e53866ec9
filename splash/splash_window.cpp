#include "splash/splash_window.h"

#include <strsafe.h>

#include "launcher/product_names.h"
#include "launcher/report.h"
#include "splash/splash_render.h"

HINSTANCE g_hinstModule = nullptr;

namespace
{
// Icon group of the application (IDI_LUMENIX in resources/resource.h).
const WORD c_idIcon = 101;
} // namespace

HRESULT ShowSplashScreen(HINSTANCE hInstance)
{
    g_hinstModule = hInstance;

    HRESULT hr = RegisterSplashClass();
    if (FAILED(hr))
        return hr;

    hr = CreateSplashWindow();
    if (FAILED(hr))
        return hr;

    hr = RenderSplashImage();
    if (FAILED(hr))
        return hr;

    hr = PumpSplashMessages();
    if (FAILED(hr))
        return hr;

    return S_OK;
}

HRESULT RegisterSplashClass()
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DROPSHADOW;
    wc.lpfnWndProc = SplashWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = g_hinstModule;
    wc.hIcon = LoadIconW(g_hinstModule, MAKEINTRESOURCEW(c_idIcon));
    // The launcher is busy for as long as the splash is up.
    wc.hCursor = LoadCursorW(nullptr, IDC_WAIT);
    wc.hbrBackground = nullptr;
    wc.lpszMenuName = nullptr;
    wc.lpszClassName = c_szSplashClassName;
    wc.hIconSm = LoadIconW(g_hinstModule, MAKEINTRESOURCEW(c_idIcon));

    if (!RegisterClassExW(&wc))
        return E_FAIL;
    return S_OK;
}

HRESULT CreateSplashWindow()
{
    const size_t cchCaption = 4096;
    wchar_t szCaption[cchCaption];
    StringCchPrintfW(szCaption, cchCaption, L"Starting %ls %ls", c_szCompanyName, c_szProductName);

    // Layered so that the image brings its own shape and translucency; it stays hidden until the image is in.
    const HWND hwnd = CreateWindowExW(WS_EX_LAYERED, c_szSplashClassName, szCaption, WS_POPUP, CW_USEDEFAULT,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, g_hinstModule,
                                      nullptr);
    // The slot always reflects this attempt, so that no earlier window owns the boxes that follow.
    g_hwndSplash = hwnd;
    if (!hwnd)
        return E_FAIL;
    return S_OK;
}

HRESULT PumpSplashMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        // The thread's own loop that runs later (the application's) must still see it and end.
        if (msg.message == WM_QUIT)
        {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return S_OK;
}

LRESULT CALLBACK SplashWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd, uMsg, wParam, lParam);
}

#include "launcher/launch_sequence.h"

#include <objbase.h>
#include <strsafe.h>

#include <new>

#include "clrhost/clr_loader.h"
#include "common/com_error.h"
#include "launcher/errors.h"
#include "launcher/product_names.h"
#include "splash/splash_window.h"

namespace
{
// A thrown value of 0 would otherwise end the launch as a success.
HRESULT FailureFromThrown(HRESULT hr) noexcept
{
    return hr == S_OK ? E_FAIL : hr;
}
} // namespace

HRESULT CheckOsVersion()
{
    OSVERSIONINFOW verInfo = {};
    verInfo.dwOSVersionInfoSize = sizeof(verInfo);
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // the version the system reports is exactly what is wanted here
#endif
    GetVersionExW(&verInfo);

    if (verInfo.dwPlatformId == VER_PLATFORM_WIN32_NT &&
        (verInfo.dwMajorVersion > 5 || (verInfo.dwMajorVersion == 5 && verInfo.dwMinorVersion >= 1)))
    {
        return S_OK;
    }

    const size_t cchBuffer = 4096;
    wchar_t szText[cchBuffer];
    wchar_t szCaption[cchBuffer];
    StringCchPrintfW(szText, cchBuffer,
                     L"%ls %ls currently requires Windows NT 5.1 or higher to run. "
                     L"Your operation system version is not supported.",
                     c_szCompanyName, c_szProductName);
    StringCchPrintfW(szCaption, cchBuffer, L"%ls \u2013 System Requirements", c_szProductName);
    MessageBoxW(nullptr, szText, szCaption, MB_ICONERROR);
    return E_ABORT;
}

HRESULT RunLaunchSequence(HINSTANCE hInstance, const wchar_t* /*pszCommandLine*/, int /*nShowCommand*/)
{
    HRESULT hr = S_OK;
    try
    {
        hr = CheckOsVersion();
        if (FAILED(hr))
            return hr;

        hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(hr))
            return hr;

        ShowSplashScreen(hInstance);

        hr = LoadAndRunClr();
        if (FAILED(hr))
            return hr;
        hr = S_OK;
    }
    catch (int n)
    {
        hr = FailureFromThrown(static_cast<HRESULT>(n));
    }
    catch (unsigned int n)
    {
        hr = FailureFromThrown(static_cast<HRESULT>(n));
    }
    catch (const CHresultException& e)
    {
        hr = FailureFromThrown(e.GetHresult());
    }
    // Nothing else may end the process in a crash or with a success code.
    catch (const _com_error& e)
    {
        hr = FailureFromThrown(e.Error());
    }
    catch (const std::bad_alloc&)
    {
        hr = E_OUTOFMEMORY;
    }
    catch (...)
    {
        hr = E_UNEXPECTED;
    }
    return hr;
}

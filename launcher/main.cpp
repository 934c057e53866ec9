#include <windows.h>

#include "launcher/dll_search.h"
#include "launcher/launch_sequence.h"
#include "lumenix_splash.h"
#include "splash/splash_progress.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, PWSTR pszCommandLine, int nShowCommand)
{
    // First, before any DLL is loaded by name: the launcher is often started from a Downloads folder.
    const HRESULT hr = RestrictDllSearch();
    if (FAILED(hr))
        return hr;
    // This build's options for the splash (each launcher build brings its own generated header).
    SetSplashProgressStyle(LUMENIX_SPLASH_PROGRESS != 0, LUMENIX_SPLASH_PROGRESS_RGB);
    return RunLaunchSequence(hInstance, pszCommandLine, nShowCommand);
}

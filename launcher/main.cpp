#include <windows.h>

#include "launcher/dll_search.h"
#include "launcher/launch_sequence.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, PWSTR pszCommandLine, int nShowCommand)
{
    // First, before any DLL is loaded by name: the launcher is often started from a Downloads folder.
    const HRESULT hr = RestrictDllSearch();
    if (FAILED(hr))
        return hr;
    return RunLaunchSequence(hInstance, pszCommandLine, nShowCommand);
}

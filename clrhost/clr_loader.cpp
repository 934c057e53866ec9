#include "clrhost/clr_loader.h"

#include "clrhost/clr_roads.h"
#include "netfx/requirements_dialog.h"

namespace
{
// The hosting library from the system folder only: a mscoree.dll planted beside the executable or in the
// current directory must never run with the user's rights.
HMODULE LoadHostingLibrary()
{
    HMODULE hmodKernel = GetModuleHandleW(L"kernel32.dll");
    if (hmodKernel && GetProcAddress(hmodKernel, "AddDllDirectory"))
        return LoadLibraryExW(L"mscoree.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);

    const UINT cchPath = MAX_PATH;
    const wchar_t szFileName[] = L"\\mscoree.dll";
    wchar_t szPath[cchPath];
    const UINT cchSystem = GetSystemDirectoryW(szPath, cchPath);
    if (cchSystem == 0 || cchSystem + ARRAYSIZE(szFileName) > cchPath)
        return nullptr;
    lstrcpyW(szPath + cchSystem, szFileName);
    return LoadLibraryW(szPath);
}
} // namespace

void GetRequiredVersions(CVersion4& verClrRequired, CVersion4& verNetfxRequired)
{
    verClrRequired = CVersion4(2, 0, 0, 0);
    verNetfxRequired = CVersion4(3, 5, 0, 0);
}

HRESULT LoadAndRunClr()
{
    // Kept for the whole run, the managed application's included.
    SetErrorMode(SEM_FAILCRITICALERRORS);

    CVersion4 verNetfxRequired;
    CVersion4 verClrRequired;
    GetRequiredVersions(verClrRequired, verNetfxRequired);

    // Never freed: the runtime lives in it until the process ends.
    HMODULE hmodMscoree = LoadHostingLibrary();
    if (!hmodMscoree)
    {
        ShowRuntimeRequirementsDialog(CVersion4(), CVersion4(), false, verClrRequired, verNetfxRequired);
        return E_NOINTERFACE;
    }

    CClrResult clrresult = SelectClrV4(hmodMscoree, verClrRequired, verNetfxRequired);
    if (!clrresult.oHost)
    {
        // The v2 road only when the v4 one is not there, never after it failed.
        if (FAILED(clrresult.hr))
            return clrresult.hr;
        clrresult = BindClrV2(hmodMscoree, verClrRequired, verNetfxRequired);
        if (!clrresult.oHost)
        {
            if (FAILED(clrresult.hr))
                return clrresult.hr;
            ShowRuntimeRequirementsDialog(CVersion4(), CVersion4(), false, verClrRequired, verNetfxRequired);
            return E_FAIL;
        }
    }

    const HRESULT hr = CheckNetfxRequirement(verClrRequired, verNetfxRequired, clrresult.verClr);
    if (FAILED(hr))
        return hr;

    return RunManagedApplication(clrresult.oHost);
}

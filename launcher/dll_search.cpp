#include "launcher/dll_search.h"

#include "launcher/errors.h"

namespace
{
#if defined(LX_CLASSIC_DLL_SEARCH)
const bool c_fClassicDllSearch = true;
#else
const bool c_fClassicDllSearch = false;
#endif

using PFN_SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD dwDirectoryFlags);
using PFN_AddDllDirectory = void*(WINAPI*)(const wchar_t* pszNewDirectory);

// Null where kernel32 lacks the function: both come with Windows 8, and with KB2533623 on Windows 7.
template <typename PFN>
PFN FindKernelFunction(const char* pszName)
{
    HMODULE hmodKernel = GetModuleHandleW(L"kernel32.dll");
    return hmodKernel ? reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(hmodKernel, pszName))) : nullptr;
}

// The default search is narrowed exactly when AddDllDirectory can widen it again.
PFN_AddDllDirectory FindAddDllDirectory()
{
    return c_fClassicDllSearch ? nullptr : FindKernelFunction<PFN_AddDllDirectory>("AddDllDirectory");
}
} // namespace

HRESULT RestrictDllSearch()
{
    if (!SetDllDirectoryW(L""))
        return LastErrorResult();

    auto pfnSetDefaultDllDirectories =
        FindKernelFunction<PFN_SetDefaultDllDirectories>("SetDefaultDllDirectories");
    if (c_fClassicDllSearch || !pfnSetDefaultDllDirectories || !FindAddDllDirectory())
        return S_FALSE;
    if (!pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS))
        return LastErrorResult();
    return S_OK;
}

HRESULT AddDllSearchFolder(const wchar_t* pszFolder)
{
    if (PFN_AddDllDirectory pfnAddDllDirectory = FindAddDllDirectory())
    {
        // Kept for the whole run: the cookie is never removed.
        if (!pfnAddDllDirectory(pszFolder))
            return LastErrorResult();
        return S_OK;
    }
    if (!SetDllDirectoryW(pszFolder))
        return LastErrorResult();
    return S_FALSE;
}

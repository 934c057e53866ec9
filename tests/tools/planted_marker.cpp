// A DLL to plant beside an exe under a system DLL's name (uxtheme.dll). Its DllMain leaves "<its own path>.ran"
// behind: the proof that a process loaded it. It exports nothing.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, void* /*pvReserved*/)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    const DWORD cchPath = MAX_PATH;
    const wchar_t szSuffix[] = L".ran";
    wchar_t szPath[cchPath + ARRAYSIZE(szSuffix)] = {};
    const DWORD cch = GetModuleFileNameW(hinstDll, szPath, cchPath);
    if (cch == 0 || cch >= cchPath)
        return TRUE;
    lstrcpyW(szPath + cch, szSuffix);
    HANDLE hFile = CreateFileW(szPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
        CloseHandle(hFile);
    return TRUE;
}

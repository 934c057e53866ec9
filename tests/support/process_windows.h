// The windows of another process, as the benchmark watchers see them.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// The visible top-level windows of the process, in the desktop's order (topmost first).
inline std::vector<HWND> VisibleWindowsOf(DWORD dwPid)
{
    struct CSearch
    {
        DWORD dwPid;
        std::vector<HWND> windows;
    } search = {dwPid, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM lParam) -> BOOL {
            CSearch& found = *reinterpret_cast<CSearch*>(lParam);
            DWORD dwOwner = 0;
            GetWindowThreadProcessId(hwnd, &dwOwner);
            if (dwOwner == found.dwPid && IsWindowVisible(hwnd))
                found.windows.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

// The class name of a window, or "" when it has none.
inline std::wstring ClassOf(HWND hwnd)
{
    wchar_t szClass[256] = {};
    GetClassNameW(hwnd, szClass, ARRAYSIZE(szClass));
    return szClass;
}

// A window of this process that keeps the desktop (under Wine: its process) alive while programs come and go.
inline HWND CreateDesktopKeeper(const wchar_t* pszName)
{
    GetDesktopWindow();
    return CreateWindowExW(0, L"STATIC", pszName, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

// start_watch: how a start looks to the user, the launcher against the plain managed exe of the same product.
//
//   start_watch RUNS STAMPFILE CACHEFOLDER PLAINEXE LAUNCHEREXE
//
// One round runs the plain exe, the launcher with CACHEFOLDER removed first (cold) and the launcher again (warm).
// Round 0 makes the desktop and the file caches ready and is not to be counted; rounds 1 to RUNS follow. For
// each run it notes the time just before CreateProcessW and then polls, about once a millisecond, the top-level
// windows of the new process:
//   first pixel  the first of them that is visible (the launcher's splash; the plain exe's first window);
//   main window  the first visible one titled "Lumenix" that is not the splash; its peak working set is read
//                then, and the window is sent WM_CLOSE, which ends the product.
// The managed entry is the time the product's first managed entry writes to STAMPFILE (LUMENIX_ENTRY_STAMP).
// Every time is on the system clock, in milliseconds from the start. One line per run:
//   run ROUND LABEL FIRST-PIXEL-MS ENTRY-MS MAIN-WINDOW-MS PEAK-WORKING-SET-MIB EXIT-CODE FIRST-CLASS
// A run that misses a figure prints -1 for it, then a line that says why, and the program ends with 1:
//   missed ROUND LABEL REASON...
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/process_windows.h"

namespace
{
const wchar_t c_szSplashClass[] = L"CorvaneLauncherSplash";
const wchar_t c_szMainTitle[] = L"Lumenix";
const DWORD c_msRunLimit = 120000;

typedef VOID(WINAPI* PFN_GET_TIME)(LPFILETIME);

// The system clock as precisely as this Windows gives it, in 100 ns units.
ULONGLONG Now()
{
    static const PFN_GET_TIME pfnGetTime = [] {
        const FARPROC pfn = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetSystemTimePreciseAsFileTime");
        return pfn ? reinterpret_cast<PFN_GET_TIME>(reinterpret_cast<void*>(pfn)) : &GetSystemTimeAsFileTime;
    }();
    FILETIME ft;
    pfnGetTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

double Milliseconds(ULONGLONG ullFrom, ULONGLONG ullTo)
{
    return (static_cast<double>(ullTo) - static_cast<double>(ullFrom)) / 10000.0;
}

struct CRun
{
    double msFirstPixel = -1;
    double msEntry = -1;
    double msMainWindow = -1;
    double mibPeakWorkingSet = -1;
    DWORD dwExitCode = static_cast<DWORD>(-1);
    std::wstring firstClass = L"-";
    std::wstring problem; // what went wrong on the way, when something did
};

// The product's main window among the visible windows, or null.
HWND FindMainWindow(const std::vector<HWND>& windows)
{
    for (const HWND hwnd : windows)
    {
        wchar_t szTitle[256] = {};
        GetWindowTextW(hwnd, szTitle, ARRAYSIZE(szTitle));
        if (wcscmp(szTitle, c_szMainTitle) == 0 && ClassOf(hwnd) != c_szSplashClass)
            return hwnd;
    }
    return nullptr;
}

// The entry time that the product wrote, or 0.
ULONGLONG ReadStamp(const std::wstring& stampFile)
{
    char szText[32] = {};
    const HANDLE hFile = CreateFileW(stampFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 0;
    DWORD cbRead = 0;
    ReadFile(hFile, szText, sizeof(szText) - 1, &cbRead, nullptr);
    CloseHandle(hFile);
    return _strtoui64(szText, nullptr, 10);
}

bool RemoveFolder(const std::wstring& folder)
{
    if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES)
        return true;
    std::vector<wchar_t> from(folder.begin(), folder.end());
    from.push_back(L'\0');
    from.push_back(L'\0'); // the list of names ends with an empty one
    SHFILEOPSTRUCTW op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = from.data();
    op.fFlags = FOF_NO_UI;
    return SHFileOperationW(&op) == 0 && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

// A message box among the windows (the dialog class), or null.
HWND FindBox(const std::vector<HWND>& windows)
{
    for (HWND hwnd : windows)
        if (ClassOf(hwnd) == L"#32770")
            return hwnd;
    return nullptr;
}

// The box's message on one line: its static text control (id 0xFFFF).
std::wstring BoxText(HWND hwndBox)
{
    wchar_t szText[1024] = {};
    GetDlgItemTextW(hwndBox, 0xFFFF, szText, ARRAYSIZE(szText));
    std::wstring text = szText;
    std::replace(text.begin(), text.end(), L'\n', L' ');
    return text;
}

CRun WatchOneStart(const std::wstring& exe, const std::wstring& stampFile)
{
    CRun run;
    DeleteFileW(stampFile.c_str());
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    const ULONGLONG ullStart = Now();
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    {
        run.problem = L"cannot start " + exe + L": error " + std::to_wstring(GetLastError());
        fwprintf(stderr, L"start_watch: %ls\n", run.problem.c_str());
        return run;
    }
    const ULONGLONG ullLimit = ullStart + static_cast<ULONGLONG>(c_msRunLimit) * 10000;
    while (WaitForSingleObject(pi.hProcess, 1) == WAIT_TIMEOUT && Now() < ullLimit)
    {
        if (run.msMainWindow >= 0)
            continue;
        const std::vector<HWND> windows = VisibleWindowsOf(pi.dwProcessId);
        const ULONGLONG ullSeen = Now();
        if (!windows.empty() && run.msFirstPixel < 0)
        {
            run.msFirstPixel = Milliseconds(ullStart, ullSeen);
            run.firstClass = ClassOf(windows.front());
        }
        // A box (the launcher's report of a failed step) waits for a user who is not there: the start is over.
        const HWND hwndBox = FindBox(windows);
        if (hwndBox)
        {
            run.problem = exe + L" showed a box: " + BoxText(hwndBox);
            fwprintf(stderr, L"start_watch: %ls\n", run.problem.c_str());
            TerminateProcess(pi.hProcess, ERROR_CANCELLED);
            WaitForSingleObject(pi.hProcess, 10000);
            break;
        }
        const HWND hwndMain = FindMainWindow(windows);
        if (hwndMain)
        {
            run.msMainWindow = Milliseconds(ullStart, ullSeen);
            PROCESS_MEMORY_COUNTERS counters = {};
            counters.cb = sizeof(counters);
            if (GetProcessMemoryInfo(pi.hProcess, &counters, sizeof(counters)))
                run.mibPeakWorkingSet = static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
            PostMessageW(hwndMain, WM_CLOSE, 0, 0);
        }
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
    {
        run.problem = exe + L" did not end within " + std::to_wstring(c_msRunLimit / 1000) + L" s";
        fwprintf(stderr, L"start_watch: %ls\n", run.problem.c_str());
        TerminateProcess(pi.hProcess, WAIT_TIMEOUT);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    GetExitCodeProcess(pi.hProcess, &run.dwExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    const ULONGLONG ullEntry = ReadStamp(stampFile);
    if (ullEntry)
        run.msEntry = Milliseconds(ullStart, ullEntry);
    return run;
}

bool IsComplete(const CRun& run)
{
    return run.msFirstPixel >= 0 && run.msEntry >= 0 && run.msMainWindow >= 0 && run.mibPeakWorkingSet >= 0 &&
           run.dwExitCode == 0;
}

// Why a run that is not complete missed its figures: the first thing that went wrong.
std::wstring ReasonOfMiss(const CRun& run)
{
    if (!run.problem.empty())
        return run.problem;
    if (run.dwExitCode >= 0xC0000000)
    {
        wchar_t szCode[16] = {};
        swprintf(szCode, ARRAYSIZE(szCode), L"0x%08lX", static_cast<unsigned long>(run.dwExitCode));
        return std::wstring(L"ended by exception ") + szCode;
    }
    if (run.dwExitCode != 0)
        return L"exit code " + std::to_wstring(run.dwExitCode);
    if (run.msFirstPixel < 0)
        return L"no window became visible";
    if (run.msMainWindow < 0)
        return L"no main window titled \"" + std::wstring(c_szMainTitle) + L"\" became visible";
    if (run.mibPeakWorkingSet < 0)
        return L"the peak working set could not be read";
    return L"the managed entry wrote no time to LUMENIX_ENTRY_STAMP";
}

void PrintRun(int iRound, const wchar_t* pszLabel, const CRun& run)
{
    wprintf(L"run %d %ls %.1f %.1f %.1f %.1f %ld %ls\n", iRound, pszLabel, run.msFirstPixel, run.msEntry,
            run.msMainWindow, run.mibPeakWorkingSet, static_cast<long>(run.dwExitCode), run.firstClass.c_str());
    if (!IsComplete(run))
        wprintf(L"missed %d %ls %ls\n", iRound, pszLabel, ReasonOfMiss(run).c_str());
    fflush(stdout);
}

std::wstring Expanded(const wchar_t* psz)
{
    wchar_t szPath[MAX_PATH] = {};
    const DWORD cch = ExpandEnvironmentStringsW(psz, szPath, ARRAYSIZE(szPath));
    return cch > 0 && cch <= ARRAYSIZE(szPath) ? std::wstring(szPath) : std::wstring();
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const int cRuns = argc == 6 ? _wtoi(argv[1]) : 0;
    if (cRuns <= 0)
    {
        fwprintf(stderr, L"usage: start_watch RUNS STAMPFILE CACHEFOLDER PLAINEXE LAUNCHEREXE\n");
        return 2;
    }
    const std::wstring stampFile = Expanded(argv[2]);
    const std::wstring cacheFolder = Expanded(argv[3]);
    const std::wstring plainExe = argv[4];
    const std::wstring launcherExe = argv[5];
    if (stampFile.empty() || cacheFolder.empty())
    {
        fwprintf(stderr, L"start_watch: STAMPFILE or CACHEFOLDER is empty or too long\n");
        return 2;
    }
    SetEnvironmentVariableW(L"LUMENIX_ENTRY_STAMP", stampFile.c_str());

    const HWND hwndKeeper = CreateDesktopKeeper(L"start_watch");
    int cMissed = 0;
    for (int iRound = 0; iRound <= cRuns; ++iRound)
    {
        const CRun plain = WatchOneStart(plainExe, stampFile);
        if (!RemoveFolder(cacheFolder))
        {
            fwprintf(stderr, L"start_watch: cannot remove the cache folder %ls\n", cacheFolder.c_str());
            return 1;
        }
        const CRun cold = WatchOneStart(launcherExe, stampFile);
        const CRun warm = WatchOneStart(launcherExe, stampFile);
        PrintRun(iRound, L"plain", plain);
        PrintRun(iRound, L"launcher-cold", cold);
        PrintRun(iRound, L"launcher-warm", warm);
        cMissed += !IsComplete(plain) + !IsComplete(cold) + !IsComplete(warm);
    }
    if (hwndKeeper)
        DestroyWindow(hwndKeeper);
    return cMissed ? 1 : 0;
}

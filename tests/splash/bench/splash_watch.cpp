// splash_watch: how long programs take from their start until a window of a given class is visible.
//
//   splash_watch RUNS CLASS EXE [EXE...]
//
// First it makes sure the desktop is up, and runs every program once without counting it: under Wine the first
// program that needs the desktop starts the desktop process and may wait up to 10 s for it, and first runs pay
// for cold caches. Then it runs the programs in turn (first, second, ..., first, ...) RUNS times each. For every
// run it reads the
// performance counter just before CreateProcessW, then polls about once a millisecond for a visible
// top-level window of CLASS that belongs to the new process, and notes the time it first sees one. The program
// is then left to end by itself (terminated after 60 s). Prints every run, then the median of each program
// and, for two or more, the ratio of each median to the last program's.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/process_windows.h"

namespace
{
bool HasWindowOfClass(DWORD dwPid, const wchar_t* pszClass)
{
    for (const HWND hwnd : VisibleWindowsOf(dwPid))
    {
        if (ClassOf(hwnd) == pszClass)
            return true;
    }
    return false;
}

// Milliseconds from start to a visible window of the class, or a negative value when none came.
double TimeToVisible(const std::wstring& exe, const wchar_t* pszClass)
{
    std::wstring commandLine = L"\"" + exe + L"\"";
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};

    LARGE_INTEGER liFrequency;
    LARGE_INTEGER liStart;
    QueryPerformanceFrequency(&liFrequency);
    QueryPerformanceCounter(&liStart);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    {
        fwprintf(stderr, L"cannot start %ls: error %lu\n", exe.c_str(), GetLastError());
        return -1.0;
    }
    double msVisible = -1.0;
    for (;;)
    {
        if (HasWindowOfClass(pi.dwProcessId, pszClass))
        {
            LARGE_INTEGER liNow;
            QueryPerformanceCounter(&liNow);
            msVisible = static_cast<double>(liNow.QuadPart - liStart.QuadPart) * 1000.0 /
                        static_cast<double>(liFrequency.QuadPart);
            break;
        }
        if (WaitForSingleObject(pi.hProcess, 1) != WAIT_TIMEOUT)
            break;
    }
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_TIMEOUT)
    {
        TerminateProcess(pi.hProcess, WAIT_TIMEOUT);
        WaitForSingleObject(pi.hProcess, 10000);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return msVisible;
}

double Median(std::vector<double> values)
{
    if (values.empty())
        return -1.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
    {
        fwprintf(stderr, L"usage: splash_watch RUNS CLASS EXE [EXE...]\n");
        return 2;
    }
    const int cRuns = _wtoi(argv[1]);
    const wchar_t* pszClass = argv[2];
    std::vector<std::wstring> exes(argv + 3, argv + argc);
    std::vector<std::vector<double>> times(exes.size());

    const HWND hwndKeeper = CreateDesktopKeeper(L"splash_watch");
    for (const std::wstring& exe : exes)
        wprintf(L"warm-up %-36ls %9.1f ms (not counted)\n", exe.substr(exe.find_last_of(L"\\/") + 1).c_str(),
                TimeToVisible(exe, pszClass));

    int cMissed = 0;
    for (int iRun = 0; iRun < cRuns; ++iRun)
    {
        for (size_t i = 0; i < exes.size(); ++i)
        {
            const double ms = TimeToVisible(exes[i], pszClass);
            wprintf(L"run %d  %-40ls %9.1f ms\n", iRun + 1, exes[i].substr(exes[i].find_last_of(L"\\/") + 1).c_str(), ms);
            fflush(stdout);
            if (ms < 0)
                ++cMissed;
            else
                times[i].push_back(ms);
        }
    }
    if (hwndKeeper)
        DestroyWindow(hwndKeeper);
    for (size_t i = 0; i < exes.size(); ++i)
        wprintf(L"median %ls: %.1f ms over %u runs\n", exes[i].c_str(), Median(times[i]),
                static_cast<unsigned>(times[i].size()));
    for (size_t i = 0; i + 1 < exes.size(); ++i)
        wprintf(L"ratio %ls / %ls: %.3f\n", exes[i].c_str(), exes.back().c_str(), Median(times[i]) / Median(times.back()));
    return cMissed ? 1 : 0;
}

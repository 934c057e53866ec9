// A stand-in for lx_start_watch.exe in the runner's tests: it checks the arguments the runner gives the watcher
// and prints, as the watcher does, rounds of figures whose medians the tests know. The cold start of round 2 fails
// as a start fails that cannot be made. It starts nothing.
//   lx_start_watch RUNS STAMPFILE CACHEFOLDER PLAINEXE LAUNCHEREXE
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace
{
// First pixel, managed entry, main window and peak working set of each start, rounds 0 to 3; later rounds repeat
// round 3. Round 0 is far off: the runner does not count it.
struct CRoundFigures
{
    const wchar_t* pszPlain;
    const wchar_t* pszCold; // null: the start failed
    const wchar_t* pszWarm;
};
const CRoundFigures c_aRounds[] = {
    {L"9000.0 9000.0 9000.0 900.0", L"9000.0 9000.0 9000.0 900.0", L"9000.0 9000.0 9000.0 900.0"},
    {L"330.0 110.0 330.0 44.0", L"120.0 400.0 560.0 55.0", L"100.0 380.0 540.0 54.8"},
    {L"290.0 90.0 290.0 44.4", nullptr, L"90.0 370.0 530.0 54.6"},
    {L"310.0 100.0 310.0 44.2", L"110.0 420.0 580.0 55.2", L"95.0 390.0 550.0 54.9"},
};

bool IsFile(const std::wstring& path)
{
    const DWORD dwAttributes = GetFileAttributesW(path.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && !(dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsBelow(const std::wstring& path, const std::wstring& folder)
{
    return !folder.empty() && path.compare(0, folder.size() + 1, folder + L"\\") == 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetEnvironmentVariableW(L"TEMP", szTemp, ARRAYSIZE(szTemp));
    // The stamp and the content cache below the TEMP the runner gave, the two programs in the kit.
    const int cRuns = argc == 6 ? _wtoi(argv[1]) : 0;
    if (cRuns <= 0 || !IsBelow(argv[2], szTemp) || !IsBelow(argv[3], szTemp) || !IsFile(argv[4]) || !IsFile(argv[5]))
    {
        fwprintf(stderr, L"start_watch: not the arguments of lxkit.exe\n");
        return 2;
    }
    for (int iRound = 0; iRound <= cRuns; ++iRound)
    {
        const CRoundFigures& figures = c_aRounds[iRound < 3 ? iRound : 3];
        wprintf(L"run %d plain %ls 0 WindowsForms10.Window.8.app\n", iRound, figures.pszPlain);
        if (figures.pszCold)
            wprintf(L"run %d launcher-cold %ls 0 CorvaneLauncherSplash\n", iRound, figures.pszCold);
        else
            wprintf(L"run %d launcher-cold -1.0 -1.0 -1.0 -1.0 -1 -\nmissed %d launcher-cold cannot start %ls: "
                    L"error 2\n",
                    iRound, iRound, argv[5]);
        wprintf(L"run %d launcher-warm %ls 0 CorvaneLauncherSplash\n", iRound, figures.pszWarm);
    }
    return 1;
}

// Times one extraction of the product pack that this program carries as its own resource, in one of
// several ways, and prints the elapsed time and the peak memory of the process:
//   launcher   the launcher's own code (PrepareContentFolder), cold or warm as the cache folder stands
//   bare-cold  the least work that gets the same files: make the folders, write the pack file, open it
//              through the same component (the launcher's own call), and for every stream look at its
//              target (a cold start cannot know it is missing) and copy the stream into it
//   bare-warm  the least work a warm start must do: check the pack file, open it, enumerate everything and
//              query the attributes of every target
//   idle       nothing: the memory a process of this program needs anyway under the platform
//   folder     only the creation of the content cache folder (the first step of a cold launcher run)
//   launcher-splash        the launcher's own code with the launcher's splash shown first (not timed), as a
//                          start sees it: the thread answers its messages and a long cold run shows the bar
//   launcher-splash-nobar  the same with the bar turned off, as a build without LUMENIX_SPLASH_PROGRESS
//   bar-draws  the splash shown (not timed), then its bar drawn c_cBarDraws times, each a little longer, as a
//              long first start draws it (at most once every 250 ms); the time is for all of them
// Usage: lx_pack_bench MODE TEMPFOLDER
#include <windows.h>
#include <objidl.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "common/com_ptr.h"
#include "lumenix_splash.h"
#include "pack/content_folder.h"
#include "pack/pack_extraction.h"
#include "splash/splash_progress.h"
#include "splash/splash_window.h"

namespace
{
BYTE g_buffer[65536];
const int c_cBarDraws = 100;

bool DrawBar()
{
    for (int i = 1; i <= c_cBarDraws; ++i)
    {
        if (ShowSplashProgress(i, c_cBarDraws) != S_OK)
            return false;
    }
    return SUCCEEDED(EndSplashProgress());
}

bool WalkBare(IStorage* pStorage, const std::wstring& folder, bool fCopy)
{
    IEnumSTATSTG* pEnum = nullptr;
    if (FAILED(pStorage->EnumElements(0, nullptr, 0, &pEnum)))
        return false;
    bool fOk = true;
    STATSTG stat;
    ULONG uFetched = 0;
    while (fOk && pEnum->Next(1, &stat, &uFetched) == S_OK && uFetched == 1)
    {
        const std::wstring target = folder + L"\\" + stat.pwcsName;
        if (stat.type == STGTY_STORAGE)
        {
            CreateDirectoryW(target.c_str(), nullptr);
            IStorage* pSub = nullptr;
            fOk = SUCCEEDED(pStorage->OpenStorage(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                                  &pSub)) &&
                  WalkBare(pSub, target, fCopy);
            if (pSub)
                pSub->Release();
        }
        else if (stat.type == STGTY_STREAM && !fCopy)
        {
            WIN32_FILE_ATTRIBUTE_DATA attrs;
            GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &attrs);
        }
        else if (stat.type == STGTY_STREAM)
        {
            // A cold start cannot know that the target is missing: it looks before it copies.
            WIN32_FILE_ATTRIBUTE_DATA attrs;
            GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &attrs);
            IStream* pStream = nullptr;
            HANDLE hFile = INVALID_HANDLE_VALUE;
            if (SUCCEEDED(pStorage->OpenStream(stat.pwcsName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &pStream)))
                hFile = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
            fOk = hFile != INVALID_HANDLE_VALUE;
            ULONG ulRead = 0;
            while (fOk && SUCCEEDED(pStream->Read(g_buffer, sizeof(g_buffer), &ulRead)) && ulRead > 0)
            {
                DWORD dwWritten = 0;
                WriteFile(hFile, g_buffer, ulRead, &dwWritten, nullptr);
            }
            if (hFile != INVALID_HANDLE_VALUE)
                CloseHandle(hFile);
            if (pStream)
                pStream->Release();
        }
        CoTaskMemFree(stat.pwcsName);
    }
    pEnum->Release();
    return fOk;
}

bool RunBare(const std::wstring& temp, bool fCold)
{
    // The same depth of folders below TEMP as the launcher's cache folder.
    std::wstring folder = temp;
    for (const wchar_t* pszLevel : {L"\\Corvane", L"\\Lumenix", L"\\v1.1.1.511", L"\\BareWalk"})
    {
        folder += pszLevel;
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    HRSRC hrsrc = FindResourceW(nullptr, MAKEINTRESOURCEW(666), RT_RCDATA);
    if (!hrsrc)
        return false;
    const void* pvPack = LockResource(LoadResource(nullptr, hrsrc));
    const DWORD cbPack = SizeofResource(nullptr, hrsrc);
    const std::wstring pack = folder + L"\\ProductContent.chm";
    if (fCold)
    {
        HANDLE hFile = CreateFileW(pack.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD dwWritten = 0;
        WriteFile(hFile, pvPack, cbPack, &dwWritten, nullptr);
        CloseHandle(hFile);
    }
    else
    {
        WIN32_FILE_ATTRIBUTE_DATA attrs;
        GetFileAttributesExW(pack.c_str(), GetFileExInfoStandard, &attrs);
    }
    CComPtrT<IStorage> oStorage = OpenPackFile(pack.c_str());
    if (!oStorage)
        return false;
    IStorage* pStorage = oStorage.Detach();
    const bool fOk = WalkBare(pStorage, folder, fCold);
    pStorage->Release();
    return fOk;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
    {
        fprintf(stderr, "usage: lx_pack_bench launcher|launcher-splash|launcher-splash-nobar|bar-draws|bare-cold|"
                        "bare-warm|idle|folder TEMPFOLDER\n");
        return 2;
    }
    const std::wstring mode = argv[1];
    const std::wstring temp = argv[2];
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool fSplash = mode == L"launcher-splash" || mode == L"launcher-splash-nobar";
    if (fSplash || mode == L"bar-draws")
    {
        // The bar in the build's colour, as the launcher's entry point sets it.
        SetSplashProgressStyle(mode != L"launcher-splash-nobar", LUMENIX_SPLASH_PROGRESS_RGB);
        if (FAILED(ShowSplashScreen(GetModuleHandleW(nullptr))))
        {
            fprintf(stderr, "lx_pack_bench: the splash could not be shown\n");
            return 1;
        }
    }

    LARGE_INTEGER liStart, liEnd, liFrequency;
    QueryPerformanceFrequency(&liFrequency);
    QueryPerformanceCounter(&liStart);
    bool fOk = false;
    if (mode == L"launcher" || fSplash)
        fOk = !PrepareContentFolder().IsEmpty();
    else if (mode == L"bare-cold" || mode == L"bare-warm")
        fOk = RunBare(temp, mode == L"bare-cold");
    else if (mode == L"bar-draws")
        fOk = DrawBar();
    else if (mode == L"idle")
        fOk = true;
    else if (mode == L"folder")
        fOk = !GetContentCacheFolder().IsEmpty();
    QueryPerformanceCounter(&liEnd);

    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    printf("%ls %s %.3f s peak-working-set %.1f MiB peak-commit %.1f MiB\n", mode.c_str(), fOk ? "ok" : "FAILED",
           static_cast<double>(liEnd.QuadPart - liStart.QuadPart) / static_cast<double>(liFrequency.QuadPart),
           static_cast<double>(counters.PeakWorkingSetSize) / 1048576.0,
           static_cast<double>(counters.PeakPagefileUsage) / 1048576.0);
    return fOk ? 0 : 1;
}

// The real Lumenix.exe with the sample product against a CLR that this project did not write: under Wine, Mono
// built from Debian's source and hosted by Wine's own mscoree.dll (rebuilt with its patch); on Windows, through
// the acceptance kit, Microsoft's. Every run gets a TEMP of its own, so that each starts with an empty content
// cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "process/cache_files.h"
#include "process/two_starts.h"
#include "driver.h"
#include "test_thread.h"
#include "unit/system_text.h"
#include "unit/test_files.h"

namespace
{
const wchar_t c_szBelowTemp[] = L"Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";
const wchar_t c_szStartupFailed[] =
    L"Could not call the startup method on the entry type from the application core assembly.\n";
const wchar_t c_szCoreAssemblyFailed[] =
    L"Could not load the application core assembly \u201CCorvane.Platform.Tessarine.UI.Standalone\u201D.\n";

// A fresh TEMP folder for one run of the launcher, named after the test.
std::wstring TempOfItsOwn(const wchar_t* pszName)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring temp = std::wstring(szTemp) + L"lx-mono-" + pszName;
    CreateDirectoryW(temp.c_str(), nullptr);
    return temp;
}

std::wstring CacheFolder(const std::wstring& temp)
{
    return temp + L"\\" + c_szBelowTemp;
}

CLaunchOptions Options(const std::wstring& temp, const wchar_t* pszExeVariable = L"LUMENIX_EXE")
{
    CLaunchOptions options;
    options.exePath = Environment(pszExeVariable);
    options.environment = {{L"TEMP", temp}, {L"TMP", temp}};
    options.timeoutMs = 90000;
    return options;
}

// A headless run of the product: it writes its report (its domain, its base folder, with LUMENIX_NATIVE its
// native library's answer) to temp\report.txt.
CLaunchResult RunHeadless(const std::wstring& temp, std::vector<std::pair<std::wstring, std::wstring>> extra = {},
                          const wchar_t* pszExeVariable = L"LUMENIX_EXE")
{
    CLaunchOptions options = Options(temp, pszExeVariable);
    options.environment.push_back({L"LUMENIX_HEADLESS", L"1"});
    options.environment.push_back({L"LUMENIX_REPORT", temp + L"\\report.txt"});
    options.environment.insert(options.environment.end(), extra.begin(), extra.end());
    CLaunchResult result;
    RunAndWatch(options, result);
    EXPECT_TRUE(result.started) << "error " << result.startError;
    EXPECT_FALSE(result.timedOut);
    return result;
}

// The report's value for "name: " (UTF-8, as the product wrote it), or "" when it has no such line.
std::string ReportValue(const std::wstring& temp, const std::string& name)
{
    std::string text;
    HANDLE hFile = CreateFileW((temp + L"\\report.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (hFile != INVALID_HANDLE_VALUE)
    {
        char buffer[4096];
        DWORD dwRead = 0;
        while (ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
            text.append(buffer, dwRead);
        CloseHandle(hFile);
    }
    const std::string lead = name + ": ";
    for (size_t at = 0; at < text.size();)
    {
        const size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (line.compare(0, lead.size(), lead) == 0)
            return line.substr(lead.size());
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return "";
}

// Every file below the cache folder, at any depth, with its write time.
std::vector<std::pair<std::wstring, ULONGLONG>> FileTimesBelow(const std::wstring& cache)
{
    std::vector<std::pair<std::wstring, ULONGLONG>> times;
    for (const std::wstring& path : TreeOf(cache, 16))
        if (!(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
            times.push_back({path.substr(cache.size()), WriteTime(path)});
    return times;
}

// The box's text after the launcher's own sentence: the runtime's words for the failure.
std::wstring RuntimeText(const CBoxRecord& box, const wchar_t* pszSentence)
{
    const std::wstring sentence = pszSentence;
    return box.text.compare(0, sentence.size(), sentence) == 0 ? box.text.substr(sentence.size()) : box.text;
}

// After the launcher's sentence, the box gives this machine's system text for the code, then the runtime's own
// description. The runtime's words are its own: they are printed, not compared.
void ExpectSystemTextThenDescription(const CBoxRecord& box, const wchar_t* pszSentence, HRESULT hr)
{
    const std::wstring runtimeText = RuntimeText(box, pszSentence);
    const std::wstring systemPart = ComSystemText(hr) + L"\n";
    EXPECT_EQ(0u, runtimeText.find(systemPart)) << Utf8(runtimeText);
    EXPECT_LT(systemPart.size(), runtimeText.size()) << "no description of the runtime: " << Utf8(runtimeText);
    std::cout << "runtime's text: " << Utf8(runtimeText) << "\n";
}

bool IsShown(HWND hwnd)
{
    return hwnd && IsWindowVisible(hwnd);
}

// The launcher's splash while it is shown, or null.
HWND FindShownSplash()
{
    const HWND hwnd = FindWindowW(L"CorvaneLauncherSplash", nullptr);
    return IsShown(hwnd) ? hwnd : nullptr;
}
} // namespace

// The entry method's int comes back through the real runtime's VARIANT: a non-negative one ends the launcher with
// 0, a negative one is its exit code.
TEST(RealRuntime, ProductResultBecomesTheExitCode)
{
    const std::wstring temp = TempOfItsOwn(L"exit-codes");
    const CLaunchResult headless = RunHeadless(temp);
    EXPECT_TRUE(headless.boxes.empty()) << Utf8(headless.boxes.empty() ? L"" : headless.boxes[0].text);
    EXPECT_EQ(0u, headless.exitCode);

    const CLaunchResult negative = RunHeadless(temp, {{L"LUMENIX_EXIT_CODE", L"-5"}});
    EXPECT_TRUE(negative.boxes.empty());
    EXPECT_EQ(0xFFFFFFFBu, negative.exitCode);
}

TEST(RealRuntime, ProductRunsInTheEntrywayDomainOverTheCacheFolder)
{
    const std::wstring temp = TempOfItsOwn(L"domain");
    const CLaunchResult result = RunHeadless(temp);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("Entryway", ReportValue(temp, "domain"));
    EXPECT_EQ(Utf8(CacheFolder(temp)), ReportValue(temp, "base"));
}

// The road the launcher takes is the hosting library's to offer. The one of a machine with only the CLR 2.0
// generation (LX_EXPECTED_ROAD=v2) has no CLRCreateInstance, and its GetCORVersion names the runtime it binds;
// the one of the .NET Framework 4 has the export. GetCORVersion is asked only of the former: on a machine with the
// .NET Framework 4 alone, the old export may offer to install the older framework.
TEST(RealRuntime, HostingLibraryOffersTheRoadOfItsGeneration)
{
    wchar_t szSystem[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(szSystem, MAX_PATH));
    const HMODULE hmod = LoadLibraryW((std::wstring(szSystem) + L"\\mscoree.dll").c_str());
    ASSERT_NE(nullptr, hmod) << "error " << GetLastError();
    const bool fClr2Machine = Environment(L"LX_EXPECTED_ROAD") == L"v2";
    EXPECT_EQ(!fClr2Machine, GetProcAddress(hmod, "CLRCreateInstance") != nullptr);
    EXPECT_NE(nullptr, GetProcAddress(hmod, "CorBindToRuntimeEx"));
    if (fClr2Machine)
    {
        using PFN_GetCORVersion = HRESULT(WINAPI*)(LPWSTR, DWORD, DWORD*);
        const auto pfnGetCORVersion = reinterpret_cast<PFN_GetCORVersion>(
            reinterpret_cast<void*>(GetProcAddress(hmod, "GetCORVersion")));
        ASSERT_NE(nullptr, pfnGetCORVersion);
        wchar_t szVersion[256] = {};
        DWORD cchVersion = 0;
        ASSERT_EQ(S_OK, pfnGetCORVersion(szVersion, ARRAYSIZE(szVersion), &cchVersion));
        EXPECT_EQ(L'v', szVersion[0]) << Utf8(szVersion);
        std::cout << "GetCORVersion: " << Utf8(szVersion) << "\n";
    }
}

// The pack's native library and its dependency load by name from the cache folder through [DllImport], under
// the launcher's narrowed DLL search.
TEST(RealRuntime, NativeLibraryOfThePackLoadsThroughDllImport)
{
    const std::wstring temp = TempOfItsOwn(L"native");
    const CLaunchResult result = RunHeadless(temp, {{L"LUMENIX_NATIVE", L"1"}}, L"LUMENIX_NATIVE_PACK_EXE");
    EXPECT_TRUE(result.boxes.empty()) << Utf8(result.boxes.empty() ? L"" : result.boxes[0].text);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("42", ReportValue(temp, "native"));
}

TEST(RealRuntime, SecondStartRewritesNothing)
{
    const std::wstring temp = TempOfItsOwn(L"second-start");
    EXPECT_EQ(0u, RunHeadless(temp).exitCode);
    const std::vector<ULONGLONG> first = CacheTimes(CacheFolder(temp));
    for (ULONGLONG time : first)
        EXPECT_NE(0u, time);
    Sleep(1100);
    EXPECT_EQ(0u, RunHeadless(temp).exitCode);
    EXPECT_EQ(first, CacheTimes(CacheFolder(temp)));
}

// An exception of the product passes through the entry method: the startup box, with the description of the
// error information that the runtime set for the call, and the runtime's HRESULT for an exception thrown by an
// invoked method.
TEST(RealRuntime, ManagedExceptionIsToldAsTheStartupFailure)
{
    const std::wstring temp = TempOfItsOwn(L"exception");
    const CLaunchResult result = RunHeadless(temp, {{L"LUMENIX_THROW", L"Boom from the product"}});
    EXPECT_EQ(0x80131604u, result.exitCode); // COR_E_TARGETINVOCATION
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(0u, result.boxes[0].text.find(c_szStartupFailed)) << Utf8(result.boxes[0].text);
    ExpectSystemTextThenDescription(result.boxes[0], c_szStartupFailed, static_cast<HRESULT>(0x80131604));
}

TEST(RealRuntime, CoreAssemblyMissingFromThePackIsTold)
{
    const std::wstring temp = TempOfItsOwn(L"without-core");
    const CLaunchResult result = RunHeadless(temp, {}, L"LUMENIX_WITHOUT_CORE_EXE");
    EXPECT_EQ(0x80070002u, result.exitCode); // COR_E_FILENOTFOUND
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(0u, result.boxes[0].text.find(c_szCoreAssemblyFailed)) << Utf8(result.boxes[0].text);
    ExpectSystemTextThenDescription(result.boxes[0], c_szCoreAssemblyFailed, static_cast<HRESULT>(0x80070002));
}

// The windowed product: the splash shows, the managed side closes it, the product's window shows (a screenshot of
// it is kept in the test's output folder), and closing it as a user would ends the launcher with 0.
TEST(RealRuntime, WindowedProductTakesOverFromTheSplash)
{
    CLaunchOptions options = Options(TempOfItsOwn(L"windowed"));
    options.closeWindowCaption = L"Lumenix";
    options.screenshotPath = Environment(L"LX_OUTPUT_DIR") + L"\\product-window.png";
    DeleteFileW(options.screenshotPath.c_str());
    CLaunchResult result;
    std::atomic<bool> fDone(false);
    CTestThread runner([&]() {
        RunAndWatch(options, result);
        fDone = true;
    });

    HWND hwndSplash = nullptr;
    // The launcher never closes the splash: gone while the product's window shows, the managed side closed it.
    bool fSplashGoneUnderTheProduct = false;
    while (!fDone)
    {
        if (!hwndSplash)
            hwndSplash = FindShownSplash();
        else if (!fSplashGoneUnderTheProduct && !IsWindow(hwndSplash))
            fSplashGoneUnderTheProduct = IsShown(FindWindowW(nullptr, L"Lumenix"));
        Sleep(20);
    }
    runner.Join();

    EXPECT_NE(nullptr, hwndSplash) << "the splash never showed";
    EXPECT_TRUE(fSplashGoneUnderTheProduct) << "the splash was not closed while the product ran";
    EXPECT_TRUE(result.windowClosed) << "the product's window never showed";
    EXPECT_TRUE(result.screenshotTaken);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.boxes.empty()) << Utf8(result.boxes.empty() ? L"" : result.boxes[0].text);
    EXPECT_EQ(0u, result.exitCode);
}

// The product as it ships with sub-folders (LumenixShipped.exe): run in German, it finds its satellite through the
// runtime's own culture probing below the base, loads its native library by its path there (the library's
// dependency from the same folder), and reads its deepest data file and the one with letters beyond ASCII.
TEST(RealRuntime, ShippedProductFindsWhatItsSubfoldersHold)
{
    const std::wstring temp = TempOfItsOwn(L"shipped");
    const CLaunchResult german =
        RunHeadless(temp, {{L"LUMENIX_UI_CULTURE", L"de"}, {L"LUMENIX_SUBFOLDERS", L"1"}}, L"LUMENIX_SHIPPED_EXE");
    EXPECT_TRUE(german.boxes.empty()) << Utf8(german.boxes.empty() ? L"" : german.boxes[0].text);
    EXPECT_EQ(0u, german.exitCode);
    EXPECT_EQ(Utf8(L"Lumenix von Corvane l\u00E4uft. Gr\u00FC\u00DFe!"), ReportValue(temp, "greeting"));
    EXPECT_EQ("42", ReportValue(temp, "native by path"));
    EXPECT_EQ("Tiles of Europe, four folders down", ReportValue(temp, "deep"));
    EXPECT_EQ(Utf8(L"Stra\u00DFenverzeichnis M\u00FCnchen"), ReportValue(temp, "overview"));

    // A culture without a satellite falls back to the texts in Lumenix.dll.
    EXPECT_EQ(0u, RunHeadless(temp, {{L"LUMENIX_UI_CULTURE", L"fr"}}, L"LUMENIX_SHIPPED_EXE").exitCode);
    EXPECT_EQ("Lumenix by Corvane is running.", ReportValue(temp, "greeting"));
}

TEST(RealRuntime, SecondStartRewritesNothingInTheNestedTree)
{
    const std::wstring temp = TempOfItsOwn(L"shipped-second-start");
    const std::wstring cache = CacheFolder(temp);
    EXPECT_EQ(0u, RunHeadless(temp, {}, L"LUMENIX_SHIPPED_EXE").exitCode);
    const std::vector<std::pair<std::wstring, ULONGLONG>> first = FileTimesBelow(cache);
    // The pack, the two assemblies, the satellite, two native libraries and two data files.
    EXPECT_EQ(8u, first.size());
    EXPECT_NE(first.end(), std::find_if(first.begin(), first.end(), [](const auto& file) {
                  return file.first == L"\\data\\maps\\europe\\tiles\\index.txt";
              }));
    Sleep(1100);
    EXPECT_EQ(0u, RunHeadless(temp, {}, L"LUMENIX_SHIPPED_EXE").exitCode);
    EXPECT_EQ(first, FileTimesBelow(cache));
}

// Two first starts at once on the nested pack, as a double click on a slow start gives, each on the machine's own
// CLR: both end well, without a box, and leave the tree that one start alone leaves. No report: both would write
// the same file.
TEST(RealRuntime, TwoFirstStartsAtOnceOnTheNestedPackBothEndWell)
{
    const auto runQuietly = [](const std::wstring& temp) {
        CLaunchOptions options = Options(temp, L"LUMENIX_SHIPPED_EXE");
        options.environment.push_back({L"LUMENIX_HEADLESS", L"1"});
        CLaunchResult result;
        RunAndWatch(options, result);
        EXPECT_TRUE(result.started) << "error " << result.startError;
        EXPECT_FALSE(result.timedOut);
        return result;
    };
    const std::wstring alone = TempOfItsOwn(L"shipped-alone");
    ASSERT_EQ(0u, runQuietly(alone).exitCode);
    const std::wstring aloneCache = CacheFolder(alone);
    const std::vector<std::wstring> aloneTree = TreeOf(aloneCache, 16);
    ASSERT_FALSE(aloneTree.empty());

    for (int iRound = 0; iRound < 3; ++iRound)
    {
        const std::wstring temp = TempOfItsOwn((L"shipped-together" + std::to_wstring(iRound)).c_str());
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(CacheFolder(temp).c_str())) << "no first start";
        ASSERT_NO_FATAL_FAILURE(
            ExpectTwoStartsAtOnceLikeOne(runQuietly, temp, CacheFolder(temp), aloneCache, aloneTree, iRound));
    }
}

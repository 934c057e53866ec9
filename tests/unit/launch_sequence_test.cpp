// The launch sequence on a qualifying system, with the splash and the runtime loading stood in for.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/com_error.h"
#include "launcher/errors.h"
#include "launcher/launch_sequence.h"
#include "msgbox_recorder.h"
#include "unit/fakes/fake_steps.h"
#include "unit/import_patch.h"

namespace
{
const HINSTANCE c_hinstTest = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x400000));

HRESULT RunWithClr(std::function<void()> onLoadAndRun, HRESULT hrLoadAndRun = S_OK)
{
    g_fakeSteps = CFakeSteps();
    g_fakeSteps.onLoadAndRun = std::move(onLoadAndRun);
    g_fakeSteps.hrLoadAndRun = hrLoadAndRun;
    return RunLaunchSequence(c_hinstTest, L"--ignored /args", SW_SHOWNORMAL);
}

// The version that the test names, as GetVersionExW reports it; the size field the caller set is kept.
DWORD g_dwPlatformId = VER_PLATFORM_WIN32_NT;
DWORD g_dwMajor = 10;
DWORD g_dwMinor = 0;
DWORD g_cbVersionInfo = 0;
BOOL WINAPI ReportVersion(LPOSVERSIONINFOW pInfo)
{
    g_cbVersionInfo = pInfo->dwOSVersionInfoSize;
    pInfo->dwMajorVersion = g_dwMajor;
    pInfo->dwMinorVersion = g_dwMinor;
    pInfo->dwBuildNumber = 19045;
    pInfo->dwPlatformId = g_dwPlatformId;
    return TRUE;
}

// The order of the platform calls that a refusal and a start make.
std::vector<std::wstring> g_platformCalls;
int WINAPI RecordMessageBox(HWND, LPCWSTR, LPCWSTR, UINT)
{
    g_platformCalls.push_back(L"MessageBoxW");
    return IDOK;
}
void* g_pfnCoInitializeEx = nullptr;
HRESULT WINAPI RecordCoInitializeEx(LPVOID pvReserved, DWORD dwCoInit)
{
    g_platformCalls.push_back(L"CoInitializeEx");
    return reinterpret_cast<decltype(&CoInitializeEx)>(g_pfnCoInitializeEx)(pvReserved, dwCoInit);
}
} // namespace

TEST(OsVersionCheck, OnlyTheNtPlatformPassesWhateverTheVersionSays)
{
    CImportPatch patch("kernel32.dll", "GetVersionExW", reinterpret_cast<void*>(&ReportVersion));
    ASSERT_TRUE(patch.IsPatched());
    CMessageBoxRecorder recorder;
    for (DWORD dwPlatformId : {0ul, 1ul, 3ul}) // Win32s, Windows 9x, Windows CE
    {
        g_dwPlatformId = dwPlatformId;
        EXPECT_EQ(E_ABORT, CheckOsVersion()) << dwPlatformId;
    }
    EXPECT_EQ(3u, recorder.Boxes().size());
    g_dwPlatformId = VER_PLATFORM_WIN32_NT;
    EXPECT_EQ(S_OK, CheckOsVersion());
    EXPECT_EQ(3u, recorder.Boxes().size());
    EXPECT_EQ(276u, g_cbVersionInfo);
}

// NT 5.1 is the lowest that passes, 5.0 the highest refused; the numbers compare unsigned.
TEST(OsVersionCheck, NtFivePointOneIsTheLowestThatPasses)
{
    CImportPatch patch("kernel32.dll", "GetVersionExW", reinterpret_cast<void*>(&ReportVersion));
    ASSERT_TRUE(patch.IsPatched());
    g_dwPlatformId = VER_PLATFORM_WIN32_NT;
    const struct
    {
        DWORD dwMajor, dwMinor;
        HRESULT hr;
    } c_cases[] = {{5, 0, E_ABORT}, {5, 1, S_OK}, {4, 90, E_ABORT}, {6, 0, S_OK}, {0x80000000u, 0, S_OK}};
    CMessageBoxRecorder recorder;
    for (const auto& test : c_cases)
    {
        g_dwMajor = test.dwMajor;
        g_dwMinor = test.dwMinor;
        EXPECT_EQ(test.hr, CheckOsVersion()) << test.dwMajor << "." << test.dwMinor;
    }
    EXPECT_EQ(2u, recorder.Boxes().size());
}

// The refusal comes before COM is initialised: a refused start never initialises it at all.
TEST(LaunchSequence, RefusalIsToldBeforeComIsInitialised)
{
    CImportPatch version("kernel32.dll", "GetVersionExW", reinterpret_cast<void*>(&ReportVersion));
    CImportPatch box("user32.dll", "MessageBoxW", reinterpret_cast<void*>(&RecordMessageBox));
    CImportPatch com("ole32.dll", "CoInitializeEx", reinterpret_cast<void*>(&RecordCoInitializeEx));
    ASSERT_TRUE(version.IsPatched() && box.IsPatched() && com.IsPatched());
    g_pfnCoInitializeEx = com.Original();
    g_dwPlatformId = VER_PLATFORM_WIN32_NT;
    g_dwMajor = 5;
    for (const DWORD dwMinor : {0ul, 1ul})
    {
        g_dwMinor = dwMinor;
        g_platformCalls.clear();
        g_fakeSteps = CFakeSteps();
        const HRESULT hr = RunLaunchSequence(c_hinstTest, L"", SW_SHOWNORMAL);
        if (dwMinor == 0)
        {
            EXPECT_EQ(E_ABORT, hr);
            EXPECT_EQ(std::vector<std::wstring>{L"MessageBoxW"}, g_platformCalls);
            EXPECT_TRUE(g_fakeSteps.calls.empty());
        }
        else
        {
            EXPECT_EQ(S_OK, hr);
            EXPECT_EQ(std::vector<std::wstring>{L"CoInitializeEx"}, g_platformCalls);
            EXPECT_EQ(2u, g_fakeSteps.calls.size());
        }
    }
}

TEST(LaunchSequence, StartsTheSplashInAnStaThenLoadsTheClr)
{
    EXPECT_EQ(S_OK, RunWithClr(nullptr));
    ASSERT_EQ(2u, g_fakeSteps.calls.size());
    EXPECT_EQ(L"ShowSplashScreen", g_fakeSteps.calls[0]);
    EXPECT_EQ(L"LoadAndRunClr", g_fakeSteps.calls[1]);
    EXPECT_EQ(c_hinstTest, g_fakeSteps.hinstSplash);
    EXPECT_EQ(APTTYPE_MAINSTA, g_fakeSteps.aptTypeAtSplash);
}

TEST(LaunchSequence, SplashFailureDoesNotStopTheLaunch)
{
    g_fakeSteps = CFakeSteps();
    g_fakeSteps.hrSplash = E_FAIL;
    g_fakeSteps.hrLoadAndRun = S_OK;
    EXPECT_EQ(S_OK, RunLaunchSequence(c_hinstTest, L"", SW_SHOWNORMAL));
    EXPECT_EQ(2u, g_fakeSteps.calls.size());
}

TEST(LaunchSequence, NonNegativeResultsOfTheRunBecomeSuccess)
{
    EXPECT_EQ(S_OK, RunWithClr(nullptr, S_FALSE));
    EXPECT_EQ(S_OK, RunWithClr(nullptr, 42));
    EXPECT_EQ(S_OK, RunWithClr(nullptr, 0x7FFFFFFF));
}

TEST(LaunchSequence, FailureOfTheRunIsTheResult)
{
    EXPECT_EQ(E_NOINTERFACE, RunWithClr(nullptr, E_NOINTERFACE));
    EXPECT_EQ(static_cast<HRESULT>(0x80131700), RunWithClr(nullptr, static_cast<HRESULT>(0x80131700)));
    EXPECT_EQ(-1, RunWithClr(nullptr, -1));
    EXPECT_EQ(static_cast<HRESULT>(0x80000000), RunWithClr(nullptr, static_cast<HRESULT>(0x80000000)));
}

TEST(LaunchSequence, ComAlreadyInitialisedOnTheThreadIsNoFailure)
{
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    EXPECT_EQ(S_OK, RunWithClr(nullptr));
    EXPECT_EQ(2u, g_fakeSteps.calls.size());
}

TEST(LaunchSequence, ComInitialisationFailureEndsTheLaunchQuietly)
{
    // The thread is already a multi-threaded apartment: an STA cannot be had.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, RunWithClr(nullptr));
    EXPECT_TRUE(g_fakeSteps.calls.empty());
}

TEST(LaunchSequenceGuard, ThrownIntegersBecomeTheResultAndZeroBecomesFail)
{
    EXPECT_EQ(E_FAIL, RunWithClr([] { throw 0; }));
    EXPECT_EQ(E_ACCESSDENIED, RunWithClr([] { throw static_cast<int>(E_ACCESSDENIED); }));
    EXPECT_EQ(static_cast<HRESULT>(0x8007000E), RunWithClr([] { throw 0x8007000Eu; }));
    EXPECT_EQ(E_FAIL, RunWithClr([] { throw 0u; }));
}

TEST(LaunchSequenceGuard, HresultExceptionCarriesItsValueAndZeroBecomesFail)
{
    EXPECT_EQ(E_FAIL, RunWithClr([] { throw CHresultException(S_OK); }));
    EXPECT_EQ(E_ABORT, RunWithClr([] { throw CHresultException(E_ABORT); }));
}

TEST(LaunchSequenceGuard, OtherExceptionsNeverEndInSuccess)
{
    EXPECT_EQ(DISP_E_TYPEMISMATCH, RunWithClr([] { IssueComError(DISP_E_TYPEMISMATCH); }));
    EXPECT_EQ(E_FAIL, RunWithClr([] { IssueComError(S_OK); }));
    EXPECT_EQ(E_OUTOFMEMORY, RunWithClr([] { throw std::bad_alloc(); }));
    EXPECT_EQ(E_UNEXPECTED, RunWithClr([] { throw std::runtime_error("managed host exploded"); }));
    EXPECT_EQ(E_UNEXPECTED, RunWithClr([] { throw 1.5; }));
}

TEST(Win32Codes, BecomeHresultsByTheStandardRule)
{
    EXPECT_EQ(S_OK, HresultFromWin32(0));
    EXPECT_EQ(static_cast<HRESULT>(0x80070002), HresultFromWin32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(static_cast<HRESULT>(0x800700CE), HresultFromWin32(ERROR_FILENAME_EXCED_RANGE));
    EXPECT_EQ(E_FAIL, HresultFromWin32(static_cast<DWORD>(E_FAIL)));
    // Past 0 the rule starts; only the low 16 bits of a code are kept.
    EXPECT_EQ(static_cast<HRESULT>(0x80070001), HresultFromWin32(1));
    EXPECT_EQ(static_cast<HRESULT>(0x8007FFFF), HresultFromWin32(0xFFFF));
    EXPECT_EQ(static_cast<HRESULT>(0x80070000), HresultFromWin32(0x10000));
    EXPECT_EQ(static_cast<HRESULT>(0x8007FFFF), HresultFromWin32(0x7FFFFFFF));
    EXPECT_EQ(static_cast<HRESULT>(0x80000000), HresultFromWin32(0x80000000));
}

// Loading the hosting library and choosing the road. The test process stands the stand-in library in for the
// system's: its loads of the system folder's mscoree.dll are answered with a stand-in variant, and every library
// load of the code under test is recorded.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clrhost/clr_loader.h"
#include "msgbox_recorder.h"
#include "tests/standin/fake_assembly.h"
#include "unit/import_patch.h"
#include "unit/scratch_registry.h"
#include "unit/standin_session.h"
#include "unit/system_text.h"

namespace
{
const wchar_t c_szRequirementsCaption[] = L"Lumenix \u2013 .NET Runtime Requirements";
const std::wstring c_happyBase = L"defaultDomain.base={folder}\n";

using PFN_LoadLibraryW = HMODULE(WINAPI*)(LPCWSTR);
using PFN_LoadLibraryExW = HMODULE(WINAPI*)(LPCWSTR, HANDLE, DWORD);

std::wstring SystemMscoreePath()
{
    wchar_t szSystem[MAX_PATH] = {};
    GetSystemDirectoryW(szSystem, MAX_PATH);
    return std::wstring(szSystem) + L"\\mscoree.dll";
}

// While it lives, the executable's LoadLibraryW and LoadLibraryExW answer a load of the system folder's
// mscoree.dll (by its bare name limited to the system folder, or by its full path) with a stand-in variant, and
// pass every other load on. Each call is recorded as "LoadLibraryW NAME" or "LoadLibraryExW NAME FLAGS".
class CHostingLibraryRedirect
{
public:
    explicit CHostingLibraryRedirect(const wchar_t* pszVariant)
        : m_variantPath(CStandinSession::VariantPath(pszVariant)),
          m_loadLibrary("kernel32.dll", "LoadLibraryW", reinterpret_cast<void*>(&LoadLibraryWRedirected)),
          m_loadLibraryEx("kernel32.dll", "LoadLibraryExW", reinterpret_cast<void*>(&LoadLibraryExWRedirected))
    {
        EXPECT_TRUE(m_loadLibrary.IsPatched() && m_loadLibraryEx.IsPatched());
        s_pActive = this;
    }
    ~CHostingLibraryRedirect() { s_pActive = nullptr; }
    CHostingLibraryRedirect(const CHostingLibraryRedirect&) = delete;
    CHostingLibraryRedirect& operator=(const CHostingLibraryRedirect&) = delete;

    const std::vector<std::wstring>& Loads() const { return m_loads; }

private:
    static HMODULE WINAPI LoadLibraryWRedirected(LPCWSTR pszName)
    {
        CHostingLibraryRedirect& self = *s_pActive;
        self.m_loads.push_back(std::wstring(L"LoadLibraryW ") + pszName);
        const auto pfnOriginal = reinterpret_cast<PFN_LoadLibraryW>(self.m_loadLibrary.Original());
        if (lstrcmpiW(pszName, SystemMscoreePath().c_str()) == 0)
            return pfnOriginal(self.m_variantPath.c_str());
        return pfnOriginal(pszName);
    }

    static HMODULE WINAPI LoadLibraryExWRedirected(LPCWSTR pszName, HANDLE hFile, DWORD dwFlags)
    {
        CHostingLibraryRedirect& self = *s_pActive;
        self.m_loads.push_back(std::wstring(L"LoadLibraryExW ") + pszName + L" " + std::to_wstring(dwFlags));
        const auto pfnOriginal = reinterpret_cast<PFN_LoadLibraryExW>(self.m_loadLibraryEx.Original());
        const bool fSystemFolderOnly = (dwFlags & LOAD_LIBRARY_SEARCH_SYSTEM32) == dwFlags && dwFlags != 0;
        if ((fSystemFolderOnly && lstrcmpiW(pszName, L"mscoree.dll") == 0) ||
            lstrcmpiW(pszName, SystemMscoreePath().c_str()) == 0)
            return pfnOriginal(self.m_variantPath.c_str(), hFile, 0);
        return pfnOriginal(pszName, hFile, dwFlags);
    }

    static CHostingLibraryRedirect* s_pActive;
    std::wstring m_variantPath;
    std::vector<std::wstring> m_loads;
    CImportPatch m_loadLibrary;
    CImportPatch m_loadLibraryEx;
};
CHostingLibraryRedirect* CHostingLibraryRedirect::s_pActive = nullptr;

struct CLoadRun
{
    HRESULT hr = S_OK;
    std::vector<CBoxRecord> boxes;
    std::vector<std::wstring> loads; // the library loads of the code under test, in order
};

CLoadRun RunLoader(CStandinSession& session, const wchar_t* pszVariant, std::vector<int> answers = {IDNO, IDCANCEL})
{
    WriteFakeAssembly((session.Folder() + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll").c_str());
    CHostingLibraryRedirect redirect(pszVariant);
    CLoadRun run;
    CMessageBoxRecorder recorder(std::move(answers));
    run.hr = LoadAndRunClr();
    run.boxes = recorder.Boxes();
    run.loads = redirect.Loads();
    return run;
}

int g_cRegistryOpens = 0;
LSTATUS WINAPI CountOpen(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY)
{
    ++g_cRegistryOpens;
    return ERROR_ACCESS_DENIED;
}
} // namespace

TEST(ClrLoading, V4RoadRunsTheApplicationWithoutLookingAtTheRegistry)
{
    CStandinSession session(c_happyBase + L"entry.return=VT_I4:3");
    CImportPatch patch("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&CountOpen));
    ASSERT_TRUE(patch.IsPatched());
    g_cRegistryOpens = 0;
    const CLoadRun run = RunLoader(session, L"full");
    EXPECT_EQ(3, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(0, g_cRegistryOpens);
    EXPECT_FALSE(session.WasCalled("GetCORVersion"));
    EXPECT_TRUE(session.WasCalled("Stop"));
    EXPECT_EQ(0, session.LiveObjects());
}

TEST(ClrLoading, ErrorModeHoldsAfterTheRun)
{
    SetErrorMode(0);
    CStandinSession session(c_happyBase);
    RunLoader(session, L"full");
    EXPECT_EQ(static_cast<UINT>(SEM_FAILCRITICALERRORS), GetErrorMode() & SEM_FAILCRITICALERRORS);
    // Set before the hosting library is loaded, and still in force while the application runs.
    const std::vector<std::string> lines = session.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("load", JsonText(lines[0], "method"));
    EXPECT_NE(std::string::npos, lines[0].find("\"errorMode\":1}")) << lines[0];
    EXPECT_NE(std::string::npos, session.FirstCall("InvokeMember_3").find("\"errorMode\":1}"))
        << session.FirstCall("InvokeMember_3");
}

TEST(ClrLoading, V4FailureNeverFallsBackToV2)
{
    CStandinSession session(c_happyBase + L"Next.failAt=0\nNext.hr=0x80004005");
    const CLoadRun run = RunLoader(session, L"full");
    EXPECT_EQ(E_FAIL, run.hr);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(0u, run.boxes[0].text.find(L"There were problems loading the Common Language Runtime through v4 interfaces."));
    EXPECT_FALSE(session.WasCalled("GetCORVersion"));
    EXPECT_FALSE(session.WasCalled("Start"));
}

TEST(ClrLoading, OldRuntimesOnTheV4RoadNeverFallBackToV2)
{
    CStandinSession session(c_happyBase + L"runtime=v1.1.4322");
    const CLoadRun run = RunLoader(session, L"full");
    EXPECT_EQ(E_FAIL, run.hr);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, run.boxes[0].caption);
    EXPECT_FALSE(session.WasCalled("GetCORVersion"));
}

TEST(ClrLoading, NotImplementedV4InterfacesTakeTheV2Road)
{
    CStandinSession session(c_happyBase + L"CLRCreateInstance=E_NOTIMPL\nGetCORVersion=v4.0.30319");
    const CLoadRun run = RunLoader(session, L"full");
    EXPECT_EQ(0, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ("v4.0.30319", JsonText(session.FirstCall("CorBindToRuntime"), "version"));
    EXPECT_TRUE(session.WasCalled("Stop"));
}

TEST(ClrLoading, LibraryWithoutV4ExportTakesTheV2RoadSilently)
{
    CStandinSession session(c_happyBase + L"GetCORVersion=v4.0.30319\nentry.return=VT_I4:-7");
    const CLoadRun run = RunLoader(session, L"v2");
    EXPECT_EQ(-7, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(session.WasCalled("CorBindToRuntime"));
}

TEST(ClrLoading, NoRoadAtAllShowsTheRequirementsDialogWithNothingFound)
{
    CStandinSession session(c_happyBase);
    const CLoadRun run = RunLoader(session, L"none");
    EXPECT_EQ(E_FAIL, run.hr);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, run.boxes[0].caption);
    EXPECT_EQ(std::wstring::npos, run.boxes[0].text.find(L"Maximum"));
}

TEST(ClrLoading, MissingBindExportShowsItsBoxThenTheRequirementsDialog)
{
    CStandinSession session(c_happyBase);
    const CLoadRun run = RunLoader(session, L"nobind");
    EXPECT_EQ(E_FAIL, run.hr);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_EQ(ReportText(L"There were problems loading the Common Language Runtime through v2 interfaces.\n\n"
                         L"MsCorEE is missing the CorBindToRuntime exported function.",
                         E_NOINTERFACE),
              run.boxes[0].text);
    EXPECT_EQ(c_szRequirementsCaption, run.boxes[1].caption);
    EXPECT_EQ(std::wstring::npos, run.boxes[1].text.find(L"Maximum"));
}

TEST(ClrLoading, V2RuntimeWithOutdatedFrameworkMayRetry)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.0", L"3.0.30729.4926");
    CStandinSession session(c_happyBase + L"GetCORVersion=v2.0.50727\nentry.return=VT_I4:9");
    const CLoadRun run = RunLoader(session, L"v2", {IDNO, IDRETRY});
    EXPECT_EQ(9, run.hr);
    ASSERT_EQ(2u, run.boxes.size());
    EXPECT_NE(std::wstring::npos, run.boxes[0].text.find(L"Maximum .NET Framework version found: 3.0.30729.4926.\n"));
    EXPECT_NE(std::wstring::npos, run.boxes[0].text.find(L"Maximum CLR version found: 2.0.50727.0.\n"));
    EXPECT_EQ(0x35u, run.boxes[1].style);
}

TEST(ClrLoading, V2RuntimeWithOutdatedFrameworkDeclinedNeverStarts)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.0", L"3.0.30729.4926");
    CStandinSession session(c_happyBase + L"GetCORVersion=v2.0.50727");
    const CLoadRun run = RunLoader(session, L"v2", {IDNO, IDCANCEL});
    EXPECT_EQ(E_ABORT, run.hr);
    EXPECT_EQ(2u, run.boxes.size());
    EXPECT_FALSE(session.WasCalled("Start"));
    EXPECT_EQ(0, session.LiveObjects());
}

TEST(ClrLoading, V2RuntimeWithFramework35Runs)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.5", L"3.5.30729.4926");
    CStandinSession session(c_happyBase + L"GetCORVersion=v2.0.50727");
    const CLoadRun run = RunLoader(session, L"v2");
    EXPECT_EQ(0, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(session.WasCalled("Stop"));
}

// The only load asks for the system folder alone: a mscoree.dll in the current directory is never looked at.
TEST(ClrLoading, HostingLibraryInTheCurrentDirectoryIsNotLoaded)
{
    CStandinSession session(c_happyBase);
    // A library without any road, planted in the current directory, would end in the requirements dialog.
    ASSERT_TRUE(CopyFileW(CStandinSession::VariantPath(L"none").c_str(), (session.Folder() + L"\\mscoree.dll").c_str(),
                          FALSE));
    SetCurrentDirectoryW(session.Folder().c_str());
    const CLoadRun run = RunLoader(session, L"full");
    EXPECT_EQ(0, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"LoadLibraryExW mscoree.dll " + std::to_wstring(LOAD_LIBRARY_SEARCH_SYSTEM32)},
              run.loads);
    wchar_t szLoaded[MAX_PATH] = {};
    GetModuleFileNameW(GetModuleHandleW(L"mscoree.dll"), szLoaded, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiW(szLoaded, CStandinSession::VariantPath(L"full").c_str())) << szLoaded;
}

namespace
{
using PFN_GetProcAddress = FARPROC(WINAPI*)(HMODULE, LPCSTR);
PFN_GetProcAddress g_pfnGetProcAddress = nullptr;

// As kernel32 answers without AddDllDirectory (Windows 7 without KB2533623, and older systems).
FARPROC WINAPI HideAddDllDirectory(HMODULE hmod, LPCSTR pszName)
{
    if (reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF && lstrcmpA(pszName, "AddDllDirectory") == 0)
        return nullptr;
    return g_pfnGetProcAddress(hmod, pszName);
}
} // namespace

// Without AddDllDirectory the search cannot be limited to the system folder: the library is named by its full
// path there.
TEST(ClrLoading, WithoutAddDllDirectoryTheHostingLibraryIsLoadedByItsSystemPath)
{
    CStandinSession session(c_happyBase);
    ASSERT_TRUE(CopyFileW(CStandinSession::VariantPath(L"none").c_str(), (session.Folder() + L"\\mscoree.dll").c_str(),
                          FALSE));
    SetCurrentDirectoryW(session.Folder().c_str());
    CImportPatch getProcAddress("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&HideAddDllDirectory));
    ASSERT_TRUE(getProcAddress.IsPatched());
    g_pfnGetProcAddress = reinterpret_cast<PFN_GetProcAddress>(getProcAddress.Original());

    const CLoadRun run = RunLoader(session, L"full");
    EXPECT_EQ(0, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(std::vector<std::wstring>{L"LoadLibraryW " + SystemMscoreePath()}, run.loads);
}

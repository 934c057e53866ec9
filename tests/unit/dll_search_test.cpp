// The DLL search through a seam: GetProcAddress hands out recording stand-ins for SetDefaultDllDirectories and
// AddDllDirectory, or nothing, as on Windows 7 without KB2533623 and older systems.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/dll_search.h"
#include "unit/import_patch.h"

namespace
{
using PFN_GetProcAddress = FARPROC(WINAPI*)(HMODULE, LPCSTR);

const wchar_t c_szCacheFolder[] = L"C:\\Users\\me\\Temp\\Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";

PFN_GetProcAddress g_pfnGetProcAddress = nullptr;
bool g_fHideSetDefault = false;
bool g_fHideAdd = false;
std::vector<std::wstring> g_calls;

BOOL WINAPI RecordSetDefaultDllDirectories(DWORD dwFlags)
{
    g_calls.push_back(L"SetDefaultDllDirectories(" + std::to_wstring(dwFlags) + L")");
    return TRUE;
}

void* WINAPI RecordAddDllDirectory(const wchar_t* pszFolder)
{
    g_calls.push_back(std::wstring(L"AddDllDirectory(") + pszFolder + L")");
    return reinterpret_cast<void*>(1);
}

BOOL WINAPI RecordSetDllDirectoryW(const wchar_t* pszFolder)
{
    g_calls.push_back(std::wstring(L"SetDllDirectoryW(") + (pszFolder ? pszFolder : L"null") + L")");
    return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE hmod, LPCSTR pszName)
{
    const bool fByName = reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF;
    if (fByName && strcmp(pszName, "SetDefaultDllDirectories") == 0)
        return g_fHideSetDefault ? nullptr : reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordSetDefaultDllDirectories));
    if (fByName && strcmp(pszName, "AddDllDirectory") == 0)
        return g_fHideAdd ? nullptr : reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&RecordAddDllDirectory));
    return g_pfnGetProcAddress(hmod, pszName);
}

// The launcher's two steps with the functions the system offers, as the calls they made.
class CDllSearchRun
{
public:
    CDllSearchRun(bool fHideSetDefault, bool fHideAdd)
        : m_getProcAddress("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeGetProcAddress)),
          m_setDllDirectory("kernel32.dll", "SetDllDirectoryW", reinterpret_cast<void*>(&RecordSetDllDirectoryW))
    {
        g_pfnGetProcAddress = reinterpret_cast<PFN_GetProcAddress>(m_getProcAddress.Original());
        g_fHideSetDefault = fHideSetDefault;
        g_fHideAdd = fHideAdd;
        g_calls.clear();
    }

    bool IsPatched() const { return m_getProcAddress.IsPatched() && m_setDllDirectory.IsPatched(); }

private:
    CImportPatch m_getProcAddress;
    CImportPatch m_setDllDirectory;
};

const std::wstring c_narrowed = L"SetDefaultDllDirectories(" + std::to_wstring(0x800 | 0x400) + L")";
// The classic order's calls: the current directory out, then the cache folder in SetDllDirectoryW's place.
const std::vector<std::wstring> c_classicCalls = {L"SetDllDirectoryW()",
                                                  std::wstring(L"SetDllDirectoryW(") + c_szCacheFolder + L")"};
} // namespace

TEST(DllSearch, WithBothFunctionsTheSearchIsNarrowedAndTheCacheFolderAdded)
{
    CDllSearchRun run(false, false);
    ASSERT_TRUE(run.IsPatched());
    const HRESULT hrRestrict = RestrictDllSearch();
    const HRESULT hrAdd = AddDllSearchFolder(c_szCacheFolder);
#if defined(LX_CLASSIC_DLL_SEARCH)
    // A build that keeps the classic order: only the current directory goes out, the folder takes its slot.
    EXPECT_EQ(S_FALSE, hrRestrict);
    EXPECT_EQ(S_FALSE, hrAdd);
    EXPECT_EQ(c_classicCalls, g_calls);
#else
    EXPECT_EQ(S_OK, hrRestrict);
    EXPECT_EQ(S_OK, hrAdd);
    EXPECT_EQ((std::vector<std::wstring>{L"SetDllDirectoryW()", c_narrowed,
                                         std::wstring(L"AddDllDirectory(") + c_szCacheFolder + L")"}),
              g_calls);
#endif
}

TEST(DllSearch, WithoutEitherFunctionTheLaunchGoesOnInTheClassicOrder)
{
    CDllSearchRun run(true, true);
    ASSERT_TRUE(run.IsPatched());
    EXPECT_EQ(S_FALSE, RestrictDllSearch());
    EXPECT_EQ(S_FALSE, AddDllSearchFolder(c_szCacheFolder));
    EXPECT_EQ(c_classicCalls, g_calls);
}

// Without AddDllDirectory a narrowed search could never reach the cache folder: it is not narrowed at all.
TEST(DllSearch, WithoutAddDllDirectoryTheSearchIsNotNarrowed)
{
    CDllSearchRun run(false, true);
    ASSERT_TRUE(run.IsPatched());
    EXPECT_EQ(S_FALSE, RestrictDllSearch());
    EXPECT_EQ(S_FALSE, AddDllSearchFolder(c_szCacheFolder));
    EXPECT_EQ(c_classicCalls, g_calls);
}

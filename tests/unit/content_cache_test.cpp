// The content cache folder under TEMP: its exact path, its creation, and TEMP paths that do not serve.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "pack/content_folder.h"
#include "unit/import_patch.h"
#include "unit/system_text.h"

namespace
{
const wchar_t c_szBelowTemp[] = L"Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";

// A TEMP of the test's own under the real one (no trailing separator).
std::wstring ScratchTemp(const wchar_t* pszName)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    return std::wstring(szTemp) + L"lx-cache-" + std::to_wstring(GetCurrentProcessId()) + L"-" + pszName;
}

void SetTemp(const std::wstring& temp)
{
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
}

bool IsFolder(const std::wstring& path)
{
    const DWORD dwAttributes = GetFileAttributesW(path.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The TEMP path delivered exactly as given; the system's own query always ends it in a separator.
std::wstring g_tempPath;
DWORD WINAPI DeliverTempPath(DWORD cch, LPWSTR pszBuffer)
{
    lstrcpynW(pszBuffer, g_tempPath.c_str(), static_cast<int>(cch));
    return static_cast<DWORD>(g_tempPath.size());
}

// A query that succeeds and delivers an empty path.
DWORD WINAPI EmptyTempPath(DWORD, LPWSTR pszBuffer)
{
    pszBuffer[0] = L'\0';
    return 1;
}

// The system's rule: the length when the path fits with its terminator, otherwise the size it would need and
// the buffer untouched; 0 and g_dwTempError when that is set.
DWORD g_dwTempError = ERROR_SUCCESS;
DWORD WINAPI QueryTempPath(DWORD cch, LPWSTR pszBuffer)
{
    if (g_dwTempError != ERROR_SUCCESS)
    {
        SetLastError(g_dwTempError);
        return 0;
    }
    const DWORD cchPath = static_cast<DWORD>(g_tempPath.size());
    if (cchPath + 1 > cch)
        return cchPath + 1;
    lstrcpyW(pszBuffer, g_tempPath.c_str());
    return cchPath;
}

int g_nCreateResult = ERROR_SUCCESS;
int WINAPI AnswerCreateFolder(HWND, LPCWSTR)
{
    return g_nCreateResult;
}

// GetTempPath2W through the GetProcAddress seam: hidden (as on Wine 8 and before Windows 11) or a replacement,
// so that the tests of the GetTempPathW road hold where the system has both.
using PFN_GetProcAddress = FARPROC(WINAPI*)(HMODULE, LPCSTR);
PFN_GetProcAddress g_pfnGetProcAddress = nullptr;
void* g_pfnTempPath2 = nullptr;
FARPROC WINAPI OfferTempPath2(HMODULE hmod, LPCSTR pszName)
{
    if (reinterpret_cast<ULONG_PTR>(pszName) > 0xFFFF && strcmp(pszName, "GetTempPath2W") == 0)
        return reinterpret_cast<FARPROC>(g_pfnTempPath2);
    return g_pfnGetProcAddress(hmod, pszName);
}

class CTempPath2Seam
{
public:
    explicit CTempPath2Seam(void* pfnTempPath2)
        : m_patch("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&OfferTempPath2))
    {
        g_pfnGetProcAddress = reinterpret_cast<PFN_GetProcAddress>(m_patch.Original());
        g_pfnTempPath2 = pfnTempPath2;
    }
    bool IsPatched() const { return m_patch.IsPatched(); }

private:
    CImportPatch m_patch;
};

std::wstring g_tempPath2;
DWORD WINAPI DeliverTempPath2(DWORD cch, LPWSTR pszBuffer)
{
    lstrcpynW(pszBuffer, g_tempPath2.c_str(), static_cast<int>(cch));
    return static_cast<DWORD>(g_tempPath2.size());
}

std::wstring SidText(PSID psid)
{
    wchar_t* pszSid = nullptr;
    if (!ConvertSidToStringSidW(psid, &pszSid))
        return L"?";
    const std::wstring text = pszSid;
    LocalFree(pszSid);
    return text;
}

std::wstring ProcessUserSid()
{
    HANDLE hToken = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    DWORD abTokenUser[128] = {};
    DWORD cb = 0;
    GetTokenInformation(hToken, TokenUser, abTokenUser, sizeof(abTokenUser), &cb);
    CloseHandle(hToken);
    return SidText(reinterpret_cast<TOKEN_USER*>(abTokenUser)->User.Sid);
}

// A folder that everyone may change, as another user of a shared TEMP could leave one. The DACL is set after
// the folder is made: Wine turns it into the folder's mode bits then, but not when the folder is created.
bool CreateFolderOpenToEveryone(const std::wstring& path)
{
    PSECURITY_DESCRIPTOR psd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;0x1301ff;;;WD)", SDDL_REVISION_1, &psd, nullptr))
        return false;
    const bool fOpened = CreateDirectoryW(path.c_str(), nullptr) && SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, psd);
    LocalFree(psd);
    return fOpened;
}

// Whether the test runs under Wine, which keeps no DACL of a file's own but shows one made from its mode bits:
// full control for the owner and SYSTEM where the owner may write, and what the mode gives everyone else.
bool IsWine()
{
    const HMODULE hmodNtdll = GetModuleHandleW(L"ntdll.dll");
    return hmodNtdll && GetProcAddress(hmodNtdll, "wine_get_version");
}
} // namespace

TEST(ContentCacheFolder, OneSeparatorWhetherTempEndsInOneOrNot)
{
    const std::wstring temp = ScratchTemp(L"sep");
    CreateDirectoryW(temp.c_str(), nullptr);
    CMessageBoxRecorder recorder;
    CTempPath2Seam hidden(nullptr);
    CImportPatch patch("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&DeliverTempPath));
    ASSERT_TRUE(hidden.IsPatched() && patch.IsPatched());

    g_tempPath = temp;
    const std::wstring plain = GetContentCacheFolder().c_str();
    g_tempPath = temp + L"\\";
    const std::wstring trailing = GetContentCacheFolder().c_str();

    EXPECT_EQ(temp + L"\\" + c_szBelowTemp, plain);
    EXPECT_EQ(plain, trailing);
    EXPECT_NE(L'\\', plain.back());
    EXPECT_TRUE(IsFolder(plain));
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST(ContentCacheFolder, CreatesEveryMissingLevelAtOnce)
{
    const std::wstring temp = ScratchTemp(L"deep") + L"\\not\\there\\yet";
    SetTemp(temp);
    CMessageBoxRecorder recorder;
    const std::wstring folder = GetContentCacheFolder().c_str();
    EXPECT_EQ(temp + L"\\" + c_szBelowTemp, folder);
    EXPECT_TRUE(IsFolder(folder));
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST(ContentCacheFolder, FolderThereAlreadyIsTakenWhicheverWayTheShellSaysSo)
{
    SetTemp(ScratchTemp(L"there"));
    const std::wstring folder = GetContentCacheFolder().c_str();
    ASSERT_TRUE(IsFolder(folder));
    for (int nExists : {ERROR_ALREADY_EXISTS, ERROR_FILE_EXISTS})
    {
        g_nCreateResult = nExists;
        CImportPatch patch("shell32.dll", "SHCreateDirectory", reinterpret_cast<void*>(&AnswerCreateFolder));
        ASSERT_TRUE(patch.IsPatched());
        CMessageBoxRecorder recorder;
        EXPECT_EQ(folder, std::wstring(GetContentCacheFolder().c_str())) << nExists;
        EXPECT_TRUE(recorder.Boxes().empty()) << nExists;
    }
}

TEST(ContentCacheFolder, EmptyTempPathIsSilent)
{
    CTempPath2Seam hidden(nullptr);
    CImportPatch patch("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&EmptyTempPath));
    ASSERT_TRUE(hidden.IsPatched() && patch.IsPatched());
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(GetContentCacheFolder().IsEmpty());
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST(ContentCacheFolder, FolderThatCannotBeCreatedIsTold)
{
    // TEMP names a file: nothing can be created below it.
    const std::wstring file = ScratchTemp(L"file");
    HANDLE hFile = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    CloseHandle(hFile);
    SetTemp(file);

    CMessageBoxRecorder recorder;
    EXPECT_TRUE(GetContentCacheFolder().IsEmpty());
    ASSERT_EQ(1u, recorder.Boxes().size());
    const std::wstring lead =
        L"Could not create the product content cache folder at \u201C" + file + L"\\" + c_szBelowTemp + L"\u201D.\n";
    EXPECT_EQ(0u, recorder.Boxes()[0].text.find(lead)) << recorder.Boxes()[0].text;
    EXPECT_GT(recorder.Boxes()[0].text.size(), lead.size());
}

TEST(ContentCacheFolder, TempPathLongerThanTheBufferIsAFailedQuery)
{
    const std::wstring temp = L"C:\\" + std::wstring(300, L'x');
    SetTemp(temp);
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(GetContentCacheFolder().IsEmpty());
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(std::wstring(L"Could not get the TEMP folder path. ") + FormatWin32Message(ERROR_FILENAME_EXCED_RANGE).c_str(),
              recorder.Boxes()[0].text);
}

// The query is given room for 260 characters and the terminator: a TEMP of 259 characters is the longest
// taken, one of 260 is a failed query, and a query that fails is told with its own code.
TEST(ContentCacheFolder, TempPathsAtTheEndOfTheBuffer)
{
    CTempPath2Seam hidden(nullptr);
    CImportPatch query("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&QueryTempPath));
    // The folder below the longest TEMP is too long to create; nothing is created at all.
    CImportPatch create("shell32.dll", "SHCreateDirectory", reinterpret_cast<void*>(&AnswerCreateFolder));
    ASSERT_TRUE(hidden.IsPatched() && query.IsPatched() && create.IsPatched());
    g_nCreateResult = ERROR_FILENAME_EXCED_RANGE;
    const std::wstring longest = L"C:\\" + std::wstring(255, L'x') + L"\\";
    ASSERT_EQ(259u, longest.size());
    const struct
    {
        std::wstring temp;
        DWORD dwError;
        std::wstring box;
    } c_cases[] = {
        {longest, ERROR_SUCCESS,
         ReportText(L"Could not create the product content cache folder at \u201C" + longest + c_szBelowTemp + L"\u201D.",
                    static_cast<HRESULT>(ERROR_FILENAME_EXCED_RANGE))},
        {longest.substr(0, 258) + L"x\\", ERROR_SUCCESS,
         std::wstring(L"Could not get the TEMP folder path. ") + FormatWin32Message(ERROR_FILENAME_EXCED_RANGE).c_str()},
        {longest, ERROR_ACCESS_DENIED,
         std::wstring(L"Could not get the TEMP folder path. ") + FormatWin32Message(ERROR_ACCESS_DENIED).c_str()},
    };
    for (const auto& test : c_cases)
    {
        g_tempPath = test.temp;
        g_dwTempError = test.dwError;
        CMessageBoxRecorder recorder;
        EXPECT_TRUE(GetContentCacheFolder().IsEmpty());
        ASSERT_EQ(1u, recorder.Boxes().size()) << test.temp.size();
        EXPECT_EQ(test.box, recorder.Boxes()[0].text) << test.temp.size();
    }
}

TEST(ContentCacheFolder, MissingPackResourceIsSilent)
{
    // This test program carries no product pack.
    const std::wstring temp = ScratchTemp(L"nopack");
    SetTemp(temp);
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(PrepareContentFolder().IsEmpty());
    EXPECT_TRUE(recorder.Boxes().empty());
    EXPECT_TRUE(IsFolder(temp + L"\\" + c_szBelowTemp));
}

// Run as SYSTEM, GetTempPath2W answers the system's own temp folder: where the system has it, it is asked and
// GetTempPathW is not.
TEST(ContentCacheFolder, TempPath2IsAskedWhereTheSystemHasIt)
{
    g_tempPath2 = ScratchTemp(L"temp2");
    g_tempPath = ScratchTemp(L"temp1");
    CreateDirectoryW(g_tempPath2.c_str(), nullptr);
    CTempPath2Seam offered(reinterpret_cast<void*>(&DeliverTempPath2));
    CImportPatch patch("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&DeliverTempPath));
    ASSERT_TRUE(offered.IsPatched() && patch.IsPatched());
    CMessageBoxRecorder recorder;
    EXPECT_EQ(g_tempPath2 + L"\\" + c_szBelowTemp, std::wstring(GetContentCacheFolder().c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(g_tempPath.c_str()));
    EXPECT_TRUE(recorder.Boxes().empty());
}

// Every level the launcher makes has a protected DACL (nothing inherited from TEMP) of three entries, full
// control for the user, SYSTEM and the Administrators, passed on to everything inside. Prints each level's
// DACL as SDDL. Under Wine only what the mode bits can tell is seen: no one else is granted anything.
TEST(ContentCacheFolder, FreshChainGrantsTheUserSystemAndAdministratorsOnly)
{
    const std::wstring temp = ScratchTemp(L"fresh");
    SetTemp(temp);
    CMessageBoxRecorder recorder;
    ASSERT_FALSE(GetContentCacheFolder().IsEmpty());
    EXPECT_TRUE(recorder.Boxes().empty());

    const std::set<std::wstring> trustees = {ProcessUserSid(), L"S-1-5-18", L"S-1-5-32-544"};
    std::wstring level = temp;
    for (const wchar_t* pszLevel : {L"Corvane", L"Lumenix", L"v1.1.1.511", L"ProductContentCache"})
    {
        level += std::wstring(L"\\") + pszLevel;
        PACL pDacl = nullptr;
        PSECURITY_DESCRIPTOR psd = nullptr;
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                  GetNamedSecurityInfoW(level.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                        &pDacl, nullptr, &psd))
            << pszLevel;
        wchar_t* pszSddl = nullptr;
        ConvertSecurityDescriptorToStringSecurityDescriptorW(psd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &pszSddl, nullptr);
        printf("%ls: %ls\n", pszLevel, pszSddl ? pszSddl : L"?");
        LocalFree(pszSddl);

        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD dwRevision = 0;
        GetSecurityDescriptorControl(psd, &control, &dwRevision);
        EXPECT_TRUE(IsWine() || (control & SE_DACL_PROTECTED)) << pszLevel;
        std::set<std::wstring> granted;
        for (DWORD i = 0; pDacl && i < pDacl->AceCount; ++i)
        {
            ACCESS_ALLOWED_ACE* pAce = nullptr;
            GetAce(pDacl, i, reinterpret_cast<void**>(&pAce));
            EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, pAce->Header.AceType) << pszLevel;
            EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, pAce->Header.AceFlags & ~INHERITED_ACE) << pszLevel;
            EXPECT_EQ(static_cast<DWORD>(FILE_ALL_ACCESS), pAce->Mask) << pszLevel;
            granted.insert(SidText(&pAce->SidStart));
        }
        if (IsWine())
        {
            EXPECT_TRUE(std::includes(trustees.begin(), trustees.end(), granted.begin(), granted.end())) << pszLevel;
            EXPECT_EQ(1u, granted.count(ProcessUserSid())) << pszLevel;
        }
        else
        {
            EXPECT_EQ(trustees, granted) << pszLevel;
            EXPECT_EQ(3u, pDacl ? pDacl->AceCount : 0u) << pszLevel;
        }
        LocalFree(psd);
    }
}

// A chain that everyone may change, as a shared TEMP can hold it: the first such level is named, nothing below
// it is made or used, and the refusal is a failure that ends the start.
TEST(ContentCacheFolder, LevelThatOthersMayChangeIsRefused)
{
    const std::wstring temp = ScratchTemp(L"open");
    CreateDirectoryW(temp.c_str(), nullptr);
    const std::wstring company = temp + L"\\Corvane";
    ASSERT_TRUE(CreateFolderOpenToEveryone(company));
    SetTemp(temp);

    CMessageBoxRecorder recorder;
    CBstr bsFolder(L"unchanged");
    EXPECT_EQ(E_ACCESSDENIED, MakeContentCacheFolder(bsFolder));
    EXPECT_TRUE(bsFolder.IsEmpty());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((company + L"\\Lumenix").c_str()));
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(ReportText(L"Another user of this computer owns or may change the folder \u201C" + company +
                             L"\u201D, so the product content in it is not used. Delete that folder (this may need an "
                             L"administrator) and start again.",
                         E_ACCESSDENIED),
              recorder.Boxes()[0].text);
}

// The content cache folder under TEMP: its exact path, its creation, and TEMP paths that do not serve.
#include <gtest/gtest.h>

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
} // namespace

TEST(ContentCacheFolder, OneSeparatorWhetherTempEndsInOneOrNot)
{
    const std::wstring temp = ScratchTemp(L"sep");
    CreateDirectoryW(temp.c_str(), nullptr);
    CMessageBoxRecorder recorder;
    CImportPatch patch("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&DeliverTempPath));
    ASSERT_TRUE(patch.IsPatched());

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
    CImportPatch patch("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&EmptyTempPath));
    ASSERT_TRUE(patch.IsPatched());
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
    CImportPatch query("kernel32.dll", "GetTempPathW", reinterpret_cast<void*>(&QueryTempPath));
    // The folder below the longest TEMP is too long to create; nothing is created at all.
    CImportPatch create("shell32.dll", "SHCreateDirectory", reinterpret_cast<void*>(&AnswerCreateFolder));
    ASSERT_TRUE(query.IsPatched() && create.IsPatched());
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

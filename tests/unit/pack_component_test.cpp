// A pack whose directory spans several listing chunks, opened through Wine's InfoTech storage component and
// extracted by the launcher's walk: every file comes back byte-equal to the folder it was built from.
#include <gtest/gtest.h>

#include <objidl.h>

#include <string>

#include "common/com_ptr.h"
#include "msgbox_recorder.h"
#include "pack/pack_extraction.h"
#include "unit/test_files.h"

namespace
{
std::wstring Environment(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(pszName, szValue, ARRAYSIZE(szValue));
    return szValue;
}
} // namespace

TEST(PackComponent, ManyEntriesComeBackByteEqual)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    CComPtrT<IStorage> oStorage = OpenPackFile(Environment(L"LX_MANY_FILES_PACK").c_str());
    ASSERT_TRUE(oStorage);

    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring folder = std::wstring(szTemp) + L"lx-many-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(ExtractStorage(oStorage.Get(), folder.c_str()));
    oStorage.Release();
    EXPECT_TRUE(recorder.Boxes().empty());

    const std::wstring source = Environment(L"LX_MANY_FILES_DIR");
    int cFiles = 0;
    WIN32_FIND_DATAW find;
    HANDLE hFind = FindFirstFileW((source + L"\\*.dll").c_str(), &find);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFind);
    do
    {
        ++cFiles;
        bool fExtracted = false;
        EXPECT_TRUE(ReadAll(source + L"\\" + find.cFileName) == ReadAll(folder + L"\\" + find.cFileName, &fExtracted) && fExtracted)
            << "differs: " << std::string(find.cFileName, find.cFileName + lstrlenW(find.cFileName));
    } while (FindNextFileW(hFind, &find));
    FindClose(hFind);
    EXPECT_EQ(320, cFiles);
}

// The real launcher unpacking its product pack into the content cache folder under TEMP.
#include <gtest/gtest.h>

#include <sddl.h>

#include <string>

#include "cache_files.h"
#include "driver.h"
#include "two_starts.h"
#include "unit/standin_session.h"
#include "unit/test_files.h"

namespace
{
const wchar_t c_szBelowTemp[] = L"Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";
const wchar_t c_szCoreAssemblyBox[] =
    L"Could not load the application core assembly \u201CCorvane.Platform.Tessarine.UI.Standalone\u201D.\n";

CLaunchResult RunWithTemp(const std::wstring& temp, const std::wstring& exe = Environment(L"LUMENIX_EXE"))
{
    CLaunchOptions options;
    options.exePath = exe;
    options.environment = {{L"TEMP", temp}, {L"TMP", temp}};
    options.timeoutMs = 60000;
    CLaunchResult result;
    RunAndWatch(options, result);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timedOut);
    return result;
}

// The stand-in installed, one run of the exe that pszExeVariable names, with a TEMP of its own below the
// session's folder: it ends without a box and with exit code 0. Returns that TEMP.
std::wstring RunInTempOfItsOwn(CStandinSession& session, const wchar_t* pszExeVariable)
{
    session.InstallInSystemFolder(L"full");
    const std::wstring temp = session.Folder() + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    const CLaunchResult result = RunWithTemp(temp, Environment(pszExeVariable));
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    return temp;
}

} // namespace

TEST(ProductPack, EntrywayDomainGetsTheCacheFolderWithOneSeparator)
{
    for (const bool fTrailing : {false, true})
    {
        CStandinSession session;
        session.InstallInSystemFolder(L"full");
        const std::wstring temp = session.Folder() + (fTrailing ? L"\\temp-trailing" : L"\\temp-plain");
        CreateDirectoryW(temp.c_str(), nullptr);
        const CLaunchResult result = RunWithTemp(fTrailing ? temp + L"\\" : temp);
        EXPECT_TRUE(result.boxes.empty());
        EXPECT_EQ(0u, result.exitCode);
        const std::string cache = Utf8(temp + L"\\" + c_szBelowTemp);
        EXPECT_EQ(cache, JsonText(session.FirstCall("put_ApplicationBase"), "value"));
        EXPECT_EQ("Entryway", JsonText(session.FirstCall("CreateDomainEx"), "name"));
        EXPECT_EQ(cache, JsonText(session.FirstCall("Load_2"), "base"));
        EXPECT_FALSE(session.WasCalled("GetDefaultDomain"));
    }
}

TEST(ProductPack, SecondStartRewritesNothing)
{
    CStandinSession session;
    session.InstallInSystemFolder(L"full");
    const std::wstring temp = session.Folder() + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    const std::wstring cache = temp + L"\\" + c_szBelowTemp;
    EXPECT_EQ(0u, RunWithTemp(temp).exitCode);
    const std::vector<ULONGLONG> first = CacheTimes(cache);
    for (ULONGLONG time : first)
        EXPECT_NE(0u, time);
    Sleep(1100);
    EXPECT_EQ(0u, RunWithTemp(temp).exitCode);
    EXPECT_EQ(first, CacheTimes(cache));
}

// Built with another LUMENIX_VERSION and signed by the release build tests: the signature leaves the
// resources intact, and the cache folder carries that number.
TEST(ProductPack, AnotherReleaseUnpacksIntoAFolderOfItsOwn)
{
    CStandinSession session;
    const std::wstring temp = RunInTempOfItsOwn(session, L"LUMENIX_OTHER_RELEASE_EXE");
    const std::wstring cache = temp + L"\\Corvane\\Lumenix\\v" + Environment(L"LUMENIX_OTHER_RELEASE") +
                               L"\\ProductContentCache";
    EXPECT_EQ(Utf8(cache), JsonText(session.FirstCall("put_ApplicationBase"), "value"));
    EXPECT_NE(0u, WriteTime(cache + L"\\Lumenix.dll"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((temp + L"\\" + c_szBelowTemp).c_str()));
}

TEST(ProductPack, CacheFolderThatCannotBeCreatedFallsBackToTheDefaultDomain)
{
    CStandinSession session;
    session.InstallInSystemFolder(L"full");
    // TEMP names a file; the default domain's base (the launcher's folder) holds no core assembly.
    const std::wstring temp = session.Folder() + L"\\not-a-folder";
    HANDLE hFile = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    CloseHandle(hFile);

    const CLaunchResult result = RunWithTemp(temp);
    ASSERT_EQ(2u, result.boxes.size());
    EXPECT_EQ(0u, result.boxes[0].text.find(L"Could not create the product content cache folder at \u201C" + temp +
                                            L"\\" + c_szBelowTemp + L"\u201D.\n"))
        << result.boxes[0].text;
    EXPECT_EQ(0u, result.boxes[1].text.find(c_szCoreAssemblyBox)) << result.boxes[1].text;
    EXPECT_EQ(0x80070002u, result.exitCode);
    EXPECT_TRUE(session.WasCalled("GetDefaultDomain"));
    EXPECT_FALSE(session.WasCalled("CreateDomainEx"));
}

TEST(ProductPack, CorruptPackIsToldAndTheStartGoesOnInTheDefaultDomain)
{
    CStandinSession session;
    session.InstallInSystemFolder(L"full");
    const std::wstring temp = session.Folder() + L"\\temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    const CLaunchResult result = RunWithTemp(temp, Environment(L"LUMENIX_CORRUPT_EXE"));
    ASSERT_EQ(2u, result.boxes.size());
    EXPECT_EQ(0u, result.boxes[0].text.find(L"Could not open the structured document storage on the product pack.\n"))
        << result.boxes[0].text;
    EXPECT_EQ(0u, result.boxes[1].text.find(c_szCoreAssemblyBox));
    EXPECT_TRUE(session.WasCalled("GetDefaultDomain"));
}

// A shared TEMP in which another user made the cache chain first, open to everyone, with a core assembly of the
// right size: the launcher names the first such folder and ends, and loads nothing, from there or elsewhere.
TEST(ProductPack, CacheChainThatOthersMayChangeIsNotUsed)
{
    CStandinSession session;
    session.InstallInSystemFolder(L"full");
    const std::wstring temp = session.Folder() + L"\\shared-temp";
    CreateDirectoryW(temp.c_str(), nullptr);
    PSECURITY_DESCRIPTOR psd = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;OICI;0x1301ff;;;WD)", SDDL_REVISION_1, &psd,
                                                                     nullptr));
    // Set after each folder is made: Wine turns a DACL into mode bits then, but not at creation.
    std::wstring level = temp;
    for (const wchar_t* pszLevel : {L"Corvane", L"Lumenix", L"v1.1.1.511", L"ProductContentCache"})
    {
        level += std::wstring(L"\\") + pszLevel;
        EXPECT_TRUE(CreateDirectoryW(level.c_str(), nullptr) &&
                    SetFileSecurityW(level.c_str(), DACL_SECURITY_INFORMATION, psd))
            << Utf8(level);
    }
    LocalFree(psd);
    const std::wstring planted = level + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll";
    const std::string core = ReadAll(Environment(L"LX_SAMPLE_APP_DIR") + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll");
    ASSERT_FALSE(core.empty());
    const std::string plant(core.size(), 'P');
    WriteAll(planted, plant);
    const ULONGLONG plantedTime = WriteTime(planted);

    const CLaunchResult result = RunWithTemp(temp);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(0u, result.boxes[0].text.find(L"Another user of this computer owns or may change the folder \u201C" + temp +
                                            L"\\Corvane\u201D, so the product content in it is not used."))
        << Utf8(result.boxes[0].text);
    EXPECT_EQ(0x80070005u, result.exitCode);
    EXPECT_FALSE(session.WasCalled("CreateDomainEx"));
    EXPECT_FALSE(session.WasCalled("GetDefaultDomain"));
    EXPECT_FALSE(session.WasCalled("Load_2"));
    EXPECT_TRUE(ReadAll(planted) == plant);
    EXPECT_EQ(plantedTime, WriteTime(planted));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((level + L"\\ProductContent.chm").c_str()));
}

// Two first starts of one release at once, as a double click on a slow start gives: both end well and leave
// the cache byte-equal to what one start alone leaves. The rounds give the race its chances.
TEST(ProductPack, TwoFirstStartsAtOnceBothEndWell)
{
    const int cRounds = 20;
    CStandinSession session;
    session.InstallInSystemFolder(L"full");
    const std::wstring alone = session.Folder() + L"\\alone";
    CreateDirectoryW(alone.c_str(), nullptr);
    ASSERT_EQ(0u, RunWithTemp(alone).exitCode);
    const std::wstring aloneCache = alone + L"\\" + c_szBelowTemp;
    const std::vector<std::wstring> aloneTree = TreeOf(aloneCache, 16);
    ASSERT_FALSE(aloneTree.empty());

    std::wstring temp;
    for (int iRound = 0; iRound < cRounds; ++iRound)
    {
        temp = session.Folder() + L"\\together" + std::to_wstring(iRound);
        CreateDirectoryW(temp.c_str(), nullptr);
        ASSERT_NO_FATAL_FAILURE(ExpectTwoStartsAtOnceLikeOne([](const std::wstring& t) { return RunWithTemp(t); },
                                                             temp, temp + L"\\" + c_szBelowTemp, aloneCache,
                                                             aloneTree, iRound));
    }

    // A third start finds everything in place and rewrites nothing.
    const std::wstring cache = temp + L"\\" + c_szBelowTemp;
    const std::vector<ULONGLONG> before = CacheTimes(cache);
    Sleep(1100);
    const CLaunchResult third = RunWithTemp(temp);
    EXPECT_EQ(0u, third.exitCode);
    EXPECT_TRUE(third.boxes.empty());
    EXPECT_EQ(before, CacheTimes(cache));
}

// The application's native library in the pack, and its dependency beside it, load by name from the cache
// folder, as a P/Invoke loads them.
TEST(ProductPack, NativeLibraryInThePackLoadsByNameFromTheCacheFolder)
{
    CStandinSession session(L"entry.loadLibrary=lxnative.dll");
    const std::wstring temp = RunInTempOfItsOwn(session, L"LUMENIX_NATIVE_PACK_EXE");
    const std::string loaded = session.FirstCall("loadLibrary");
    EXPECT_EQ(Utf8(temp + L"\\" + c_szBelowTemp + L"\\lxnative.dll"), JsonText(loaded, "path")) << loaded;
}

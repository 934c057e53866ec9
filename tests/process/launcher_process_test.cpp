// The real launcher, started in the test prefix and watched from this process. The stand-in hosting library
// sits in the system folder and answers as each test's scenario says.
#include <gtest/gtest.h>

#include <string>

#include "driver.h"
#include "tests/standin/fake_assembly.h"
#include "unit/standin_session.h"

namespace
{
const wchar_t c_szRefusalText[] =
    L"Corvane Lumenix currently requires Windows NT 5.1 or higher to run. "
    L"Your operation system version is not supported.";
const wchar_t c_szRefusalCaption[] = L"Lumenix \u2013 System Requirements";
const wchar_t c_szRequirementsCaption[] = L"Lumenix \u2013 .NET Runtime Requirements";
const std::wstring c_happyRoad = L"defaultDomain.base={folder}\n";

std::wstring LauncherPath()
{
    wchar_t szPath[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(L"LUMENIX_EXE", szPath, ARRAYSIZE(szPath));
    return szPath;
}

// The stand-in in the system folder and the core assembly where the default domain looks for it.
void PrepareRun(CStandinSession& session)
{
    session.InstallInSystemFolder(L"full");
    ASSERT_TRUE(WriteFakeAssembly((session.Folder() + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll").c_str()));
}

CLaunchResult RunLauncher(const std::wstring& windowsVersion, const std::wstring& arguments = L"",
                          std::vector<int> answers = {}, const std::wstring& exePath = LauncherPath())
{
    CLaunchOptions options;
    options.exePath = exePath;
    options.arguments = arguments;
    options.windowsVersion = windowsVersion;
    options.answers = std::move(answers);
    options.timeoutMs = 60000;
    CLaunchResult result;
    RunAndWatch(options, result);
    EXPECT_TRUE(result.started) << "error " << result.startError;
    EXPECT_FALSE(result.timedOut);
    return result;
}

std::vector<std::string> RuntimeCalls(const CStandinSession& session)
{
    std::vector<std::string> calls;
    for (const std::string& method : session.Calls())
    {
        for (const char* psz : {"CLRCreateInstance", "GetInterface", "Start", "CreateDomainEx", "GetDefaultDomain",
                                "Load_2", "GetType_3", "InvokeMember_3", "Stop"})
        {
            if (method == psz)
                calls.push_back(method);
        }
    }
    return calls;
}
} // namespace

TEST(OsVersionGate, RefusesWindows2000)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"win2k");
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(c_szRefusalText, result.boxes[0].text);
    EXPECT_EQ(c_szRefusalCaption, result.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), result.boxes[0].style);
    EXPECT_EQ(nullptr, result.boxes[0].hwndOwner);
    EXPECT_EQ(0x80004004u, result.exitCode);
    EXPECT_TRUE(session.Calls().empty());
}

TEST(OsVersionGate, RefusesTheWindows9xPlatform)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"win98");
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(c_szRefusalText, result.boxes[0].text);
    EXPECT_EQ(c_szRefusalCaption, result.boxes[0].caption);
    EXPECT_EQ(nullptr, result.boxes[0].hwndOwner);
    EXPECT_EQ(0x80004004u, result.exitCode);
}

// The boundary: Wine reports NT 5.1 to a 64-bit program whose version is set to Windows XP.
TEST(OsVersionGate, LetsWindowsXpThrough)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"winxp");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(session.WasCalled("Stop"));
}

TEST(OsVersionGate, LetsWindowsXp64Through)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"winxp64");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(session.WasCalled("Stop"));
}

TEST(OsVersionGate, LetsThePrefixDefaultThrough)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
}

TEST(CommandLine, ArgumentsChangeNothing)
{
    CStandinSession session(c_happyRoad + L"entry.return=VT_I4:-5");
    PrepareRun(session);
    const CLaunchResult refused = RunLauncher(L"win2k", L"--skip-os-check /quiet \"C:\\some where\"");
    ASSERT_EQ(1u, refused.boxes.size());
    EXPECT_EQ(c_szRefusalText, refused.boxes[0].text);
    EXPECT_EQ(0x80004004u, refused.exitCode);

    const CLaunchResult passed = RunLauncher(L"win7", L"/? --exit-code 0");
    EXPECT_TRUE(passed.boxes.empty());
    EXPECT_EQ(static_cast<DWORD>(-5), passed.exitCode);
}

TEST(ManagedStart, HappyRoadRunsTheEntryPointAndStopsTheRuntime)
{
    CStandinSession session(c_happyRoad + L"entry.return=VT_I4:7");
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ((std::vector<std::string>{"CLRCreateInstance", "GetInterface", "Start", "CreateDomainEx", "Load_2",
                                        "GetType_3", "InvokeMember_3", "Stop"}),
              RuntimeCalls(session));
    EXPECT_EQ("Corvane.Platform.Tessarine.UI.Standalone", JsonText(session.FirstCall("Load_2"), "name"));
    const std::string getType = session.FirstCall("GetType_3");
    EXPECT_EQ("Corvane.UI.Standalone.Host.KestStandaloneApplicationHost", JsonText(getType, "name"));
    EXPECT_NE(std::string::npos, getType.find("\"throwOnError\":1"));
    const std::string invoke = session.FirstCall("InvokeMember_3");
    EXPECT_EQ("RunApplicationInAssembly", JsonText(invoke, "name"));
    EXPECT_NE(std::string::npos, invoke.find("\"flags\":280"));
    EXPECT_NE(std::string::npos, invoke.find("\"args\":[{\"vt\":8,\"value\":\"Lumenix\"},{\"vt\":21,\"value\":"));
    EXPECT_NE(std::string::npos, session.FirstCall("detach").find("\"liveObjects\":0"));
}

TEST(ManagedStart, NegativeEntryResultIsTheExitCode)
{
    CStandinSession session(c_happyRoad + L"entry.return=VT_INT:-5");
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(static_cast<DWORD>(-5), result.exitCode);
}

TEST(ManagedStart, ManagedExceptionIsShownAndTheRuntimeNotStopped)
{
    CStandinSession session(c_happyRoad + L"entry.throw=Object reference not set to an instance of an object.");
    PrepareRun(session);
    const CLaunchResult result = RunLauncher(L"");
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(0u, result.boxes[0].text.find(
                      L"Could not call the startup method on the entry type from the application core assembly.\n"));
    const std::wstring description = L"\nObject reference not set to an instance of an object.";
    EXPECT_EQ(result.boxes[0].text.size() - description.size(), result.boxes[0].text.rfind(description));
    EXPECT_EQ(L"Lumenix \u2013 Loading", result.boxes[0].caption);
    EXPECT_EQ(0x80131604u, result.exitCode);
    EXPECT_FALSE(session.WasCalled("Stop"));
}

TEST(ManagedStart, WithoutHostingLibraryOnlyTheRequirementsDialog)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    // This test runs with the hosting library switched off in Wine (see CMakeLists.txt): a machine without one.
    const CLaunchResult result = RunLauncher(L"", L"", {IDNO});
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, result.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONERROR), result.boxes[0].style);
    EXPECT_EQ(std::wstring::npos, result.boxes[0].text.find(L"Maximum"));
    EXPECT_EQ(0x80004002u, result.exitCode);
    EXPECT_TRUE(session.Calls().empty());
}

TEST(ManagedStart, HostingLibraryBesideTheExeIsNotLoaded)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    // A copy of the launcher with a library beside it that offers no road at all.
    const std::wstring planted = session.Folder() + L"\\planted";
    CreateDirectoryW(planted.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(LauncherPath().c_str(), (planted + L"\\Lumenix.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(CStandinSession::VariantPath(L"none").c_str(), (planted + L"\\mscoree.dll").c_str(), FALSE));
    const CLaunchResult result = RunLauncher(L"", L"", {IDNO}, planted + L"\\Lumenix.exe");
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(session.WasCalled("CLRCreateInstance"));
}

// A copy of the launcher in a downloads folder that a site has dropped a uxtheme.dll into, which Wine looks for
// native first in this test, as Windows does: the planted DllMain never runs, and the launch ends as usual.
TEST(DllSearch, UxthemeBesideTheExeIsNotLoaded)
{
    CStandinSession session(c_happyRoad);
    PrepareRun(session);
    wchar_t szPlanted[MAX_PATH * 4] = {};
    ASSERT_NE(0u, GetEnvironmentVariableW(L"LX_PLANTED_DLL", szPlanted, ARRAYSIZE(szPlanted)));
    const std::wstring downloads = session.Folder() + L"\\Downloads";
    CreateDirectoryW(downloads.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(LauncherPath().c_str(), (downloads + L"\\Lumenix.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(szPlanted, (downloads + L"\\uxtheme.dll").c_str(), FALSE));
    const CLaunchResult result = RunLauncher(L"", L"", {}, downloads + L"\\Lumenix.exe");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((downloads + L"\\uxtheme.dll.ran").c_str()))
        << "the planted uxtheme.dll ran in the launcher";
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_TRUE(session.WasCalled("Stop"));
}

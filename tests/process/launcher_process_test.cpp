// The real launcher, started in the test prefix and watched from this process.
#include <gtest/gtest.h>

#include <string>

#include "driver.h"

namespace
{
const wchar_t c_szRefusalText[] =
    L"Corvane Lumenix currently requires Windows NT 5.1 or higher to run. "
    L"Your operation system version is not supported.";
const wchar_t c_szRefusalCaption[] = L"Lumenix \u2013 System Requirements";

std::wstring LauncherPath()
{
    wchar_t szPath[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(L"LUMENIX_EXE", szPath, ARRAYSIZE(szPath));
    return szPath;
}

CLaunchResult RunLauncher(const std::wstring& windowsVersion, const std::wstring& arguments = L"")
{
    CLaunchOptions options;
    options.exePath = LauncherPath();
    options.arguments = arguments;
    options.windowsVersion = windowsVersion;
    options.timeoutMs = 60000;
    CLaunchResult result;
    RunAndWatch(options, result);
    return result;
}
} // namespace


TEST(OsVersionGate, RefusesWindows2000)
{
    const CLaunchResult result = RunLauncher(L"win2k");
    ASSERT_TRUE(result.started) << "error " << result.startError;
    ASSERT_FALSE(result.timedOut);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(c_szRefusalText, result.boxes[0].text);
    EXPECT_EQ(c_szRefusalCaption, result.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), result.boxes[0].style);
    EXPECT_EQ(nullptr, result.boxes[0].hwndOwner);
    EXPECT_EQ(0x80004004u, result.exitCode);
}

TEST(OsVersionGate, RefusesTheWindows9xPlatform)
{
    const CLaunchResult result = RunLauncher(L"win98");
    ASSERT_TRUE(result.started) << "error " << result.startError;
    ASSERT_FALSE(result.timedOut);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(c_szRefusalText, result.boxes[0].text);
    EXPECT_EQ(c_szRefusalCaption, result.boxes[0].caption);
    EXPECT_EQ(nullptr, result.boxes[0].hwndOwner);
    EXPECT_EQ(0x80004004u, result.exitCode);
}

TEST(OsVersionGate, LetsWindowsXp64Through)
{
    const CLaunchResult result = RunLauncher(L"winxp64");
    ASSERT_TRUE(result.started) << "error " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
}

TEST(OsVersionGate, LetsThePrefixDefaultThrough)
{
    const CLaunchResult result = RunLauncher(L"");
    ASSERT_TRUE(result.started) << "error " << result.startError;
    ASSERT_FALSE(result.timedOut);
    EXPECT_TRUE(result.boxes.empty());
    EXPECT_EQ(0u, result.exitCode);
}

TEST(CommandLine, ArgumentsChangeNothing)
{
    const CLaunchResult refused = RunLauncher(L"win2k", L"--skip-os-check /quiet \"C:\\some where\"");
    ASSERT_TRUE(refused.started);
    ASSERT_EQ(1u, refused.boxes.size());
    EXPECT_EQ(c_szRefusalText, refused.boxes[0].text);
    EXPECT_EQ(0x80004004u, refused.exitCode);

    const CLaunchResult passed = RunLauncher(L"win7", L"/?");
    ASSERT_TRUE(passed.started);
    EXPECT_TRUE(passed.boxes.empty());
    EXPECT_EQ(0u, passed.exitCode);
}

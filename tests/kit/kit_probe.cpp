// The probe: a GoogleTest program with one case of each kind the runner meets in a kit. Only the runner's tests
// start it, through lxkit.exe and a cases.txt of their own; ctest does not run it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace
{
std::string VariableOf(const char* pszName)
{
    char szValue[32768] = {};
    const DWORD cch = GetEnvironmentVariableA(pszName, szValue, ARRAYSIZE(szValue));
    return cch && cch < ARRAYSIZE(szValue) ? std::string(szValue, cch) : std::string();
}

DWORD WINAPI WriteThroughNull(void*)
{
    volatile int* volatile piNowhere = nullptr;
    *piNowhere = 1;
    return 0;
}
} // namespace

TEST(KitProbe, Passes)
{
    EXPECT_EQ(4, 2 + 2);
}

TEST(KitProbe, Fails)
{
    EXPECT_EQ(5, 2 + 2) << "the probe fails on purpose";
}

TEST(KitProbe, Hangs)
{
    Sleep(INFINITE);
}

// GoogleTest catches an access violation in the test's own thread and fails the case: in a thread of its own the
// exception is unhandled and ends the process with its code, as a real crash does.
TEST(KitProbe, Crashes)
{
    HANDLE hThread = CreateThread(nullptr, 0, WriteThroughNull, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    WaitForSingleObject(hThread, INFINITE);
    CloseHandle(hThread);
}

// Runs the program LX_PROBE_CHILD names as one case of the probe, as the kit's tests start Lumenix.exe, and
// answers its exit code.
DWORD RunChild(const char* pszCase)
{
    std::string commandLine = "\"" + VariableOf("LX_PROBE_CHILD") + "\" --gtest_filter=KitProbe." + pszCase;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    EXPECT_TRUE(CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << commandLine;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD dwExitCode = 0;
    GetExitCodeProcess(pi.hProcess, &dwExitCode);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return dwExitCode;
}

// A test whose child crashes where it expects it to succeed.
TEST(KitProbe, StartsACrashingChild)
{
    EXPECT_EQ(0u, RunChild("Crashes"));
}

// Ends its process with -5, as Lumenix.exe passes on a product's negative result.
TEST(KitProbe, ExitsWithMinusFive)
{
    fflush(stdout);
    ExitProcess(static_cast<UINT>(-5));
}

// A test that expects its child's negative exit value, as the kit's RealRuntime cases expect Lumenix.exe's.
TEST(KitProbe, StartsAChildThatExitsWithMinusFive)
{
    EXPECT_EQ(static_cast<DWORD>(-5), RunChild("ExitsWithMinusFive"));
}

TEST(KitProbe, Skips)
{
    GTEST_SKIP() << "the probe skips on purpose";
}

// Writes LX_PROBE_OUTPUT\environment.txt: TEMP, TMP, whether TEMP is a folder, and the variable that
// LX_PROBE_VARIABLE names, one NAME=VALUE a line.
TEST(KitProbe, WritesItsEnvironment)
{
    const std::string outputFolder = VariableOf("LX_PROBE_OUTPUT");
    const std::string variable = VariableOf("LX_PROBE_VARIABLE");
    ASSERT_FALSE(outputFolder.empty());
    ASSERT_FALSE(variable.empty());
    const std::string temp = VariableOf("TEMP");
    const DWORD dwAttributes = GetFileAttributesA(temp.c_str());
    const bool fFolder = dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
    const std::string text = "TEMP=" + temp + "\nTMP=" + VariableOf("TMP") + "\nTEMP is a folder=" +
                             (fFolder ? "yes" : "no") + "\n" + variable + "=" + VariableOf(variable.c_str()) + "\n";
    HANDLE hFile = CreateFileA((outputFolder + "\\environment.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD cbWritten = 0;
    EXPECT_TRUE(WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &cbWritten, nullptr));
    CloseHandle(hFile);
}

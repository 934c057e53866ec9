// lxkit.exe as a vendor runs it: a kit folder of its own under TEMP with the runner, the probe and a cases.txt
// that each test writes; the console output, the exit code, the reports and what the cases saw are checked.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "unit/test_files.h"

using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

namespace
{
const DWORD c_msRunnerLimit = 90000;

std::wstring VariableOf(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(pszName, szValue, ARRAYSIZE(szValue));
    return szValue;
}

std::string Utf8Of(const std::wstring& text)
{
    std::string utf8(text.size() * 3, '\0');
    utf8.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                                        &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

std::vector<std::string> LinesOf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t iStart = 0;
    while (iStart < text.size())
    {
        size_t iEnd = text.find('\n', iStart);
        if (iEnd == std::string::npos)
            iEnd = text.size();
        std::string line = text.substr(iStart, iEnd - iStart);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        iStart = iEnd + 1;
    }
    return lines;
}

// One manifest line: the probe's case, its program, its time limit and its variables.
std::string CaseLine(const char* pszCase, const char* pszProgram = "lx_kit_probe.exe", const char* pszTimeout = "30",
                     const std::string& variables = "")
{
    std::string line = std::string("KitProbe.") + pszCase + "\t" + pszProgram + "\t" + pszTimeout;
    return line + (variables.empty() ? "" : "\t" + variables) + "\n";
}

// The first line that starts with the prefix and holds the text.
std::string FindLine(const std::vector<std::string>& lines, const std::string& prefix, const std::string& text)
{
    for (const std::string& line : lines)
    {
        if (line.compare(0, prefix.size(), prefix) == 0 && line.find(text) != std::string::npos)
            return line;
    }
    return "(no line with " + text + ")";
}

struct CKitRun
{
    DWORD dwExitCode = 0;
    std::vector<std::string> lines; // stdout and stderr
    std::string text;

    // The progress line of the case.
    std::string LineOf(const std::string& name) const { return FindLine(lines, "[", "] " + name + "  "); }
    std::string LastLine() const { return lines.empty() ? "(no output)" : lines.back(); }
};

// A fresh kit under TEMP: lxkit.exe and the probe (also in bin\, and there as lx_kit_child.exe for the probe to
// start), and the cases.txt given. Removed at the end.
class CTestKit
{
public:
    explicit CTestKit(const std::string& manifest)
    {
        wchar_t szTemp[MAX_PATH] = {};
        GetTempPathW(ARRAYSIZE(szTemp), szTemp);
        LARGE_INTEGER liNow = {};
        QueryPerformanceCounter(&liNow);
        m_folder = szTemp + (L"kit-runner-test-" + std::to_wstring(liNow.QuadPart));
        EXPECT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
        EXPECT_TRUE(CreateDirectoryW((m_folder + L"\\bin").c_str(), nullptr));
        const std::wstring probe = VariableOf(L"LX_KIT_PROBE_EXE");
        EXPECT_TRUE(CopyFileW(VariableOf(L"LX_KIT_RUNNER_EXE").c_str(), (m_folder + L"\\lxkit.exe").c_str(), TRUE));
        EXPECT_TRUE(CopyFileW(probe.c_str(), (m_folder + L"\\lx_kit_probe.exe").c_str(), TRUE));
        EXPECT_TRUE(CopyFileW(probe.c_str(), (m_folder + L"\\bin\\lx_kit_probe.exe").c_str(), TRUE));
        EXPECT_TRUE(CopyFileW(probe.c_str(), (m_folder + L"\\bin\\lx_kit_child.exe").c_str(), TRUE));
        WriteManifest(manifest);
    }
    ~CTestKit()
    {
        const std::vector<std::wstring> paths = TreeOf(m_folder);
        for (auto it = paths.rbegin(); it != paths.rend(); ++it)
        {
            if (!DeleteFileW(it->c_str()))
                RemoveDirectoryW(it->c_str());
        }
        RemoveDirectoryW(m_folder.c_str());
        DeleteFileW(ConsolePath().c_str());
    }
    CTestKit(const CTestKit&) = delete;
    CTestKit& operator=(const CTestKit&) = delete;

    const std::wstring& Folder() const { return m_folder; }
    void WriteManifest(const std::string& manifest) const { WriteAll(m_folder + L"\\cases.txt", manifest); }
    bool Has(const std::wstring& name) const { return GetFileAttributesW((m_folder + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES; }
    std::string Read(const std::wstring& name) const { return ReadAll(m_folder + L"\\" + name); }

    // The start benchmark's programs: the stand-in watcher, and the probe as the plain exe and as the launcher.
    void AddStartPrograms() const
    {
        const std::wstring probe = VariableOf(L"LX_KIT_PROBE_EXE");
        EXPECT_TRUE(CreateDirectoryW((m_folder + L"\\bin\\plain").c_str(), nullptr));
        EXPECT_TRUE(CopyFileW(VariableOf(L"LX_KIT_FAKE_WATCH_EXE").c_str(),
                              (m_folder + L"\\bin\\lx_start_watch.exe").c_str(), TRUE));
        EXPECT_TRUE(CopyFileW(probe.c_str(), (m_folder + L"\\bin\\plain\\LumenixPlain.exe").c_str(), TRUE));
        EXPECT_TRUE(CopyFileW(probe.c_str(), (m_folder + L"\\bin\\Lumenix.exe").c_str(), TRUE));
    }

    // Runs lxkit.exe from another folder, its stdout and stderr into one file, as a script on the vendor's
    // machine would.
    CKitRun Run(const std::wstring& arguments = L"") const
    {
        CKitRun run;
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        HANDLE hConsole = CreateFileW(ConsolePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, hConsole);
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = hConsole;
        si.hStdError = hConsole;
        std::wstring commandLine = L"\"" + m_folder + L"\\lxkit.exe\" " + arguments;
        PROCESS_INFORMATION pi = {};
        const BOOL fStarted = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                             &si, &pi);
        CloseHandle(hConsole);
        EXPECT_TRUE(fStarted) << "error " << GetLastError();
        if (!fStarted)
            return run;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, c_msRunnerLimit));
        GetExitCodeProcess(pi.hProcess, &run.dwExitCode);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        run.text = ReadAll(ConsolePath());
        run.lines = LinesOf(run.text);
        return run;
    }

private:
    std::wstring ConsolePath() const { return m_folder + L"-console.txt"; }

    std::wstring m_folder;
};

// Wine's crash dialog on, as in a fresh prefix, while the object lives; then the setting as it was.
class CCrashDialogsOn
{
public:
    CCrashDialogsOn()
    {
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\WineDbg", 0, nullptr, 0,
                                                 KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &m_hKey, nullptr));
        DWORD cb = sizeof(m_dwBefore);
        m_fHadValue = RegQueryValueExW(m_hKey, c_szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&m_dwBefore),
                                       &cb) == ERROR_SUCCESS;
        const DWORD dwOn = 1;
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(m_hKey, c_szValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwOn),
                                                sizeof(dwOn)));
    }
    ~CCrashDialogsOn()
    {
        if (m_fHadValue)
            RegSetValueExW(m_hKey, c_szValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&m_dwBefore),
                           sizeof(m_dwBefore));
        else
            RegDeleteValueW(m_hKey, c_szValue);
        RegCloseKey(m_hKey);
    }
    CCrashDialogsOn(const CCrashDialogsOn&) = delete;
    CCrashDialogsOn& operator=(const CCrashDialogsOn&) = delete;

    DWORD Setting() const
    {
        DWORD dwValue = MAXDWORD;
        DWORD cb = sizeof(dwValue);
        RegQueryValueExW(m_hKey, c_szValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue), &cb);
        return dwValue;
    }

private:
    static constexpr const wchar_t* c_szValue = L"ShowCrashDialog";
    HKEY m_hKey = nullptr;
    DWORD m_dwBefore = 0;
    bool m_fHadValue = false;
};
} // namespace

TEST(KitRunner, ReportsEachFailureWithItsReason)
{
    const CTestKit kit("# the probe\n\n" + CaseLine("Passes") + CaseLine("Fails", "bin/lx_kit_probe.exe") +
                       CaseLine("Hangs", "lx_kit_probe.exe", "2") + CaseLine("Crashes") +
                       CaseLine("Missing", "missing.exe") + CaseLine("NoSuchCase"));
    const CKitRun run = kit.Run();
    EXPECT_EQ(1u, run.dwExitCode) << run.text;
    ASSERT_FALSE(run.lines.empty());
    EXPECT_EQ("Running 6 cases from " + Utf8Of(kit.Folder()), run.lines.front());
    EXPECT_THAT(run.LineOf("KitProbe.Passes"), MatchesRegex("\\[1/6\\] KitProbe\\.Passes  passed  \\d+\\.\\d\\d s"));
    EXPECT_THAT(run.LineOf("KitProbe.Fails"), StartsWith("[2/6] KitProbe.Fails  failed: exit code 1  "));
    EXPECT_THAT(run.LineOf("KitProbe.Hangs"), StartsWith("[3/6] KitProbe.Hangs  failed: timed out after 2 s  "));
    EXPECT_THAT(run.LineOf("KitProbe.Crashes"),
                StartsWith("[4/6] KitProbe.Crashes  failed: crashed (exception 0xC0000005 in lx_kit_probe.exe)  "));
    EXPECT_THAT(run.LineOf("KitProbe.Missing"), StartsWith("[5/6] KitProbe.Missing  failed: could not start (error 2: "));
    EXPECT_THAT(run.LineOf("KitProbe.NoSuchCase"), StartsWith("[6/6] KitProbe.NoSuchCase  failed: ran no test  "));
    // The end of a failed case's output follows its line, indented.
    EXPECT_THAT(run.text, HasSubstr("\n    [  FAILED  ] KitProbe.Fails ("));
    EXPECT_THAT(run.text, HasSubstr("\n    lxkit: could not start \"" + Utf8Of(kit.Folder()) + "\\missing.exe\""));
    EXPECT_EQ("1 passed, 5 failed", run.LastLine());

    const std::vector<std::string> report = LinesOf(kit.Read(L"lxkit-report.txt"));
    ASSERT_FALSE(report.empty());
    for (const char* pszCase : {"Passes", "Fails", "Hangs", "Crashes", "Missing", "NoSuchCase"})
        EXPECT_NE(report.end(), std::find(report.begin(), report.end(), run.LineOf(std::string("KitProbe.") + pszCase)));
    EXPECT_NE(report.end(), std::find(report.begin(), report.end(), "=== KitProbe.Hangs: timed out after 2 s"));
    EXPECT_NE(report.end(), std::find(report.begin(), report.end(), "[  FAILED  ] 1 test, listed below:"));
    EXPECT_THAT(report[2], StartsWith("Windows:    "));
    EXPECT_EQ("1 passed, 5 failed", report.back());

    const std::string xml = kit.Read(L"lxkit-report.xml");
    EXPECT_THAT(xml, HasSubstr("<testsuite name=\"lumenix-kit\" tests=\"6\" failures=\"5\" skipped=\"0\" time=\""));
    EXPECT_THAT(FindLine(LinesOf(xml), "    <testcase classname=\"KitProbe\" name=\"Passes\"", ""),
                MatchesRegex(" *<testcase classname=\"KitProbe\" name=\"Passes\" time=\"\\d+\\.\\d\\d\\d\"/>"));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"exit code 1\">"));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"timed out after 2 s\">"));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"crashed (exception 0xC0000005 in lx_kit_probe.exe)\">"));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"could not start (error 2: "));
    EXPECT_THAT(xml, HasSubstr("<failure message=\"ran no test\">"));
    EXPECT_THAT(xml, HasSubstr("KitProbe.Fails (")); // the output inside the failure element
}

TEST(KitRunner, CountsPassesAndSkips)
{
    const CTestKit kit(CaseLine("Passes") + CaseLine("Fails") + CaseLine("Skips"));
    const CKitRun run = kit.Run(L"KitProbe.P* KitProbe.Sk?ps");
    EXPECT_EQ(0u, run.dwExitCode) << run.text;
    ASSERT_FALSE(run.lines.empty());
    EXPECT_THAT(run.lines.front(), StartsWith("Running 2 cases from "));
    EXPECT_THAT(run.LineOf("KitProbe.Skips"), MatchesRegex("\\[2/2\\] KitProbe\\.Skips  skipped  \\d+\\.\\d\\d s"));
    EXPECT_EQ("1 passed, 0 failed, 1 skipped", run.LastLine());
    const std::string xml = kit.Read(L"lxkit-report.xml");
    EXPECT_THAT(xml, HasSubstr("tests=\"2\" failures=\"0\" skipped=\"1\""));
    EXPECT_THAT(xml, HasSubstr("<testcase classname=\"KitProbe\" name=\"Skips\" time=\""));
    EXPECT_THAT(xml, HasSubstr("<skipped/>"));

    const CKitRun passing = kit.Run(L"KitProbe.Passes");
    EXPECT_EQ(0u, passing.dwExitCode) << passing.text;
    EXPECT_EQ("1 passed, 0 failed", passing.LastLine());
}

TEST(KitRunner, ListsAndRefusesWithoutRunning)
{
    const CTestKit kit(CaseLine("Passes") + CaseLine("Fails") + CaseLine("Hangs") + CaseLine("Crashes") +
                       CaseLine("Skips"));
    const CKitRun list = kit.Run(L"--list KitProbe.?a* KitProbe.Skips");
    EXPECT_EQ(0u, list.dwExitCode);
    EXPECT_EQ((std::vector<std::string>{"KitProbe.Passes", "KitProbe.Fails", "KitProbe.Hangs", "KitProbe.Skips",
                                        "4 cases"}),
              list.lines);

    const CKitRun unmatched = kit.Run(L"KitProbe.Passes KitProbe.Nothing*");
    EXPECT_EQ(2u, unmatched.dwExitCode);
    EXPECT_THAT(unmatched.text, HasSubstr("\"KitProbe.Nothing*\""));
    EXPECT_EQ(2u, kit.Run(L"--verbose").dwExitCode);

    kit.WriteManifest("# cases\r\n" + CaseLine("Passes") + CaseLine("Fails", "lx_kit_probe.exe", "soon"));
    const CKitRun badTimeout = kit.Run();
    EXPECT_EQ(2u, badTimeout.dwExitCode);
    EXPECT_THAT(badTimeout.text, HasSubstr("cases.txt, line 3: the timeout \"soon\""));

    kit.WriteManifest(CaseLine("Passes") + CaseLine("Fails") + CaseLine("Passes"));
    const CKitRun duplicate = kit.Run();
    EXPECT_EQ(2u, duplicate.dwExitCode);
    EXPECT_THAT(duplicate.text, HasSubstr("cases.txt, line 3: the name KitProbe.Passes is on line 1 already"));

    // Nothing ran: no report, no output folder.
    EXPECT_FALSE(kit.Has(L"lxkit-report.txt"));
    EXPECT_FALSE(kit.Has(L"lxkit-report.xml"));
    EXPECT_FALSE(kit.Has(L"output"));
}

TEST(KitRunner, GivesEachCaseItsEnvironmentAndRemovesTheScratchFolder)
{
    const CTestKit kit(CaseLine("WritesItsEnvironment", "lx_kit_probe.exe", "30",
                                "LX_PROBE_OUTPUT={output}\tLX_PROBE_VARIABLE=LX_PROBE_GREETING\t"
                                "LX_PROBE_GREETING=kit {kit}, output {output}"));
    const CKitRun run = kit.Run();
    EXPECT_EQ(0u, run.dwExitCode) << run.text;
    EXPECT_EQ("1 passed, 0 failed", run.LastLine());

    const std::string kitFolder = Utf8Of(kit.Folder());
    const std::string outputFolder = kitFolder + "\\output\\KitProbe.WritesItsEnvironment";
    const std::vector<std::string> seen = LinesOf(kit.Read(L"output\\KitProbe.WritesItsEnvironment\\environment.txt"));
    ASSERT_EQ(4u, seen.size());
    EXPECT_EQ("LX_PROBE_GREETING=kit " + kitFolder + ", output " + outputFolder, seen[3]);
    // TEMP is %TEMP%\lxkit-<pid>\1 of the runner, a folder while the case ran and gone with the scratch folder.
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(ARRAYSIZE(szTemp), szTemp);
    const std::string temp = seen[0].substr(seen[0].find('=') + 1);
    EXPECT_THAT(seen[0], MatchesRegex("TEMP=.*\\\\lxkit-\\d+\\\\1"));
    EXPECT_THAT(temp, StartsWith(Utf8Of(szTemp) + "lxkit-"));
    EXPECT_EQ("TMP=" + temp, seen[1]);
    EXPECT_EQ("TEMP is a folder=yes", seen[2]);
    const std::string scratch = temp.substr(0, temp.rfind('\\'));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(scratch.c_str())) << scratch;
}

// Where a crash dialog would hold a crashed process until the case's time limit, the case's own crash and a crash
// of a program it started each end at once and are told as crashes of that program. The dialog's setting is the
// user's again afterwards.
TEST(KitRunner, TellsACrashAtOnceWhereCrashDialogsShow)
{
    const CCrashDialogsOn crashDialogs;
    const CTestKit kit(CaseLine("Crashes", "lx_kit_probe.exe", "20") +
                       CaseLine("StartsACrashingChild", "lx_kit_probe.exe", "20",
                                "LX_PROBE_CHILD={kit}\\bin\\lx_kit_child.exe") +
                       CaseLine("StartsAChildThatExitsWithMinusFive", "lx_kit_probe.exe", "20",
                                "LX_PROBE_CHILD={kit}\\bin\\lx_kit_child.exe"));
    const CKitRun run = kit.Run(L"--start-runs 0");
    EXPECT_EQ(1u, run.dwExitCode) << run.text;
    // A negative exit value is no crash; no start benchmark follows with 0 runs.
    EXPECT_THAT(run.LineOf("KitProbe.StartsAChildThatExitsWithMinusFive"),
                StartsWith("[3/3] KitProbe.StartsAChildThatExitsWithMinusFive  passed  "));
    EXPECT_THAT(run.text, Not(HasSubstr("Start benchmark")));
    EXPECT_THAT(run.LineOf("KitProbe.Crashes"),
                StartsWith("[1/3] KitProbe.Crashes  failed: crashed (exception 0xC0000005 in lx_kit_probe.exe)  "));
    // The case's own process failed with exit code 1: the crash it met is what is told.
    EXPECT_THAT(run.LineOf("KitProbe.StartsACrashingChild"),
                StartsWith("[2/3] KitProbe.StartsACrashingChild  failed: crashed (exception 0xC0000005 in "
                           "lx_kit_child.exe)  "));
    EXPECT_THAT(run.text, HasSubstr("\n    [  FAILED  ] KitProbe.StartsACrashingChild ("));
    EXPECT_EQ("1 passed, 2 failed", run.LastLine());

    const std::vector<std::string> report = LinesOf(kit.Read(L"lxkit-report.txt"));
    EXPECT_NE(report.end(), std::find(report.begin(), report.end(),
                                      "=== KitProbe.StartsACrashingChild: crashed (exception 0xC0000005 in "
                                      "lx_kit_child.exe)"));
    EXPECT_THAT(kit.Read(L"lxkit-report.xml"),
                HasSubstr("<failure message=\"crashed (exception 0xC0000005 in lx_kit_child.exe)\">"));
    EXPECT_EQ(1u, crashDialogs.Setting());
}

// The start benchmark's figures are told, not judged: each median and ratio on a line of its own on the console and
// in both reports, every run with the machine in lxkit-start.txt, a start that failed with its reason, and a kit
// that lacks the programs says so. The cases' exit code is theirs alone.
TEST(KitRunner, ReportsTheStartBenchmarkWithoutJudgingIt)
{
    const CTestKit kit(CaseLine("Passes"));
    const CKitRun missing = kit.Run(L"--start-bench");
    EXPECT_EQ(1u, missing.dwExitCode) << missing.text;
    const std::string missingLine = "Start benchmark: could not run: the kit has no bin\\lx_start_watch.exe";
    EXPECT_THAT(missing.lines, Contains(missingLine)) << missing.text;
    EXPECT_THAT(LinesOf(kit.Read(L"lxkit-start.txt")), Contains(missingLine));
    EXPECT_FALSE(kit.Has(L"lxkit-report.txt"));

    kit.AddStartPrograms();
    const CKitRun run = kit.Run(L"--start-runs 3");
    EXPECT_EQ(0u, run.dwExitCode) << run.text;
    EXPECT_EQ("1 passed, 0 failed", run.LastLine());
    const std::vector<std::string> startReport = LinesOf(kit.Read(L"lxkit-start.txt"));
    // Medians of rounds 1 to 3; round 2's cold start gave none.
    const std::vector<std::pair<std::string, std::string>> figures = {
        {"first pixel (ms) ", "first pixel \\(ms\\) +310\\.0 +115\\.0 +95\\.0"},
        {"managed entry (ms) ", "managed entry \\(ms\\) +100\\.0 +410\\.0 +380\\.0"},
        {"main window (ms) ", "main window \\(ms\\) +310\\.0 +570\\.0 +540\\.0"},
        {"peak working set (MiB) ", "peak working set \\(MiB\\) +44\\.2 +55\\.1 +54\\.8"},
        {"launcher warm entry / plain entry ", "launcher warm entry / plain entry +3\\.800"},
        {"plain first window / launcher first pixel (cold) ",
         "plain first window / launcher first pixel \\(cold\\) +2\\.696"},
        {"missed: ", "missed: round 2, launcher cold: cannot start .*\\\\bin\\\\Lumenix\\.exe: error 2"}};
    for (const auto& lines : {run.lines, LinesOf(kit.Read(L"lxkit-report.txt")), startReport})
    {
        for (const auto& figure : figures)
            EXPECT_THAT(FindLine(lines, figure.first, ""), MatchesRegex(figure.second));
    }
    EXPECT_THAT(FindLine(startReport, ".NET Framework: ", ""),
                AnyOf(".NET Framework: none", MatchesRegex(".NET Framework: release \\d+ .*")));
    EXPECT_THAT(FindLine(startReport, "Processor: ", ""), MatchesRegex("Processor: +.+, \\d+ logical processors"));
    EXPECT_THAT(FindLine(startReport, "Windows: ", ""), MatchesRegex("Windows: +\\d+\\.\\d+\\.\\d+.*"));
    // Every run, round 0 too, with the failed start's reason on its line.
    EXPECT_THAT(FindLine(startReport, "    0  plain exe ", ""),
                MatchesRegex(" +0  plain exe +9000\\.0 .* 900\\.0 +0  .*"));
    EXPECT_THAT(FindLine(startReport, "    2  launcher cold ", ""),
                MatchesRegex(" +2  launcher cold +- +- +- +- +-1  -  missed: cannot start .*"));

    // Alone, a failed start fails the run; a run of some cases has no benchmark unless asked.
    EXPECT_EQ(1u, kit.Run(L"--start-bench 2").dwExitCode);
    const CKitRun cases = kit.Run(L"KitProbe.Passes");
    EXPECT_EQ(0u, cases.dwExitCode);
    EXPECT_THAT(cases.text, Not(HasSubstr("Start benchmark")));
}

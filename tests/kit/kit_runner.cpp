// lxkit.exe, the acceptance kit's runner. A vendor unpacks the kit on a Windows machine and starts this program:
// it runs each GoogleTest case that cases.txt beside it names, each in a process of its own with a time limit,
// and tells on the console and in two reports beside it (text and JUnit XML) what became of each. After a run of
// every case, or alone, it runs the start benchmark and gives its figures in a third report, lxkit-start.txt.
//
// It must run on a bare Windows 7 SP1 x64 and later, so it is one statically linked exe that uses only what those
// systems have. It leaves nothing behind outside the kit folder but what the vendor wants to keep: the scratch
// folder that every case's TEMP lies in and the tests' registry key go again at the end.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "environment_block.h"

namespace
{
const wchar_t c_szManifestName[] = L"cases.txt";
const wchar_t c_szTextReportName[] = L"lxkit-report.txt";
const wchar_t c_szXmlReportName[] = L"lxkit-report.xml";
const wchar_t c_szOutputFolderName[] = L"output";
const wchar_t c_szStartReportName[] = L"lxkit-start.txt";
// The tests make scratch keys below it; a test that crashed may leave one.
const wchar_t c_szTestsKey[] = L"Software\\LumenixTests";
// Wine's debugger settings, with the one that puts up Wine's crash dialog.
const wchar_t c_szWineDbgKey[] = L"Software\\Wine\\WineDbg";
const wchar_t c_szShowCrashDialog[] = L"ShowCrashDialog";

const int c_nExitPassed = 0;
const int c_nExitFailed = 1;
const int c_nExitUsage = 2;

const DWORD c_dwTimeoutSecondsMax = 86400;
const size_t c_cTailLines = 40;
const size_t c_cbReportOutputMax = 64 * 1024;
// A manifest larger than this is no list of cases.
const LONGLONG c_cbManifestMax = 16 * 1024 * 1024;
// A runaway case may print gigabytes; this much of its end is read.
const LONGLONG c_cbCaseOutputMax = 64 * 1024 * 1024;
// After the job is terminated its processes are gone in a moment; this bounds a process that will not die.
const DWORD c_msTerminateWait = 10000;
// A process that was killed closes its handles a little later: removing the scratch folder tries again meanwhile.
const int c_cDeleteTries = 20;
const DWORD c_msDeleteRetry = 250;

// The start benchmark's programs, relative to the kit folder: the watcher, and the two ways to start the product.
const wchar_t c_szStartWatchProgram[] = L"bin\\lx_start_watch.exe";
const wchar_t c_szPlainProgram[] = L"bin\\plain\\LumenixPlain.exe";
const wchar_t c_szLauncherProgram[] = L"bin\\Lumenix.exe";
const int c_cStartRunsDefault = 7;
const int c_cStartRunsMax = 1000;
// lx_start_watch ends a start after 120 s; a round is three starts.
const DWORD c_dwStartRoundSecondsMax = 3 * 130;

const char c_szPassedTag[] = "[       OK ] ";
const char c_szSkippedTag[] = "[  SKIPPED ] ";

// A failed call's own error; a call that failed without setting one still fails.
HRESULT HResultOfLastError()
{
    const DWORD dwError = GetLastError();
    return dwError ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
}

// --- Ownership -----------------------------------------------------------------------------------------------

// A kernel handle, closed when it goes. CreateFileW answers INVALID_HANDLE_VALUE, most other calls null: both
// mean none here.
class CHandle
{
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr)
    {
        if (IsValid())
            CloseHandle(m_h);
        m_h = h;
    }

private:
    HANDLE m_h = nullptr;
};

class CFindHandle
{
public:
    explicit CFindHandle(HANDLE h) : m_h(h) {}
    ~CFindHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            FindClose(m_h);
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// A process of a case's job, held from the moment the job told of it: its exit code can still be read when the
// case is over, even after the test that started it has closed its own handle.
struct CJobProcess
{
    CHandle hProcess;
    DWORD dwProcessId = 0;
};

// The file name of a process's program, or "process <id>" when the system does not tell it.
std::wstring ProgramOf(const CJobProcess& process)
{
    wchar_t szPath[MAX_PATH * 4] = {};
    DWORD cch = ARRAYSIZE(szPath);
    if (!QueryFullProcessImageNameW(process.hProcess.Get(), 0, szPath, &cch))
        return L"process " + std::to_wstring(process.dwProcessId);
    const std::wstring path(szPath, cch);
    return path.substr(path.find_last_of(L'\\') + 1);
}

// The first process of a case that ended by an exception: the exception's code and the program's file name.
struct CCrash
{
    bool fCrashed = false;
    DWORD dwCode = 0;
    std::wstring program;
};

// An exit code that is an NTSTATUS error: what a process ends with when an exception ends it. A small negative
// number is a program's own exit value (Lumenix.exe passes on the product's negative result): no exception has one.
bool IsExceptionCode(DWORD dwExitCode)
{
    return dwExitCode >= 0xC0000000 && dwExitCode < 0xFFFF0000;
}

DWORD MillisecondsUntil(ULONGLONG ullDeadline)
{
    const ULONGLONG ullNow = GetTickCount64();
    return ullNow < ullDeadline ? static_cast<DWORD>(ullDeadline - ullNow) : 0;
}

// The job a case runs in. A test may start further processes (the launcher exe, which may start its own):
// terminating the job ends all of them, and closing it ends whatever is still running when the case is over.
// A process of the job with an unhandled exception ends at once with its code, without Windows Error Reporting's
// dialog, whatever error mode it set itself (Lumenix.exe sets its own); the job tells of each process that joins
// it, so that the one that crashed can be named.
class CJob
{
public:
    CJob() = default;
    CJob(const CJob&) = delete;
    CJob& operator=(const CJob&) = delete;

    HRESULT Create()
    {
        m_hJob.Reset(CreateJobObjectW(nullptr, nullptr));
        if (!m_hJob.IsValid())
            return HResultOfLastError();
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags =
            JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
        if (!SetInformationJobObject(m_hJob.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
            return HResultOfLastError();
        m_hPort.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
        if (!m_hPort.IsValid())
            return HResultOfLastError();
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT port = {};
        port.CompletionPort = m_hPort.Get();
        if (!SetInformationJobObject(m_hJob.Get(), JobObjectAssociateCompletionPortInformation, &port, sizeof(port)))
            return HResultOfLastError();
        return S_OK;
    }

    // Windows 7 puts no process into a second job: when the runner itself runs in one (a CI service, a remote
    // shell), this fails and the case runs without.
    HRESULT Assign(HANDLE hProcess)
    {
        if (!AssignProcessToJobObject(m_hJob.Get(), hProcess))
            return HResultOfLastError();
        m_fHoldsProcess = true;
        return S_OK;
    }

    bool HoldsProcess() const { return m_fHoldsProcess; }

    // Waits until the case's process has ended (true) or the time is over, and meanwhile takes hold of each
    // process the job tells of as soon as it is told. Without the job only the case's own process is waited for.
    bool WaitForProcess(HANDLE hProcess, DWORD dwProcessId, DWORD msTimeout)
    {
        if (!m_fHoldsProcess)
            return WaitForSingleObject(hProcess, msTimeout) != WAIT_TIMEOUT;
        const ULONGLONG ullDeadline = GetTickCount64() + msTimeout;
        for (;;)
        {
            DWORD dwMessage = 0;
            ULONG_PTR ulKey = 0;
            OVERLAPPED* pMessageData = nullptr;
            if (!GetQueuedCompletionStatus(m_hPort.Get(), &dwMessage, &ulKey, &pMessageData,
                                           MillisecondsUntil(ullDeadline)))
            {
                // Out of time, or the port failed: the process itself tells.
                return WaitForSingleObject(hProcess, MillisecondsUntil(ullDeadline)) != WAIT_TIMEOUT;
            }
            // A job's message carries a process id where an I/O's would carry its overlapped structure.
            const DWORD dwId = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pMessageData));
            if (dwMessage == JOB_OBJECT_MSG_NEW_PROCESS)
                HoldProcess(dwId);
            else if ((dwMessage == JOB_OBJECT_MSG_EXIT_PROCESS || dwMessage == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS) &&
                     dwId == dwProcessId)
                return true;
        }
    }

    // The process of the job that was first to end with an exception's code. Asked before the job is closed:
    // what closing it ends is no crash.
    CCrash FindCrash() const
    {
        CCrash crash;
        FILETIME ftFirstExit = {MAXDWORD, MAXDWORD};
        for (const auto& pProcess : m_processes)
        {
            DWORD dwExitCode = STILL_ACTIVE;
            FILETIME ftCreation = {}, ftExit = {}, ftKernel = {}, ftUser = {};
            if (!GetExitCodeProcess(pProcess->hProcess.Get(), &dwExitCode) || !IsExceptionCode(dwExitCode) ||
                !GetProcessTimes(pProcess->hProcess.Get(), &ftCreation, &ftExit, &ftKernel, &ftUser))
                continue;
            if (CompareFileTime(&ftExit, &ftFirstExit) < 0)
            {
                ftFirstExit = ftExit;
                crash.fCrashed = true;
                crash.dwCode = dwExitCode;
                crash.program = ProgramOf(*pProcess);
            }
        }
        return crash;
    }

    void Terminate(UINT uExitCode) const { TerminateJobObject(m_hJob.Get(), uExitCode); }
    // The runner holds the job's only handle: closing it ends every process still in the job.
    void Close() { m_hJob.Reset(); }

private:
    // A process that has ended before the runner takes hold of it, and that no one holds any more, is not there
    // to be named; the tests hold the processes they start until they have read their exit codes.
    void HoldProcess(DWORD dwProcessId)
    {
        auto pProcess = std::make_unique<CJobProcess>();
        pProcess->hProcess.Reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, dwProcessId));
        pProcess->dwProcessId = dwProcessId;
        if (pProcess->hProcess.IsValid())
            m_processes.push_back(std::move(pProcess));
    }

    CHandle m_hJob;
    CHandle m_hPort;
    bool m_fHoldsProcess = false;
    std::vector<std::unique_ptr<CJobProcess>> m_processes; // in the order the job told of them
};

// --- Text ----------------------------------------------------------------------------------------------------

std::string Utf8FromWide(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
    std::string utf8(static_cast<size_t>(std::max(cb, 0)), '\0');
    if (cb > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], cb, nullptr, nullptr);
    return utf8;
}

// Without MB_ERR_INVALID_CHARS every invalid byte becomes U+FFFD: a test's output is shown, whatever it holds.
std::wstring WideFromUtf8(const char* pch, size_t cch, DWORD dwFlags = 0)
{
    if (!cch)
        return std::wstring();
    const int cchWide = MultiByteToWideChar(CP_UTF8, dwFlags, pch, static_cast<int>(cch), nullptr, 0);
    std::wstring wide(static_cast<size_t>(std::max(cchWide, 0)), L'\0');
    if (cchWide > 0)
        MultiByteToWideChar(CP_UTF8, dwFlags, pch, static_cast<int>(cch), &wide[0], cchWide);
    return wide;
}

std::wstring HexOf(DWORD dw)
{
    const wchar_t szDigits[] = L"0123456789ABCDEF";
    std::wstring hex = L"0x";
    for (int iShift = 28; iShift >= 0; iShift -= 4)
        hex += szDigits[(dw >> iShift) & 0xF];
    return hex;
}

std::wstring PaddedNumber(unsigned long ul, size_t cchWidth, wchar_t chPad = L' ')
{
    std::wstring number = std::to_wstring(ul);
    if (number.size() < cchWidth)
        number.insert(0, cchWidth - number.size(), chPad);
    return number;
}

// "0.42" for two decimals, "0.420" for three, rounded.
std::wstring SecondsOf(ULONGLONG ms, int cDecimals)
{
    const ULONGLONG ullScale = cDecimals == 2 ? 10 : 1;
    const ULONGLONG ullUnits = (ms + ullScale / 2) / ullScale;
    const ULONGLONG ullPerSecond = 1000 / ullScale;
    return std::to_wstring(ullUnits / ullPerSecond) + L"." +
           PaddedNumber(static_cast<unsigned long>(ullUnits % ullPerSecond), static_cast<size_t>(cDecimals), L'0');
}

// The system's words for an error, without the line break it ends with.
std::wstring MessageOf(HRESULT hr)
{
    const DWORD dwCode = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : static_cast<DWORD>(hr);
    wchar_t* pszMessage = nullptr;
    const DWORD cch = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     nullptr, dwCode, 0, reinterpret_cast<wchar_t*>(&pszMessage), 0, nullptr);
    std::wstring message = cch ? std::wstring(pszMessage, cch) : L"no description";
    LocalFree(pszMessage);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return message;
}

// "error 5: Access is denied." - a Win32 error by its own number, others as HRESULT.
std::wstring DescribeError(HRESULT hr)
{
    const std::wstring code = HRESULT_FACILITY(hr) == FACILITY_WIN32 ? std::to_wstring(HRESULT_CODE(hr))
                                                                     : HexOf(static_cast<DWORD>(hr));
    return L"error " + code + L": " + MessageOf(hr);
}

// The lines of a text (bytes or UTF-16); a line break at the very end starts no further line, and CR before LF
// is dropped.
template <typename TChar>
std::vector<std::basic_string<TChar>> LinesOf(const std::basic_string<TChar>& text)
{
    std::vector<std::basic_string<TChar>> lines;
    size_t iStart = 0;
    while (iStart < text.size())
    {
        size_t iEnd = text.find(TChar('\n'), iStart);
        if (iEnd == std::basic_string<TChar>::npos)
            iEnd = text.size();
        std::basic_string<TChar> line = text.substr(iStart, iEnd - iStart);
        if (!line.empty() && line.back() == TChar('\r'))
            line.pop_back();
        lines.push_back(line);
        iStart = iEnd + 1;
    }
    return lines;
}

// Whole name against a pattern with * (any run) and ? (any one character), case-sensitive as GoogleTest is.
bool MatchesPattern(const std::wstring& name, const std::wstring& pattern)
{
    size_t iName = 0;
    size_t iPattern = 0;
    size_t iStar = std::wstring::npos;
    size_t iNameAtStar = 0;
    while (iName < name.size())
    {
        if (iPattern < pattern.size() && (pattern[iPattern] == L'?' || pattern[iPattern] == name[iName]))
        {
            ++iName;
            ++iPattern;
        }
        else if (iPattern < pattern.size() && pattern[iPattern] == L'*')
        {
            iStar = iPattern++;
            iNameAtStar = iName;
        }
        else if (iStar != std::wstring::npos)
        {
            iPattern = iStar + 1;
            iName = ++iNameAtStar;
        }
        else
            return false;
    }
    while (iPattern < pattern.size() && pattern[iPattern] == L'*')
        ++iPattern;
    return iPattern == pattern.size();
}

// --- Console -------------------------------------------------------------------------------------------------

// Writes whole lines to a standard handle, each with one call and unbuffered, so that a line is out before the
// next case starts. A console gets UTF-16 (WriteConsoleW shows a path in any code page); a pipe or a file gets
// UTF-8 bytes, which is also what Wine's Unix pipes carry.
class CLineWriter
{
public:
    explicit CLineWriter(DWORD nStdHandle) : m_h(GetStdHandle(nStdHandle))
    {
        DWORD dwMode = 0;
        m_fConsole = m_h && m_h != INVALID_HANDLE_VALUE && GetConsoleMode(m_h, &dwMode);
    }

    void WriteLine(const std::wstring& line) const
    {
        if (!m_h || m_h == INVALID_HANDLE_VALUE)
            return;
        const std::wstring text = line + L"\r\n";
        DWORD dwWritten = 0;
        if (m_fConsole)
        {
            WriteConsoleW(m_h, text.data(), static_cast<DWORD>(text.size()), &dwWritten, nullptr);
            return;
        }
        const std::string utf8 = Utf8FromWide(text);
        WriteFile(m_h, utf8.data(), static_cast<DWORD>(utf8.size()), &dwWritten, nullptr);
    }

private:
    HANDLE m_h;
    bool m_fConsole = false;
};

// Every failure of the runner's own steps is told where it is met, with what was being done; the HRESULT goes
// up unchanged, and the caller only decides what it means for the run.
HRESULT TellFailure(HRESULT hr, const std::wstring& what)
{
    CLineWriter(STD_ERROR_HANDLE).WriteLine(L"lxkit: " + what + L": " + DescribeError(hr));
    return hr;
}

#define KitReturnIfFailed(hrStep, what)                                                                                \
    do                                                                                                                 \
    {                                                                                                                  \
        const HRESULT hrKitStep = (hrStep);                                                                            \
        if (FAILED(hrKitStep))                                                                                         \
            return TellFailure(hrKitStep, (what));                                                                     \
    } while (false)

// --- Files and folders ---------------------------------------------------------------------------------------

enum class CLongFile
{
    Refuse,
    KeepEnd
};

// The file's bytes; a file longer than cbMax is refused or, for a case's output, read from where its last cbMax
// bytes start: the tail, the report and GoogleTest's result line all lie at the end.
HRESULT ReadWholeFile(const std::wstring& path, LONGLONG cbMax, CLongFile longFile, std::string& data)
{
    CHandle hFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.IsValid())
        return HResultOfLastError();
    LARGE_INTEGER liSize = {};
    if (!GetFileSizeEx(hFile.Get(), &liSize))
        return HResultOfLastError();
    if (liSize.QuadPart > cbMax)
    {
        if (longFile == CLongFile::Refuse)
            return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        LARGE_INTEGER liStart = {};
        liStart.QuadPart = liSize.QuadPart - cbMax;
        if (!SetFilePointerEx(hFile.Get(), liStart, nullptr, FILE_BEGIN))
            return HResultOfLastError();
        liSize.QuadPart = cbMax;
    }
    data.assign(static_cast<size_t>(liSize.QuadPart), '\0');
    DWORD cbRead = 0;
    if (!data.empty() && !ReadFile(hFile.Get(), &data[0], static_cast<DWORD>(data.size()), &cbRead, nullptr))
        return HResultOfLastError();
    data.resize(cbRead);
    return S_OK;
}

HRESULT WriteWholeFile(const std::wstring& path, const std::string& data)
{
    CHandle hFile(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile.IsValid())
        return HResultOfLastError();
    DWORD cbWritten = 0;
    if (!WriteFile(hFile.Get(), data.data(), static_cast<DWORD>(data.size()), &cbWritten, nullptr))
        return HResultOfLastError();
    return cbWritten == data.size() ? S_OK : HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
}

bool IsMissing(HRESULT hr)
{
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

// Removes a folder with everything below it; a folder that is not there is no failure. A junction below it is
// removed as a link: what it points to is not the runner's to delete.
HRESULT DeleteTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW find = {};
    CFindHandle hFind(FindFirstFileW((folder + L"\\*").c_str(), &find));
    if (!hFind.IsValid())
    {
        const HRESULT hr = HResultOfLastError();
        return IsMissing(hr) ? S_OK : hr;
    }
    HRESULT hrFirst = S_OK;
    do
    {
        const std::wstring name = find.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const std::wstring path = folder + L"\\" + name;
        HRESULT hr = S_OK;
        if (find.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesW(path.c_str(), find.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
        if (!(find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            hr = DeleteFileW(path.c_str()) ? S_OK : HResultOfLastError();
        else if (find.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            hr = RemoveDirectoryW(path.c_str()) ? S_OK : HResultOfLastError();
        else
            hr = DeleteTree(path);
        if (FAILED(hr) && SUCCEEDED(hrFirst))
            hrFirst = hr;
    } while (FindNextFileW(hFind.Get(), &find));
    if (FAILED(hrFirst))
        return hrFirst;
    return RemoveDirectoryW(folder.c_str()) ? S_OK : HResultOfLastError();
}

HRESULT CreateFolder(const std::wstring& folder)
{
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
        return S_OK;
    return HResultOfLastError();
}

// An empty folder of that name, whatever was there before.
HRESULT CreateFreshFolder(const std::wstring& folder)
{
    const HRESULT hr = DeleteTree(folder);
    if (FAILED(hr))
        return hr;
    return CreateDirectoryW(folder.c_str(), nullptr) ? S_OK : HResultOfLastError();
}

// The folder every case's TEMP lies in, %TEMP%\lxkit-<pid>: whatever a test leaves in its TEMP goes with it.
class CScratchFolder
{
public:
    CScratchFolder() = default;
    ~CScratchFolder() { Remove(); }
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    HRESULT Create()
    {
        wchar_t szTemp[MAX_PATH + 1] = {};
        const DWORD cch = GetTempPathW(ARRAYSIZE(szTemp), szTemp);
        if (!cch || cch > ARRAYSIZE(szTemp))
            KitReturnIfFailed(cch ? HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW) : HResultOfLastError(),
                              L"could not find the folder for temporary files");
        // Windows often hands out TEMP in its short 8.3 form (C:\Users\RUNNER~1\...); the cases compare paths
        // that the runtime and the system report in their long form.
        wchar_t szLong[MAX_PATH + 1] = {};
        const DWORD cchLong = GetLongPathNameW(szTemp, szLong, ARRAYSIZE(szLong));
        if (cchLong && cchLong < ARRAYSIZE(szLong))
            lstrcpyW(szTemp, szLong);
        const std::wstring folder = szTemp + (L"lxkit-" + std::to_wstring(GetCurrentProcessId()));
        // A folder of that name is left from an earlier runner that had this process id and was killed.
        KitReturnIfFailed(CreateFreshFolder(folder), L"could not make the scratch folder " + folder);
        m_folder = folder;
        return S_OK;
    }

    const std::wstring& Folder() const { return m_folder; }

    HRESULT Remove()
    {
        if (m_folder.empty())
            return S_OK;
        HRESULT hr = S_OK;
        for (int iTry = 1; iTry <= c_cDeleteTries; ++iTry)
        {
            hr = DeleteTree(m_folder);
            if (SUCCEEDED(hr))
                break;
            Sleep(c_msDeleteRetry);
        }
        const std::wstring folder = m_folder;
        m_folder.clear();
        KitReturnIfFailed(hr, L"could not remove the scratch folder " + folder);
        return S_OK;
    }

private:
    std::wstring m_folder;
};

// HKCU\Software\LumenixTests as it was when the runner started: when it was not there, it goes again at the end,
// with whatever scratch keys a crashed test left below it. HKLM is never touched.
class CTestsKeyGuard
{
public:
    CTestsKeyGuard()
    {
        HKEY hKey = nullptr;
        m_fExisted = RegOpenKeyExW(HKEY_CURRENT_USER, c_szTestsKey, 0, KEY_READ, &hKey) == ERROR_SUCCESS;
        if (hKey)
            RegCloseKey(hKey);
    }
    ~CTestsKeyGuard() { Restore(); }
    CTestsKeyGuard(const CTestsKeyGuard&) = delete;
    CTestsKeyGuard& operator=(const CTestsKeyGuard&) = delete;

    HRESULT Restore()
    {
        if (m_fExisted || m_fRestored)
            return S_OK;
        m_fRestored = true;
        const LSTATUS lStatus = RegDeleteTreeW(HKEY_CURRENT_USER, c_szTestsKey);
        if (lStatus != ERROR_SUCCESS && lStatus != ERROR_FILE_NOT_FOUND)
            KitReturnIfFailed(HRESULT_FROM_WIN32(static_cast<DWORD>(lStatus)),
                              std::wstring(L"could not remove HKEY_CURRENT_USER\\") + c_szTestsKey);
        return S_OK;
    }

private:
    bool m_fExisted = false;
    bool m_fRestored = false;
};

bool IsWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

HRESULT HResultOfStatus(LSTATUS lStatus)
{
    return lStatus == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(static_cast<DWORD>(lStatus));
}

// Under Wine a process with an unhandled exception waits in Wine's crash dialog for a user, whatever its error
// mode and its job say. While the runner runs, HKEY_CURRENT_USER\Software\Wine\WineDbg says not to show it, and
// at the end the setting is as it was. Windows has no such setting: nothing is written there.
class CWineCrashDialogGuard
{
public:
    CWineCrashDialogGuard() = default;
    ~CWineCrashDialogGuard() { Restore(); }
    CWineCrashDialogGuard(const CWineCrashDialogGuard&) = delete;
    CWineCrashDialogGuard& operator=(const CWineCrashDialogGuard&) = delete;

    HRESULT TurnOff()
    {
        if (!IsWine())
            return S_OK;
        const std::wstring key = std::wstring(L"HKEY_CURRENT_USER\\") + c_szWineDbgKey;
        HKEY hKey = nullptr;
        DWORD dwDisposition = 0;
        KitReturnIfFailed(HResultOfStatus(RegCreateKeyExW(HKEY_CURRENT_USER, c_szWineDbgKey, 0, nullptr, 0,
                                                          KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &hKey,
                                                          &dwDisposition)),
                          L"could not open " + key);
        m_hKey = hKey;
        m_fCreatedKey = dwDisposition == REG_CREATED_NEW_KEY;
        m_cbBefore = sizeof(m_abBefore);
        m_fHadValue = RegQueryValueExW(m_hKey, c_szShowCrashDialog, nullptr, &m_dwTypeBefore, m_abBefore,
                                       &m_cbBefore) == ERROR_SUCCESS;
        const DWORD dwOff = 0;
        KitReturnIfFailed(HResultOfStatus(RegSetValueExW(m_hKey, c_szShowCrashDialog, 0, REG_DWORD,
                                                         reinterpret_cast<const BYTE*>(&dwOff), sizeof(dwOff))),
                          L"could not turn Wine's crash dialog off in " + key);
        return S_OK;
    }

    HRESULT Restore()
    {
        if (!m_hKey)
            return S_OK;
        LSTATUS lStatus = m_fHadValue ? RegSetValueExW(m_hKey, c_szShowCrashDialog, 0, m_dwTypeBefore, m_abBefore,
                                                       m_cbBefore)
                                      : RegDeleteValueW(m_hKey, c_szShowCrashDialog);
        RegCloseKey(m_hKey);
        m_hKey = nullptr;
        if (lStatus == ERROR_SUCCESS && m_fCreatedKey)
            lStatus = RegDeleteKeyW(HKEY_CURRENT_USER, c_szWineDbgKey);
        if (lStatus != ERROR_FILE_NOT_FOUND)
            KitReturnIfFailed(HResultOfStatus(lStatus), std::wstring(L"could not put back HKEY_CURRENT_USER\\") +
                                                            c_szWineDbgKey + L"\\" + c_szShowCrashDialog);
        return S_OK;
    }

private:
    HKEY m_hKey = nullptr;
    bool m_fCreatedKey = false;
    bool m_fHadValue = false;
    DWORD m_dwTypeBefore = 0;
    BYTE m_abBefore[64] = {};
    DWORD m_cbBefore = 0;
};

HRESULT FindKitFolder(std::wstring& folder)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD cch = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (!cch)
            KitReturnIfFailed(HResultOfLastError(), L"could not find the runner's own path");
        if (cch < path.size())
        {
            path.resize(cch);
            break;
        }
        path.resize(path.size() * 2);
    }
    folder = path.substr(0, path.find_last_of(L'\\'));
    return S_OK;
}

// --- The manifest --------------------------------------------------------------------------------------------

typedef std::vector<std::pair<std::wstring, std::wstring>> CVariables;

struct CCaseEntry
{
    std::wstring name;    // Suite.Case
    std::wstring program; // relative to the kit folder, with backslashes
    DWORD dwTimeoutSeconds = 0;
    CVariables variables; // values still with {kit} and {output}
    UINT uLine = 0;
};

bool IsIdentifierChar(wchar_t ch)
{
    return (ch >= L'a' && ch <= L'z') || (ch >= L'A' && ch <= L'Z') || (ch >= L'0' && ch <= L'9') || ch == L'_';
}

// GoogleTest's names are C++ identifiers: Suite.Case of those selects exactly one case in --gtest_filter, and
// serves as a folder name as it is.
bool IsCaseName(const std::wstring& name)
{
    const size_t iDot = name.find(L'.');
    if (iDot == 0 || iDot == std::wstring::npos || iDot + 1 == name.size())
        return false;
    for (size_t i = 0; i < name.size(); ++i)
    {
        if (i != iDot && !IsIdentifierChar(name[i]))
            return false;
    }
    return true;
}

// A relative path that stays inside the kit folder: no drive, no root, no "..", nothing Windows refuses in a name.
bool IsProgramPath(const std::wstring& program)
{
    if (program.empty() || program[0] == L'\\' || program.find_first_of(L":*?\"<>|") != std::wstring::npos)
        return false;
    size_t iStart = 0;
    while (iStart <= program.size())
    {
        size_t iEnd = program.find(L'\\', iStart);
        if (iEnd == std::wstring::npos)
            iEnd = program.size();
        const std::wstring part = program.substr(iStart, iEnd - iStart);
        if (part.empty() || part == L"..")
            return false;
        iStart = iEnd + 1;
    }
    return true;
}

bool ParseTimeout(const std::wstring& field, DWORD& dwSeconds)
{
    if (field.empty() || field.size() > 9 || field.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    dwSeconds = static_cast<DWORD>(std::stoul(field));
    return dwSeconds >= 1 && dwSeconds <= c_dwTimeoutSecondsMax;
}

// Fills entry from one line's fields, or says what is wrong with them.
bool ParseCaseFields(const std::vector<std::wstring>& fields, CCaseEntry& entry, std::wstring& problem)
{
    if (fields.size() < 3)
    {
        problem = L"expected NAME<TAB>PROGRAM<TAB>TIMEOUT_SECONDS[<TAB>VAR=VALUE]..., found " +
                  std::to_wstring(fields.size()) + L" field(s)";
        return false;
    }
    entry.name = fields[0];
    if (!IsCaseName(entry.name))
    {
        problem = L"the name \"" + entry.name + L"\" is not Suite.Case (letters, digits and _ around one dot)";
        return false;
    }
    entry.program = fields[1];
    std::replace(entry.program.begin(), entry.program.end(), L'/', L'\\');
    if (!IsProgramPath(entry.program))
    {
        problem = L"the program \"" + fields[1] + L"\" is not a relative path inside the kit folder";
        return false;
    }
    if (!ParseTimeout(fields[2], entry.dwTimeoutSeconds))
    {
        problem = L"the timeout \"" + fields[2] + L"\" is not a whole number of seconds from 1 to " +
                  std::to_wstring(c_dwTimeoutSecondsMax);
        return false;
    }
    for (size_t iField = 3; iField < fields.size(); ++iField)
    {
        const std::wstring& field = fields[iField];
        const size_t iEquals = field.find(L'=');
        if (iEquals == 0 || iEquals == std::wstring::npos)
        {
            problem = L"field " + std::to_wstring(iField + 1) + L" \"" + field + L"\" is not VAR=VALUE";
            return false;
        }
        const std::wstring name = field.substr(0, iEquals);
        if (IsSameVariableName(name, L"TEMP") || IsSameVariableName(name, L"TMP"))
        {
            problem = L"the variable " + name + L" is the runner's: it gives each case a TEMP of its own";
            return false;
        }
        for (const auto& variable : entry.variables)
        {
            if (IsSameVariableName(variable.first, name))
            {
                problem = L"the variable " + name + L" is set twice";
                return false;
            }
        }
        entry.variables.emplace_back(name, field.substr(iEquals + 1));
    }
    return true;
}

std::vector<std::wstring> SplitFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t iStart = 0;
    for (;;)
    {
        const size_t iTab = line.find(L'\t', iStart);
        fields.push_back(line.substr(iStart, iTab == std::wstring::npos ? std::wstring::npos : iTab - iStart));
        if (iTab == std::wstring::npos)
            return fields;
        iStart = iTab + 1;
    }
}

HRESULT TellManifestProblem(const std::wstring& path, UINT uLine, const std::wstring& problem)
{
    CLineWriter(STD_ERROR_HANDLE).WriteLine(L"lxkit: " + path + L", line " + std::to_wstring(uLine) + L": " + problem);
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
}

// Reads every case of the manifest; the first malformed line stops it, told with its number.
HRESULT ReadManifest(const std::wstring& path, std::vector<CCaseEntry>& cases)
{
    std::string data;
    KitReturnIfFailed(ReadWholeFile(path, c_cbManifestMax, CLongFile::Refuse, data), L"could not read " + path);
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0)
        data.erase(0, 3);
    UINT uLine = 0;
    for (const std::string& bytes : LinesOf(data))
    {
        ++uLine;
        if (bytes.find_first_not_of(" \t") == std::string::npos || bytes[0] == '#')
            continue;
        const std::wstring line = WideFromUtf8(bytes.data(), bytes.size(), MB_ERR_INVALID_CHARS);
        if (line.empty())
            return TellManifestProblem(path, uLine, L"the line is not valid UTF-8");
        CCaseEntry entry;
        std::wstring problem;
        if (!ParseCaseFields(SplitFields(line), entry, problem))
            return TellManifestProblem(path, uLine, problem);
        for (const CCaseEntry& earlier : cases)
        {
            if (earlier.name == entry.name)
                return TellManifestProblem(path, uLine, L"the name " + entry.name + L" is on line " +
                                                            std::to_wstring(earlier.uLine) + L" already");
        }
        entry.uLine = uLine;
        cases.push_back(entry);
    }
    if (cases.empty())
    {
        CLineWriter(STD_ERROR_HANDLE).WriteLine(L"lxkit: " + path + L" names no case");
        return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
    }
    return S_OK;
}

// --- The command line ----------------------------------------------------------------------------------------

struct CCommandLine
{
    bool fHelp = false;
    bool fList = false;
    bool fStartBenchOnly = false;
    int cStartRuns = -1; // -1: the default, the benchmark after a run of every case
    std::vector<std::wstring> patterns;
};

const wchar_t c_szUsage[] =
    L"Usage: lxkit.exe [--list] [--start-runs N] [PATTERN...]\r\n"
    L"       lxkit.exe --start-bench [RUNS]\r\n"
    L"Runs the GoogleTest cases that cases.txt beside lxkit.exe names, each in a process of its own, and writes\r\n"
    L"lxkit-report.txt and lxkit-report.xml beside it. A run of every case ends with the start benchmark: the\r\n"
    L"launcher cold and warm against the plain managed exe, its figures in lxkit-start.txt beside it.\r\n"
    L"  PATTERN             run only the cases whose names match one of the patterns (* and ? as wildcards);\r\n"
    L"                      no start benchmark follows them unless --start-runs asks for it\r\n"
    L"  --list              print the names of the matching cases and run nothing\r\n"
    L"  --start-runs N      the start benchmark after the cases with N runs of each start (default 7; 0: none)\r\n"
    L"  --start-bench [RUNS] only the start benchmark, no case (RUNS of each start, default 7)\r\n"
    L"  --help              print this text\r\n"
    L"Exit code: 0 when every case passed, 1 when any failed or timed out (or the run itself could not be\r\n"
    L"done), 2 when the command line or cases.txt is wrong. The start benchmark's figures are reported, not\r\n"
    L"judged: they leave the cases' exit code as it is. With --start-bench alone: 0 when every start gave its\r\n"
    L"figures, 1 when the benchmark could not run or a start failed.";

HRESULT TellUsageProblem(const std::wstring& problem)
{
    const CLineWriter err(STD_ERROR_HANDLE);
    err.WriteLine(L"lxkit: " + problem);
    err.WriteLine(L"Run lxkit.exe --help for the usage.");
    return E_INVALIDARG;
}

bool ParseRunCount(const std::wstring& text, int& cRuns)
{
    if (text.empty() || text.size() > 4 || text.find_first_not_of(L"0123456789") != std::wstring::npos)
        return false;
    cRuns = std::stoi(text);
    return cRuns <= c_cStartRunsMax;
}

HRESULT ParseCommandLine(int argc, wchar_t** argv, CCommandLine& commandLine)
{
    for (int iArg = 1; iArg < argc; ++iArg)
    {
        const std::wstring arg = argv[iArg];
        if (arg == L"--help" || arg == L"-h" || arg == L"/?")
            commandLine.fHelp = true;
        else if (arg == L"--list")
            commandLine.fList = true;
        else if (arg == L"--start-runs")
        {
            if (iArg + 1 == argc || !ParseRunCount(argv[iArg + 1], commandLine.cStartRuns))
                return TellUsageProblem(L"--start-runs takes a number of runs from 0 to " +
                                        std::to_wstring(c_cStartRunsMax));
            ++iArg;
        }
        else if (arg == L"--start-bench")
        {
            commandLine.fStartBenchOnly = true;
            // The count is optional: a number after the option is it.
            if (iArg + 1 < argc && ParseRunCount(argv[iArg + 1], commandLine.cStartRuns))
                ++iArg;
        }
        else if (arg.empty() || arg[0] == L'-')
            return TellUsageProblem(L"unknown option \"" + arg + L"\"");
        else
            commandLine.patterns.push_back(arg);
    }
    if (commandLine.fStartBenchOnly && (commandLine.fList || !commandLine.patterns.empty()))
        return TellUsageProblem(L"--start-bench runs no case: it takes no pattern and no --list");
    if (commandLine.fStartBenchOnly && commandLine.cStartRuns == 0)
        return TellUsageProblem(L"--start-bench takes a number of runs from 1 to " + std::to_wstring(c_cStartRunsMax));
    if (commandLine.cStartRuns < 0)
        commandLine.cStartRuns = commandLine.fStartBenchOnly || commandLine.patterns.empty() ? c_cStartRunsDefault : 0;
    return S_OK;
}

// The cases in manifest order that match any pattern (all without one); every pattern must match one.
HRESULT SelectCases(const std::vector<CCaseEntry>& cases, const std::vector<std::wstring>& patterns,
                    std::vector<const CCaseEntry*>& selected)
{
    for (const std::wstring& pattern : patterns)
    {
        const bool fMatched = std::any_of(cases.begin(), cases.end(),
                                          [&pattern](const CCaseEntry& entry) { return MatchesPattern(entry.name, pattern); });
        if (!fMatched)
            return TellUsageProblem(L"the pattern \"" + pattern + L"\" matches no case in " + c_szManifestName);
    }
    for (const CCaseEntry& entry : cases)
    {
        const bool fSelected = patterns.empty() ||
                               std::any_of(patterns.begin(), patterns.end(), [&entry](const std::wstring& pattern) {
                                   return MatchesPattern(entry.name, pattern);
                               });
        if (fSelected)
            selected.push_back(&entry);
    }
    return S_OK;
}

// --- Running one case ----------------------------------------------------------------------------------------

enum class COutcome
{
    Passed,
    Skipped,
    Failed
};

struct CCaseResult
{
    COutcome outcome = COutcome::Failed;
    std::wstring reason; // why it failed
    std::string output;  // the case's stdout and stderr, or the runner's note on why it could not start
    ULONGLONG msElapsed = 0;
};

// Where the runner runs and what every case shares.
struct CKit
{
    std::wstring folder; // absolute, no trailing backslash
    std::wstring scratchFolder;
};

std::wstring ReplaceAll(std::wstring text, const std::wstring& from, const std::wstring& to)
{
    for (size_t i = text.find(from); i != std::wstring::npos; i = text.find(from, i + to.size()))
        text.replace(i, from.size(), to);
    return text;
}

// What one case needs on the way: its folders, its output file and the handles the child inherits.
struct CCaseSetup
{
    std::wstring outputFolder;
    std::wstring tempFolder;
    std::wstring outputFile;
    CHandle hInput;
    CHandle hOutput;
};

// Every failure on the way to a running case is the case's: the note names the step, and the case is failed.
HRESULT NoteFailure(HRESULT hr, const std::wstring& what, std::wstring& note)
{
    note = L"lxkit: " + what + L": " + DescribeError(hr);
    return hr;
}

// The child's input from NUL, its output and errors into setup.outputFile. Only the child's copies are inheritable,
// and the runner starts one child at a time.
HRESULT OpenChildHandles(CCaseSetup& setup, std::wstring& note)
{
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    setup.hInput.Reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!setup.hInput.IsValid())
        return NoteFailure(HResultOfLastError(), L"could not open NUL for the program's input", note);
    setup.hOutput.Reset(CreateFileW(setup.outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!setup.hOutput.IsValid())
        return NoteFailure(HResultOfLastError(), L"could not make the output file " + setup.outputFile, note);
    return S_OK;
}

HRESULT PrepareCase(const CKit& kit, const CCaseEntry& entry, size_t iCase, CCaseSetup& setup, std::wstring& note)
{
    const std::wstring outputRoot = kit.folder + L"\\" + c_szOutputFolderName;
    setup.outputFolder = outputRoot + L"\\" + entry.name;
    setup.tempFolder = kit.scratchFolder + L"\\" + std::to_wstring(iCase);
    setup.outputFile = kit.scratchFolder + L"\\" + std::to_wstring(iCase) + L".out";
    HRESULT hr = CreateFolder(outputRoot);
    if (FAILED(hr))
        return NoteFailure(hr, L"could not make the folder " + outputRoot, note);
    hr = CreateFreshFolder(setup.outputFolder);
    if (FAILED(hr))
        return NoteFailure(hr, L"could not make the output folder " + setup.outputFolder, note);
    hr = CreateFreshFolder(setup.tempFolder);
    if (FAILED(hr))
        return NoteFailure(hr, L"could not make the TEMP folder " + setup.tempFolder, note);
    return OpenChildHandles(setup, note);
}

CVariables VariablesOfCase(const CKit& kit, const CCaseEntry& entry, const CCaseSetup& setup)
{
    CVariables variables;
    for (const auto& variable : entry.variables)
    {
        const std::wstring value = ReplaceAll(variable.second, L"{kit}", kit.folder);
        variables.emplace_back(variable.first, ReplaceAll(value, L"{output}", setup.outputFolder));
    }
    variables.emplace_back(L"TEMP", setup.tempFolder);
    variables.emplace_back(L"TMP", setup.tempFolder);
    return variables;
}

// Starts a program suspended, so that it is in its job before its first instruction, in the kit folder with the
// handles of setup and this environment changed as variables say.
HRESULT StartSuspendedProcess(const CKit& kit, const std::wstring& commandLine, const CVariables& variables,
                              CCaseSetup& setup, PROCESS_INFORMATION& pi, std::wstring& note)
{
    std::vector<wchar_t> commandLineBuffer(commandLine.begin(), commandLine.end());
    commandLineBuffer.push_back(L'\0');
    std::vector<wchar_t> environment = BuildEnvironmentBlock(variables);
    const std::wstring workingFolder = kit.folder + L"\\";

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = setup.hInput.Get();
    si.hStdOutput = setup.hOutput.Get();
    si.hStdError = setup.hOutput.Get();
    if (!CreateProcessW(nullptr, commandLineBuffer.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT, environment.data(), workingFolder.c_str(), &si,
                        &pi))
        return NoteFailure(HResultOfLastError(), L"could not start " + commandLine, note);
    // The child has its own copies; the runner's would keep the output file open for no one.
    setup.hInput.Reset();
    setup.hOutput.Reset();
    return S_OK;
}

HRESULT StartSuspended(const CKit& kit, const CCaseEntry& entry, CCaseSetup& setup, PROCESS_INFORMATION& pi,
                       std::wstring& note)
{
    const std::wstring commandLine = L"\"" + kit.folder + L"\\" + entry.program + L"\" --gtest_filter=" + entry.name;
    return StartSuspendedProcess(kit, commandLine, VariablesOfCase(kit, entry, setup), setup, pi, note);
}

// Waits for the case's end or its time limit; on the limit the job ends with every process in it, or, without a
// job, the case's own process.
bool WaitForCase(CJob& job, const PROCESS_INFORMATION& pi, DWORD dwTimeoutSeconds)
{
    if (job.WaitForProcess(pi.hProcess, pi.dwProcessId, dwTimeoutSeconds * 1000))
        return false;
    if (job.HoldsProcess())
        job.Terminate(WAIT_TIMEOUT);
    else
        TerminateProcess(pi.hProcess, WAIT_TIMEOUT);
    WaitForSingleObject(pi.hProcess, c_msTerminateWait);
    return true;
}

// Whether the output holds GoogleTest's line "<tag><name>" followed by " (N ms)" or the line's end.
bool HasResultLine(const std::string& output, const char* pszTag, const std::wstring& name)
{
    const std::string line = pszTag + Utf8FromWide(name);
    for (size_t i = output.find(line); i != std::string::npos; i = output.find(line, i + 1))
    {
        const size_t iAfter = i + line.size();
        const bool fLineStart = i == 0 || output[i - 1] == '\n';
        const bool fNameEnd = iAfter == output.size() || output[iAfter] == ' ' || output[iAfter] == '\r' ||
                              output[iAfter] == '\n';
        if (fLineStart && fNameEnd)
            return true;
    }
    return false;
}

std::wstring DescribeCrash(DWORD dwCode, const std::wstring& program)
{
    return L"crashed (exception " + HexOf(dwCode) + L" in " + program + L")";
}

// A crash anywhere in the case is its cause, whatever the case's own process made of it afterwards.
void JudgeCase(const CCaseEntry& entry, const CCrash& crash, bool fTimedOut, DWORD dwExitCode, CCaseResult& result)
{
    result.outcome = COutcome::Failed;
    if (crash.fCrashed)
        result.reason = DescribeCrash(crash.dwCode, crash.program);
    else if (fTimedOut)
        result.reason = L"timed out after " + std::to_wstring(entry.dwTimeoutSeconds) + L" s";
    else if (IsExceptionCode(dwExitCode))
        result.reason = DescribeCrash(dwExitCode, entry.program.substr(entry.program.find_last_of(L'\\') + 1));
    else if (dwExitCode != 0)
        result.reason = L"exit code " + std::to_wstring(dwExitCode);
    else if (HasResultLine(result.output, c_szPassedTag, entry.name))
        result.outcome = COutcome::Passed;
    else if (HasResultLine(result.output, c_szSkippedTag, entry.name))
        result.outcome = COutcome::Skipped;
    else
        result.reason = L"ran no test";
}

ULONGLONG MillisecondsSince(const LARGE_INTEGER& liStart)
{
    LARGE_INTEGER liNow = {};
    LARGE_INTEGER liFrequency = {};
    QueryPerformanceCounter(&liNow);
    QueryPerformanceFrequency(&liFrequency);
    return static_cast<ULONGLONG>((liNow.QuadPart - liStart.QuadPart) * 1000 / liFrequency.QuadPart);
}

CCaseResult RunCase(const CKit& kit, const CCaseEntry& entry, size_t iCase)
{
    CCaseResult result;
    LARGE_INTEGER liStart = {};
    QueryPerformanceCounter(&liStart);
    CCaseSetup setup;
    PROCESS_INFORMATION pi = {};
    std::wstring note;
    HRESULT hr = PrepareCase(kit, entry, iCase, setup, note);
    if (SUCCEEDED(hr))
        hr = StartSuspended(kit, entry, setup, pi, note);
    if (FAILED(hr))
    {
        result.reason = L"could not start (" + DescribeError(hr) + L")";
        result.output = Utf8FromWide(note + L"\r\n");
        result.msElapsed = MillisecondsSince(liStart);
        return result;
    }
    CHandle hProcess(pi.hProcess);
    CHandle hThread(pi.hThread);
    CJob job;
    if (SUCCEEDED(job.Create()))
        job.Assign(hProcess.Get());
    ResumeThread(hThread.Get());

    const bool fTimedOut = WaitForCase(job, pi, entry.dwTimeoutSeconds);
    result.msElapsed = MillisecondsSince(liStart);
    const CCrash crash = job.FindCrash();
    // What the case left running ends before its output is read: nothing writes to it any more, and nothing holds
    // it open when the scratch folder goes.
    job.Close();
    DWORD dwExitCode = 0;
    GetExitCodeProcess(hProcess.Get(), &dwExitCode);
    ReadWholeFile(setup.outputFile, c_cbCaseOutputMax, CLongFile::KeepEnd, result.output);
    JudgeCase(entry, crash, fTimedOut, dwExitCode, result);
    return result;
}

// --- Telling the results -------------------------------------------------------------------------------------

struct CRunRecord
{
    SYSTEMTIME stStart = {};
    std::wstring windowsVersion;
    std::wstring kitFolder;
    std::vector<const CCaseEntry*> cases;
    std::vector<CCaseResult> results;
    std::vector<std::wstring> caseLines; // as on the console
    std::vector<std::wstring> startLines; // the start benchmark's summary, when it followed the cases
    ULONGLONG msTotal = 0;
    size_t cPassed = 0;
    size_t cFailed = 0;
    size_t cSkipped = 0;
};

const wchar_t* OutcomeText(COutcome outcome)
{
    switch (outcome)
    {
    case COutcome::Passed:
        return L"passed";
    case COutcome::Skipped:
        return L"skipped";
    default:
        return L"failed";
    }
}

// "[ 12/190] ClrRoads.V4RoadTakesTheHost  passed  0.42 s"; a failed case has its reason after "failed: ".
std::wstring FormatCaseLine(size_t iCase, size_t cCases, const CCaseEntry& entry, const CCaseResult& result)
{
    const size_t cchWidth = std::to_wstring(cCases).size();
    std::wstring line = L"[" + PaddedNumber(static_cast<unsigned long>(iCase), cchWidth) + L"/" +
                        std::to_wstring(cCases) + L"] " + entry.name + L"  " + OutcomeText(result.outcome);
    if (result.outcome == COutcome::Failed)
        line += L": " + result.reason;
    return line + L"  " + SecondsOf(result.msElapsed, 2) + L" s";
}

std::wstring FormatSummary(const CRunRecord& run)
{
    std::wstring summary = std::to_wstring(run.cPassed) + L" passed, " + std::to_wstring(run.cFailed) + L" failed";
    if (run.cSkipped)
        summary += L", " + std::to_wstring(run.cSkipped) + L" skipped";
    return summary;
}

void WriteTail(const CLineWriter& out, const std::string& output)
{
    const std::vector<std::wstring> lines = LinesOf(WideFromUtf8(output.data(), output.size()));
    const size_t iFirst = lines.size() > c_cTailLines ? lines.size() - c_cTailLines : 0;
    for (size_t i = iFirst; i < lines.size(); ++i)
        out.WriteLine(L"    " + lines[i]);
}

// The whole output, or its last 64 KiB, cut where a character starts; says what was left out.
std::wstring ReportedOutput(const std::string& output, std::wstring& omitted)
{
    size_t iStart = 0;
    if (output.size() > c_cbReportOutputMax)
    {
        iStart = output.size() - c_cbReportOutputMax;
        while (iStart < output.size() && (static_cast<unsigned char>(output[iStart]) & 0xC0) == 0x80)
            ++iStart;
        omitted = L"(the first " + std::to_wstring(iStart) + L" of " + std::to_wstring(output.size()) +
                  L" bytes are left out)";
    }
    return WideFromUtf8(output.data() + iStart, output.size() - iStart);
}

std::wstring WindowsVersionText()
{
    typedef LONG(WINAPI * PfnRtlGetVersion)(OSVERSIONINFOEXW*);
    // RtlGetVersion tells the truth, where GetVersionEx answers a program without a manifest with Windows 8.
    const FARPROC pfn = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!pfn || reinterpret_cast<PfnRtlGetVersion>(reinterpret_cast<void (*)()>(pfn))(&info) != 0)
        return L"unknown";
    std::wstring text = std::to_wstring(info.dwMajorVersion) + L"." + std::to_wstring(info.dwMinorVersion) + L"." +
                        std::to_wstring(info.dwBuildNumber);
    if (info.szCSDVersion[0])
        text += std::wstring(L" ") + info.szCSDVersion;
    return text;
}

std::wstring DateTimeText(const SYSTEMTIME& st, wchar_t chBetween)
{
    return std::to_wstring(st.wYear) + L"-" + PaddedNumber(st.wMonth, 2, L'0') + L"-" + PaddedNumber(st.wDay, 2, L'0') +
           chBetween + PaddedNumber(st.wHour, 2, L'0') + L":" + PaddedNumber(st.wMinute, 2, L'0') + L":" +
           PaddedNumber(st.wSecond, 2, L'0');
}

std::wstring BuildTextReport(const CRunRecord& run)
{
    // CRLF and a byte order mark: Notepad on Windows 7 shows neither LF-only lines nor UTF-8 without it.
    std::wstring text = L"\uFEFFLumenix acceptance kit report\r\n";
    text += L"Date:       " + DateTimeText(run.stStart, L' ') + L" (local time)\r\n";
    text += L"Windows:    " + run.windowsVersion + L"\r\n";
    text += L"Kit folder: " + run.kitFolder + L"\r\n\r\n";
    for (const std::wstring& line : run.caseLines)
        text += line + L"\r\n";
    for (size_t i = 0; i < run.cases.size(); ++i)
    {
        if (run.results[i].outcome != COutcome::Failed)
            continue;
        std::wstring omitted;
        const std::wstring output = ReportedOutput(run.results[i].output, omitted);
        text += L"\r\n=== " + run.cases[i]->name + L": " + run.results[i].reason + L"\r\n";
        if (!omitted.empty())
            text += omitted + L"\r\n";
        for (const std::wstring& line : LinesOf(output))
            text += line + L"\r\n";
    }
    if (!run.startLines.empty())
        text += L"\r\n";
    for (const std::wstring& line : run.startLines)
        text += line + L"\r\n";
    return text + L"\r\n" + FormatSummary(run) + L"\r\n";
}

bool IsXmlChar(wchar_t ch)
{
    return ch == L'\t' || ch == L'\n' || ch == L'\r' || (ch >= 0x20 && ch < 0xFFFE);
}

// Text for XML 1.0 content and attributes: the markup characters escaped, line breaks kept as references (an
// attribute would lose them), the characters XML forbids dropped, and lone surrogate halves too.
std::wstring EscapeXml(const std::wstring& text)
{
    std::wstring escaped;
    for (size_t i = 0; i < text.size(); ++i)
    {
        const wchar_t ch = text[i];
        const bool fHigh = ch >= 0xD800 && ch <= 0xDBFF;
        const bool fLow = ch >= 0xDC00 && ch <= 0xDFFF;
        if (fHigh && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
        {
            escaped.append(text, i, 2);
            ++i;
        }
        else if (fHigh || fLow || !IsXmlChar(ch))
            continue;
        else if (ch == L'&')
            escaped += L"&amp;";
        else if (ch == L'<')
            escaped += L"&lt;";
        else if (ch == L'>')
            escaped += L"&gt;";
        else if (ch == L'"')
            escaped += L"&quot;";
        else if (ch == L'\r')
            escaped += L"&#13;";
        else if (ch == L'\t')
            escaped += L"&#9;";
        else
            escaped += ch;
    }
    return escaped;
}

std::wstring BuildXmlCase(const CCaseEntry& entry, const CCaseResult& result)
{
    const size_t iDot = entry.name.find(L'.');
    std::wstring xml = L"    <testcase classname=\"" + EscapeXml(entry.name.substr(0, iDot)) + L"\" name=\"" +
                       EscapeXml(entry.name.substr(iDot + 1)) + L"\" time=\"" + SecondsOf(result.msElapsed, 3) + L"\"";
    if (result.outcome == COutcome::Passed)
        return xml + L"/>\n";
    xml += L">\n";
    if (result.outcome == COutcome::Skipped)
        xml += L"      <skipped/>\n";
    else
    {
        // One LF a line: a CR kept from CRLF would stand as "&#13;" on every line of a CI system's view.
        std::wstring omitted;
        std::wstring output;
        for (const std::wstring& line : LinesOf(ReportedOutput(result.output, omitted)))
            output += line + L"\n";
        if (!omitted.empty())
            output = omitted + L"\n" + output;
        xml += L"      <failure message=\"" + EscapeXml(result.reason) + L"\">" + EscapeXml(output) + L"</failure>\n";
    }
    return xml + L"    </testcase>\n";
}

std::wstring BuildXmlReport(const CRunRecord& run)
{
    const std::wstring counts = L" tests=\"" + std::to_wstring(run.cases.size()) + L"\" failures=\"" +
                                std::to_wstring(run.cFailed) + L"\" skipped=\"" + std::to_wstring(run.cSkipped) +
                                L"\" time=\"" + SecondsOf(run.msTotal, 3) + L"\"";
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + counts + L">\n";
    xml += L"  <testsuite name=\"lumenix-kit\"" + counts + L" timestamp=\"" + DateTimeText(run.stStart, L'T') + L"\">\n";
    for (size_t i = 0; i < run.cases.size(); ++i)
        xml += BuildXmlCase(*run.cases[i], run.results[i]);
    return xml + L"  </testsuite>\n</testsuites>\n";
}

HRESULT WriteReports(const CRunRecord& run)
{
    const std::wstring textPath = run.kitFolder + L"\\" + c_szTextReportName;
    const std::wstring xmlPath = run.kitFolder + L"\\" + c_szXmlReportName;
    KitReturnIfFailed(WriteWholeFile(textPath, Utf8FromWide(BuildTextReport(run))), L"could not write " + textPath);
    KitReturnIfFailed(WriteWholeFile(xmlPath, Utf8FromWide(BuildXmlReport(run))), L"could not write " + xmlPath);
    return S_OK;
}

// --- The start benchmark -------------------------------------------------------------------------------------
// lx_start_watch starts, round after round, the plain managed exe of the sample product, the launcher with an empty
// content cache (cold) and the launcher again (warm), and prints one line per start; round 0 readies the desktop
// and the file caches and is not counted. The runner gives it a TEMP in the scratch folder, where the launcher's
// content cache and the entry stamps go with the rest, runs it in a job as it runs a case, and tells its figures
// without judging them.

struct CStartSide
{
    const wchar_t* pszLabel; // as lx_start_watch prints it
    const wchar_t* pszName;
};
const CStartSide c_aStartSides[] = {
    {L"plain", L"plain exe"}, {L"launcher-cold", L"launcher cold"}, {L"launcher-warm", L"launcher warm"}};
const size_t c_iPlain = 0;
const size_t c_iCold = 1;
const size_t c_iWarm = 2;

const wchar_t* const c_apszStartFigures[] = {L"first pixel (ms)", L"managed entry (ms)", L"main window (ms)",
                                             L"peak working set (MiB)"};
const size_t c_cStartFigures = ARRAYSIZE(c_apszStartFigures);
const size_t c_iFirstPixel = 0;
const size_t c_iEntry = 1;
const size_t c_iMainWindow = 2;

// A quotient of two medians: a figure of one side over a figure of another.
struct CStartRatio
{
    const wchar_t* pszName;
    size_t iSideOver;
    size_t iFigureOver;
    size_t iSideUnder;
    size_t iFigureUnder;
};
const CStartRatio c_aStartRatios[] = {
    {L"launcher warm entry / plain entry", c_iWarm, c_iEntry, c_iPlain, c_iEntry},
    {L"launcher cold entry / plain entry", c_iCold, c_iEntry, c_iPlain, c_iEntry},
    {L"plain first window / launcher first pixel (warm)", c_iPlain, c_iFirstPixel, c_iWarm, c_iFirstPixel},
    {L"plain first window / launcher first pixel (cold)", c_iPlain, c_iFirstPixel, c_iCold, c_iFirstPixel},
    {L"launcher warm main window / plain main window", c_iWarm, c_iMainWindow, c_iPlain, c_iMainWindow},
};

// One start as lx_start_watch told it; a figure it could not take is negative.
struct CStartRun
{
    int iRound = 0;
    std::wstring side;
    double adFigures[c_cStartFigures] = {-1, -1, -1, -1};
    std::wstring exitCode;
    std::wstring firstClass;
    std::wstring missed; // why a figure is missing
};

struct CStartBench
{
    SYSTEMTIME stStart = {};
    int cRuns = 0;
    std::wstring problem;                 // why the benchmark could not run; empty when it ran
    std::vector<CStartRun> runs;          // every start in the order told, round 0 too
    std::vector<std::wstring> otherLines; // whatever else lx_start_watch printed
};

// The words of a line between blanks; the last of cMax words is the rest of the line.
std::vector<std::wstring> SplitWords(const std::wstring& line, size_t cMax)
{
    std::vector<std::wstring> words;
    size_t iStart = line.find_first_not_of(L' ');
    while (iStart != std::wstring::npos)
    {
        const size_t iEnd = words.size() + 1 == cMax ? std::wstring::npos : line.find(L' ', iStart);
        words.push_back(line.substr(iStart, iEnd == std::wstring::npos ? std::wstring::npos : iEnd - iStart));
        iStart = iEnd == std::wstring::npos ? iEnd : line.find_first_not_of(L' ', iEnd);
    }
    return words;
}

bool ParseNumber(const std::wstring& word, double& d)
{
    wchar_t* pchEnd = nullptr;
    d = wcstod(word.c_str(), &pchEnd);
    return !word.empty() && pchEnd == word.c_str() + word.size();
}

// "run ROUND SIDE FIRST-PIXEL ENTRY MAIN-WINDOW PEAK-WORKING-SET EXIT-CODE FIRST-CLASS"
bool ParseStartRun(const std::wstring& line, CStartRun& run)
{
    const std::vector<std::wstring> words = SplitWords(line, 9);
    double dRound = 0;
    if (words.size() != 9 || words[0] != L"run" || !ParseNumber(words[1], dRound))
        return false;
    run.iRound = static_cast<int>(dRound);
    run.side = words[2];
    for (size_t iFigure = 0; iFigure < c_cStartFigures; ++iFigure)
    {
        if (!ParseNumber(words[3 + iFigure], run.adFigures[iFigure]))
            return false;
    }
    run.exitCode = words[7];
    run.firstClass = words[8];
    return true;
}

// The run lines, each with its "missed ROUND SIDE REASON" line, and the rest as it is.
void ReadStartOutput(const std::string& output, CStartBench& bench)
{
    for (const std::wstring& line : LinesOf(WideFromUtf8(output.data(), output.size())))
    {
        CStartRun run;
        const std::vector<std::wstring> missed = SplitWords(line, 4);
        if (ParseStartRun(line, run))
            bench.runs.push_back(run);
        else if (missed.size() == 4 && missed[0] == L"missed" && !bench.runs.empty() &&
                 std::to_wstring(bench.runs.back().iRound) == missed[1] && bench.runs.back().side == missed[2])
            bench.runs.back().missed = missed[3];
        else if (!line.empty())
            bench.otherLines.push_back(line);
    }
}

// The median of one figure of one side over the counted rounds, of the starts that gave it; negative when none did.
double MedianOf(const CStartBench& bench, size_t iSide, size_t iFigure)
{
    std::vector<double> values;
    for (const CStartRun& run : bench.runs)
    {
        if (run.iRound > 0 && run.side == c_aStartSides[iSide].pszLabel && run.adFigures[iFigure] >= 0)
            values.push_back(run.adFigures[iFigure]);
    }
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    const size_t iMiddle = values.size() / 2;
    return values.size() % 2 ? values[iMiddle] : (values[iMiddle - 1] + values[iMiddle]) / 2;
}

// "310.0" for one decimal, "3.263" for three, rounded; "-" for a figure that is missing.
std::wstring FigureText(double d, int cDecimals)
{
    if (d < 0)
        return L"-";
    unsigned long ulScale = 1;
    for (int i = 0; i < cDecimals; ++i)
        ulScale *= 10;
    const ULONGLONG ullUnits = static_cast<ULONGLONG>(d * ulScale + 0.5);
    return std::to_wstring(ullUnits / ulScale) + L"." +
           PaddedNumber(static_cast<unsigned long>(ullUnits % ulScale), static_cast<size_t>(cDecimals), L'0');
}

std::wstring PaddedRight(const std::wstring& text, size_t cchWidth)
{
    return text.size() < cchWidth ? text + std::wstring(cchWidth - text.size(), L' ') : text;
}

std::wstring PaddedLeft(const std::wstring& text, size_t cchWidth)
{
    return text.size() < cchWidth ? std::wstring(cchWidth - text.size(), L' ') + text : text;
}

std::wstring StartSideName(const std::wstring& label)
{
    for (const CStartSide& side : c_aStartSides)
    {
        if (label == side.pszLabel)
            return side.pszName;
    }
    return label;
}

// The counted starts that gave no figures: each with its reason, and those lx_start_watch never made.
std::vector<std::wstring> DescribeMissedStarts(const CStartBench& bench)
{
    std::vector<std::wstring> lines;
    size_t cCounted = 0;
    for (const CStartRun& run : bench.runs)
    {
        if (run.iRound <= 0)
            continue;
        ++cCounted;
        if (!run.missed.empty())
            lines.push_back(L"missed: round " + std::to_wstring(run.iRound) + L", " + StartSideName(run.side) + L": " +
                            run.missed);
    }
    const size_t cExpected = static_cast<size_t>(bench.cRuns) * ARRAYSIZE(c_aStartSides);
    if (cCounted < cExpected)
    {
        lines.push_back(L"missed: " + std::to_wstring(cExpected - cCounted) + L" of " + std::to_wstring(cExpected) +
                        L" starts were never made: lx_start_watch.exe ended early, saying:");
        for (const std::wstring& line : bench.otherLines)
            lines.push_back(L"    " + line);
    }
    return lines;
}

// The benchmark's part of the console and of both reports: the medians, their ratios and every start that failed,
// or why the benchmark could not run.
std::vector<std::wstring> BuildStartSummary(const CStartBench& bench)
{
    std::vector<std::wstring> lines;
    if (!bench.problem.empty())
    {
        lines.push_back(L"Start benchmark: could not run: " + bench.problem);
        for (const std::wstring& line : bench.otherLines)
            lines.push_back(L"    " + line);
        return lines;
    }
    const size_t cchName = 24;
    const size_t cchColumn = 15;
    lines.push_back(L"Start benchmark: medians of " + std::to_wstring(bench.cRuns) +
                    L" runs of each start, from process creation (every run in " + c_szStartReportName + L")");
    std::wstring header = PaddedRight(L"", cchName);
    for (const CStartSide& side : c_aStartSides)
        header += PaddedLeft(side.pszName, cchColumn);
    lines.push_back(header);
    for (size_t iFigure = 0; iFigure < c_cStartFigures; ++iFigure)
    {
        std::wstring line = PaddedRight(c_apszStartFigures[iFigure], cchName);
        for (size_t iSide = 0; iSide < ARRAYSIZE(c_aStartSides); ++iSide)
            line += PaddedLeft(FigureText(MedianOf(bench, iSide, iFigure), 1), cchColumn);
        lines.push_back(line);
    }
    for (const CStartRatio& ratio : c_aStartRatios)
    {
        const double dOver = MedianOf(bench, ratio.iSideOver, ratio.iFigureOver);
        const double dUnder = MedianOf(bench, ratio.iSideUnder, ratio.iFigureUnder);
        const double dRatio = dOver >= 0 && dUnder > 0 ? dOver / dUnder : -1;
        lines.push_back(PaddedRight(ratio.pszName, 50) + PaddedLeft(FigureText(dRatio, 3), 9));
    }
    for (const std::wstring& line : DescribeMissedStarts(bench))
        lines.push_back(line);
    return lines;
}

bool HasVisibleDesktop()
{
    USEROBJECTFLAGS flags = {};
    return GetUserObjectInformationW(GetProcessWindowStation(), UOI_FLAGS, &flags, sizeof(flags), nullptr) &&
           (flags.dwFlags & WSF_VISIBLE);
}

// The .NET Framework 4.5 and later by the Release value its setup leaves; "none" without it (Wine has none: its
// runtime is Mono, and the .NET Framework 4.0 leaves no such value).
std::wstring NetFrameworkText()
{
    struct CFrameworkRelease
    {
        DWORD dwRelease;
        const wchar_t* pszVersion;
    };
    static const CFrameworkRelease c_aReleases[] = {
        {533320, L"4.8.1"}, {528040, L"4.8"},   {461808, L"4.7.2"}, {461308, L"4.7.1"}, {460798, L"4.7"},
        {394802, L"4.6.2"}, {394254, L"4.6.1"}, {393295, L"4.6"},   {379893, L"4.5.2"}, {378675, L"4.5.1"},
        {378389, L"4.5"}};
    DWORD dwRelease = 0;
    DWORD cb = sizeof(dwRelease);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full", L"Release",
                     RRF_RT_REG_DWORD, nullptr, &dwRelease, &cb) != ERROR_SUCCESS)
        return L"none";
    const std::wstring text = L"release " + std::to_wstring(dwRelease);
    for (const CFrameworkRelease& release : c_aReleases)
    {
        if (dwRelease >= release.dwRelease)
        {
            const bool fNewest = release.dwRelease == c_aReleases[0].dwRelease;
            return text + L" (" + release.pszVersion + (fNewest ? L" or later)" : L")");
        }
    }
    return text;
}

// "Intel(R) Xeon(R) CPU E5-2673 v4 @ 2.30GHz, 4 logical processors"
std::wstring ProcessorText()
{
    wchar_t szName[256] = {};
    DWORD cb = sizeof(szName);
    std::wstring name = RegGetValueW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                                     L"ProcessorNameString", RRF_RT_REG_SZ, nullptr, szName, &cb) == ERROR_SUCCESS
                            ? szName
                            : L"";
    // Intel's names often begin with blanks.
    const size_t iFirst = name.find_first_not_of(L' ');
    if (iFirst == std::wstring::npos)
        name = L"unknown processor";
    else
        name = name.substr(iFirst, name.find_last_not_of(L' ') - iFirst + 1);
    return name + L", " + std::to_wstring(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS)) + L" logical processors";
}

std::wstring BuildStartReport(const CStartBench& bench, const std::wstring& kitFolder)
{
    // CRLF and a byte order mark, as the kit's own report.
    std::wstring text = L"\uFEFFLumenix start benchmark\r\n";
    text += L"Date:           " + DateTimeText(bench.stStart, L' ') + L" (local time)\r\n";
    text += L"Windows:        " + WindowsVersionText() + L"\r\n";
    text += L".NET Framework: " + NetFrameworkText() + L"\r\n";
    text += L"Processor:      " + ProcessorText() + L"\r\n";
    text += L"Kit folder:     " + kitFolder + L"\r\n";
    text += L"Starts:         in turn " + std::wstring(c_szPlainProgram) + L" (the plain managed exe), " +
            c_szLauncherProgram + L" with an empty content cache (cold) and " + c_szLauncherProgram +
            L" again (warm)\r\n\r\n";
    for (const std::wstring& line : BuildStartSummary(bench))
        text += line + L"\r\n";
    if (!bench.runs.empty())
    {
        text += L"\r\nEvery run, in ms from process creation (round 0 readies the caches and is not counted):\r\n";
        std::wstring header = PaddedLeft(L"round", 5) + L"  " + PaddedRight(L"start", 15);
        for (const wchar_t* pszFigure : c_apszStartFigures)
            header += L"  " + std::wstring(pszFigure);
        text += header + L"  exit code  first window's class\r\n";
        for (const CStartRun& run : bench.runs)
        {
            std::wstring line =
                PaddedLeft(std::to_wstring(run.iRound), 5) + L"  " + PaddedRight(StartSideName(run.side), 15);
            for (size_t iFigure = 0; iFigure < c_cStartFigures; ++iFigure)
                line += L"  " + PaddedLeft(FigureText(run.adFigures[iFigure], 1), wcslen(c_apszStartFigures[iFigure]));
            line += L"  " + PaddedLeft(run.exitCode, 9) + L"  " + run.firstClass;
            if (!run.missed.empty())
                line += L"  missed: " + run.missed;
            text += line + L"\r\n";
        }
    }
    if (bench.problem.empty() && !bench.otherLines.empty())
    {
        text += L"\r\nlx_start_watch.exe also said:\r\n";
        for (const std::wstring& line : bench.otherLines)
            text += L"    " + line + L"\r\n";
    }
    return text;
}

HRESULT WriteStartReport(const CStartBench& bench, const std::wstring& kitFolder)
{
    const std::wstring path = kitFolder + L"\\" + c_szStartReportName;
    KitReturnIfFailed(WriteWholeFile(path, Utf8FromWide(BuildStartReport(bench, kitFolder))),
                      L"could not write " + path);
    return S_OK;
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// Starts lx_start_watch in a job and waits for it; what keeps it from giving figures is the benchmark's problem.
void RunStartWatch(const CKit& kit, CStartBench& bench)
{
    CCaseSetup setup;
    setup.tempFolder = kit.scratchFolder + L"\\start";
    setup.outputFile = kit.scratchFolder + L"\\start.out";
    const std::wstring commandLine =
        Quoted(kit.folder + L"\\" + c_szStartWatchProgram) + L" " + std::to_wstring(bench.cRuns) + L" " +
        Quoted(setup.tempFolder + L"\\entry-stamp.txt") + L" " + Quoted(setup.tempFolder + L"\\Corvane\\Lumenix") +
        L" " + Quoted(kit.folder + L"\\" + c_szPlainProgram) + L" " + Quoted(kit.folder + L"\\" + c_szLauncherProgram);
    const CVariables variables = {{L"TEMP", setup.tempFolder}, {L"TMP", setup.tempFolder}};
    std::wstring note;
    PROCESS_INFORMATION pi = {};
    HRESULT hr = CreateFreshFolder(setup.tempFolder);
    if (FAILED(hr))
        NoteFailure(hr, L"could not make the TEMP folder " + setup.tempFolder, note);
    if (SUCCEEDED(hr))
        hr = OpenChildHandles(setup, note);
    if (SUCCEEDED(hr))
        hr = StartSuspendedProcess(kit, commandLine, variables, setup, pi, note);
    if (FAILED(hr))
    {
        bench.problem = note.substr(note.find(L' ') + 1); // without the "lxkit: " of a case's note
        return;
    }
    CHandle hProcess(pi.hProcess);
    CHandle hThread(pi.hThread);
    CJob job;
    if (SUCCEEDED(job.Create()))
        job.Assign(hProcess.Get());
    ResumeThread(hThread.Get());
    const DWORD dwLimitSeconds = static_cast<DWORD>(bench.cRuns + 1) * c_dwStartRoundSecondsMax;
    const bool fTimedOut = WaitForCase(job, pi, dwLimitSeconds);
    job.Close();
    DWORD dwExitCode = 0;
    GetExitCodeProcess(hProcess.Get(), &dwExitCode);
    std::string output;
    ReadWholeFile(setup.outputFile, c_cbCaseOutputMax, CLongFile::KeepEnd, output);
    ReadStartOutput(output, bench);
    // A start that crashed or failed is lx_start_watch's to tell; these are its own.
    if (fTimedOut)
        bench.problem = L"lx_start_watch.exe did not end within " + std::to_wstring(dwLimitSeconds) + L" s";
    else if (IsExceptionCode(dwExitCode))
        bench.problem = DescribeCrash(dwExitCode, L"lx_start_watch.exe");
    else if (bench.runs.empty())
        bench.problem = L"lx_start_watch.exe gave no figures (exit code " + std::to_wstring(dwExitCode) + L")";
}

// Runs the benchmark, telling on the console that it starts and then its figures or why it could not run.
CStartBench RunStartBench(const CKit& kit, int cRuns, const CLineWriter& out)
{
    CStartBench bench;
    GetLocalTime(&bench.stStart);
    bench.cRuns = cRuns;
    out.WriteLine(L"Running the start benchmark: " + std::to_wstring(cRuns) +
                  L" runs of each start (the plain exe, the launcher cold and warm) with " + c_szStartWatchProgram);
    if (!HasVisibleDesktop())
        bench.problem = L"no desktop: the runner's window station is not the interactive one (a service, or a task "
                        L"without a logged-on user); log on to the desktop and run lxkit.exe --start-bench there";
    for (const wchar_t* pszProgram : {c_szStartWatchProgram, c_szPlainProgram, c_szLauncherProgram})
    {
        if (bench.problem.empty() &&
            GetFileAttributesW((kit.folder + L"\\" + pszProgram).c_str()) == INVALID_FILE_ATTRIBUTES)
            bench.problem = L"the kit has no " + std::wstring(pszProgram);
    }
    if (bench.problem.empty())
        RunStartWatch(kit, bench);
    for (const std::wstring& line : BuildStartSummary(bench))
        out.WriteLine(line);
    return bench;
}

// --- The run -------------------------------------------------------------------------------------------------

void RecordCase(CRunRecord& run, const CCaseEntry& entry, const CCaseResult& result, const CLineWriter& out)
{
    const std::wstring line = FormatCaseLine(run.results.size() + 1, run.cases.size(), entry, result);
    out.WriteLine(line);
    if (result.outcome == COutcome::Failed)
        WriteTail(out, result.output);
    run.caseLines.push_back(line);
    run.results.push_back(result);
    if (result.outcome == COutcome::Passed)
        ++run.cPassed;
    else if (result.outcome == COutcome::Skipped)
        ++run.cSkipped;
    else
        ++run.cFailed;
}

// The cases, each in its job, then the start benchmark when cStartRuns asks for it.
int RunCases(const std::wstring& kitFolder, const std::vector<const CCaseEntry*>& cases, int cStartRuns)
{
    const CLineWriter out(STD_OUTPUT_HANDLE);
    CRunRecord run;
    GetLocalTime(&run.stStart);
    run.windowsVersion = WindowsVersionText();
    run.kitFolder = kitFolder;
    run.cases = cases;

    CTestsKeyGuard testsKey;
    CWineCrashDialogGuard wineCrashDialog;
    wineCrashDialog.TurnOff();
    CScratchFolder scratch;
    if (FAILED(scratch.Create()))
        return c_nExitFailed;
    const CKit kit = {kitFolder, scratch.Folder()};
    // The desktop's window belongs to the runner before any case makes a window. Under Wine the desktop is a
    // process that the first program needing it starts: started by a case, it would end with that case's job,
    // and every later case would wait for a new one.
    GetDesktopWindow();

    LARGE_INTEGER liStart = {};
    QueryPerformanceCounter(&liStart);
    out.WriteLine(L"Running " + std::to_wstring(cases.size()) + L" cases from " + kitFolder);
    for (size_t iCase = 0; iCase < cases.size(); ++iCase)
        RecordCase(run, *cases[iCase], RunCase(kit, *cases[iCase], iCase + 1), out);
    run.msTotal = MillisecondsSince(liStart);
    // Its figures are told, not judged: the cases' result stands as it is.
    CStartBench bench;
    if (cStartRuns > 0)
    {
        bench = RunStartBench(kit, cStartRuns, out);
        run.startLines = BuildStartSummary(bench);
    }

    // Each of these tells its own failure; the summary stays the last line.
    bool fCleanEnd = SUCCEEDED(scratch.Remove());
    fCleanEnd = SUCCEEDED(testsKey.Restore()) && fCleanEnd;
    fCleanEnd = SUCCEEDED(wineCrashDialog.Restore()) && fCleanEnd;
    fCleanEnd = SUCCEEDED(WriteReports(run)) && fCleanEnd;
    if (cStartRuns > 0)
        fCleanEnd = SUCCEEDED(WriteStartReport(bench, kitFolder)) && fCleanEnd;
    out.WriteLine(FormatSummary(run));
    return run.cFailed == 0 && fCleanEnd ? c_nExitPassed : c_nExitFailed;
}

// The start benchmark alone: its figures on the console and in lxkit-start.txt, no case and no case report.
int RunStartBenchAlone(const std::wstring& kitFolder, int cRuns)
{
    const CLineWriter out(STD_OUTPUT_HANDLE);
    CWineCrashDialogGuard wineCrashDialog;
    wineCrashDialog.TurnOff();
    CScratchFolder scratch;
    if (FAILED(scratch.Create()))
        return c_nExitFailed;
    const CKit kit = {kitFolder, scratch.Folder()};
    // As before the cases: the desktop is the runner's, not a start's.
    GetDesktopWindow();
    const CStartBench bench = RunStartBench(kit, cRuns, out);

    bool fCleanEnd = SUCCEEDED(scratch.Remove());
    fCleanEnd = SUCCEEDED(wineCrashDialog.Restore()) && fCleanEnd;
    fCleanEnd = SUCCEEDED(WriteStartReport(bench, kitFolder)) && fCleanEnd;
    const bool fEveryStart = bench.problem.empty() && DescribeMissedStarts(bench).empty();
    return fEveryStart && fCleanEnd ? c_nExitPassed : c_nExitFailed;
}

int ListCases(const std::vector<const CCaseEntry*>& cases)
{
    const CLineWriter out(STD_OUTPUT_HANDLE);
    for (const CCaseEntry* pEntry : cases)
        out.WriteLine(pEntry->name);
    out.WriteLine(std::to_wstring(cases.size()) + L" cases");
    return c_nExitPassed;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    // No error box waits for a user, in the runner or in the cases, which inherit the mode; a case's process that
    // sets a mode of its own still ends at once when it crashes, through its job.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    CCommandLine commandLine;
    if (FAILED(ParseCommandLine(argc, argv, commandLine)))
        return c_nExitUsage;
    if (commandLine.fHelp)
    {
        CLineWriter(STD_OUTPUT_HANDLE).WriteLine(c_szUsage);
        return c_nExitPassed;
    }
    std::wstring kitFolder;
    if (FAILED(FindKitFolder(kitFolder)))
        return c_nExitFailed;
    if (commandLine.fStartBenchOnly)
        return RunStartBenchAlone(kitFolder, commandLine.cStartRuns);
    std::vector<CCaseEntry> cases;
    if (FAILED(ReadManifest(kitFolder + L"\\" + c_szManifestName, cases)))
        return c_nExitUsage;
    std::vector<const CCaseEntry*> selected;
    if (FAILED(SelectCases(cases, commandLine.patterns, selected)))
        return c_nExitUsage;
    return commandLine.fList ? ListCases(selected) : RunCases(kitFolder, selected, commandLine.cStartRuns);
}

#include "tests/standin/standin_state.h"

#include <utility>
#include <vector>

namespace standin
{
namespace
{
SRWLOCK g_lock = SRWLOCK_INIT;
std::shared_ptr<const CScenario> g_scenario;
volatile LONG g_cLiveHosting = 0;
volatile LONG g_cLiveErrorInfos = 0;
UINT g_uErrorModeAtLoad = 0;
volatile LONG g_fLoadLogged = 0;

std::wstring EnvironmentText(const wchar_t* pszName)
{
    std::wstring value(256, L'\0');
    for (;;)
    {
        const DWORD cch = GetEnvironmentVariableW(pszName, &value[0], static_cast<DWORD>(value.size()));
        if (cch == 0)
            return std::wstring();
        if (cch < value.size())
        {
            value.resize(cch);
            return value;
        }
        value.resize(cch);
    }
}

std::wstring ExeFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD cch = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (cch == 0)
            return std::wstring();
        if (cch < path.size())
        {
            path.resize(cch);
            break;
        }
        if (path.size() >= 32768)
            return std::wstring();
        path.resize(path.size() * 2);
    }
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::shared_ptr<const CScenario> LoadScenario(std::vector<CScenarioIssue>& issues)
{
    auto scenario = std::make_shared<CScenario>();
    const std::wstring path = EnvironmentText(L"LX_CLR_SCENARIO");
    std::wstring text;
    // No variable or no file: the defaults, the happy road.
    if (!path.empty() && ReadUtf8File(path, text))
        *scenario = ParseScenario(text, issues);
    if (!scenario->fLogPath)
        scenario->logPath = EnvironmentText(L"LX_CLR_LOG");
    return scenario;
}

void LogIssues(const CScenario& scenario, const std::vector<CScenarioIssue>& issues)
{
    for (const CScenarioIssue& issue : issues)
        AppendLogLine(scenario.logPath,
                      CJsonLine("scenario").Number("line", issue.nLine).Text("error", issue.text).Finish());
}
} // namespace

std::shared_ptr<const CScenario> CurrentScenario()
{
    AcquireSRWLockShared(&g_lock);
    std::shared_ptr<const CScenario> scenario = g_scenario;
    ReleaseSRWLockShared(&g_lock);
    if (scenario)
        return scenario;

    std::vector<CScenarioIssue> issues;
    bool fLoaded = false;
    AcquireSRWLockExclusive(&g_lock);
    if (!g_scenario)
    {
        g_scenario = LoadScenario(issues);
        fLoaded = true;
    }
    scenario = g_scenario;
    ReleaseSRWLockExclusive(&g_lock);
    if (fLoaded)
        LogIssues(*scenario, issues);
    return scenario;
}

void ReloadScenario()
{
    std::vector<CScenarioIssue> issues;
    std::shared_ptr<const CScenario> scenario = LoadScenario(issues);
    AcquireSRWLockExclusive(&g_lock);
    std::swap(g_scenario, scenario);
    const std::shared_ptr<const CScenario> current = g_scenario;
    ReleaseSRWLockExclusive(&g_lock);
    LogIssues(*current, issues);
    // The old scenario goes here, outside the lock.
}

void NoteLoad()
{
    g_uErrorModeAtLoad = GetErrorMode();
}

void Log(const CJsonLine& line)
{
    const std::shared_ptr<const CScenario> scenario = CurrentScenario();
    // The log is not known while the loader lock is held: the load is told with the first call.
    if (InterlockedExchange(&g_fLoadLogged, 1) == 0)
        AppendLogLine(scenario->logPath, CJsonLine("load").Number("errorMode", g_uErrorModeAtLoad).Finish());
    AppendLogLine(scenario->logPath, line.Finish());
}

void LogDetach()
{
    // At process exit the other threads are gone, possibly one of them while it held the lock: never wait.
    if (!TryAcquireSRWLockExclusive(&g_lock))
        return;
    std::vector<CScenarioIssue> issues;
    if (!g_scenario)
        g_scenario = LoadScenario(issues);
    const std::shared_ptr<const CScenario> scenario = g_scenario;
    ReleaseSRWLockExclusive(&g_lock);
    LogIssues(*scenario, issues);
    AppendLogLine(scenario->logPath, CJsonLine("detach")
                                         .Number("liveObjects", LiveObjects(ObjectKind::Hosting))
                                         .Number("liveErrorInfos", LiveObjects(ObjectKind::ErrorInfo))
                                         .Finish());
}

std::wstring DefaultDomainBase(const CScenario& scenario)
{
    return scenario.fDefaultDomainBase ? scenario.defaultDomainBase : ExeFolder();
}

void CountObject(ObjectKind kind, bool fCreated)
{
    volatile LONG* pc = kind == ObjectKind::Hosting ? &g_cLiveHosting : &g_cLiveErrorInfos;
    if (fCreated)
        InterlockedIncrement(pc);
    else
        InterlockedDecrement(pc);
}

LONG LiveObjects(ObjectKind kind)
{
    volatile LONG* pc = kind == ObjectKind::Hosting ? &g_cLiveHosting : &g_cLiveErrorInfos;
    return InterlockedCompareExchange(pc, 0, 0);
}
} // namespace standin

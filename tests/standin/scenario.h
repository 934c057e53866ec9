// The scenario of the stand-in mscoree.dll: what each call answers, read from the key=value text file that
// LX_CLR_SCENARIO names. Every key has a default; the defaults together are the happy road.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace standin
{
// What a call with an out pointer answers: an HRESULT, or S_OK with the out pointer left null.
struct CCallAnswer
{
    HRESULT hr = S_OK;
    bool fNull = false;
};

// One runtime the enumerator hands out. A failing hrVersion makes its GetVersionString fail.
struct CRuntimeEntry
{
    std::wstring text; // the value as written: the version, or "!0x..." for a failing one
    HRESULT hrVersion = S_OK;
};

enum class BindKind
{
    Answer,  // CCallAnswer decides
    NoHost,  // S_OK with an object that answers E_NOINTERFACE for ICorRuntimeHost
    BadQuery // S_OK with an object whose QueryInterface for ICorRuntimeHost fails with E_OUTOFMEMORY
};

enum class ReturnKind
{
    I4,
    Int,
    Empty,
    Bstr,
    Unknown
};

struct CScenario
{
    CCallAnswer clrCreateInstance;
    std::vector<CRuntimeEntry> runtimes{{L"v2.0.50727", S_OK}, {L"v4.0.30319", S_OK}};
    CCallAnswer enumerateInstalledRuntimes;
    long nextFailAt = -1; // zero-based index of the failing Next call on an enumerator; -1: none
    HRESULT nextHr = E_FAIL;
    CCallAnswer getInterface;
    bool fHostingErrorInfo = false; // the meta host, the enumerator and the runtime info offer IErrorInfo
    std::wstring hostingErrorInfo;

    std::wstring corVersion = L"v2.0.50727";
    HRESULT corVersionHr = S_OK;
    BindKind bindKind = BindKind::Answer;
    CCallAnswer corBindToRuntime;

    HRESULT startHr = S_OK;
    HRESULT stopHr = S_OK;
    CCallAnswer createDomainSetup;
    CCallAnswer createDomainEx;
    CCallAnswer getDefaultDomain;
    bool fHostErrorInfo = false;
    std::wstring hostErrorInfo;

    bool fSetupNoInterface = false;
    HRESULT setupPutApplicationBaseHr = S_OK;
    HRESULT setupPutApplicationNameHr = S_OK;
    bool fDomainNoInterface = false;
    bool fDefaultDomainBase = false; // false: the folder of the process's exe
    std::wstring defaultDomainBase;

    bool fTypeMissing = false;
    ReturnKind entryReturn = ReturnKind::I4;
    long entryReturnValue = 0;
    std::wstring entryReturnText;
    bool fEntryThrow = false;
    std::wstring entryThrowMessage;
    DWORD startWriteDelayMs = 0; // from Start on, every WriteFile of the process's exe waits this long first
    DWORD entryDelayMs = 0;
    bool fEntryCloseSplash = false;
    std::wstring entryLoadLibrary; // empty: none

    bool fLogPath = false; // false: LX_CLR_LOG decides
    std::wstring logPath;
};

// A line the reader did not take, with the reason.
struct CScenarioIssue
{
    int nLine = 0;
    std::wstring text;
};

// Reads scenario text; what it cannot take keeps its default and lands in issues.
CScenario ParseScenario(const std::wstring& text, std::vector<CScenarioIssue>& issues);

// Reads a UTF-8 text file (a byte order mark is skipped); false when it cannot be read.
bool ReadUtf8File(const std::wstring& path, std::wstring& text);

// S_OK, E_FAIL, ... or hex (0x8013...) or decimal.
bool ParseHresult(const std::wstring& text, HRESULT& hr);
} // namespace standin

// The v4 and v2 roads to a CLR against the stand-in hosting library: what each answers, what the user is
// shown, and that every reference is given back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "clrhost/clr_roads.h"
#include "msgbox_recorder.h"
#include "unit/standin_session.h"
#include "unit/system_text.h"

namespace
{
const CVersion4 c_verClrRequired(2, 0, 0, 0);
const CVersion4 c_verNetfxRequired(3, 5, 0, 0);

const std::wstring c_v4Lead = L"There were problems loading the Common Language Runtime through v4 interfaces.";
const std::wstring c_v2Lead = L"There were problems loading the Common Language Runtime through v2 interfaces.";
const std::wstring c_szM1 = c_v4Lead + L"\n\nMsCorEE failed to provide an instance of the CLR Meta Host.";
const std::wstring c_szM2 = c_v4Lead + L"\n\nThe MsCorEE CLR Meta Host failed to enumerate the available runtimes.";
const std::wstring c_szM3 =
    c_v4Lead + L"\n\nThe enumeration of availabe runtimes in the MsCorEE CLR Meta Host could not be completed.";
const std::wstring c_szM4 = c_v4Lead + L"\n\nThe MsCorEE CLR Meta Host has no available runtimes.";
const std::wstring c_szM5 = c_v4Lead + L"\n\nThe selected runtime failed to provide the ICorRuntimeHost interface.";
const std::wstring c_szV1 = c_v2Lead + L"\n\nMsCorEE failed to return the version of the installed CLR.";
const std::wstring c_szV2 = c_v2Lead + L"\n\nMsCorEE is missing the CorBindToRuntime exported function.";
const std::wstring c_szV3 = c_v2Lead + L"\n\nThe selected runtime failed to provide the ICorRuntimeHost interface.";
const wchar_t c_szRequirementsCaption[] = L"Lumenix \u2013 .NET Runtime Requirements";

std::wstring Text(const CVersion4& version)
{
    return FormatVersion(version, 4).c_str();
}

struct CRoadRun
{
    HRESULT hr = S_OK;
    std::wstring version;
    bool fHost = false;
    std::vector<CBoxRecord> boxes;
    int cLiveAfter = -1;
    int cErrorInfosAfter = -1;
};

CRoadRun RunV4(const std::wstring& scenario, const wchar_t* pszVariant = L"full")
{
    CStandinSession session(scenario);
    HMODULE hmod = session.Load(pszVariant);
    CRoadRun run;
    {
        CMessageBoxRecorder recorder({IDNO, IDNO});
        CClrResult result = SelectClrV4(hmod, c_verClrRequired, c_verNetfxRequired);
        run.hr = result.hr;
        run.version = Text(result.verClr);
        run.fHost = static_cast<bool>(result.oHost);
        run.boxes = recorder.Boxes();
    }
    run.cLiveAfter = session.LiveObjects();
    run.cErrorInfosAfter = session.LiveErrorInfos();
    return run;
}

CRoadRun RunV2(CStandinSession& session, const wchar_t* pszVariant = L"v2")
{
    HMODULE hmod = session.Load(pszVariant);
    CRoadRun run;
    {
        CMessageBoxRecorder recorder({IDNO, IDNO});
        CClrResult result = BindClrV2(hmod, c_verClrRequired, c_verNetfxRequired);
        run.hr = result.hr;
        run.version = Text(result.verClr);
        run.fHost = static_cast<bool>(result.oHost);
        run.boxes = recorder.Boxes();
    }
    run.cLiveAfter = session.LiveObjects();
    run.cErrorInfosAfter = session.LiveErrorInfos();
    return run;
}

void ExpectReport(const CRoadRun& run, const std::wstring& message, HRESULT hr, const std::wstring& description = L"")
{
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(ReportText(message, hr, description), run.boxes[0].text);
    EXPECT_EQ(L"Lumenix \u2013 Loading", run.boxes[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), run.boxes[0].style);
    EXPECT_EQ(0, run.cLiveAfter);
    EXPECT_EQ(0, run.cErrorInfosAfter) << "error information left behind";
}
} // namespace

TEST(ClrV4Road, ChoosesTheNewestRuntimeWhateverTheOrder)
{
    for (const wchar_t* pszScenario : {L"runtime=v2.0.50727\nruntime=v4.0.30319", L"runtime=v4.0.30319\nruntime=v2.0.50727"})
    {
        CStandinSession session(pszScenario);
        HMODULE hmod = session.Load();
        {
            CClrResult result = SelectClrV4(hmod, c_verClrRequired, c_verNetfxRequired);
            EXPECT_EQ(S_OK, result.hr);
            EXPECT_EQ(L"4.0.30319.0", Text(result.verClr));
            EXPECT_TRUE(result.oHost);
        }
        EXPECT_EQ("v4.0.30319", JsonText(session.FirstCall("GetInterface"), "runtime"));
        EXPECT_EQ(0, session.LiveObjects());
    }
}

TEST(ClrV4Road, EqualVersionsEitherMayBeChosen)
{
    const CRoadRun run = RunV4(L"runtime=v4.0.30319\nruntime=V4.0.30319\nruntime=v2.0");
    EXPECT_EQ(S_OK, run.hr);
    EXPECT_EQ(L"4.0.30319.0", run.version);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ClrV4Road, OnlyOldRuntimesShowTheRequirementsDialogWithTheNewest)
{
    const CRoadRun run = RunV4(L"runtime=v1.1.4322\nruntime=vNext\nruntime=\nruntime=v1.0.3705");
    EXPECT_EQ(E_FAIL, run.hr);
    EXPECT_FALSE(run.fHost);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, run.boxes[0].caption);
    EXPECT_NE(std::wstring::npos, run.boxes[0].text.find(L"Maximum CLR version found: 1.1.4322.0.\n"));
    EXPECT_EQ(std::wstring::npos, run.boxes[0].text.find(L"Maximum .NET Framework"));
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ClrV4Road, UnparsableVersionsSortFirstAndNeverMeetTheMinimum)
{
    // Enumerated in no order, with an older runtime last: only the sorted walk chooses v4.5.
    CStandinSession session(L"runtime=vNext\nruntime=v4.5\nruntime=beta\nruntime=v2.0.50727");
    HMODULE hmod = session.Load();
    {
        CClrResult result = SelectClrV4(hmod, c_verClrRequired, c_verNetfxRequired);
        EXPECT_EQ(S_OK, result.hr);
        EXPECT_EQ(L"4.5.0.0", Text(result.verClr));
    }
    EXPECT_EQ("v4.5", JsonText(session.FirstCall("GetInterface"), "runtime"));

    // Alone, they never meet the minimum.
    const CRoadRun unparsable = RunV4(L"runtime=vNext\nruntime=beta");
    EXPECT_EQ(E_FAIL, unparsable.hr);
    ASSERT_EQ(1u, unparsable.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, unparsable.boxes[0].caption);
}

TEST(ClrV4Road, MissingExportOrNotImplementedIsSilentlyNotAvailable)
{
    const CRoadRun missing = RunV4(L"", L"v2");
    EXPECT_EQ(S_FALSE, missing.hr);
    EXPECT_FALSE(missing.fHost);
    EXPECT_TRUE(missing.boxes.empty());

    const CRoadRun notImplemented = RunV4(L"CLRCreateInstance=E_NOTIMPL");
    EXPECT_EQ(S_FALSE, notImplemented.hr);
    EXPECT_FALSE(notImplemented.fHost);
    EXPECT_TRUE(notImplemented.boxes.empty());
}

TEST(ClrV4Road, MetaHostFailureIsShownAndEndsTheRoad)
{
    ExpectReport(RunV4(L"CLRCreateInstance=0x80131700"), c_szM1, static_cast<HRESULT>(0x80131700));
    const CRoadRun nullHost = RunV4(L"CLRCreateInstance=null");
    EXPECT_EQ(E_POINTER, nullHost.hr);
    ExpectReport(nullHost, c_szM1, E_POINTER);
}

TEST(ClrV4Road, EnumerationThatCannotStartIsShown)
{
    const CRoadRun run = RunV4(L"EnumerateInstalledRuntimes=0x80070005");
    EXPECT_EQ(static_cast<HRESULT>(0x80070005), run.hr);
    ExpectReport(run, c_szM2, static_cast<HRESULT>(0x80070005));
    EXPECT_EQ(0, run.cLiveAfter);

    const CRoadRun nullEnum = RunV4(L"EnumerateInstalledRuntimes=null");
    EXPECT_EQ(E_POINTER, nullEnum.hr);
    ExpectReport(nullEnum, c_szM2, E_POINTER);
}

TEST(ClrV4Road, FailingEnumerationStepFailsEvenAfterRuntimesWereFound)
{
    const CRoadRun run = RunV4(L"runtime=v2.0.50727\nruntime=v4.0.30319\nNext.failAt=1\nNext.hr=0x80004005");
    EXPECT_EQ(E_FAIL, run.hr);
    EXPECT_FALSE(run.fHost);
    ExpectReport(run, c_szM3, E_FAIL);
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ClrV4Road, NoRuntimesReportsFailButAnswersUnexpected)
{
    const CRoadRun run = RunV4(L"runtimes=none");
    EXPECT_EQ(E_UNEXPECTED, run.hr);
    EXPECT_FALSE(run.fHost);
    ExpectReport(run, c_szM4, E_FAIL);
}

TEST(ClrV4Road, RuntimeWithoutHostInterfaceIsShown)
{
    const CRoadRun run = RunV4(L"GetInterface=0x80131700");
    EXPECT_EQ(static_cast<HRESULT>(0x80131700), run.hr);
    ExpectReport(run, c_szM5, static_cast<HRESULT>(0x80131700));
    EXPECT_EQ(0, run.cLiveAfter);

    const CRoadRun nullHost = RunV4(L"GetInterface=null");
    EXPECT_EQ(E_POINTER, nullHost.hr);
    ExpectReport(nullHost, c_szM5, E_POINTER);
}

TEST(ClrV4Road, ReportsCarryTheErrorInformationOfTheFailingObject)
{
    const std::wstring offered = L"hosting.errorInfo=Refused by policy.\n";
    ExpectReport(RunV4(offered + L"EnumerateInstalledRuntimes=0x80070005"), c_szM2, static_cast<HRESULT>(0x80070005),
                 L"ICLRMetaHost: Refused by policy.");
    ExpectReport(RunV4(offered + L"Next.failAt=1\nNext.hr=0x80004005"), c_szM3, E_FAIL, L"IEnumUnknown: Refused by policy.");
    ExpectReport(RunV4(offered + L"GetInterface=0x80131700"), c_szM5, static_cast<HRESULT>(0x80131700),
                 L"ICLRRuntimeInfo: Refused by policy.");
    // The meta host's own failure has no object to ask.
    ExpectReport(RunV4(offered + L"CLRCreateInstance=0x80131700"), c_szM1, static_cast<HRESULT>(0x80131700));
}

TEST(ClrV4Road, FailingVersionQueryFailsTheWholeRoad)
{
    const CRoadRun run = RunV4(L"runtime=v4.0.30319\nruntime=!0x8007000E");
    EXPECT_EQ(E_OUTOFMEMORY, run.hr);
    ExpectReport(run, c_v4Lead, E_OUTOFMEMORY);
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ClrV2Road, BindsExactlyTheReportedVersionWithItsV)
{
    CStandinSession session(L"GetCORVersion=v2.0.50727");
    const CRoadRun run = RunV2(session);
    EXPECT_EQ(S_OK, run.hr);
    EXPECT_EQ(L"2.0.50727.0", run.version);
    EXPECT_TRUE(run.fHost);
    EXPECT_TRUE(run.boxes.empty());
    const std::string bind = session.FirstCall("CorBindToRuntime");
    EXPECT_EQ("v2.0.50727", JsonText(bind, "version"));
    EXPECT_NE(std::string::npos, bind.find("\"flavor\":null"));
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ClrV2Road, OldRuntimeShowsTheRequirementsDialogWithoutBinding)
{
    CStandinSession session(L"GetCORVersion=v1.1.4322");
    const CRoadRun run = RunV2(session);
    EXPECT_EQ(E_FAIL, run.hr);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, run.boxes[0].caption);
    EXPECT_NE(std::wstring::npos, run.boxes[0].text.find(L"Maximum CLR version found: 1.1.4322.0.\n"));
    EXPECT_FALSE(session.WasCalled("CorBindToRuntime"));
}

TEST(ClrV2Road, OldRuntimeEndsTheRoadBeforeTheBindExportIsLookedUp)
{
    // Without the bind export, looking it up first would show its own box before the dialog.
    CStandinSession session(L"GetCORVersion=v1.1.4322");
    const CRoadRun run = RunV2(session, L"nobind");
    EXPECT_EQ(E_FAIL, run.hr);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(c_szRequirementsCaption, run.boxes[0].caption);
}

TEST(ClrV2Road, MissingExportsAreToldApart)
{
    CStandinSession noneSession;
    const CRoadRun none = RunV2(noneSession, L"none");
    EXPECT_EQ(S_FALSE, none.hr);
    EXPECT_TRUE(none.boxes.empty());

    CStandinSession noBindSession;
    const CRoadRun noBind = RunV2(noBindSession, L"nobind");
    EXPECT_EQ(S_OK, noBind.hr);
    EXPECT_FALSE(noBind.fHost);
    ExpectReport(noBind, c_szV2, E_NOINTERFACE);
}

TEST(ClrV2Road, VersionQueryFailureIsShown)
{
    CStandinSession session(L"GetCORVersion.hr=0x80131700");
    const CRoadRun run = RunV2(session);
    EXPECT_EQ(static_cast<HRESULT>(0x80131700), run.hr);
    ExpectReport(run, c_szV1, static_cast<HRESULT>(0x80131700));
}

TEST(ClrV2Road, BindWithoutHostIsShown)
{
    CStandinSession failedSession(L"CorBindToRuntime=0x80131700");
    const CRoadRun failed = RunV2(failedSession);
    EXPECT_EQ(static_cast<HRESULT>(0x80131700), failed.hr);
    ExpectReport(failed, c_szV3, static_cast<HRESULT>(0x80131700));

    CStandinSession nullSession(L"CorBindToRuntime=null");
    const CRoadRun nullHost = RunV2(nullSession);
    EXPECT_EQ(E_POINTER, nullHost.hr);
    ExpectReport(nullHost, c_szV3, E_POINTER);

    CStandinSession noHostSession(L"CorBindToRuntime=nohost");
    const CRoadRun noHost = RunV2(noHostSession);
    EXPECT_EQ(E_POINTER, noHost.hr);
    ExpectReport(noHost, c_szV3, E_POINTER);
    EXPECT_EQ(0, noHost.cLiveAfter);
}

TEST(ClrV2Road, FailingHostQueryIsACaughtComError)
{
    CStandinSession session(L"CorBindToRuntime=badquery");
    const CRoadRun run = RunV2(session);
    EXPECT_EQ(E_OUTOFMEMORY, run.hr);
    ExpectReport(run, c_v2Lead, E_OUTOFMEMORY);
    EXPECT_EQ(0, run.cLiveAfter);
}

// 2.0.0.0 is the lowest runtime either road takes, and the step below it the highest it refuses. A version
// text that fills the road's buffer with its terminator is read; one character more is the library's failure.
TEST(ClrV4Road, RequiredVersionAndTextLengthAtTheirEnds)
{
    const std::wstring filler = L"v2.0.50727";
    const struct
    {
        std::wstring runtime;
        HRESULT hr;
        const wchar_t* pszVersion;
    } c_cases[] = {
        {L"v2.0", S_OK, L"2.0.0.0"},
        {L"v1.2147483647.2147483647.2147483647", E_FAIL, nullptr},
        {filler + std::wstring(4095 - filler.size(), L'-'), S_OK, L"2.0.50727.0"},
        {filler + std::wstring(4096 - filler.size(), L'-'), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), nullptr},
    };
    for (const auto& test : c_cases)
    {
        CStandinSession session(L"runtime=" + test.runtime);
        HMODULE hmod = session.Load();
        CMessageBoxRecorder recorder({IDNO, IDNO});
        {
            CClrResult result = SelectClrV4(hmod, c_verClrRequired, c_verNetfxRequired);
            EXPECT_EQ(test.hr, result.hr) << test.runtime.size();
            if (test.pszVersion)
            {
                EXPECT_EQ(test.pszVersion, Text(result.verClr)) << test.runtime.size();
            }
        }
        EXPECT_EQ(SUCCEEDED(test.hr) ? 0u : 1u, recorder.Boxes().size()) << test.runtime.size();
        // One runtime asked for at a time.
        const std::string next = session.FirstCall("Next");
        const size_t iCelt = next.find("\"celt\":");
        ASSERT_NE(std::string::npos, iCelt) << next;
        EXPECT_EQ(1, atoi(next.c_str() + iCelt + 7)) << next;
        EXPECT_EQ(0, session.LiveObjects());
    }
}

TEST(ClrV2Road, RequiredVersionAndTextLengthAtTheirEnds)
{
    const std::wstring filler = L"v2.0.50727";
    const struct
    {
        std::wstring corVersion;
        HRESULT hr;
        const char* pszBound; // the version bound, or null when none is
    } c_cases[] = {
        {L"v2.0", S_OK, "v2.0"},
        {L"v1.2147483647.2147483647.2147483647", E_FAIL, nullptr},
        {filler + std::wstring(255 - filler.size(), L'-'), S_OK, nullptr},
        {filler + std::wstring(256 - filler.size(), L'-'), HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), nullptr},
    };
    for (const auto& test : c_cases)
    {
        CStandinSession session(L"GetCORVersion=" + test.corVersion);
        const CRoadRun run = RunV2(session);
        EXPECT_EQ(test.hr, run.hr) << test.corVersion.size();
        EXPECT_EQ(SUCCEEDED(test.hr), session.WasCalled("CorBindToRuntime")) << test.corVersion.size();
        if (test.pszBound)
        {
            EXPECT_EQ(test.pszBound, JsonText(session.FirstCall("CorBindToRuntime"), "version"));
        }
        EXPECT_EQ(SUCCEEDED(test.hr) ? 0u : 1u, run.boxes.size()) << test.corVersion.size();
        EXPECT_EQ(0, run.cLiveAfter);
    }
}

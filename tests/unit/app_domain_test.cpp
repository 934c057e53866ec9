// Starting the runtime, the application domain and the call of the managed entry point, against the
// stand-in hosting library.
#include <gtest/gtest.h>

#include <string>

#include "clrhost/clr_roads.h"
#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "tests/standin/fake_assembly.h"
#include "unit/fakes/fake_content_folder.h"
#include "unit/standin_session.h"
#include "unit/system_text.h"

namespace
{
const wchar_t c_szCoreAssemblyFile[] = L"\\Corvane.Platform.Tessarine.UI.Standalone.dll";
const wchar_t c_szStartupFailed[] =
    L"Could not call the startup method on the entry type from the application core assembly.";

struct CDomainRun
{
    HRESULT hr = S_OK;
    std::vector<CBoxRecord> boxes;
    std::vector<std::string> calls; // the runtime's own methods, in order
    int cLiveAfter = -1;
    int cErrorInfosAfter = -1;
};

bool IsRuntimeMethod(const std::string& method)
{
    for (const char* psz : {"Start", "Stop", "CreateDomainSetup", "put_ApplicationBase", "put_ApplicationName",
                            "CreateDomainEx", "GetDefaultDomain", "Load_2", "GetType_3", "InvokeMember_3"})
    {
        if (method == psz)
            return true;
    }
    return false;
}

// Runs the application with a host from the v4 road. The core assembly sits in the session folder, which
// is the default domain's base, and the content folder when fEntryway.
CDomainRun RunApplication(CStandinSession& session, bool fEntryway, bool fAssembly = true)
{
    if (fAssembly)
    {
        EXPECT_TRUE(WriteFakeAssembly((session.Folder() + c_szCoreAssemblyFile).c_str()));
    }
    g_bsFakeContentFolder = fEntryway ? CBstr(session.Folder().c_str()) : CBstr();
    HMODULE hmod = session.Load();
    CDomainRun run;
    {
        CMessageBoxRecorder recorder;
        CClrResult clrresult = SelectClrV4(hmod, CVersion4(2, 0, 0, 0), CVersion4(3, 5, 0, 0));
        EXPECT_TRUE(clrresult.oHost);
        run.hr = RunManagedApplication(clrresult.oHost);
        run.boxes = recorder.Boxes();
    }
    for (const std::string& method : session.Calls())
    {
        if (IsRuntimeMethod(method))
            run.calls.push_back(method);
    }
    run.cLiveAfter = session.LiveObjects();
    run.cErrorInfosAfter = session.LiveErrorInfos();
    return run;
}

const std::wstring c_defaultBase = L"defaultDomain.base={folder}\n";

void ExpectOneReport(const CDomainRun& run, const std::wstring& message, HRESULT hr, const std::wstring& description = L"")
{
    EXPECT_EQ(hr, run.hr);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(ReportText(message, hr, description), run.boxes[0].text);
    EXPECT_EQ(L"Lumenix \u2013 Loading", run.boxes[0].caption);
    EXPECT_EQ(0, run.cLiveAfter);
    EXPECT_EQ(0, run.cErrorInfosAfter) << "error information left behind";
}

std::string Utf8(const std::wstring& text)
{
    std::string utf8;
    for (wchar_t ch : text)
        utf8 += static_cast<char>(ch);
    return utf8;
}
} // namespace

TEST(ManagedApplication, DefaultDomainRoadCallsTheEntryAndStops)
{
    CStandinSession configured(c_defaultBase + L"entry.return=VT_I4:7\n");
    const CDomainRun run = RunApplication(configured, false);

    EXPECT_EQ(7, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{"Start", "GetDefaultDomain", "Load_2", "GetType_3", "InvokeMember_3", "Stop"}),
              run.calls);
    EXPECT_EQ("Corvane.Platform.Tessarine.UI.Standalone", JsonText(configured.FirstCall("Load_2"), "name"));
    const std::string getType = configured.FirstCall("GetType_3");
    EXPECT_EQ("Corvane.UI.Standalone.Host.KestStandaloneApplicationHost", JsonText(getType, "name"));
    EXPECT_NE(std::string::npos, getType.find("\"throwOnError\":1"));
    const std::string invoke = configured.FirstCall("InvokeMember_3");
    EXPECT_EQ("RunApplicationInAssembly", JsonText(invoke, "name"));
    EXPECT_NE(std::string::npos, invoke.find("\"flags\":280"));
    EXPECT_NE(std::string::npos, invoke.find("\"binder\":null"));
    EXPECT_NE(std::string::npos, invoke.find("\"targetVt\":0"));
    EXPECT_NE(std::string::npos, invoke.find("\"argCount\":2"));
    EXPECT_NE(std::string::npos, invoke.find("\"args\":[{\"vt\":8,\"value\":\"Lumenix\"},{\"vt\":21,\"value\":\"0x0\"}]"))
        << invoke;
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ManagedApplication, HandsTheLiveSplashWindowToTheEntry)
{
    HWND hwndSplash = CreateWindowExW(0, L"STATIC", L"splash", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    g_hwndSplash = hwndSplash;
    CStandinSession configured(c_defaultBase);
    const CDomainRun run = RunApplication(configured, false);
    EXPECT_EQ(0, run.hr);
    const std::string invoke = configured.FirstCall("InvokeMember_3");
    const size_t at = invoke.find("{\"vt\":21,\"value\":\"");
    ASSERT_NE(std::string::npos, at) << invoke;
    const std::string value = invoke.substr(at + 18, invoke.find('"', at + 18) - (at + 18));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(hwndSplash), std::stoull(value, nullptr, 16));
    DestroyWindow(hwndSplash);
    g_hwndSplash = nullptr;
}

TEST(ManagedApplication, EntrywayDomainOverTheContentFolder)
{
    CStandinSession session(L"entry.return=VT_INT:-5");
    const CDomainRun run = RunApplication(session, true);

    EXPECT_EQ(-5, run.hr);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ((std::vector<std::string>{"Start", "CreateDomainSetup", "put_ApplicationBase", "put_ApplicationName",
                                        "CreateDomainEx", "Load_2", "GetType_3", "InvokeMember_3", "Stop"}),
              run.calls);
    EXPECT_EQ(Utf8(session.Folder()), JsonText(session.FirstCall("put_ApplicationBase"), "value"));
    EXPECT_EQ("Lumenix", JsonText(session.FirstCall("put_ApplicationName"), "value"));
    const std::string create = session.FirstCall("CreateDomainEx");
    EXPECT_EQ("Entryway", JsonText(create, "name"));
    EXPECT_EQ("handedOut", JsonText(create, "setup"));
    EXPECT_NE(std::string::npos, create.find("\"evidence\":null"));
    EXPECT_EQ(Utf8(session.Folder()), JsonText(session.FirstCall("Load_2"), "base"));
    EXPECT_EQ(0, run.cLiveAfter);
}

TEST(ManagedApplication, ReturnValuesConvertToIntegers)
{
    const struct
    {
        const wchar_t* pszReturn;
        HRESULT hr;
    } c_cases[] = {{L"VT_EMPTY", 0},
                   {L"VT_BSTR:42", 42},
                   {L"VT_I4:2147483647", 2147483647},
                   {L"VT_I4:-2147483648", static_cast<HRESULT>(0x80000000)},
                   {L"VT_BSTR:2147483647", 2147483647},
                   {L"VT_BSTR:-2147483648", static_cast<HRESULT>(0x80000000)}};
    for (const auto& test : c_cases)
    {
        CStandinSession session(std::wstring(L"entry.return=") + test.pszReturn);
        const CDomainRun run = RunApplication(session, true);
        EXPECT_EQ(test.hr, run.hr) << test.pszReturn;
        EXPECT_TRUE(run.boxes.empty()) << test.pszReturn;
    }
}

// A text that is no number, or one just past either end of the 32-bit range.
TEST(ManagedApplication, ReturnValueThatDoesNotConvertIsTheStartupFailure)
{
    const struct
    {
        const wchar_t* pszReturn;
        HRESULT hr;
    } c_cases[] = {{L"VT_BSTR:not a number", DISP_E_TYPEMISMATCH},
                   {L"VT_BSTR:2147483648", DISP_E_OVERFLOW},
                   {L"VT_BSTR:-2147483649", DISP_E_OVERFLOW}};
    for (const auto& test : c_cases)
    {
        CStandinSession session(std::wstring(L"entry.return=") + test.pszReturn);
        const CDomainRun run = RunApplication(session, true);
        ExpectOneReport(run, c_szStartupFailed, test.hr);
        EXPECT_EQ("InvokeMember_3", run.calls.back());
    }
}

TEST(ManagedApplication, ManagedExceptionIsShownWithItsDescriptionAndTheRuntimeKeepsRunning)
{
    CStandinSession session(L"entry.throw=The product license has expired.");
    const CDomainRun run = RunApplication(session, true);
    ExpectOneReport(run, c_szStartupFailed, static_cast<HRESULT>(0x80131604), L"The product license has expired.");
    EXPECT_EQ("InvokeMember_3", run.calls.back());
}

TEST(ManagedApplication, StartFailureCarriesTheHostsErrorInformation)
{
    CStandinSession session(L"Start=0x80131022\nhost.errorInfo=The runtime is disabled by policy.");
    const CDomainRun run = RunApplication(session, true);
    ExpectOneReport(run, L"The CLR could not be started.", static_cast<HRESULT>(0x80131022),
                    L"The runtime is disabled by policy.");
    EXPECT_EQ((std::vector<std::string>{"Start"}), run.calls);
}

TEST(ManagedApplication, DomainSetupFailuresAreShown)
{
    {
        CStandinSession session(L"CreateDomainSetup=0x80004005");
        ExpectOneReport(RunApplication(session, true), L"Could not create the appdomain setup object.", E_FAIL);
    }
    {
        CStandinSession session(L"CreateDomainEx=0x80131500");
        const CDomainRun run = RunApplication(session, true);
        ExpectOneReport(run, L"Could not create the primary appdomain.", static_cast<HRESULT>(0x80131500));
        EXPECT_EQ("CreateDomainEx", run.calls.back());
    }
}

TEST(ManagedApplication, SetupObjectFailuresAreReportedNotThrown)
{
    {
        CStandinSession session(L"setup.noInterface=1");
        const CDomainRun run = RunApplication(session, true);
        ExpectOneReport(run, L"Could not create the appdomain setup object.", E_POINTER);
        EXPECT_EQ("CreateDomainSetup", run.calls.back());
    }
    {
        CStandinSession session(L"setup.put_ApplicationBase=0x80070005");
        const CDomainRun run = RunApplication(session, true);
        EXPECT_EQ(static_cast<HRESULT>(0x80070005), run.hr);
        ASSERT_EQ(1u, run.boxes.size());
        EXPECT_EQ(0u, run.boxes[0].text.find(L"Could not create the appdomain setup object.\n" +
                                             ComSystemText(static_cast<HRESULT>(0x80070005))));
        EXPECT_EQ("put_ApplicationBase", run.calls.back());
        EXPECT_EQ(0, run.cErrorInfosAfter);
    }
    {
        CStandinSession session(L"setup.put_ApplicationName=0x80070005");
        const CDomainRun run = RunApplication(session, true);
        EXPECT_EQ(static_cast<HRESULT>(0x80070005), run.hr);
        EXPECT_EQ("put_ApplicationName", run.calls.back());
        EXPECT_EQ(1u, run.boxes.size());
        EXPECT_EQ(0, run.cErrorInfosAfter);
    }
}

TEST(ManagedApplication, DefaultDomainFailureIsShown)
{
    CStandinSession session(L"GetDefaultDomain=0x80131500");
    ExpectOneReport(RunApplication(session, false), L"Could not get the default application domain.",
                    static_cast<HRESULT>(0x80131500));
}

TEST(ManagedApplication, MissingCoreAssemblyNamesIt)
{
    CStandinSession configured(c_defaultBase);
    const CDomainRun run = RunApplication(configured, false, false);
    ExpectOneReport(run,
                    L"Could not load the application core assembly \u201CCorvane.Platform.Tessarine.UI.Standalone\u201D.",
                    static_cast<HRESULT>(0x80070002),
                    L"Could not load file or assembly 'Corvane.Platform.Tessarine.UI.Standalone' or one of its "
                    L"dependencies. The system cannot find the file specified.");
}

TEST(ManagedApplication, DomainWithoutManagedInterfaceFailsTheLoad)
{
    CStandinSession session(L"domain.noInterface=1");
    const CDomainRun run = RunApplication(session, true);
    ExpectOneReport(run,
                    L"Could not load the application core assembly \u201CCorvane.Platform.Tessarine.UI.Standalone\u201D.",
                    E_POINTER);
}

TEST(ManagedApplication, MissingHostTypeIsShownWithTheRuntimesDescription)
{
    CStandinSession session(L"type.missing=1");
    const CDomainRun run = RunApplication(session, true);
    ExpectOneReport(run, L"Could not load the entry type from the application core assembly.",
                    static_cast<HRESULT>(0x80131522),
                    L"Could not load type 'Corvane.UI.Standalone.Host.KestStandaloneApplicationHost' from assembly "
                    L"'Corvane.Platform.Tessarine.UI.Standalone'.");
}

TEST(ManagedApplication, StopFailureIsShown)
{
    CStandinSession session(L"Stop=0x80131022");
    const CDomainRun run = RunApplication(session, true);
    ExpectOneReport(run, L"The CLR could not be terminated.", static_cast<HRESULT>(0x80131022));
    EXPECT_EQ("Stop", run.calls.back());
}

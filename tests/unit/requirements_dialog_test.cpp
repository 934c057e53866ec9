// The runtime requirements check and its dialog: texts, styles, owner, answers and the download page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "netfx/requirements_dialog.h"
#include "unit/import_patch.h"
#include "unit/scratch_registry.h"

namespace
{
const wchar_t c_szCaption[] = L"Lumenix \u2013 .NET Runtime Requirements";
const CVersion4 c_verClrRequired(2, 0, 0, 0);
const CVersion4 c_verNetfxRequired(3, 5, 0, 0);

const wchar_t c_szOutdatedText[] =
    L"Lumenix has found the CLR version capable of running its code, but the .NET Framework version is outdated. "
    L"Some of the features might be missing, and the application might not run properly.\n\n"
    L"If you hit Retry, the application will attempt to start in the current environment. "
    L"If it fails, please proceed with installing a newer .NET Framework version.";

HRESULT ShowDialog(const CVersion4& verClrFound, const CVersion4& verNetfxFound, bool bFrameworkOutdated)
{
    return ShowRuntimeRequirementsDialog(verClrFound, verNetfxFound, bFrameworkOutdated, c_verClrRequired,
                                         c_verNetfxRequired);
}

// Any registry access fails the test.
int g_cRegistryOpens = 0;
LSTATUS WINAPI RefuseOpen(HKEY, LPCWSTR pszSubkey, DWORD, REGSAM, PHKEY)
{
    ++g_cRegistryOpens;
    ADD_FAILURE() << "the registry was read: " << (pszSubkey ? std::wstring(pszSubkey).size() : 0u) << " chars";
    return ERROR_ACCESS_DENIED;
}
} // namespace

TEST(RequirementsDialog, FirstBoxNamesFoundAndRequiredVersions)
{
    CMessageBoxRecorder recorder({IDNO, IDCANCEL});
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 30729, 4926), true));

    ASSERT_EQ(2u, recorder.Boxes().size());
    const CBoxRecord& first = recorder.Boxes()[0];
    EXPECT_EQ(L"To run Corvane Lumenix, you must have the .NET Framework installed on your computer.\n"
              L"\n"
              L"Maximum .NET Framework version found: 3.0.30729.4926.\n"
              L"Maximum CLR version found: 2.0.50727.0.\n"
              L"Minimum .NET Framework version required: 3.5.0.0 (Full edition).\n"
              L"Minimum CLR version required: 2.0.0.0.\n"
              L"\n"
              L"Would you like to open the Mirosoft website with a free download of the .NET Framework?",
              first.text);
    EXPECT_EQ(c_szCaption, first.caption);
    EXPECT_EQ(0x14u, first.style);
    EXPECT_EQ(nullptr, first.hwndOwner);

    const CBoxRecord& second = recorder.Boxes()[1];
    EXPECT_EQ(c_szOutdatedText, second.text);
    EXPECT_EQ(c_szCaption, second.caption);
    EXPECT_EQ(0x35u, second.style);
}

TEST(RequirementsDialog, LeavesOutTheLinesOfVersionsNotFound)
{
    CMessageBoxRecorder recorder({IDNO, IDNO});
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(), false));
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(), CVersion4(), false));

    ASSERT_EQ(2u, recorder.Boxes().size());
    EXPECT_EQ(L"To run Corvane Lumenix, you must have the .NET Framework installed on your computer.\n\n"
              L"Maximum CLR version found: 2.0.50727.0.\n"
              L"Minimum .NET Framework version required: 3.5.0.0 (Full edition).\n"
              L"Minimum CLR version required: 2.0.0.0.\n\n"
              L"Would you like to open the Mirosoft website with a free download of the .NET Framework?",
              recorder.Boxes()[0].text);
    EXPECT_EQ(L"To run Corvane Lumenix, you must have the .NET Framework installed on your computer.\n\n"
              L"Minimum .NET Framework version required: 3.5.0.0 (Full edition).\n"
              L"Minimum CLR version required: 2.0.0.0.\n\n"
              L"Would you like to open the Mirosoft website with a free download of the .NET Framework?",
              recorder.Boxes()[1].text);
}

TEST(RequirementsDialog, IsOwnedByTheLiveSplashWindow)
{
    HWND hwndSplash = CreateWindowExW(0, L"STATIC", L"splash", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    g_hwndSplash = hwndSplash;
    CMessageBoxRecorder recorder({IDNO, IDCANCEL});
    ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 0, 0), true);
    DestroyWindow(hwndSplash);
    g_hwndSplash = nullptr;

    ASSERT_EQ(2u, recorder.Boxes().size());
    EXPECT_EQ(hwndSplash, recorder.Boxes()[0].hwndOwner);
    EXPECT_EQ(hwndSplash, recorder.Boxes()[1].hwndOwner);
}

TEST(RequirementsDialog, NoWithACapableClrOffersRetry)
{
    CMessageBoxRecorder recorder({IDNO, IDRETRY});
    EXPECT_EQ(S_FALSE, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 0, 0), true));
    EXPECT_EQ(2u, recorder.Boxes().size());
}

TEST(RequirementsDialog, NoWithoutACapableClrEndsAtOnce)
{
    CMessageBoxRecorder recorder({IDNO, IDRETRY});
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(1, 1, 4322, 0), CVersion4(), false));
    EXPECT_EQ(1u, recorder.Boxes().size());
}

TEST(RequirementsDialog, BoxesThatCannotBeShownEndInAbort)
{
    CMessageBoxRecorder recorder;
    recorder.FailNextBoxes(2);
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 0, 0), true));
    EXPECT_EQ(2u, recorder.FailedBoxes().size());

    recorder.FailNextBoxes(1);
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(), CVersion4(), false));
    EXPECT_EQ(3u, recorder.FailedBoxes().size());
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST(RequirementsDialog, FirstBoxNotShownStillOffersRetry)
{
    CMessageBoxRecorder recorder({IDRETRY});
    recorder.FailNextBoxes(1);
    EXPECT_EQ(S_FALSE, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 0, 0), true));
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(0x35u, recorder.Boxes()[0].style);
}

namespace
{
// The shell's part is the system's: the test records what the dialog hands it, and opens nothing, so that no
// browser starts and no handler has to be registered on the machine.
std::vector<std::wstring> g_shellOpens;
HINSTANCE WINAPI RecordShellExecute(HWND hwnd, LPCWSTR pszVerb, LPCWSTR pszFile, LPCWSTR pszParameters,
                                    LPCWSTR pszDirectory, INT nShowCmd)
{
    g_shellOpens.push_back(std::wstring(hwnd ? L"owner " : L"no owner ") + (pszVerb ? pszVerb : L"(default verb)") +
                           L" " + (pszFile ? pszFile : L"(none)") + L" " + (pszParameters ? pszParameters : L"(none)") +
                           L" " + (pszDirectory ? pszDirectory : L"(none)") + L" " + std::to_wstring(nShowCmd));
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(33));
}
} // namespace

TEST(RequirementsDialog, YesOpensTheDownloadPage)
{
    CImportPatch patch("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&RecordShellExecute));
    ASSERT_TRUE(patch.IsPatched());
    g_shellOpens.clear();
    {
        CMessageBoxRecorder recorder({IDNO, IDCANCEL});
        EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 0, 0), true));
        EXPECT_TRUE(g_shellOpens.empty());
    }
    CMessageBoxRecorder recorder({IDYES});
    EXPECT_EQ(E_ABORT, ShowDialog(CVersion4(2, 0, 50727, 0), CVersion4(3, 0, 0, 0), true));
    EXPECT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(std::vector<std::wstring>{L"no owner (default verb) "
                                        L"https://www.microsoft.com/download/en/details.aspx?id=17851&WT.mc_id="
                                        L"MSCOM_EN_US_DLC_DETAILS_121LSUS007996 (none) (none) " +
                                        std::to_wstring(SW_SHOWDEFAULT)},
              g_shellOpens);
}

TEST(NetfxRequirement, CapableClrPassesWithoutReadingTheRegistry)
{
    CMessageBoxRecorder recorder;
    g_cRegistryOpens = 0;
    {
        CImportPatch patch("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&RefuseOpen));
        ASSERT_TRUE(patch.IsPatched());
        EXPECT_EQ(S_OK, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(4, 0, 30319, 0)));
        EXPECT_EQ(S_OK, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(3, 5, 0, 0)));
        // Same major and minor requirement: the CLR check has settled it, whatever was found.
        EXPECT_EQ(S_OK, CheckNetfxRequirement(CVersion4(2, 0, 0, 0), CVersion4(2, 0, 9, 9), CVersion4()));
    }
    EXPECT_EQ(0, g_cRegistryOpens);
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST(NetfxRequirement, Clr2PassesWithFramework35Installed)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.5");
    CMessageBoxRecorder recorder;
    EXPECT_EQ(S_OK, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(2, 0, 50727, 0)));

    hklm.AddInstalled(L"v3.5", L"3.5.30729.4926");
    EXPECT_EQ(S_OK, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(2, 0, 50727, 0)));
    EXPECT_TRUE(recorder.Boxes().empty());
}

TEST(NetfxRequirement, Clr2WithFramework30ShowsTheDialog)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.0", L"3.0.30729.4926");
    CMessageBoxRecorder recorder({IDNO, IDRETRY, IDNO, IDCANCEL});
    EXPECT_EQ(S_FALSE, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(2, 0, 50727, 0)));
    EXPECT_EQ(E_ABORT, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(2, 0, 50727, 0)));
    ASSERT_EQ(4u, recorder.Boxes().size());
    EXPECT_NE(std::wstring::npos, recorder.Boxes()[0].text.find(L"Maximum .NET Framework version found: 3.0.30729.4926.\n"));
}

TEST(NetfxRequirement, Clr2WithoutFrameworkKeyLeavesOutTheFrameworkLine)
{
    CScratchHklm hklm;
    CMessageBoxRecorder recorder({IDNO, IDCANCEL});
    EXPECT_EQ(E_ABORT, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(2, 0, 50727, 0)));
    ASSERT_EQ(2u, recorder.Boxes().size());
    EXPECT_EQ(std::wstring::npos, recorder.Boxes()[0].text.find(L"Maximum .NET Framework"));
    EXPECT_NE(std::wstring::npos, recorder.Boxes()[0].text.find(L"Maximum CLR version found: 2.0.50727.0.\n"));
}

// Each comparison at its end: a CLR or a framework one step below 3.5.0.0 is below it, and requirements that
// differ in the major or the minor part alone are not settled by the CLR check.
TEST(NetfxRequirement, OneStepBelowTheRequirementIsBelowIt)
{
    const CVersion4 verJustBelow(3, 4, 2147483647, 2147483647);
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.4", L"3.4.2147483647.2147483647");
    CMessageBoxRecorder recorder({IDNO, IDCANCEL, IDNO, IDCANCEL, IDNO, IDCANCEL, IDNO, IDCANCEL});
    EXPECT_EQ(E_ABORT, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(2, 0, 50727, 0)));
    EXPECT_EQ(E_ABORT, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, verJustBelow));
    EXPECT_EQ(S_OK, CheckNetfxRequirement(c_verClrRequired, c_verNetfxRequired, CVersion4(3, 5, 0, 0)));
    EXPECT_EQ(E_ABORT, CheckNetfxRequirement(CVersion4(3, 4, 0, 0), c_verNetfxRequired, CVersion4(3, 4, 0, 0)));
    EXPECT_EQ(E_ABORT, CheckNetfxRequirement(CVersion4(2, 5, 0, 0), c_verNetfxRequired, CVersion4(2, 5, 0, 0)));
    ASSERT_EQ(8u, recorder.Boxes().size());
    EXPECT_NE(std::wstring::npos,
              recorder.Boxes()[0].text.find(L"Maximum .NET Framework version found: 3.4.2147483647.2147483647.\n"));
}

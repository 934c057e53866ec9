// The installed-framework scan against a scratch registry standing in for HKEY_LOCAL_MACHINE.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "netfx/netfx_registry.h"
#include "unit/import_patch.h"
#include "unit/scratch_registry.h"

namespace
{
// Watches the scan's registry calls: which keys it opens, whether it closes each, and lets a key vanish
// between enumeration and opening.
struct CRegistryLog
{
    std::vector<std::wstring> opened;
    std::set<HKEY> open;
    int cOpens = 0;
    int cCloses = 0;
    std::wstring vanishing;
    DWORD dwMoreDataIndex = MAXDWORD;
};
CRegistryLog g_log;
void* g_pfnOpen = nullptr;
void* g_pfnClose = nullptr;
void* g_pfnEnum = nullptr;

LSTATUS WINAPI WatchEnum(HKEY hkey, DWORD dwIndex, LPWSTR pszName, LPDWORD pcchName, LPDWORD pdwReserved,
                         LPWSTR pszClass, LPDWORD pcchClass, PFILETIME pftLastWrite)
{
    if (dwIndex == g_log.dwMoreDataIndex)
    {
        // What the system answers for a name that does not fit the buffer.
        *pcchName = 0;
        return ERROR_MORE_DATA;
    }
    return reinterpret_cast<decltype(&RegEnumKeyExW)>(g_pfnEnum)(hkey, dwIndex, pszName, pcchName, pdwReserved,
                                                                 pszClass, pcchClass, pftLastWrite);
}

LSTATUS WINAPI WatchOpen(HKEY hkey, LPCWSTR pszSubkey, DWORD dwOptions, REGSAM sam, PHKEY phkResult)
{
    g_log.opened.push_back(pszSubkey ? pszSubkey : L"");
    EXPECT_EQ(static_cast<REGSAM>(KEY_READ), sam);
    if (!g_log.vanishing.empty() && g_log.vanishing == (pszSubkey ? pszSubkey : L""))
        return ERROR_FILE_NOT_FOUND;
    const LSTATUS status =
        reinterpret_cast<decltype(&RegOpenKeyExW)>(g_pfnOpen)(hkey, pszSubkey, dwOptions, sam, phkResult);
    if (status == ERROR_SUCCESS)
    {
        ++g_log.cOpens;
        g_log.open.insert(*phkResult);
    }
    return status;
}

LSTATUS WINAPI WatchClose(HKEY hkey)
{
    if (g_log.open.erase(hkey))
        ++g_log.cCloses;
    return reinterpret_cast<decltype(&RegCloseKey)>(g_pfnClose)(hkey);
}

// Runs the scan with its registry calls watched; fails the test when a key stays open.
CVersion4 Scan(const std::wstring& vanishing = L"", DWORD dwMoreDataIndex = MAXDWORD)
{
    g_log = CRegistryLog();
    g_log.vanishing = vanishing;
    g_log.dwMoreDataIndex = dwMoreDataIndex;
    CVersion4 version;
    {
        CImportPatch patchOpen("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&WatchOpen));
        CImportPatch patchClose("advapi32.dll", "RegCloseKey", reinterpret_cast<void*>(&WatchClose));
        CImportPatch patchEnum("advapi32.dll", "RegEnumKeyExW", reinterpret_cast<void*>(&WatchEnum));
        EXPECT_TRUE(patchOpen.IsPatched() && patchClose.IsPatched() && patchEnum.IsPatched());
        g_pfnOpen = patchOpen.Original();
        g_pfnClose = patchClose.Original();
        g_pfnEnum = patchEnum.Original();
        version = GetMaxInstalledNetfxVersion();
    }
    EXPECT_TRUE(g_log.open.empty()) << g_log.open.size() << " registry key(s) left open";
    EXPECT_EQ(g_log.cOpens, g_log.cCloses);
    return version;
}

bool WasOpened(const std::wstring& name)
{
    for (const std::wstring& opened : g_log.opened)
    {
        if (opened == name)
            return true;
    }
    return false;
}

std::wstring Text(const CVersion4& version)
{
    return FormatVersion(version, 4).c_str();
}
} // namespace

TEST(NetfxScan, NothingInstalledGivesTheEmptyVersion)
{
    CScratchHklm hklm;
    EXPECT_TRUE(Scan().IsEmpty());
    EXPECT_EQ(1u, g_log.opened.size());

    hklm.AddKey(L"");
    EXPECT_TRUE(Scan().IsEmpty());
}

TEST(NetfxScan, HighestInstalledVersionWinsWithItsVersionValue)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v2.0.50727", L"2.0.50727.4927");
    hklm.AddInstalled(L"v3.5", L"3.5.30729.4926");
    hklm.AddInstalled(L"v1.1.4322");
    EXPECT_EQ(L"3.5.30729.4926", Text(Scan()));
}

TEST(NetfxScan, FullEditionCountsWhenTheVersionKeyIsNotInstalledItself)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v4\\Full", L"4.5.50709");
    hklm.AddInstalled(L"v4\\Client", L"4.7.0");
    EXPECT_EQ(L"4.5.50709.0", Text(Scan()));
}

TEST(NetfxScan, InstallZeroFallsBackToTheFullEdition)
{
    CScratchHklm hklm;
    hklm.SetDword(L"v4", L"Install", 0);
    hklm.SetText(L"v4", L"Version", L"4.0.1");
    hklm.AddInstalled(L"v4\\Full", L"4.8.04084");
    EXPECT_EQ(L"4.8.4084.0", Text(Scan()));
}

TEST(NetfxScan, InstalledVersionKeyDoesNotLookAtItsFullEdition)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v4", L"4.0.30319");
    hklm.AddInstalled(L"v4\\Full", L"4.8.0");
    EXPECT_EQ(L"4.0.30319.0", Text(Scan()));
    EXPECT_FALSE(WasOpened(L"Full"));
}

TEST(NetfxScan, OnlyAnEditionOtherThanFullDoesNotCount)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v4\\Client", L"4.0.30319");
    hklm.AddKey(L"v4.0");
    hklm.AddInstalled(L"v2.0", L"2.0.50727");
    EXPECT_EQ(L"2.0.50727.0", Text(Scan()));
}

TEST(NetfxScan, VersionValueMustAgreeWithTheNamesNonzeroParts)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v2.0.50727", L"3.0.1");
    EXPECT_EQ(L"2.0.50727.0", Text(Scan()));

    hklm.AddInstalled(L"v3.0", L"3.0.30729.4926");
    EXPECT_EQ(L"3.0.30729.4926", Text(Scan()));
}

TEST(NetfxScan, NamesWithoutAVersionAreNotOpened)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"CDF", L"9.0");
    hklm.AddInstalled(L"v", L"9.0");
    hklm.AddInstalled(L"x9.0", L"9.0");
    hklm.AddInstalled(L"V3.5", L"3.5.30729.1");
    EXPECT_EQ(L"3.5.30729.1", Text(Scan()));
    EXPECT_FALSE(WasOpened(L"CDF"));
    EXPECT_FALSE(WasOpened(L"v"));
    EXPECT_FALSE(WasOpened(L"x9.0"));
}

TEST(NetfxScan, InstallOfTheWrongSizeCountsAsNotInstalled)
{
    CScratchHklm hklm;
    const ULONGLONG ullInstall = 1;
    hklm.SetValue(L"v4.8", L"Install", REG_QWORD, &ullInstall, sizeof(ullInstall));
    const WORD wInstall = 1;
    hklm.SetValue(L"v4.7", L"Install", REG_BINARY, &wInstall, sizeof(wInstall));
    hklm.SetText(L"v4.6", L"Install", L"11");
    hklm.AddInstalled(L"v3.5");
    const CVersion4 version = Scan();
    // A 2-byte value fills part of the DWORD and counts; the 8-byte one and the 6-byte text do not fit.
    EXPECT_EQ(L"4.7.0.0", Text(version));

    // The ends: 4 bytes fit, 5 do not.
    const BYTE rgbInstall[] = {1, 0, 0, 0, 0};
    hklm.SetValue(L"v4.9", L"Install", REG_BINARY, rgbInstall, 5);
    EXPECT_EQ(L"4.7.0.0", Text(Scan()));
    hklm.SetValue(L"v4.9", L"Install", REG_BINARY, rgbInstall, 4);
    EXPECT_EQ(L"4.9.0.0", Text(Scan()));
}

TEST(NetfxScan, VersionValueThatDoesNotFitIsNotRead)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v3.5", L"3.5.30729" + std::wstring(200, L' '));
    EXPECT_EQ(L"3.5.0.0", Text(Scan()));
    // One character past the 130 that are read whole: the value is not read at all.
    std::wstring over(131, L'9');
    over.replace(0, 4, L"3.5.");
    hklm.SetValue(L"v3.5", L"Version", REG_BINARY, over.data(), 262);
    EXPECT_EQ(L"3.5.0.0", Text(Scan()));
}

TEST(NetfxScan, VersionValueWithoutTerminatorOrOfOtherTypesIsReadSafely)
{
    CScratchHklm hklm;
    const wchar_t rgchUnterminated[] = {L'3', L'.', L'5', L'.', L'7'};
    hklm.SetDword(L"v3.5", L"Install", 1);
    hklm.SetValue(L"v3.5", L"Version", REG_BINARY, rgchUnterminated, sizeof(rgchUnterminated));
    EXPECT_EQ(L"3.5.7.0", Text(Scan()));

    // 130 characters without a terminator: exactly the amount read.
    std::wstring full(130, L'9');
    full.replace(0, 4, L"3.5.");
    hklm.SetValue(L"v3.5", L"Version", REG_BINARY, full.data(), 260);
    EXPECT_EQ(L"3.5.2147483647.0", Text(Scan()));

    hklm.SetDword(L"v3.5", L"Version", 0x00350033);
    EXPECT_EQ(L"3.5.0.0", Text(Scan()));

    const BYTE rgbOdd[] = {'4', 0, '.'};
    hklm.SetValue(L"v3.5", L"Version", REG_BINARY, rgbOdd, sizeof(rgbOdd));
    EXPECT_EQ(L"3.5.0.0", Text(Scan()));

    hklm.SetValue(L"v3.5", L"Version", REG_SZ, nullptr, 0);
    EXPECT_EQ(L"3.5.0.0", Text(Scan()));
}

TEST(NetfxScan, NameThatDoesNotFitIsSkippedAndTheRestStillScanned)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v1.1", L"1.1.4322");
    hklm.AddInstalled(L"v3.5", L"3.5.1");
    hklm.AddInstalled(L"v4.0", L"4.0.30319");
    EXPECT_EQ(L"3.5.1.0", Text(Scan(L"", 2)));
    EXPECT_FALSE(WasOpened(L"v4.0"));
}

TEST(NetfxScan, LongestNameTheRegistryAllowsIsReadWhole)
{
    CScratchHklm hklm;
    const std::wstring name = L"v3.5.1." + std::wstring(247, L'0') + L"7";
    ASSERT_EQ(255u, name.size());
    hklm.AddInstalled(name);
    EXPECT_EQ(L"3.5.1.7", Text(Scan()));
}

TEST(NetfxScan, KeyVanishingBeforeItIsOpenedDoesNotCount)
{
    CScratchHklm hklm;
    hklm.AddInstalled(L"v4.0.30319", L"4.0.30319.1");
    hklm.AddInstalled(L"v3.5", L"3.5.30729.1");
    EXPECT_EQ(L"3.5.30729.1", Text(Scan(L"v4.0.30319")));
    EXPECT_TRUE(WasOpened(L"v4.0.30319"));
}

TEST(NetfxScan, OrderOfSubkeysDoesNotMatter)
{
    {
        CScratchHklm hklm;
        hklm.AddInstalled(L"v4", L"4.8.1");
        hklm.AddInstalled(L"v10", L"10.0.1");
        hklm.AddInstalled(L"v2.0", L"2.0.50727");
        EXPECT_EQ(L"10.0.1.0", Text(Scan()));
    }
    {
        CScratchHklm hklm;
        hklm.AddInstalled(L"v2.0", L"2.0.50727");
        hklm.AddInstalled(L"v10", L"10.0.1");
        hklm.AddInstalled(L"v4", L"4.8.1");
        EXPECT_EQ(L"10.0.1.0", Text(Scan()));
    }
}

TEST(NetfxScan, OnlyTheFirst4096SubkeysAreExamined)
{
    CScratchHklm hklm;
    // Subkeys are listed in name order: "v9" is the 4096th, the last one examined, then the 4097th.
    for (int i = 0; i < 4095; ++i)
        hklm.AddKey(L"a" + std::to_wstring(i));
    hklm.AddInstalled(L"v9", L"9.0");
    EXPECT_EQ(L"9.0.0.0", Text(Scan()));
    hklm.AddKey(L"a4095");
    EXPECT_TRUE(Scan().IsEmpty());
    EXPECT_EQ(1u, g_log.opened.size());
}

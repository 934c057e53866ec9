// Which cache folders are trusted, judged from security descriptors written as SDDL for a user of the test's own.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <string>

#include "pack/folder_trust.h"

namespace
{
const std::wstring c_user = L"S-1-5-21-1111-2222-3333-1001";
const std::wstring c_otherUser = L"S-1-5-21-1111-2222-3333-1002";
// The three full-control entries the launcher gives its own folders.
const std::wstring c_ownDacl = L"D:P(A;OICI;FA;;;" + c_user + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
// What a folder made in a user's own TEMP inherits from the profile.
const std::wstring c_profileDacl = L"D:(A;OICIID;FA;;;SY)(A;OICIID;FA;;;BA)(A;OICIID;FA;;;" + c_user + L")";

// 1 trusted, 0 not, -1 when the user's SID does not parse.
int Judge(PSECURITY_DESCRIPTOR psd)
{
    PSID psidUser = nullptr;
    ConvertStringSidToSidW(c_user.c_str(), &psidUser);
    CTrustedAccounts accounts;
    const bool fUserSet = accounts.SetUser(psidUser);
    LocalFree(psidUser);
    return fUserSet ? IsFolderSecurityTrusted(psd, accounts) : -1;
}

// Judge for a descriptor written as SDDL; -1 when it does not parse.
int JudgeSddl(const std::wstring& sddl)
{
    PSECURITY_DESCRIPTOR psd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &psd, nullptr))
        return -1;
    const int nVerdict = Judge(psd);
    LocalFree(psd);
    return nVerdict;
}
} // namespace

TEST(FolderTrust, OwnedByTheUserSystemOrAdministratorsAndChangedByNoOneElse)
{
    for (const std::wstring& owner : {c_user, std::wstring(L"SY"), std::wstring(L"BA")})
    {
        for (const std::wstring& dacl : {c_ownDacl, c_profileDacl})
            EXPECT_EQ(1, JudgeSddl(L"O:" + owner + dacl)) << owner << L" " << dacl;
    }
}

TEST(FolderTrust, OwnedByAnotherAccountIsNotTrusted)
{
    for (const std::wstring& owner : {c_otherUser, std::wstring(L"WD"), std::wstring(L"BU")})
        EXPECT_EQ(0, JudgeSddl(L"O:" + owner + c_ownDacl)) << owner;
}

TEST(FolderTrust, AnyoneElseWhoMayWriteAppendDeleteOrTakeItOverMakesItUntrusted)
{
    // Write, append, delete, delete inside, change the permissions, take the ownership; generic write and all;
    // and the entry Wine shows for a folder that everyone may write.
    const wchar_t* const c_apszRights[] = {L"0x2", L"0x4", L"SD", L"0x40", L"WD", L"WO", L"GW", L"GA", L"FA", L"0x1301ff"};
    for (const std::wstring& trustee : {std::wstring(L"WD"), std::wstring(L"BU"), std::wstring(L"AU"), c_otherUser})
    {
        for (const wchar_t* pszRights : c_apszRights)
        {
            const std::wstring sddl = L"O:" + c_user + c_ownDacl + L"(A;OICI;" + pszRights + L";;;" + trustee + L")";
            EXPECT_EQ(0, JudgeSddl(sddl)) << sddl;
        }
        // Reading, listing and traversing change nothing.
        EXPECT_EQ(1, JudgeSddl(L"O:" + c_user + c_ownDacl + L"(A;OICI;0x1200a9;;;" + trustee + L")")) << trustee;
    }
}

TEST(FolderTrust, DenyEntriesTakeNothingAway)
{
    EXPECT_EQ(1, JudgeSddl(L"O:" + c_user + L"D:P(D;OICI;FA;;;WD)(A;OICI;FA;;;" + c_user + L")(A;OICI;FA;;;SY)"));
    EXPECT_EQ(1, JudgeSddl(L"O:" + c_user + c_profileDacl + L"(D;;0x2;;;BU)"));
}

// An entry that only passes to what is made inside reaches every cache file written there later; CREATOR
// OWNER's goes to whoever creates the file, and only the trusted accounts may create any.
TEST(FolderTrust, InheritOnlyEntriesCountForWhatIsMadeInside)
{
    EXPECT_EQ(0, JudgeSddl(L"O:" + c_user + c_ownDacl + L"(A;OICIIO;FA;;;WD)"));
    EXPECT_EQ(0, JudgeSddl(L"O:" + c_user + c_ownDacl + L"(A;OIIO;0x2;;;BU)"));
    EXPECT_EQ(1, JudgeSddl(L"O:" + c_user + c_ownDacl + L"(A;OICIIO;GA;;;CO)"));
}

TEST(FolderTrust, MissingOrNullDaclLetsEveryoneInAndIsNotTrusted)
{
    EXPECT_EQ(0, JudgeSddl(L"O:" + c_user));
    // Made by hand: Wine's SDDL parser does not know NO_ACCESS_CONTROL.
    SECURITY_DESCRIPTOR sd = {};
    PSID psidUser = nullptr;
    ASSERT_TRUE(ConvertStringSidToSidW(c_user.c_str(), &psidUser));
    ASSERT_TRUE(InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorOwner(&sd, psidUser, FALSE) && SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE));
    EXPECT_EQ(0, Judge(&sd));
    LocalFree(psidUser);
    // An empty DACL lets no one in.
    EXPECT_EQ(1, JudgeSddl(L"O:" + c_user + L"D:P"));
}

// Who may change the folders of the content cache chain below TEMP. TEMP is not always the user's own: run as
// SYSTEM it is the Windows folder's Temp, where every local user may create folders, and some machines point
// it to a shared folder. A folder that someone else made, or may write into, could hold their files under the
// names of the product's assemblies. The launcher creates its folders so that only the user, SYSTEM and the
// Administrators may change them, and trusts a folder that is already there only when the same holds.
#pragma once

#include <windows.h>

#include "common/bstr.h"

// The SIDs a cache folder may belong to and grant changes to: the process's user, SYSTEM and the
// Administrators group.
class CTrustedAccounts
{
public:
    // Reads the user of the process token; false with GetLastError telling why.
    bool ReadProcessUser();
    // Takes psidUser as the user (tests judge descriptors for a user of their own); false for an invalid SID.
    bool SetUser(PSID psidUser);

    PSID User() { return m_abUser; }
    PSID System() { return m_abSystem; }
    PSID Administrators() { return m_abAdministrators; }
    bool IsTrusted(PSID psid);

private:
    bool MakeWellKnownSids();

    DWORD m_abUser[SECURITY_MAX_SID_SIZE / sizeof(DWORD)] = {};
    DWORD m_abSystem[SECURITY_MAX_SID_SIZE / sizeof(DWORD)] = {};
    DWORD m_abAdministrators[SECURITY_MAX_SID_SIZE / sizeof(DWORD)] = {};
};

// Whether a folder with this security descriptor may be trusted: its owner is one of the trusted accounts, and
// no entry of its DACL lets anyone else write into it, append to it, delete it or in it, change its
// permissions or take its ownership. Entries that only pass to what is made inside count as well (what is made
// inside inherits them), except those for CREATOR OWNER, which go to the creator. Deny entries take nothing
// away from the verdict; a missing or null DACL lets everyone do anything.
bool IsFolderSecurityTrusted(PSECURITY_DESCRIPTOR psd, CTrustedAccounts& accounts);

// The security attributes for the launcher's own cache folders: a protected DACL (nothing inherited from
// TEMP) that gives full control to the user, SYSTEM and the Administrators, inherited by everything made
// inside.
class CCacheFolderSecurity
{
public:
    // False with GetLastError telling why.
    bool Initialize(CTrustedAccounts& accounts);
    SECURITY_ATTRIBUTES* Attributes() { return &m_sa; }

private:
    DWORD m_abAcl[512 / sizeof(DWORD)] = {};
    SECURITY_DESCRIPTOR m_sd = {};
    SECURITY_ATTRIBUTES m_sa = {};
};

// Reads the owner and DACL of the folder itself (a reparse point is not followed) and judges them: S_OK when
// it may be trusted, S_FALSE when not, or the failure that kept them from being read.
HRESULT CheckFolderSecurity(const CBstr& bsFolder, CTrustedAccounts& accounts);

#include "pack/folder_trust.h"

#include <aclapi.h>

#include "common/scope_exit.h"
#include "launcher/errors.h"

namespace
{
// The rights that let a holder put files into a folder or take the folder over: write (add a file), append
// (add a folder), delete it or what is in it, change its permissions, take its ownership.
const DWORD c_dwChangeRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;

GENERIC_MAPPING c_fileGenericMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                        FILE_ALL_ACCESS};

bool IsCreatorOwner(PSID psid)
{
    DWORD abCreatorOwner[SECURITY_MAX_SID_SIZE / sizeof(DWORD)] = {};
    DWORD cbSid = sizeof(abCreatorOwner);
    return CreateWellKnownSid(WinCreatorOwnerSid, nullptr, abCreatorOwner, &cbSid) && EqualSid(psid, abCreatorOwner);
}

// Whether one DACL entry keeps the folder trusted.
bool IsAceTrusted(const ACE_HEADER* pHeader, CTrustedAccounts& accounts)
{
    PSID psid = nullptr;
    DWORD dwMask = 0;
    switch (pHeader->AceType)
    {
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE:
        return true;
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    {
        // The callback entry has the plain entry's layout, its condition after the SID.
        const ACCESS_ALLOWED_ACE* pAce = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(pHeader);
        psid = const_cast<DWORD*>(&pAce->SidStart);
        dwMask = pAce->Mask;
        break;
    }
    default:
        // Any other kind of grant is not expected on a folder and is not trusted.
        return false;
    }
    if ((pHeader->AceFlags & INHERIT_ONLY_ACE) && IsCreatorOwner(psid))
        return true;
    MapGenericMask(&dwMask, &c_fileGenericMapping);
    return !(dwMask & c_dwChangeRights) || accounts.IsTrusted(psid);
}
} // namespace

bool CTrustedAccounts::MakeWellKnownSids()
{
    DWORD cbSystem = sizeof(m_abSystem);
    DWORD cbAdministrators = sizeof(m_abAdministrators);
    return CreateWellKnownSid(WinLocalSystemSid, nullptr, m_abSystem, &cbSystem) &&
           CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_abAdministrators, &cbAdministrators);
}

bool CTrustedAccounts::ReadProcessUser()
{
    HANDLE hToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    auto sca = MakeScopeExit([hToken] { CloseHandle(hToken); });
    DWORD abTokenUser[(sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE) / sizeof(DWORD) + 1] = {};
    DWORD cbTokenUser = 0;
    if (!GetTokenInformation(hToken, TokenUser, abTokenUser, sizeof(abTokenUser), &cbTokenUser))
        return false;
    return SetUser(reinterpret_cast<TOKEN_USER*>(abTokenUser)->User.Sid);
}

bool CTrustedAccounts::SetUser(PSID psidUser)
{
    if (!IsValidSid(psidUser) || !CopySid(sizeof(m_abUser), m_abUser, psidUser))
    {
        SetLastError(ERROR_INVALID_SID);
        return false;
    }
    return MakeWellKnownSids();
}

bool CTrustedAccounts::IsTrusted(PSID psid)
{
    return IsValidSid(psid) && (EqualSid(psid, User()) || EqualSid(psid, System()) || EqualSid(psid, Administrators()));
}

bool IsFolderSecurityTrusted(PSECURITY_DESCRIPTOR psd, CTrustedAccounts& accounts)
{
    PSID psidOwner = nullptr;
    BOOL fDefaulted = FALSE;
    if (!GetSecurityDescriptorOwner(psd, &psidOwner, &fDefaulted) || !psidOwner || !accounts.IsTrusted(psidOwner))
        return false;

    BOOL fPresent = FALSE;
    PACL pDacl = nullptr;
    if (!GetSecurityDescriptorDacl(psd, &fPresent, &pDacl, &fDefaulted) || !fPresent || !pDacl)
        return false;
    for (DWORD i = 0; i < pDacl->AceCount; ++i)
    {
        void* pvAce = nullptr;
        if (!GetAce(pDacl, i, &pvAce) || !IsAceTrusted(static_cast<const ACE_HEADER*>(pvAce), accounts))
            return false;
    }
    return true;
}

bool CCacheFolderSecurity::Initialize(CTrustedAccounts& accounts)
{
    const DWORD grfInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    PACL pAcl = reinterpret_cast<PACL>(m_abAcl);
    if (!InitializeAcl(pAcl, sizeof(m_abAcl), ACL_REVISION) ||
        !AddAccessAllowedAceEx(pAcl, ACL_REVISION, grfInherit, FILE_ALL_ACCESS, accounts.User()) ||
        !AddAccessAllowedAceEx(pAcl, ACL_REVISION, grfInherit, FILE_ALL_ACCESS, accounts.System()) ||
        !AddAccessAllowedAceEx(pAcl, ACL_REVISION, grfInherit, FILE_ALL_ACCESS, accounts.Administrators()))
        return false;
    if (!InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&m_sd, TRUE, pAcl, FALSE) ||
        !SetSecurityDescriptorControl(&m_sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return false;
    m_sa.nLength = sizeof(m_sa);
    m_sa.lpSecurityDescriptor = &m_sd;
    m_sa.bInheritHandle = FALSE;
    return true;
}

HRESULT CheckFolderSecurity(const CBstr& bsFolder, CTrustedAccounts& accounts)
{
    HANDLE hFolder = CreateFileW(bsFolder.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
    if (hFolder == INVALID_HANDLE_VALUE)
        return LastErrorResult();
    auto scaFolder = MakeScopeExit([hFolder] { CloseHandle(hFolder); });

    PSECURITY_DESCRIPTOR psd = nullptr;
    const DWORD dwError = GetSecurityInfo(hFolder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                          nullptr, nullptr, nullptr, nullptr, &psd);
    if (dwError != ERROR_SUCCESS)
        return HresultFromWin32(dwError);
    auto scaDescriptor = MakeScopeExit([psd] { LocalFree(psd); });
    return IsFolderSecurityTrusted(psd, accounts) ? S_OK : S_FALSE;
}

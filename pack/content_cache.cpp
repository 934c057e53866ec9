#include "pack/content_folder.h"

#include <strsafe.h>

#include "launcher/errors.h"
#include "launcher/product_names.h"
#include "launcher/report.h"
#include "lumenix_version.h"
#include "pack/folder_trust.h"
#include "pack/pack_extraction.h"

namespace
{
// The launcher's own release number: every release unpacks into a folder of its own.
const wchar_t c_szVersionFolder[] = L"v" LUMENIX_VERSION_WTEXT;
const wchar_t c_szCacheFolderName[] = L"ProductContentCache";

using PFN_GetTempPath = DWORD(WINAPI*)(DWORD cchBuffer, LPWSTR pszBuffer);

// GetTempPath2W where kernel32 has it (Windows 11, Server 2022, Windows 10 with the updates of 2025): run as
// SYSTEM it answers the system's own temp folder, which only SYSTEM can reach, and for every other caller what
// GetTempPathW answers. Looked up at each call, so that the exe still loads where it is missing.
PFN_GetTempPath FindTempPathQuery()
{
    HMODULE hmodKernel = GetModuleHandleW(L"kernel32.dll");
    FARPROC pfn = hmodKernel ? GetProcAddress(hmodKernel, "GetTempPath2W") : nullptr;
    return pfn ? reinterpret_cast<PFN_GetTempPath>(reinterpret_cast<void*>(pfn)) : &GetTempPathW;
}

HRESULT ReportFolderNotCreated(int nResult, const CBstr& bsFolder)
{
    ReportHresult(nResult, CComPtrT<IErrorInfo>(),
                  L"Could not create the product content cache folder at \u201C" + bsFolder + L"\u201D.");
    return S_FALSE;
}

// The sentence's end for a cache level that is not trusted: what the user can do about it.
const wchar_t c_szRemoveUntrusted[] =
    L"\u201D, so the product content in it is not used. Delete that folder (this may need an administrator) and "
    L"start again.";

// Creates one level of the chain with the launcher's own DACL, or, when it is there already, makes sure that
// nobody but the trusted accounts may change it. S_OK when the level may be used; S_FALSE when it could not be
// created (told); a failure when it is there but not trusted or could not be checked (told).
HRESULT MakeTrustedLevel(const CBstr& bsLevel, const CBstr& bsFolder, CCacheFolderSecurity& security,
                         CTrustedAccounts& accounts)
{
    if (CreateDirectoryW(bsLevel.c_str(), security.Attributes()))
        return S_OK;
    const DWORD dwError = GetLastError();
    if (dwError != ERROR_ALREADY_EXISTS)
        return ReportFolderNotCreated(static_cast<int>(dwError), bsFolder);

    const HRESULT hr = CheckFolderSecurity(bsLevel, accounts);
    if (hr == S_OK)
        return S_OK;
    if (hr == S_FALSE)
    {
        ReportHresult(E_ACCESSDENIED, CComPtrT<IErrorInfo>(),
                      L"Another user of this computer owns or may change the folder \u201C" + bsLevel + c_szRemoveUntrusted);
        return E_ACCESSDENIED;
    }
    ReportHresult(hr, CComPtrT<IErrorInfo>(), L"Could not check who may change the folder \u201C" + bsLevel + c_szRemoveUntrusted);
    return hr;
}
} // namespace

HRESULT MakeContentCacheFolder(CBstr& bsFolder)
{
    bsFolder = CBstr();
    const DWORD cchPath = 260;
    wchar_t szPath[cchPath + 1];
    szPath[0] = L'\0';
    const DWORD cchTemp = FindTempPathQuery()(cchPath, szPath);
    if (cchTemp == 0)
    {
        ReportWin32Error(GetLastError(), L"Could not get the TEMP folder path.");
        return S_FALSE;
    }
    if (cchTemp > cchPath)
    {
        // The query only said how much room the path would need; the buffer holds nothing.
        ReportWin32Error(ERROR_FILENAME_EXCED_RANGE, L"Could not get the TEMP folder path.");
        return S_FALSE;
    }
    if (szPath[0] == L'\0')
        return S_FALSE;
    szPath[cchPath] = L'\0';

    size_t len = 0;
    StringCchLengthW(szPath, cchPath + 1, &len);
    CBstr bsTemp(szPath);
    if (szPath[len - 1] == L'\\')
        bsTemp = CBstr(szPath, static_cast<unsigned int>(len - 1));
    const wchar_t* const c_apszLevels[] = {c_szCompanyName, c_szProductName, c_szVersionFolder, c_szCacheFolderName};
    CBstr bsCacheFolder = bsTemp;
    for (const wchar_t* pszLevel : c_apszLevels)
        bsCacheFolder += CBstr(L"\\") + pszLevel;

    // TEMP itself is the system's or the user's; only a missing one is made, with what it inherits.
    const DWORD dwTempAttributes = GetFileAttributesW(bsTemp.c_str());
    if (dwTempAttributes == INVALID_FILE_ATTRIBUTES || !(dwTempAttributes & FILE_ATTRIBUTE_DIRECTORY))
    {
        const int nResult = CreateFolderPath(bsTemp);
        if (!IsFolderReady(nResult))
            return ReportFolderNotCreated(nResult, bsCacheFolder);
    }

    CTrustedAccounts accounts;
    CCacheFolderSecurity security;
    if (!accounts.ReadProcessUser() || !security.Initialize(accounts))
    {
        const HRESULT hr = LastErrorResult();
        ReportHresult(hr, CComPtrT<IErrorInfo>(),
                      L"Could not prepare the permissions of the product content cache folder at \u201C" +
                          bsCacheFolder + L"\u201D.");
        return hr;
    }

    CBstr bsLevel = bsTemp;
    for (const wchar_t* pszLevel : c_apszLevels)
    {
        bsLevel += CBstr(L"\\") + pszLevel;
        const HRESULT hr = MakeTrustedLevel(bsLevel, bsCacheFolder, security, accounts);
        if (hr != S_OK)
            return hr;
    }
    bsFolder = bsCacheFolder;
    return S_OK;
}

CBstr GetContentCacheFolder()
{
    CBstr bsFolder;
    MakeContentCacheFolder(bsFolder);
    return bsFolder;
}

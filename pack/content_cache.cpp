#include "pack/content_folder.h"

#include <strsafe.h>

#include "launcher/product_names.h"
#include "launcher/report.h"
#include "lumenix_version.h"
#include "pack/pack_extraction.h"

namespace
{
// The launcher's own release number: every release unpacks into a folder of its own.
const wchar_t c_szVersionFolder[] = L"v" LUMENIX_VERSION_WTEXT;
const wchar_t c_szCacheFolderName[] = L"ProductContentCache";
} // namespace

CBstr GetContentCacheFolder()
{
    const DWORD cchPath = 260;
    wchar_t szPath[cchPath + 1];
    szPath[0] = L'\0';
    const DWORD cchTemp = GetTempPathW(cchPath, szPath);
    if (cchTemp == 0)
    {
        ReportWin32Error(GetLastError(), L"Could not get the TEMP folder path.");
        return CBstr();
    }
    if (cchTemp > cchPath)
    {
        // The query only said how much room the path would need; the buffer holds nothing.
        ReportWin32Error(ERROR_FILENAME_EXCED_RANGE, L"Could not get the TEMP folder path.");
        return CBstr();
    }
    if (szPath[0] == L'\0')
        return CBstr();
    szPath[cchPath] = L'\0';

    size_t len = 0;
    StringCchLengthW(szPath, cchPath + 1, &len);
    CBstr bsFolder(szPath);
    if (szPath[len - 1] != L'\\')
        bsFolder += L"\\";
    bsFolder += CBstr(c_szCompanyName) + L"\\" + c_szProductName + L"\\" + c_szVersionFolder + L"\\" +
                c_szCacheFolderName;

    const int nResult = CreateFolderPath(bsFolder);
    if (IsFolderReady(nResult))
        return bsFolder;
    ReportHresult(nResult, CComPtrT<IErrorInfo>(),
                  L"Could not create the product content cache folder at \u201C" + bsFolder + L"\u201D.");
    return CBstr();
}

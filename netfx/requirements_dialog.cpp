#include "netfx/requirements_dialog.h"

#include <shellapi.h>

#include "launcher/product_names.h"
#include "launcher/report.h"
#include "netfx/netfx_registry.h"

HRESULT CheckNetfxRequirement(const CVersion4& verClrRequired, const CVersion4& verNetfxRequired,
                              const CVersion4& verClrFound)
{
    // The CLR check has settled a framework requirement of the same major and minor version.
    if (verClrRequired.major == verNetfxRequired.major && verClrRequired.minor == verNetfxRequired.minor)
        return S_OK;
    if (verClrFound >= verNetfxRequired)
        return S_OK;

    const CVersion4 verNetfxMaxInstalled = GetMaxInstalledNetfxVersion();
    if (verNetfxMaxInstalled < verNetfxRequired)
        return ShowRuntimeRequirementsDialog(verClrFound, verNetfxMaxInstalled, true, verClrRequired, verNetfxRequired);
    return S_OK;
}

HRESULT ShowRuntimeRequirementsDialog(const CVersion4& verClrFound, const CVersion4& verNetfxFound,
                                      bool bFrameworkOutdated, const CVersion4& verClrRequired,
                                      const CVersion4& verNetfxRequired)
{
    const CBstr bsTitle = CBstr(c_szProductName) + L" \u2013 .NET Runtime Requirements";

    CBstr bsText = CBstr(L"To run ") + c_szCompanyName + L" " + c_szProductName +
                   L", you must have the .NET Framework installed on your computer." + L"\n\n";
    if (!verNetfxFound.IsEmpty())
        bsText += L"Maximum .NET Framework version found: " + FormatVersion(verNetfxFound, 4) + L"." + L"\n";
    if (!verClrFound.IsEmpty())
        bsText += L"Maximum CLR version found: " + FormatVersion(verClrFound, 4) + L"." + L"\n";
    bsText += L"Minimum .NET Framework version required: " + FormatVersion(verNetfxRequired, 4) +
              L" (Full edition)." + L"\n";
    bsText += L"Minimum CLR version required: " + FormatVersion(verClrRequired, 4) + L"." + L"\n";
    bsText += L"\n";
    bsText += L"Would you like to open the Mirosoft website with a free download of the .NET Framework?";

    if (MessageBoxW(GetSplashWindow(), bsText.c_str(), bsTitle.c_str(), MB_YESNO | MB_ICONERROR) == IDYES)
    {
        ShellExecuteW(nullptr, nullptr, c_szNetfxDownloadUrl, nullptr, nullptr, SW_SHOWDEFAULT);
        return E_ABORT;
    }
    if (!bFrameworkOutdated)
        return E_ABORT;

    bsText = CBstr(c_szProductName) +
             L" has found the CLR version capable of running its code, but the .NET Framework version is outdated. "
             L"Some of the features might be missing, and the application might not run properly." +
             L"\n\n" +
             L"If you hit Retry, the application will attempt to start in the current environment. "
             L"If it fails, please proceed with installing a newer .NET Framework version.";
    if (MessageBoxW(GetSplashWindow(), bsText.c_str(), bsTitle.c_str(), MB_RETRYCANCEL | MB_ICONWARNING) == IDRETRY)
        return S_FALSE;
    return E_ABORT;
}

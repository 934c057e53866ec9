// Telling the user that the machine does not meet the runtime requirements, and offering the download page.
#pragma once

#include <windows.h>

#include "netfx/version.h"

// The framework download page offered by the requirements dialog.
inline constexpr const wchar_t c_szNetfxDownloadUrl[] =
    L"https://www.microsoft.com/download/en/details.aspx?id=17851&WT.mc_id=MSCOM_EN_US_DLC_DETAILS_121LSUS007996";

// S_OK when the selected CLR and the installed framework meet the requirement; otherwise the dialog's result.
HRESULT CheckNetfxRequirement(const CVersion4& verClrRequired, const CVersion4& verNetfxRequired,
                              const CVersion4& verClrFound);

// Explains the found and required versions and offers the download page. S_FALSE when the user chose to
// retry in the current environment (only offered when bFrameworkOutdated), E_ABORT otherwise.
HRESULT ShowRuntimeRequirementsDialog(const CVersion4& verClrFound, const CVersion4& verNetfxFound,
                                      bool bFrameworkOutdated, const CVersion4& verClrRequired,
                                      const CVersion4& verNetfxRequired);

// The two roads to a CLR and the run of the managed application in it.
#pragma once

#include <windows.h>

#include "clrhost/clr_result.h"

// The minimum CLR and .NET Framework versions the launcher demands.
void GetRequiredVersions(CVersion4& verClrRequired, CVersion4& verNetfxRequired);

// The newest installed runtime at or above verClrRequired, through the v4 hosting interfaces. S_FALSE without
// a host when the hosting library does not offer them.
CClrResult SelectClrV4(HMODULE hmodMscoree, CVersion4 verClrRequired, CVersion4 verNetfxRequired);

// The one runtime the v2 hosting exports report. S_FALSE without a host when they are missing.
CClrResult BindClrV2(HMODULE hmodMscoree, CVersion4 verClrRequired, CVersion4 verNetfxRequired);

// Starts the runtime, creates the application domain and calls the managed entry point; returns a failing
// HRESULT or the entry point's result.
HRESULT RunManagedApplication(CComPtrT<ICorRuntimeHost> oHost);

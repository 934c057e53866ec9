// The installed .NET Framework versions, read from the machine's framework setup key. Reads only; never fails.
#pragma once

#include <windows.h>

#include "netfx/version.h"

// The highest installed framework version, or the empty version when none is found.
CVersion4 GetMaxInstalledNetfxVersion();

// Whether the subkey pszName of hkeyNetfxes (or its "Full" subkey) is marked installed; on true, version may
// have been refined from the "Version" value of the key found installed.
bool IsNetfxVersionInstalled(HKEY hkeyNetfxes, const wchar_t* pszName, CVersion4& version);

// Merges the "Version" value of hkey into version when it agrees with every nonzero part of it.
void ReadNetfxVersionValue(HKEY hkey, CVersion4& version);

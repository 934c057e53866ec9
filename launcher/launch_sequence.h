// The launcher's one ordered start-up.
#pragma once

#include <windows.h>

// Gates on the system version, initialises COM, shows the splash and runs the managed application.
// The result is the process's exit code.
HRESULT RunLaunchSequence(HINSTANCE hInstance, const wchar_t* pszCommandLine, int nShowCommand);

// S_OK on Windows NT 5.1 or later; otherwise tells the user and returns E_ABORT.
HRESULT CheckOsVersion();

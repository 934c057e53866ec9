// Where the process looks for a DLL that is loaded by name.
#pragma once

#include <windows.h>

// The launcher's first call, before anything may load a DLL. Takes the current directory out of the search on
// every system and, where the system can (Windows 8 and later; Windows 7 and Server 2008 R2 with KB2533623),
// narrows the search to the system folder and the folders added with AddDllSearchFolder: a DLL planted beside
// the exe, in the current directory or on PATH is never loaded by name. S_OK when narrowed; S_FALSE when the
// system or a build with LX_CLASSIC_DLL_SEARCH keeps the classic order.
HRESULT RestrictDllSearch();

// Lets the native libraries in pszFolder, and their dependencies there, load by name: added to the narrowed
// search, or put in the classic order's SetDllDirectoryW slot (after the exe's folder) where it is not narrowed.
HRESULT AddDllSearchFolder(const wchar_t* pszFolder);

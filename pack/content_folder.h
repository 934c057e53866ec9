// The content cache folder: the per-version folder under TEMP that the product pack is unpacked into.
#pragma once

#include <windows.h>

#include "common/bstr.h"

// Makes sure that the content cache folder exists and that nobody but the user, SYSTEM and the Administrators
// may change it or a folder above it below TEMP (the folders it creates get a DACL of exactly these three).
// S_OK and the folder (no trailing separator); S_FALSE and an empty string when TEMP is empty (silently) or a
// folder could not be created (told), and the start may go on without it; a failure and an empty string when
// a folder of the chain is not trusted or could not be checked (told): nothing below TEMP may be used then.
HRESULT MakeContentCacheFolder(CBstr& bsFolder);

// MakeContentCacheFolder's folder, or an empty string after telling the user why (silently when TEMP is empty).
CBstr GetContentCacheFolder();

// Unpacks the product pack into the content cache folder: S_OK and the folder; S_FALSE and an empty string
// when it could not be prepared (the reason has been shown, except for a missing pack or an empty TEMP); a
// failure when the folder must not be used (told).
HRESULT PrepareContentFolder(CBstr& bsFolder);

// PrepareContentFolder's folder, or an empty string.
CBstr PrepareContentFolder();

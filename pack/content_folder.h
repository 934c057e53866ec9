// The content cache folder: the per-version folder under TEMP that the product pack is unpacked into.
#pragma once

#include "common/bstr.h"

// The existing content cache folder (no trailing separator), or an empty string after telling the user why
// (silently when TEMP is empty).
CBstr GetContentCacheFolder();

// Unpacks the product pack into the content cache folder and returns the folder, or an empty string when it
// could not be prepared (the reason has been shown, except for a missing pack or an empty TEMP).
CBstr PrepareContentFolder();

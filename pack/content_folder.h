// The content cache folder that the product pack is unpacked into.
#pragma once

#include "common/bstr.h"

// Unpacks the product pack into the content cache folder and returns the folder, or an empty string when it
// could not be prepared (the reason has been shown to the user).
CBstr PrepareContentFolder();

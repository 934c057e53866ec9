// Stands in for the pack extraction: the folder that PrepareContentFolder answers with.
#pragma once

#include "common/bstr.h"

extern CBstr g_bsFakeContentFolder;

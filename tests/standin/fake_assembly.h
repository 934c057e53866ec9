// Files that the stand-in mscoree.dll's Load_2 takes for assemblies, for tests that need one on disk.
#pragma once

#include "tests/standin/assembly_probe.h"

// Writes a minimal PE32 DLL image to path (replacing any file there). With fManaged, the default, its CLI
// header directory points at a small CLI header, so Load_2 takes it for an assembly; without, the
// directory is empty and the file is an ordinary native DLL image that Load_2 refuses.
bool WriteFakeAssembly(const wchar_t* path, bool fManaged = true);

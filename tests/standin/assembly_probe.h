// Whether a file looks like a managed assembly to the loader: a PE image whose CLI header directory is set.
#pragma once

namespace standin
{
// True for a PE32 or PE32+ image whose COM descriptor directory (IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR) has a
// non-zero address and size. Missing, short or garbage files are simply not assemblies.
bool IsManagedAssemblyFile(const wchar_t* pszPath);
} // namespace standin

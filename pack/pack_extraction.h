// Unpacking the product pack: an InfoTech storage (ITSF) container in the resources, read through the
// platform's InfoTech storage component, turned into folders and files.
#pragma once

#include <objidl.h>

#include "common/bstr.h"
#include "common/com_ptr.h"

// Writes "ProductContent.chm" into bsFolder unless a file of the pack's size is there, and opens it as a
// storage; empty after telling the user why (silently when the executable carries no pack). Like every cache
// file, a pack file that another process holds is waited for a few seconds.
CComPtrT<IStorage> OpenProductPack(const CBstr& bsFolder);

// Opens a pack file through the InfoTech storage component, shared with other readers (a pack that another
// process holds is waited for a few seconds); empty after telling the user why.
CComPtrT<IStorage> OpenPackFile(const CBstr& bsContentFile);

// Copies every storage and stream of pStorage into bsFolder, depth first. False after telling the user.
bool ExtractStorage(IStorage* pStorage, const CBstr& bsFolder);

// Creates bsFolder\bsName and extracts the sub-storage bsName of pStorage into it.
bool ExtractSubStorage(const CBstr& bsName, const CBstr& bsFolder, IStorage* pStorage);

// Copies the stream bsName of pStorage to bsFolder\bsName, unless a file of exactly cbSize bytes is there.
bool ExtractStream(const CBstr& bsName, ULARGE_INTEGER cbSize, const CBstr& bsFolder, IStorage* pStorage);

// Creates a folder and its missing parents; 0, ERROR_FILE_EXISTS or ERROR_ALREADY_EXISTS when it is there.
int CreateFolderPath(const CBstr& bsFolder);

// Whether the platform's result of CreateFolderPath means the folder is there.
inline bool IsFolderReady(int nResult)
{
    return nResult == ERROR_SUCCESS || nResult == ERROR_FILE_EXISTS || nResult == ERROR_ALREADY_EXISTS;
}

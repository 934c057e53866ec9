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

// The bytes of all the pack's files, as the pack build recorded them beside the pack in the executable: false
// when it carries no such record, or one that is not a number in decimal digits.
bool ReadPackContentSize(ULONGLONG& cbContent);

// Opens a pack file through the InfoTech storage component, shared with other readers (a pack that another
// process holds is waited for a few seconds); empty after telling the user why.
CComPtrT<IStorage> OpenPackFile(const CBstr& bsContentFile);

// How far one unpacking has come. Unpacking a large product takes seconds, and the thread that does it owns the
// splash: at least every c_dwPumpIntervalMs it handles the messages waiting for the thread, and once the
// unpacking has run for c_dwProgressDelayMs and written something, the splash shows a bar of the bytes written
// against the bytes to write, if the pack's content size is known. The bar goes when the unpacking ends (with
// this record).
class CUnpackProgress
{
public:
    static const DWORD c_dwPumpIntervalMs = 250;
    static const DWORD c_dwProgressDelayMs = 1000;

    CUnpackProgress();
    ~CUnpackProgress();
    CUnpackProgress(const CUnpackProgress&) = delete;
    CUnpackProgress& operator=(const CUnpackProgress&) = delete;

    // The bytes of all the pack's files (ReadPackContentSize); without it there is no bar.
    void SetContentSize(ULONGLONG cbContent);
    // A stream whose file was there already; it needs no writing.
    void NoteStreamSkipped(ULARGE_INTEGER cbSize);
    // Bytes of a stream written to its file; pumps when it is due.
    void NoteBytesWritten(ULONG cb);
    // Handles the thread's waiting messages and updates the bar, when c_dwPumpIntervalMs have passed since the
    // last time; never waits.
    void PumpWhenDue();

private:
    void ShowProgress();

    DWORD m_dwStart;
    DWORD m_dwLastPump;
    ULONGLONG m_cbWritten = 0;
    ULONGLONG m_cbSkipped = 0;
    ULONGLONG m_cbContent = 0; // every file of the pack, when m_fSizeKnown
    bool m_fSizeKnown = false;
};

// Copies every storage and stream of pStorage into bsFolder, depth first. False after telling the user.
// The whole unpacking: one progress record for the walk.
bool ExtractStorage(IStorage* pStorage, const CBstr& bsFolder);
// One storage of the walk, counted in progress.
bool ExtractStorage(IStorage* pStorage, const CBstr& bsFolder, CUnpackProgress& progress);

// Creates bsFolder\bsName and extracts the sub-storage bsName of pStorage into it.
bool ExtractSubStorage(const CBstr& bsName, const CBstr& bsFolder, IStorage* pStorage, CUnpackProgress& progress);

// Copies the stream bsName of pStorage to bsFolder\bsName, unless a file of exactly cbSize bytes is there.
bool ExtractStream(const CBstr& bsName, ULARGE_INTEGER cbSize, const CBstr& bsFolder, IStorage* pStorage,
                   CUnpackProgress& progress);

// Creates a folder and its missing parents; 0, ERROR_FILE_EXISTS or ERROR_ALREADY_EXISTS when it is there.
int CreateFolderPath(const CBstr& bsFolder);

// Creates one folder of the pack's tree, whose parent is there (the walk goes depth first below the cache
// folder); it inherits the cache folder's permissions. 0, or the system's error (ERROR_ALREADY_EXISTS when it
// is there). The shell's CreateFolderPath would also make parents and tell every Explorer window of each new
// folder, which made a first start of a product with many folders about twice as slow.
int CreateSubfolder(const CBstr& bsFolder);

// Whether the platform's result of CreateFolderPath or CreateSubfolder means the folder is there.
inline bool IsFolderReady(int nResult)
{
    return nResult == ERROR_SUCCESS || nResult == ERROR_FILE_EXISTS || nResult == ERROR_ALREADY_EXISTS;
}

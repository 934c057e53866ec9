#include "pack/pack_extraction.h"

#include <shlobj.h>

#include "common/scope_exit.h"
#include "launcher/report.h"
#include "splash/splash_progress.h"
#include "splash/splash_window.h"

namespace
{
const WORD c_idProductPack = 666;
const WORD c_idProductPackSize = 667;
const wchar_t c_szPackFileName[] = L"ProductContent.chm";
const DWORD c_grfOpenRead = STGM_READ | STGM_SHARE_EXCLUSIVE;
// The pack file itself is shared with other readers, as HTML Help opens its files: a second start of the
// same release reads it while the first is still unpacking. Only writers are kept out.
const DWORD c_grfOpenPack = STGM_READ | STGM_SHARE_DENY_WRITE;

// The InfoTech storage component: opens ITSF containers as structured storages.
// {5D02926A-212E-11D0-9DF9-00A0C922E6EC}
const CLSID CLSID_ITStorage = {0x5D02926A, 0x212E, 0x11D0, {0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC}};
} // namespace

MIDL_INTERFACE("88CC31DE-27AB-11D0-9DF9-00A0C922E6EC")
ITStorage : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved,
                                                       IStorage** ppstgOpen) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes* plkbyt, DWORD grfMode, DWORD reserved,
                                                                   IStorage** ppstgOpen) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR* pwcsName) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes* plkbyt) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                                     SNB snbExclude, DWORD reserved, IStorage** ppstgOpen) = 0;
    // StgOpenStorageOnILockBytes, StgSetTimes, SetControlData, DefaultControlData and Compact follow; the
    // launcher does not call them.
};
#if defined(__CRT_UUID_DECL)
__CRT_UUID_DECL(ITStorage, 0x88CC31DE, 0x27AB, 0x11D0, 0x9D, 0xF9, 0x00, 0xA0, 0xC9, 0x22, 0xE6, 0xEC)
#endif

namespace
{
// The storage's own error information, if it offers any. Every failure of the query counts as none: the
// report about the storage matters more than the reason the query failed.
CComPtrT<IErrorInfo> ErrorInfoOf(IUnknown* punk) noexcept
{
    CComPtrT<IErrorInfo> oErrorInfo;
    if (punk && FAILED(punk->QueryInterface(IID_IErrorInfo, oErrorInfo.GetVoidAddressOf())))
        oErrorInfo.Release();
    return oErrorInfo;
}

// A name that stays inside the folder it is created in: not empty, "." or "..", and free of separators,
// drive colons and control characters.
bool IsSafeElementName(const CBstr& bsName)
{
    const wchar_t* pszName = bsName.c_str();
    const unsigned int cch = bsName.Length();
    if (cch == 0 || (cch == 1 && pszName[0] == L'.') || (cch == 2 && pszName[0] == L'.' && pszName[1] == L'.'))
        return false;
    for (unsigned int i = 0; i < cch; ++i)
    {
        const wchar_t ch = pszName[i];
        if (ch < 0x20 || ch == L'\\' || ch == L'/' || ch == L':')
            return false;
    }
    return true;
}

bool CheckElementName(const CBstr& bsName)
{
    if (IsSafeElementName(bsName))
        return true;
    ReportHresult(HRESULT_FROM_WIN32(ERROR_INVALID_NAME), CComPtrT<IErrorInfo>(),
                  L"The product pack holds an element with an unsafe name \u201C" + bsName + L"\u201D.");
    return false;
}

// Whether the file is there with exactly that many bytes.
bool HasFileOfSize(const CBstr& bsPath, DWORD dwSizeHigh, DWORD dwSizeLow)
{
    WIN32_FILE_ATTRIBUTE_DATA attrs = {};
    return GetFileAttributesExW(bsPath.c_str(), GetFileExInfoStandard, &attrs) && attrs.nFileSizeHigh == dwSizeHigh &&
           attrs.nFileSizeLow == dwSizeLow;
}

// How long a cache file that another process holds is waited for, in all, and how often it is looked at
// meanwhile. The holder is another start unpacking the same release, or a virus scanner reading what was
// just written; either lets go within moments.
const DWORD c_dwHeldFileWaitMs = 3000;
const DWORD c_dwHeldFileRetryMs = 50;

bool IsHeldByAnother(DWORD dwError)
{
    return dwError == ERROR_SHARING_VIOLATION || dwError == ERROR_LOCK_VIOLATION;
}

// The storage component's words for the same: its own codes, or the file system's passed on.
bool IsStorageHeldByAnother(HRESULT hr)
{
    return hr == STG_E_SHAREVIOLATION || hr == STG_E_LOCKVIOLATION ||
           hr == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || hr == HRESULT_FROM_WIN32(ERROR_LOCK_VIOLATION);
}

// Creates a cache file for writing (CREATE_ALWAYS, read sharing only): S_OK and hFile. A file that another
// process holds is tried again until c_dwHeldFileWaitMs have passed; before each new try its size is looked
// at again, and when it has reached dwSizeHigh:dwSizeLow in the meantime (the other start wrote it) there is
// nothing left to write: S_FALSE, no handle. Otherwise the failure, with GetLastError telling its code.
HRESULT CreateCacheFile(const CBstr& bsPath, DWORD dwSizeHigh, DWORD dwSizeLow, HANDLE& hFile)
{
    const DWORD dwStart = GetTickCount();
    for (;;)
    {
        hFile = CreateFileW(bsPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE)
            return S_OK;
        const DWORD dwError = GetLastError();
        if (!IsHeldByAnother(dwError) || GetTickCount() - dwStart + c_dwHeldFileRetryMs > c_dwHeldFileWaitMs)
            return dwError != ERROR_SUCCESS ? HRESULT_FROM_WIN32(dwError) : E_FAIL;
        Sleep(c_dwHeldFileRetryMs);
        if (HasFileOfSize(bsPath, dwSizeHigh, dwSizeLow))
            return S_FALSE;
    }
}

// The longest paths that Windows opens a file by, and creates a folder by (room is kept for an 8.3 name),
// for a program that does not declare itself aware of long paths. A pack built for a shorter TEMP than this
// user's can hold longer ones; they are told here, the same way on every system, before anything is tried.
const unsigned int c_cchMaxFilePath = MAX_PATH - 1;
const unsigned int c_cchMaxFolderPath = MAX_PATH - 12 - 1;

// The code behind a write that failed or came up short; a short write without one means the disk is full.
DWORD WriteFailureCode()
{
    const DWORD dwError = GetLastError();
    return dwError != ERROR_SUCCESS ? dwError : ERROR_HANDLE_DISK_FULL;
}
} // namespace

CUnpackProgress::CUnpackProgress() : m_dwStart(GetTickCount()), m_dwLastPump(m_dwStart)
{
}

CUnpackProgress::~CUnpackProgress()
{
    // The image goes back as it was decoded, and the bar's copy of it goes.
    EndSplashProgress();
}

void CUnpackProgress::SetContentSize(ULONGLONG cbContent)
{
    m_cbContent = cbContent;
    m_fSizeKnown = true;
}

void CUnpackProgress::NoteStreamSkipped(ULARGE_INTEGER cbSize)
{
    m_cbSkipped += cbSize.QuadPart;
}

void CUnpackProgress::NoteBytesWritten(ULONG cb)
{
    m_cbWritten += cb;
    PumpWhenDue();
}

void CUnpackProgress::PumpWhenDue()
{
    const DWORD dwNow = GetTickCount();
    if (dwNow - m_dwLastPump < c_dwPumpIntervalMs)
        return;
    m_dwLastPump = dwNow;
    // A start that writes nothing (a warm one) never shows the bar, however long its walk takes.
    if (m_cbWritten > 0 && dwNow - m_dwStart >= c_dwProgressDelayMs)
        ShowProgress();
    PumpSplashMessages();
}

void CUnpackProgress::ShowProgress()
{
    if (!m_fSizeKnown || !CanShowSplashProgress())
        return;
    // What was found in place needs no writing.
    const ULONGLONG cbToWrite = m_cbContent > m_cbSkipped ? m_cbContent - m_cbSkipped : 0;
    // A bar that cannot be drawn is left out; the unpacking goes on.
    ShowSplashProgress(m_cbWritten, cbToWrite);
}

int CreateFolderPath(const CBstr& bsFolder)
{
    return SHCreateDirectory(nullptr, bsFolder.c_str());
}

int CreateSubfolder(const CBstr& bsFolder)
{
    return CreateDirectoryW(bsFolder.c_str(), nullptr) ? ERROR_SUCCESS : static_cast<int>(GetLastError());
}

CComPtrT<IStorage> OpenProductPack(const CBstr& bsFolder)
{
    HRSRC hrsrc = FindResourceW(nullptr, MAKEINTRESOURCEW(c_idProductPack), RT_RCDATA);
    if (!hrsrc)
        return CComPtrT<IStorage>();
    HGLOBAL hglobal = LoadResource(nullptr, hrsrc);
    if (!hglobal)
    {
        ReportWin32Error(GetLastError(), L"The product pack resource could not be loaded.");
        return CComPtrT<IStorage>();
    }
    const void* pvPack = LockResource(hglobal);
    if (!pvPack)
    {
        ReportWin32Error(GetLastError(), L"The product pack resource could not be locked to memory.");
        return CComPtrT<IStorage>();
    }
    const DWORD cbPack = SizeofResource(nullptr, hrsrc);
    if (cbPack == 0)
    {
        ReportWin32Error(GetLastError(), L"The product pack resource could not be measured for size.");
        return CComPtrT<IStorage>();
    }

    const CBstr bsContentFile = bsFolder + L"\\" + c_szPackFileName;
    if (!HasFileOfSize(bsContentFile, 0, cbPack))
    {
        HANDLE hFile = INVALID_HANDLE_VALUE;
        const HRESULT hr = CreateCacheFile(bsContentFile, 0, cbPack, hFile);
        if (FAILED(hr))
        {
            ReportWin32Error(GetLastError(), L"Could not open the product content cache file for writing.");
            return CComPtrT<IStorage>();
        }
        if (hr == S_OK)
        {
            auto sca = MakeScopeExit([hFile] { CloseHandle(hFile); });
            DWORD dwWritten = 0;
            if (!WriteFile(hFile, pvPack, cbPack, &dwWritten, nullptr) || dwWritten != cbPack)
            {
                // A pack cut short would be opened as a broken container; the next start rewrites it.
                ReportWin32Error(WriteFailureCode(), L"Could not write the product content cache file.");
                return CComPtrT<IStorage>();
            }
        }
    }

    return OpenPackFile(bsContentFile);
}

bool ReadPackContentSize(ULONGLONG& cbContent)
{
    cbContent = 0;
    HRSRC hrsrc = FindResourceW(nullptr, MAKEINTRESOURCEW(c_idProductPackSize), RT_RCDATA);
    HGLOBAL hglobal = hrsrc ? LoadResource(nullptr, hrsrc) : nullptr;
    const char* pchDigits = hglobal ? static_cast<const char*>(LockResource(hglobal)) : nullptr;
    const DWORD cchDigits = hrsrc ? SizeofResource(nullptr, hrsrc) : 0;
    if (!pchDigits || cchDigits == 0)
        return false;
    ULONGLONG cb = 0;
    for (DWORD i = 0; i < cchDigits; ++i)
    {
        const char ch = pchDigits[i];
        if (ch < '0' || ch > '9' || cb > (~0ULL - (ch - '0')) / 10)
            return false;
        cb = cb * 10 + (ch - '0');
    }
    cbContent = cb;
    return true;
}

CComPtrT<IStorage> OpenPackFile(const CBstr& bsContentFile)
{
    CComPtrT<ITStorage> oItStorage;
    HRESULT hr = oItStorage.CreateInstance(CLSID_ITStorage, CLSCTX_ALL);
    if (FAILED(hr) || !oItStorage)
    {
        // A creation that succeeds without an object is told like any other; using it would raise out of
        // the extraction, which no COM-error region encloses.
        ReportComError(_com_error(FAILED(hr) ? hr : E_POINTER),
                       L"Could not create an ITStorage instance to read the product pack.");
        return CComPtrT<IStorage>();
    }
    // A pack that another process holds for writing (another start rewriting it), or a component that does
    // not share it, is waited for like a held cache file.
    CComPtrT<IStorage> oStorage;
    const DWORD dwStart = GetTickCount();
    for (;;)
    {
        hr = oItStorage->StgOpenStorage(bsContentFile.c_str(), nullptr, c_grfOpenPack, nullptr, 0,
                                        oStorage.GetAddressOf());
        if (!IsStorageHeldByAnother(hr) || GetTickCount() - dwStart + c_dwHeldFileRetryMs > c_dwHeldFileWaitMs)
            break;
        Sleep(c_dwHeldFileRetryMs);
    }
    if (FAILED(hr) || !oStorage)
    {
        ReportComError(_com_error(FAILED(hr) ? hr : E_POINTER),
                       L"Could not open the structured document storage on the product pack.");
        return CComPtrT<IStorage>();
    }
    return oStorage;
}

bool ExtractStorage(IStorage* pStorage, const CBstr& bsFolder)
{
    CUnpackProgress progress;
    return ExtractStorage(pStorage, bsFolder, progress);
}

bool ExtractStorage(IStorage* pStorage, const CBstr& bsFolder, CUnpackProgress& progress)
{
    CComPtrT<IEnumSTATSTG> oEnum;
    HRESULT hr = pStorage->EnumElements(0, nullptr, 0, oEnum.GetAddressOf());
    if (FAILED(hr) || !oEnum)
    {
        ReportHresult(FAILED(hr) ? hr : E_POINTER, ErrorInfoOf(pStorage),
                      L"Could not start enumeration of the storage contents.");
        return false;
    }

    for (;;)
    {
        STATSTG stat = {};
        ULONG uFetched = 0;
        hr = oEnum->Next(1, &stat, &uFetched);
        if (FAILED(hr))
        {
            ReportHresult(hr, ErrorInfoOf(pStorage), L"Could not enumerate the storage contents.");
            return false;
        }
        if (uFetched == 0)
            return true;

        CBstr bsName;
        try
        {
            bsName = CBstr(stat.pwcsName);
        }
        catch (...)
        {
            CoTaskMemFree(stat.pwcsName);
            throw;
        }
        CoTaskMemFree(stat.pwcsName);

        if (stat.type == STGTY_STORAGE)
        {
            if (!CheckElementName(bsName) || !ExtractSubStorage(bsName, bsFolder, pStorage, progress))
                return false;
        }
        else if (stat.type == STGTY_STREAM)
        {
            if (!CheckElementName(bsName) || !ExtractStream(bsName, stat.cbSize, bsFolder, pStorage, progress))
                return false;
        }
        progress.PumpWhenDue();
    }
}

bool ExtractSubStorage(const CBstr& bsName, const CBstr& bsFolder, IStorage* pStorage, CUnpackProgress& progress)
{
    const CBstr bsSubfolder = bsFolder + L"\\" + bsName;
    const int nResult =
        bsSubfolder.Length() > c_cchMaxFolderPath ? ERROR_FILENAME_EXCED_RANGE : CreateSubfolder(bsSubfolder);
    if (!IsFolderReady(nResult))
    {
        ReportHresult(nResult, CComPtrT<IErrorInfo>(),
                      L"Could not create the product content cache subfolder at \u201C" + bsSubfolder + L"\u201D.");
        return false;
    }

    CComPtrT<IStorage> oSubStorage;
    const HRESULT hr = pStorage->OpenStorage(bsName.c_str(), nullptr, c_grfOpenRead, nullptr, 0, oSubStorage.GetAddressOf());
    if (FAILED(hr) || !oSubStorage)
    {
        ReportHresult(FAILED(hr) ? hr : E_POINTER, CComPtrT<IErrorInfo>(),
                      L"Could not open the structured storage over the product content cache subfolder \u201C" +
                          bsName + L"\u201D.");
        return false;
    }
    return ExtractStorage(oSubStorage.Get(), bsSubfolder, progress);
}

bool ExtractStream(const CBstr& bsName, ULARGE_INTEGER cbSize, const CBstr& bsFolder, IStorage* pStorage,
                   CUnpackProgress& progress)
{
    const CBstr bsFileOnDisk = bsFolder + L"\\" + bsName;
    if (bsFileOnDisk.Length() > c_cchMaxFilePath)
    {
        ReportWin32Error(ERROR_FILENAME_EXCED_RANGE,
                         L"Could not open the product content file \u201C" + bsFileOnDisk + L"\u201D for writing.");
        return false;
    }
    if (HasFileOfSize(bsFileOnDisk, cbSize.HighPart, cbSize.LowPart))
    {
        progress.NoteStreamSkipped(cbSize);
        return true;
    }

    CComPtrT<IStream> oStream;
    HRESULT hr = pStorage->OpenStream(bsName.c_str(), nullptr, c_grfOpenRead, 0, oStream.GetAddressOf());
    if (FAILED(hr) || !oStream)
    {
        ReportHresult(FAILED(hr) ? hr : E_POINTER, ErrorInfoOf(pStorage),
                      L"Could not open product content stream \u201C" + bsName + L"\u201D for reading.");
        return false;
    }

    HANDLE hFile = INVALID_HANDLE_VALUE;
    hr = CreateCacheFile(bsFileOnDisk, cbSize.HighPart, cbSize.LowPart, hFile);
    if (FAILED(hr))
    {
        ReportWin32Error(GetLastError(), L"Could not open the product content file \u201C" + bsFileOnDisk + L"\u201D for writing.");
        return false;
    }
    if (hr == S_FALSE)
    {
        // Another start wrote it meanwhile.
        progress.NoteStreamSkipped(cbSize);
        return true;
    }
    auto sca = MakeScopeExit([hFile] { CloseHandle(hFile); });

    const ULONG cbBuffer = 65536;
    // One block for every copy: kept off the stack, since sub-storages nest to any depth.
    static BYTE buffer[cbBuffer];
    for (;;)
    {
        ULONG ulRead = 0;
        hr = oStream->Read(buffer, cbBuffer, &ulRead);
        if (FAILED(hr) || ulRead == 0)
            break;
        DWORD dwWritten = 0;
        if (!WriteFile(hFile, buffer, ulRead, &dwWritten, nullptr) || dwWritten != ulRead)
        {
            ReportWin32Error(WriteFailureCode(),
                             L"Could not write the product content file \u201C" + bsFileOnDisk + L"\u201D.");
            return false;
        }
        progress.NoteBytesWritten(ulRead);
    }
    if (FAILED(hr))
    {
        ReportHresult(hr, ErrorInfoOf(pStorage), L"Error reading content stream \u201C" + bsName + L"\u201D.");
        return false;
    }
    return true;
}

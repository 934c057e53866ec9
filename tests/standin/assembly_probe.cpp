#include "tests/standin/assembly_probe.h"

#include <windows.h>

#include <cstddef>
#include <cstring>

namespace standin
{
namespace
{
// Reads exactly cb bytes at offset; false at the end of the file or on any failure.
bool ReadAt(HANDLE hFile, ULONGLONG offset, void* pv, DWORD cb)
{
    OVERLAPPED ov = {};
    ov.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD cbRead = 0;
    return ReadFile(hFile, pv, cb, &cbRead, &ov) && cbRead == cb;
}

bool HasCliHeader(HANDLE hFile)
{
    IMAGE_DOS_HEADER dos;
    if (!ReadAt(hFile, 0, &dos, sizeof(dos)) || dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew <= 0)
        return false;

    const ULONGLONG ntOffset = static_cast<ULONGLONG>(dos.e_lfanew);
    DWORD signature = 0;
    IMAGE_FILE_HEADER fileHeader;
    if (!ReadAt(hFile, ntOffset, &signature, sizeof(signature)) || signature != IMAGE_NT_SIGNATURE ||
        !ReadAt(hFile, ntOffset + sizeof(signature), &fileHeader, sizeof(fileHeader)))
        return false;

    // The optional header as far as the file header says it goes, never beyond the larger PE32+ layout.
    const ULONGLONG optionalOffset = ntOffset + sizeof(signature) + sizeof(fileHeader);
    union
    {
        IMAGE_OPTIONAL_HEADER32 pe32;
        IMAGE_OPTIONAL_HEADER64 pe64;
        BYTE bytes[sizeof(IMAGE_OPTIONAL_HEADER64)];
    } optional;
    std::memset(&optional, 0, sizeof(optional));
    DWORD cbOptional = fileHeader.SizeOfOptionalHeader;
    if (cbOptional > sizeof(optional))
        cbOptional = sizeof(optional);
    if (cbOptional < sizeof(WORD) || !ReadAt(hFile, optionalOffset, optional.bytes, cbOptional))
        return false;

    const IMAGE_DATA_DIRECTORY* pDirectory = nullptr;
    DWORD cDirectories = 0;
    size_t directoryEnd = 0;
    if (optional.pe32.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC)
    {
        pDirectory = &optional.pe32.DataDirectory[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
        cDirectories = optional.pe32.NumberOfRvaAndSizes;
        directoryEnd = offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory) +
                       (IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    }
    else if (optional.pe64.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
    {
        pDirectory = &optional.pe64.DataDirectory[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR];
        cDirectories = optional.pe64.NumberOfRvaAndSizes;
        directoryEnd = offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory) +
                       (IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR + 1) * sizeof(IMAGE_DATA_DIRECTORY);
    }
    else
    {
        return false;
    }
    if (cDirectories <= IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR || cbOptional < directoryEnd)
        return false;
    return pDirectory->VirtualAddress != 0 && pDirectory->Size != 0;
}
} // namespace

bool IsManagedAssemblyFile(const wchar_t* pszPath)
{
    if (!pszPath || !*pszPath)
        return false;
    HANDLE hFile = CreateFileW(pszPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const bool fManaged = HasCliHeader(hFile);
    CloseHandle(hFile);
    return fManaged;
}
} // namespace standin

#include "tests/standin/fake_assembly.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace
{
// Layout of the image: headers in the first 0x200 bytes, one section (.text) holding the CLI header and a
// metadata root with no streams, mapped at 0x2000.
const DWORD c_fileAlignment = 0x200;
const DWORD c_sectionAlignment = 0x2000;
const DWORD c_ntHeadersOffset = 0x80;
const DWORD c_textRva = 0x2000;
const DWORD c_textFileOffset = 0x200;
const DWORD c_cliHeaderRva = c_textRva;
const DWORD c_metadataRva = c_cliHeaderRva + sizeof(IMAGE_COR20_HEADER);

template <class T>
void Put(std::vector<BYTE>& image, size_t offset, const T& value)
{
    std::memcpy(image.data() + offset, &value, sizeof(value));
}

std::vector<BYTE> BuildImage(bool fManaged)
{
    std::vector<BYTE> image(c_textFileOffset + c_fileAlignment, 0);

    IMAGE_DOS_HEADER dos = {};
    dos.e_magic = IMAGE_DOS_SIGNATURE;
    dos.e_cblp = 0x90;
    dos.e_cp = 3;
    dos.e_cparhdr = 4;
    dos.e_maxalloc = 0xFFFF;
    dos.e_sp = 0xB8;
    dos.e_lfarlc = 0x40;
    dos.e_lfanew = static_cast<LONG>(c_ntHeadersOffset);
    Put(image, 0, dos);

    IMAGE_NT_HEADERS32 nt = {};
    nt.Signature = IMAGE_NT_SIGNATURE;
    nt.FileHeader.Machine = IMAGE_FILE_MACHINE_I386;
    nt.FileHeader.NumberOfSections = 1;
    nt.FileHeader.SizeOfOptionalHeader = sizeof(IMAGE_OPTIONAL_HEADER32);
    nt.FileHeader.Characteristics = IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_32BIT_MACHINE | IMAGE_FILE_DLL;

    IMAGE_OPTIONAL_HEADER32& opt = nt.OptionalHeader;
    opt.Magic = IMAGE_NT_OPTIONAL_HDR32_MAGIC;
    opt.MajorLinkerVersion = 8;
    opt.SizeOfCode = c_fileAlignment;
    opt.BaseOfCode = c_textRva;
    opt.ImageBase = 0x10000000;
    opt.SectionAlignment = c_sectionAlignment;
    opt.FileAlignment = c_fileAlignment;
    opt.MajorOperatingSystemVersion = 4;
    opt.MajorSubsystemVersion = 4;
    opt.SizeOfImage = c_textRva + c_sectionAlignment;
    opt.SizeOfHeaders = c_textFileOffset;
    opt.Subsystem = IMAGE_SUBSYSTEM_WINDOWS_CUI;
    opt.DllCharacteristics = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE | IMAGE_DLLCHARACTERISTICS_NX_COMPAT |
                             IMAGE_DLLCHARACTERISTICS_NO_SEH;
    opt.SizeOfStackReserve = 0x100000;
    opt.SizeOfStackCommit = 0x1000;
    opt.SizeOfHeapReserve = 0x100000;
    opt.SizeOfHeapCommit = 0x1000;
    opt.NumberOfRvaAndSizes = IMAGE_NUMBEROF_DIRECTORY_ENTRIES;
    if (fManaged)
    {
        opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR].VirtualAddress = c_cliHeaderRva;
        opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR].Size = sizeof(IMAGE_COR20_HEADER);
    }
    Put(image, c_ntHeadersOffset, nt);

    IMAGE_SECTION_HEADER text = {};
    std::memcpy(text.Name, ".text", 5);
    text.Misc.VirtualSize = c_fileAlignment;
    text.VirtualAddress = c_textRva;
    text.SizeOfRawData = c_fileAlignment;
    text.PointerToRawData = c_textFileOffset;
    text.Characteristics = IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE | IMAGE_SCN_MEM_READ;
    Put(image, c_ntHeadersOffset + sizeof(IMAGE_NT_HEADERS32), text);

    if (fManaged)
    {
        // Metadata root: signature, version 1.1, the runtime version text padded to four bytes, no streams.
        static const char c_szRuntimeVersion[12] = "v4.0.30319";
        const size_t metadataOffset = c_textFileOffset + (c_metadataRva - c_textRva);
        Put(image, metadataOffset, static_cast<DWORD>(0x424A5342));
        Put(image, metadataOffset + 4, static_cast<WORD>(1));
        Put(image, metadataOffset + 6, static_cast<WORD>(1));
        Put(image, metadataOffset + 12, static_cast<DWORD>(sizeof(c_szRuntimeVersion)));
        std::memcpy(image.data() + metadataOffset + 16, c_szRuntimeVersion, sizeof(c_szRuntimeVersion));
        const DWORD cbMetadata = 16 + sizeof(c_szRuntimeVersion) + 4;

        IMAGE_COR20_HEADER cli = {};
        cli.cb = sizeof(IMAGE_COR20_HEADER);
        cli.MajorRuntimeVersion = 2;
        cli.MinorRuntimeVersion = 5;
        cli.MetaData.VirtualAddress = c_metadataRva;
        cli.MetaData.Size = cbMetadata;
        cli.Flags = COMIMAGE_FLAGS_ILONLY;
        Put(image, c_textFileOffset + (c_cliHeaderRva - c_textRva), cli);
    }
    return image;
}
} // namespace

bool WriteFakeAssembly(const wchar_t* path, bool fManaged)
{
    if (!path || !*path)
        return false;
    const std::vector<BYTE> image = BuildImage(fManaged);
    HANDLE hFile = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const bool fWritten = WriteFile(hFile, image.data(), static_cast<DWORD>(image.size()), &cbWritten, nullptr) &&
                          cbWritten == image.size();
    const bool fClosed = CloseHandle(hFile) != FALSE;
    if (!fWritten || !fClosed)
    {
        DeleteFileW(path);
        return false;
    }
    return true;
}

// The real Lumenix.exe's import table against the imports known to exist on the oldest x64 Windows, NT 5.2
// (Windows XP x64, Windows Server 2003 x64). The loader refuses an exe with one import it cannot resolve,
// before the launcher's own system check can run. A new import fails here until someone has made sure that
// NT 5.2 x64 has it and has added it below; a function needed only on later systems is looked up at run time
// (GetProcAddress) instead.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "unit/test_files.h"

namespace
{
struct CAllowedImports
{
    const char* pszDll; // lower case
    std::set<std::string> functions;
};

const CAllowedImports c_allowedImports[] = {
    // Registry reading: advapi32 since Windows NT 3.1.
    {"advapi32.dll", {"RegCloseKey", "RegEnumKeyExW", "RegOpenKeyExW", "RegQueryValueExW"}},
    // The cache folder's owner and DACL, and the process's user: advapi32 since Windows 2000
    // (AddAccessAllowedAceEx, SetSecurityDescriptorControl) or earlier, CreateWellKnownSid since Windows XP.
    {"advapi32.dll",
     {"AddAccessAllowedAceEx", "CopySid", "CreateWellKnownSid", "EqualSid", "GetAce", "GetSecurityDescriptorDacl",
      "GetSecurityDescriptorOwner", "GetSecurityInfo", "GetTokenInformation", "InitializeAcl",
      "InitializeSecurityDescriptor", "IsValidSid", "MapGenericMask", "OpenProcessToken",
      "SetSecurityDescriptorControl", "SetSecurityDescriptorDacl"}},
    // The stack cookies' guard value (libssp): CryptoAPI, advapi32 since Windows NT 4.0.
    {"advapi32.dll", {"CryptAcquireContextA", "CryptGenRandom", "CryptReleaseContext"}},
    // The cache folder's levels: kernel32 since Windows NT 3.1.
    {"kernel32.dll", {"CreateDirectoryW", "GetCurrentProcess", "GetFileAttributesW"}},
    // A stack cookie found broken (libssp): its report and the immediate end, msvcrt on every Windows.
    {"msvcrt.dll", {"_exit", "_open", "_write"}},
    // Device contexts and DIB sections: gdi32 since Windows NT 3.5.
    {"gdi32.dll", {"CreateCompatibleDC", "CreateDCW", "CreateDIBSection", "DeleteDC", "DeleteObject", "SelectObject"}},
    // kernel32 functions present since Windows 2000 (documented minimum Windows XP / Server 2003 or earlier).
    {"kernel32.dll",
     {"CloseHandle", "CreateFileW", "CreateSemaphoreW", "DeleteCriticalSection", "EnterCriticalSection",
      "FindResourceW", "FormatMessageW", "GetCurrentThreadId", "GetFileAttributesExW", "GetLastError",
      "GetModuleHandleW", "GetProcAddress", "GetStartupInfoW", "GetSystemDirectoryW", "GetTempPathW", "GetTickCount",
      "GetVersionExW", "InitializeCriticalSection", "IsDBCSLeadByteEx", "LeaveCriticalSection", "LoadLibraryExW",
      "LoadLibraryW", "LoadResource", "LocalAlloc", "LocalFree", "LockResource", "MultiByteToWideChar",
      "RaiseException", "ReleaseSemaphore", "SetErrorMode", "SetLastError", "SetUnhandledExceptionFilter",
      "SizeofResource", "Sleep", "TlsAlloc", "TlsFree", "TlsGetValue", "TlsSetValue", "VirtualProtect",
      "VirtualQuery", "WaitForSingleObject", "WideCharToMultiByte", "WriteFile", "lstrcpyW", "lstrlenW"}},
    // x64 table-based exception handling and unwinding: exported by kernel32 on every x64 Windows.
    {"kernel32.dll",
     {"RtlCaptureContext", "RtlLookupFunctionEntry", "RtlUnwindEx", "RtlVirtualUnwind", "__C_specific_handler"}},
    // The DLL search's first step: kernel32 since Windows XP SP1 and Server 2003 SP1, which every x64 release
    // of NT 5.2 is built on.
    {"kernel32.dll", {"SetDllDirectoryW"}},
    // The system C library: msvcrt.dll as Windows XP and every x64 Windows ship it (C89 plus the old CRT's
    // start-up, locale and stream helpers).
    {"msvcrt.dll",
     {"___lc_codepage_func", "___mb_cur_max_func", "__iob_func", "__set_app_type", "__setusermatherr",
      "__wgetmainargs", "__winitenv", "_amsg_exit", "_cexit", "_close", "_commode", "_errno", "_fmode", "_initterm",
      "_onexit", "_read", "_vsnwprintf", "_wcmdln", "abort", "calloc", "exit", "fprintf", "fputc", "fputs",
      "free", "fwrite", "localeconv", "malloc", "memchr", "memcmp", "memcpy", "memmove", "memset", "realloc",
      "signal", "strcmp", "strerror", "strlen", "strncmp", "vfprintf", "wcslen", "wcstol"}},
    // What the C++ runtime of Debian 13's compiler (gcc 14) adds: its win32 thread support and its system error
    // texts. FormatMessageA and TryEnterCriticalSection exist since Windows NT 4.0, GetThreadId since Windows
    // Server 2003 (NT 5.2, the system x64 Windows XP is built from); getenv, strchr and strtoul are C89.
    {"kernel32.dll", {"FormatMessageA", "GetThreadId", "TryEnterCriticalSection"}},
    {"msvcrt.dll", {"getenv", "strchr", "strtoul"}},
    // COM: ole32 since Windows NT 4.0.
    {"ole32.dll", {"CoCreateInstance", "CoInitializeEx", "CoTaskMemFree", "GetErrorInfo"}},
    // OLE automation strings, VARIANTs and SAFEARRAYs: oleaut32 since Windows NT 4.0.
    {"oleaut32.dll",
     {"SafeArrayCreateVector", "SafeArrayDestroy", "SafeArrayPutElement", "SysAllocString", "SysAllocStringLen",
      "SysFreeString", "SysStringLen", "VariantChangeType", "VariantClear", "VariantInit"}},
    // Shell: ShellExecuteW since Windows NT 3.1, SHCreateDirectory since Windows 2000 (shell32 5.0).
    {"shell32.dll", {"SHCreateDirectory", "ShellExecuteW"}},
    // Windows, messages and message boxes: user32 since Windows 2000 (UpdateLayeredWindow the newest).
    {"user32.dll",
     {"CreateWindowExW", "DefWindowProcW", "DispatchMessageW", "GetSystemMetrics", "IsWindow", "IsWindowVisible",
      "LoadCursorW", "LoadIconW", "MessageBoxW", "PeekMessageW", "PostQuitMessage", "RegisterClassExW",
      "SetWindowPos", "TranslateMessage", "UpdateLayeredWindow"}},
};

bool IsAllowed(const std::string& dll, const std::string& function)
{
    for (const CAllowedImports& group : c_allowedImports)
    {
        if (dll == group.pszDll && group.functions.count(function))
            return true;
    }
    return false;
}

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

// A 64-bit PE file as read from disk: its headers, and its bytes at a relative virtual address.
class CPeFile
{
public:
    explicit CPeFile(std::string bytes) : m_bytes(std::move(bytes))
    {
        IMAGE_DOS_HEADER dos = {};
        m_bytes.copy(reinterpret_cast<char*>(&dos), sizeof(dos));
        if (dos.e_magic != IMAGE_DOS_SIGNATURE || dos.e_lfanew < 0 ||
            m_bytes.size() < static_cast<size_t>(dos.e_lfanew) + sizeof(IMAGE_NT_HEADERS64))
            return;
        const auto* pNt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(m_bytes.data() + dos.e_lfanew);
        if (pNt->Signature == IMAGE_NT_SIGNATURE && pNt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC)
            m_pNt = pNt;
    }

    CPeFile(const CPeFile&) = delete;
    CPeFile& operator=(const CPeFile&) = delete;

    const IMAGE_NT_HEADERS64* Headers() const { return m_pNt; }

    // Null when the address lies outside the file's sections or cb bytes from it would run past the file.
    const char* At(DWORD rva, size_t cb = 1) const
    {
        const IMAGE_SECTION_HEADER* pSection = IMAGE_FIRST_SECTION(m_pNt);
        for (WORD i = 0; i < m_pNt->FileHeader.NumberOfSections; ++i, ++pSection)
        {
            if (rva < pSection->VirtualAddress || rva - pSection->VirtualAddress >= pSection->SizeOfRawData)
                continue;
            const size_t offset = pSection->PointerToRawData + (rva - pSection->VirtualAddress);
            return offset + cb <= m_bytes.size() ? m_bytes.data() + offset : nullptr;
        }
        return nullptr;
    }

    std::string String(DWORD rva) const
    {
        const char* psz = At(rva);
        return psz ? std::string(psz, strnlen(psz, m_bytes.data() + m_bytes.size() - psz)) : std::string("?");
    }

private:
    std::string m_bytes;
    const IMAGE_NT_HEADERS64* m_pNt = nullptr;
};

// Every import as "dll!function" (the DLL in lower case; "dll!#N" for an import by ordinal).
std::set<std::string> ReadImports(const CPeFile& pe)
{
    std::set<std::string> imports;
    const IMAGE_DATA_DIRECTORY& directory =
        pe.Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (DWORD rvaDescriptor = directory.VirtualAddress;; rvaDescriptor += sizeof(IMAGE_IMPORT_DESCRIPTOR))
    {
        const auto* pDescriptor =
            reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(pe.At(rvaDescriptor, sizeof(IMAGE_IMPORT_DESCRIPTOR)));
        if (!pDescriptor || !pDescriptor->Name)
            break;
        const std::string dll = LowerCase(pe.String(pDescriptor->Name));
        DWORD rvaThunk = pDescriptor->OriginalFirstThunk ? pDescriptor->OriginalFirstThunk : pDescriptor->FirstThunk;
        for (;; rvaThunk += sizeof(IMAGE_THUNK_DATA64))
        {
            const auto* pThunk =
                reinterpret_cast<const IMAGE_THUNK_DATA64*>(pe.At(rvaThunk, sizeof(IMAGE_THUNK_DATA64)));
            if (!pThunk || !pThunk->u1.AddressOfData)
                break;
            if (IMAGE_SNAP_BY_ORDINAL64(pThunk->u1.Ordinal))
                imports.insert(dll + "!#" + std::to_string(IMAGE_ORDINAL64(pThunk->u1.Ordinal)));
            else
                imports.insert(dll + "!" + pe.String(static_cast<DWORD>(pThunk->u1.AddressOfData) + sizeof(WORD)));
        }
    }
    return imports;
}

std::wstring LauncherPath()
{
    wchar_t szPath[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(L"LUMENIX_EXE", szPath, ARRAYSIZE(szPath));
    return szPath;
}
} // namespace

TEST(ExeImports, EveryImportIsListedAsPresentOnX64Nt52)
{
    const CPeFile pe(ReadAll(LauncherPath()));
    ASSERT_NE(nullptr, pe.Headers()) << "not a 64-bit PE file";
    const std::set<std::string> imports = ReadImports(pe);
    // The OS gate's own call: proof that the table was read at all.
    EXPECT_EQ(1u, imports.count("kernel32.dll!GetVersionExW"));
    std::string unlisted;
    for (const std::string& import : imports)
    {
        const size_t bang = import.find('!');
        if (!IsAllowed(import.substr(0, bang), import.substr(bang + 1)))
            unlisted += "\n  " + import;
    }
    EXPECT_EQ("", unlisted) << "imports not known to exist on Windows XP x64 / Server 2003 x64";
}

// The .NET Framework's CLR sets thread contexts in its exception handling, which ends a process that runs with
// CET shadow stacks: the exe must never carry the CETCOMPAT mark that turns them on. Prints the PE's DLL
// characteristics.
TEST(ExeImports, NotMarkedForShadowStacks)
{
    const CPeFile pe(ReadAll(LauncherPath()));
    ASSERT_NE(nullptr, pe.Headers()) << "not a 64-bit PE file";
    const WORD wCharacteristics = pe.Headers()->OptionalHeader.DllCharacteristics;
    printf("DllCharacteristics 0x%04x\n", wCharacteristics);
    // What the link gives: a relocatable image with data execution prevention.
    EXPECT_EQ(IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE, wCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_EQ(IMAGE_DLLCHARACTERISTICS_NX_COMPAT, wCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);

    // The mark is bit 0 of the extended characteristics, a debug directory entry of their type.
    const DWORD c_dwDebugTypeExCharacteristics = 20;
    const DWORD c_dwCetCompat = 0x01;
    const IMAGE_DATA_DIRECTORY& directory = pe.Headers()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    for (DWORD cb = 0; cb + sizeof(IMAGE_DEBUG_DIRECTORY) <= directory.Size; cb += sizeof(IMAGE_DEBUG_DIRECTORY))
    {
        const auto* pEntry = reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(
            pe.At(directory.VirtualAddress + cb, sizeof(IMAGE_DEBUG_DIRECTORY)));
        ASSERT_NE(nullptr, pEntry);
        if (pEntry->Type != c_dwDebugTypeExCharacteristics)
            continue;
        const auto* pdwExtended = reinterpret_cast<const DWORD*>(pe.At(pEntry->AddressOfRawData, sizeof(DWORD)));
        ASSERT_NE(nullptr, pdwExtended);
        printf("extended DllCharacteristics 0x%04lx\n", static_cast<unsigned long>(*pdwExtended));
        EXPECT_EQ(0u, *pdwExtended & c_dwCetCompat) << "marked CETCOMPAT: the CLR would end the process";
    }
}

TEST(ExeImports, SubsystemVersionIsNt52)
{
    const CPeFile pe(ReadAll(LauncherPath()));
    ASSERT_NE(nullptr, pe.Headers()) << "not a 64-bit PE file";
    EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, pe.Headers()->OptionalHeader.Subsystem);
    EXPECT_EQ(5, pe.Headers()->OptionalHeader.MajorSubsystemVersion);
    EXPECT_EQ(2, pe.Headers()->OptionalHeader.MinorSubsystemVersion);
}

namespace
{
// The system's KnownDLLs, always loaded from the system folder: a DLL of the same name beside the exe is
// never loaded in their place. Any other static import would be searched for beside the exe first, before
// the launcher's first line can narrow the search.
const std::set<std::string> c_knownDlls = {"advapi32.dll", "gdi32.dll",    "kernel32.dll", "msvcrt.dll",
                                           "ole32.dll",    "oleaut32.dll", "shell32.dll",  "user32.dll"};
} // namespace

TEST(ExeImports, OnlyKnownDllsAreImported)
{
    const CPeFile pe(ReadAll(LauncherPath()));
    ASSERT_NE(nullptr, pe.Headers()) << "not a 64-bit PE file";
    std::set<std::string> dlls;
    for (const std::string& import : ReadImports(pe))
        dlls.insert(import.substr(0, import.find('!')));
    EXPECT_EQ(1u, dlls.count("kernel32.dll"));
    std::string unknown;
    for (const std::string& dll : dlls)
    {
        if (!c_knownDlls.count(dll))
            unknown += "\n  " + dll;
    }
    EXPECT_EQ("", unknown) << "static imports of DLLs that are not KnownDLLs: a copy planted beside Lumenix.exe "
                              "would load before wWinMain runs; load them at run time from the system folder";
}

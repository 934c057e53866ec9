#include "unit/import_patch.h"

#include <cstring>

namespace
{
void** FindImportSlot(const char* pszDll, const char* pszFunction)
{
    BYTE* pbBase = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* pDos = reinterpret_cast<IMAGE_DOS_HEADER*>(pbBase);
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pbBase + pDos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dirImports = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dirImports.VirtualAddress == 0)
        return nullptr;
    for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pbBase + dirImports.VirtualAddress); pDesc->Name;
         ++pDesc)
    {
        if (lstrcmpiA(reinterpret_cast<const char*>(pbBase + pDesc->Name), pszDll) != 0)
            continue;
        auto* pNames = reinterpret_cast<IMAGE_THUNK_DATA*>(pbBase + pDesc->OriginalFirstThunk);
        auto* pSlots = reinterpret_cast<IMAGE_THUNK_DATA*>(pbBase + pDesc->FirstThunk);
        for (; pNames->u1.AddressOfData; ++pNames, ++pSlots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(pNames->u1.Ordinal))
                continue;
            auto* pName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pbBase + pNames->u1.AddressOfData);
            if (strcmp(reinterpret_cast<const char*>(pName->Name), pszFunction) == 0)
                return reinterpret_cast<void**>(&pSlots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** ppfnSlot, void* pfn)
{
    DWORD dwOldProtect = 0;
    VirtualProtect(ppfnSlot, sizeof(void*), PAGE_READWRITE, &dwOldProtect);
    *ppfnSlot = pfn;
    VirtualProtect(ppfnSlot, sizeof(void*), dwOldProtect, &dwOldProtect);
}
} // namespace

CImportPatch::CImportPatch(const char* pszDll, const char* pszFunction, void* pfnReplacement)
{
    m_ppfnSlot = FindImportSlot(pszDll, pszFunction);
    if (!m_ppfnSlot)
        return;
    m_pfnOriginal = *m_ppfnSlot;
    WriteSlot(m_ppfnSlot, pfnReplacement);
}

CImportPatch::~CImportPatch()
{
    if (m_ppfnSlot)
        WriteSlot(m_ppfnSlot, m_pfnOriginal);
}

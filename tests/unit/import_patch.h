// Redirects one imported function of the test executable to a replacement while in scope, so that tests
// can count, observe or fail the platform calls of the code under test.
#pragma once

#include <windows.h>

class CImportPatch
{
public:
    // pszDll is matched case-insensitively against the import descriptors of the executable.
    CImportPatch(const char* pszDll, const char* pszFunction, void* pfnReplacement);
    ~CImportPatch();
    CImportPatch(const CImportPatch&) = delete;
    CImportPatch& operator=(const CImportPatch&) = delete;

    bool IsPatched() const { return m_ppfnSlot != nullptr; }
    // The function the import pointed to before.
    void* Original() const { return m_pfnOriginal; }

private:
    void** m_ppfnSlot = nullptr;
    void* m_pfnOriginal = nullptr;
};

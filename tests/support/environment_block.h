// A child's environment: this process's own with some variables set or removed, as CreateProcessW takes it.
// Shared by the process driver and the acceptance kit's runner.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

// The name of an environment variable; names compare without regard to case, as Windows compares them.
inline bool IsSameVariableName(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

inline std::wstring VariableNameOf(const std::wstring& entry)
{
    // Entries such as "=C:=C:\dir" start with '=': the name ends at the next one.
    const size_t iEquals = entry.find(L'=', 1);
    return iEquals == std::wstring::npos ? entry : entry.substr(0, iEquals);
}

// This process's environment with the changes made (an empty value removes the variable), sorted by name without
// regard to case as Windows keeps it, as a block for CreateProcessW with CREATE_UNICODE_ENVIRONMENT.
inline std::vector<wchar_t> BuildEnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes)
{
    std::vector<std::wstring> entries;
    if (wchar_t* pBlock = GetEnvironmentStringsW())
    {
        for (const wchar_t* pch = pBlock; *pch; pch += wcslen(pch) + 1)
            entries.emplace_back(pch);
        FreeEnvironmentStringsW(pBlock);
    }
    for (const auto& change : changes)
    {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&change](const std::wstring& entry) {
                                         return IsSameVariableName(VariableNameOf(entry), change.first);
                                     }),
                      entries.end());
        if (!change.second.empty())
            entries.push_back(change.first + L"=" + change.second);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        const std::wstring nameA = VariableNameOf(a);
        const std::wstring nameB = VariableNameOf(b);
        return CompareStringOrdinal(nameA.c_str(), static_cast<int>(nameA.size()), nameB.c_str(),
                                    static_cast<int>(nameB.size()), TRUE) == CSTR_LESS_THAN;
    });

    std::vector<wchar_t> block;
    for (const std::wstring& entry : entries)
    {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    if (entries.empty())
        block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

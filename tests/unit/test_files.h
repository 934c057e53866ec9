// Whole-file reads and writes for tests that check what landed on disk.
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// The file's bytes; pfExists tells a missing file from an empty one.
inline std::string ReadAll(const std::wstring& path, bool* pfExists = nullptr)
{
    std::string data;
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pfExists)
        *pfExists = hFile != INVALID_HANDLE_VALUE;
    if (hFile == INVALID_HANDLE_VALUE)
        return data;
    char buffer[65536];
    DWORD dwRead = 0;
    while (ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        data.append(buffer, dwRead);
    CloseHandle(hFile);
    return data;
}

// Every path below root (four levels deep), sorted: enough to see anything an escaping name creates.
inline std::vector<std::wstring> TreeOf(const std::wstring& root, int cLevels = 4)
{
    std::vector<std::wstring> paths;
    WIN32_FIND_DATAW find;
    HANDLE hFind = FindFirstFileW((root + L"\\*").c_str(), &find);
    if (hFind == INVALID_HANDLE_VALUE)
        return paths;
    do
    {
        const std::wstring name = find.cFileName;
        if (name == L"." || name == L"..")
            continue;
        paths.push_back(root + L"\\" + name);
        if ((find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && cLevels > 1)
        {
            const std::vector<std::wstring> below = TreeOf(root + L"\\" + name, cLevels - 1);
            paths.insert(paths.end(), below.begin(), below.end());
        }
    } while (FindNextFileW(hFind, &find));
    FindClose(hFind);
    std::sort(paths.begin(), paths.end());
    return paths;
}

inline void WriteAll(const std::wstring& path, const std::string& data)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD dwWritten = 0;
    WriteFile(hFile, data.data(), static_cast<DWORD>(data.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
}

// Whole-file reads and writes for tests that check what landed on disk.
#pragma once

#include <windows.h>

#include <string>

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

inline void WriteAll(const std::wstring& path, const std::string& data)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    DWORD dwWritten = 0;
    WriteFile(hFile, data.data(), static_cast<DWORD>(data.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
}

// What the process tests read back from a launcher's run: its environment's values, the content cache's files
// and their write times, and text for the failure messages.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

inline std::wstring Environment(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(pszName, szValue, ARRAYSIZE(szValue));
    return szValue;
}

inline std::string Utf8(const std::wstring& text)
{
    std::string utf8(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.pop_back();
    return utf8;
}

// 0 when the file is missing.
inline ULONGLONG WriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA attrs = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attrs))
        return 0;
    return (static_cast<ULONGLONG>(attrs.ftLastWriteTime.dwHighDateTime) << 32) | attrs.ftLastWriteTime.dwLowDateTime;
}

// The write times of the sample pack's file and its two assemblies in a content cache folder.
inline std::vector<ULONGLONG> CacheTimes(const std::wstring& cache)
{
    return {WriteTime(cache + L"\\ProductContent.chm"), WriteTime(cache + L"\\Lumenix.dll"),
            WriteTime(cache + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll")};
}

// The system's own texts, as the reporting boxes show them, for building the expected box texts.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

// The text a report shows for an HRESULT: the system's text without its closing "\r\n", or, for the codes the
// tests use that have no system text, the fallback written out.
inline std::wstring ComSystemText(HRESULT hr)
{
    static const struct
    {
        DWORD dwCode;
        const wchar_t* pszText;
    } c_fallbacks[] = {
        {0x80004002u, L"Unknown error 0x80004002"},
        {0x80004003u, L"Unknown error 0x80004003"},
        {0x80020005u, L"Unknown error 0x80020005"},
        {0x8002000Au, L"Unknown error 0x8002000A"},
        {0x80030002u, L"Unknown error 0x80030002"},
        {0x80030005u, L"Unknown error 0x80030005"},
        {0x8003001Eu, L"Unknown error 0x8003001E"},
        {0x80040154u, L"Unknown error 0x80040154"},
        {0x80131022u, L"Unknown error 0x80131022"},
        {0x80131500u, L"Unknown error 0x80131500"},
        {0x80131522u, L"Unknown error 0x80131522"},
        {0x80131604u, L"Unknown error 0x80131604"},
        {0x80131700u, L"Unknown error 0x80131700"},
    };
    wchar_t szBuffer[4096] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr),
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), szBuffer, 4096, nullptr);
    std::wstring text = szBuffer;
    if (text.empty())
    {
        for (const auto& fallback : c_fallbacks)
        {
            if (fallback.dwCode == static_cast<DWORD>(hr))
                return fallback.pszText;
        }
        ADD_FAILURE() << "no system text and no fallback written out for 0x" << std::hex << static_cast<DWORD>(hr);
        return text;
    }
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0)
        text.resize(text.size() - 2);
    return text;
}

// The system's text for a Win32 code as FormatMessageW gives it on this machine, its closing "\r\n" kept; ""
// when it has none.
inline std::wstring Win32SystemText(DWORD dwCode)
{
    wchar_t szBuffer[4096] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwCode,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), szBuffer, 4096, nullptr);
    return szBuffer;
}

// A report box's text: the step's message, the system text and, when there is one, the description.
inline std::wstring ReportText(const std::wstring& message, HRESULT hr, const std::wstring& description = L"")
{
    std::wstring text = message + L"\n" + ComSystemText(hr);
    if (!description.empty())
        text += L"\n" + description;
    return text;
}

// The system's own texts, as the reporting boxes show them, for building the expected box texts.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

// The text of an HRESULT with one trailing line break removed, or the fallback for codes without one.
inline std::wstring ComSystemText(HRESULT hr)
{
    wchar_t szBuffer[4096] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(hr),
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), szBuffer, 4096, nullptr);
    std::wstring text = szBuffer;
    if (text.empty())
    {
        wchar_t szFallback[32] = {};
        if (static_cast<DWORD>(hr) >= 0x80040200u && static_cast<DWORD>(hr) <= 0x8004FFFFu)
            swprintf(szFallback, 32, L"IDispatch error #%d", static_cast<int>(static_cast<DWORD>(hr) - 0x80040200u));
        else
            swprintf(szFallback, 32, L"Unknown error 0x%lX", static_cast<unsigned long>(hr));
        return szFallback;
    }
    if (text.size() > 1 && text.back() == L'\n')
    {
        text.pop_back();
        if (text.back() == L'\r')
            text.pop_back();
    }
    return text;
}

// A report box's text: the step's message, the system text and, when there is one, the description.
inline std::wstring ReportText(const std::wstring& message, HRESULT hr, const std::wstring& description = L"")
{
    std::wstring text = message + L"\n" + ComSystemText(hr);
    if (!description.empty())
        text += L"\n" + description;
    return text;
}

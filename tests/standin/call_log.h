// The call log of the stand-in mscoree.dll: one JSON object per line, UTF-8, appended and flushed at once.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

namespace standin
{
// One JSON object, built key by key. Keys are ASCII; texts stay UTF-16 until the line is written.
class CJsonLine
{
public:
    explicit CJsonLine(const char* pszMethod);

    CJsonLine& Text(const char* pszKey, const std::wstring& value);
    // A null pointer is written as JSON null.
    CJsonLine& Text(const char* pszKey, const wchar_t* pszValue);
    CJsonLine& Number(const char* pszKey, long long value);
    CJsonLine& Boolean(const char* pszKey, bool value);
    CJsonLine& Null(const char* pszKey);
    // A null BSTR is written as JSON null.
    CJsonLine& Bstr(const char* pszKey, BSTR bstr);
    // A value that is JSON already (an array, an object).
    CJsonLine& Json(const char* pszKey, const std::wstring& json);

    std::wstring Finish() const { return m_text + L"}"; }

private:
    void Key(const char* pszKey);

    std::wstring m_text;
};

// A quoted JSON string: quote, backslash and control characters escaped, everything else kept.
std::wstring JsonString(const std::wstring& value);
std::wstring AsciiText(const char* psz);
// "0x" and upper-case hex digits without leading zeros: 0x0, 0x1A2B.
std::wstring HexText(unsigned long long value);
// Always eight digits: 0x80131522.
std::wstring HresultText(HRESULT hr);
// {BCA8B44D-AAD6-3A86-8AB7-03349F4F2DA2}
std::wstring GuidText(REFGUID guid);
// A BSTR with its own length (embedded nulls kept); a null BSTR is empty.
std::wstring BstrText(BSTR bstr);
// A pointer as a JSON value: null, or its address as a hex string.
std::wstring PointerJson(const void* p);

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const char* pch, size_t cch);

// Appends the line and a line feed to the file (created when missing); an empty path writes nothing.
void AppendLogLine(const std::wstring& path, const std::wstring& line);
} // namespace standin

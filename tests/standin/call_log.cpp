#include "tests/standin/call_log.h"

namespace standin
{
CJsonLine::CJsonLine(const char* pszMethod) : m_text(L"{\"method\":")
{
    m_text += JsonString(AsciiText(pszMethod));
}

void CJsonLine::Key(const char* pszKey)
{
    m_text += L',';
    m_text += JsonString(AsciiText(pszKey));
    m_text += L':';
}

CJsonLine& CJsonLine::Text(const char* pszKey, const std::wstring& value)
{
    Key(pszKey);
    m_text += JsonString(value);
    return *this;
}

CJsonLine& CJsonLine::Text(const char* pszKey, const wchar_t* pszValue)
{
    if (!pszValue)
        return Null(pszKey);
    return Text(pszKey, std::wstring(pszValue));
}

CJsonLine& CJsonLine::Number(const char* pszKey, long long value)
{
    Key(pszKey);
    m_text += std::to_wstring(value);
    return *this;
}

CJsonLine& CJsonLine::Boolean(const char* pszKey, bool value)
{
    Key(pszKey);
    m_text += value ? L"true" : L"false";
    return *this;
}

CJsonLine& CJsonLine::Null(const char* pszKey)
{
    Key(pszKey);
    m_text += L"null";
    return *this;
}

CJsonLine& CJsonLine::Bstr(const char* pszKey, BSTR bstr)
{
    if (!bstr)
        return Null(pszKey);
    return Text(pszKey, BstrText(bstr));
}

CJsonLine& CJsonLine::Json(const char* pszKey, const std::wstring& json)
{
    Key(pszKey);
    m_text += json;
    return *this;
}

std::wstring JsonString(const std::wstring& value)
{
    static const wchar_t c_szHex[] = L"0123456789abcdef";
    std::wstring out;
    out.reserve(value.size() + 2);
    out += L'"';
    for (wchar_t ch : value)
    {
        switch (ch)
        {
        case L'"':
            out += L"\\\"";
            break;
        case L'\\':
            out += L"\\\\";
            break;
        case L'\n':
            out += L"\\n";
            break;
        case L'\r':
            out += L"\\r";
            break;
        case L'\t':
            out += L"\\t";
            break;
        default:
            if (ch < 0x20)
            {
                out += L"\\u00";
                out += c_szHex[(ch >> 4) & 0xF];
                out += c_szHex[ch & 0xF];
            }
            else
            {
                out += ch;
            }
        }
    }
    out += L'"';
    return out;
}

std::wstring AsciiText(const char* psz)
{
    std::wstring out;
    for (; psz && *psz; ++psz)
        out += static_cast<wchar_t>(static_cast<unsigned char>(*psz));
    return out;
}

std::wstring HexText(unsigned long long value)
{
    static const wchar_t c_szHex[] = L"0123456789ABCDEF";
    std::wstring digits;
    do
    {
        digits.insert(digits.begin(), c_szHex[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return L"0x" + digits;
}

std::wstring HresultText(HRESULT hr)
{
    std::wstring digits = HexText(static_cast<unsigned long>(hr)).substr(2);
    return L"0x" + std::wstring(8 - digits.size(), L'0') + digits;
}

std::wstring GuidText(REFGUID guid)
{
    wchar_t szGuid[40] = {};
    if (StringFromGUID2(guid, szGuid, 40) == 0)
        return std::wstring();
    return szGuid;
}

std::wstring BstrText(BSTR bstr)
{
    if (!bstr)
        return std::wstring();
    return std::wstring(bstr, SysStringLen(bstr));
}

std::wstring PointerJson(const void* p)
{
    if (!p)
        return L"null";
    return JsonString(HexText(reinterpret_cast<ULONG_PTR>(p)));
}

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int cch = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (cch <= 0)
        return std::string();
    std::string out(static_cast<size_t>(cch), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], cch, nullptr, nullptr);
    return out;
}

std::wstring FromUtf8(const char* pch, size_t cch)
{
    if (cch == 0)
        return std::wstring();
    const int cwch = MultiByteToWideChar(CP_UTF8, 0, pch, static_cast<int>(cch), nullptr, 0);
    if (cwch <= 0)
        return std::wstring();
    std::wstring out(static_cast<size_t>(cwch), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pch, static_cast<int>(cch), &out[0], cwch);
    return out;
}

void AppendLogLine(const std::wstring& path, const std::wstring& line)
{
    if (path.empty())
        return;
    // The caller's last error stays as it was: the launcher may read it after a call into the library.
    const DWORD dwLastError = GetLastError();
    const std::string bytes = ToUtf8(line) + "\n";
    // Opened and closed for every line, so that a reader sees each line as soon as the call is made
    // and a process that dies keeps everything it logged. Another process may log to the same file.
    HANDLE hFile = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 50; ++attempt)
    {
        hFile = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (hFile != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            break;
        Sleep(10);
    }
    if (hFile != INVALID_HANDLE_VALUE)
    {
        DWORD cbWritten = 0;
        WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr);
        CloseHandle(hFile);
    }
    SetLastError(dwLastError);
}
} // namespace standin

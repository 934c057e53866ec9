#include "tests/standin/scenario.h"

#include "tests/standin/call_log.h"

#include <climits>
#include <cwchar>

namespace standin
{
namespace
{
std::wstring Trim(const std::wstring& text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && (text[first] == L' ' || text[first] == L'\t'))
        ++first;
    while (last > first && (text[last - 1] == L' ' || text[last - 1] == L'\t' || text[last - 1] == L'\r'))
        --last;
    return text.substr(first, last - first);
}

bool StartsWith(const std::wstring& text, const wchar_t* pszLead)
{
    return text.compare(0, wcslen(pszLead), pszLead) == 0;
}

// Decimal with an optional sign, or hex after "0x".
bool ParseInteger(const std::wstring& text, long long& value)
{
    const std::wstring t = Trim(text);
    size_t i = 0;
    bool fNegative = false;
    if (i < t.size() && (t[i] == L'-' || t[i] == L'+'))
        fNegative = t[i++] == L'-';
    unsigned base = 10;
    if (t.size() > i + 1 && t[i] == L'0' && (t[i + 1] == L'x' || t[i + 1] == L'X'))
    {
        base = 16;
        i += 2;
    }
    if (i >= t.size())
        return false;
    unsigned long long magnitude = 0;
    for (; i < t.size(); ++i)
    {
        unsigned digit;
        const wchar_t ch = t[i];
        if (ch >= L'0' && ch <= L'9')
            digit = ch - L'0';
        else if (base == 16 && ch >= L'a' && ch <= L'f')
            digit = ch - L'a' + 10;
        else if (base == 16 && ch >= L'A' && ch <= L'F')
            digit = ch - L'A' + 10;
        else
            return false;
        if (magnitude > (0xFFFFFFFFFFFFull - digit) / base)
            return false; // far beyond anything a key takes
        magnitude = magnitude * base + digit;
    }
    value = fNegative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
    return true;
}

bool ParseFlag(const std::wstring& text, bool& f)
{
    const std::wstring t = Trim(text);
    if (t == L"1" || t == L"true")
        f = true;
    else if (t == L"0" || t == L"false")
        f = false;
    else
        return false;
    return true;
}

struct CParser
{
    CScenario sc;
    std::vector<CScenarioIssue>& issues;
    int nLine = 0;
    bool fRuntimeSeen = false;

    void Issue(const std::wstring& text) { issues.push_back(CScenarioIssue{nLine, text}); }

    void Hresult(const std::wstring& key, const std::wstring& value, HRESULT& hr)
    {
        if (!ParseHresult(value, hr))
            Issue(L"'" + key + L"': not an HRESULT: '" + value + L"'");
    }

    void Answer(const std::wstring& key, const std::wstring& value, CCallAnswer& answer)
    {
        if (Trim(value) == L"null")
        {
            answer.hr = S_OK;
            answer.fNull = true;
            return;
        }
        HRESULT hr = S_OK;
        if (!ParseHresult(value, hr))
        {
            Issue(L"'" + key + L"': neither an HRESULT nor null: '" + value + L"'");
            return;
        }
        answer.hr = hr;
        answer.fNull = false;
    }

    void Flag(const std::wstring& key, const std::wstring& value, bool& f)
    {
        if (!ParseFlag(value, f))
            Issue(L"'" + key + L"': not 0 or 1: '" + value + L"'");
    }

    void Runtime(const std::wstring& value)
    {
        if (!fRuntimeSeen)
        {
            // The file's runtimes replace the default ones.
            sc.runtimes.clear();
            fRuntimeSeen = true;
        }
        CRuntimeEntry entry;
        entry.text = value;
        if (!value.empty() && value[0] == L'!')
        {
            if (!ParseHresult(value.substr(1), entry.hrVersion) || SUCCEEDED(entry.hrVersion))
            {
                Issue(L"'runtime': not a failing HRESULT after '!': '" + value + L"'");
                return;
            }
        }
        sc.runtimes.push_back(entry);
    }

    void EntryReturn(const std::wstring& value)
    {
        long long n = 0;
        if (value == L"VT_EMPTY")
        {
            sc.entryReturn = ReturnKind::Empty;
        }
        else if (value == L"VT_UNKNOWN")
        {
            sc.entryReturn = ReturnKind::Unknown;
        }
        else if (StartsWith(value, L"VT_BSTR:"))
        {
            sc.entryReturn = ReturnKind::Bstr;
            sc.entryReturnText = value.substr(8);
        }
        else if (StartsWith(value, L"VT_I4:") && ParseInteger(value.substr(6), n) && n >= LONG_MIN && n <= LONG_MAX)
        {
            sc.entryReturn = ReturnKind::I4;
            sc.entryReturnValue = static_cast<long>(n);
        }
        else if (StartsWith(value, L"VT_INT:") && ParseInteger(value.substr(7), n) && n >= LONG_MIN && n <= LONG_MAX)
        {
            sc.entryReturn = ReturnKind::Int;
            sc.entryReturnValue = static_cast<long>(n);
        }
        else
        {
            Issue(L"'entry.return': not VT_I4:<n>, VT_INT:<n>, VT_EMPTY, VT_BSTR:<text> or VT_UNKNOWN: '" + value + L"'");
        }
    }

    void Line(const std::wstring& key, const std::wstring& value)
    {
        long long n = 0;
        if (key == L"CLRCreateInstance")
            Answer(key, value, sc.clrCreateInstance);
        else if (key == L"runtime")
            Runtime(value);
        else if (key == L"runtimes")
        {
            // "none": an enumerator that ends at once.
            if (value == L"none")
            {
                sc.runtimes.clear();
                fRuntimeSeen = true;
            }
            else
            {
                Issue(L"'runtimes': only 'none' is known: '" + value + L"'");
            }
        }
        else if (key == L"EnumerateInstalledRuntimes")
            Answer(key, value, sc.enumerateInstalledRuntimes);
        else if (key == L"Next.failAt")
        {
            if (ParseInteger(value, n) && n >= 0 && n <= LONG_MAX)
                sc.nextFailAt = static_cast<long>(n);
            else
                Issue(L"'Next.failAt': not an index: '" + value + L"'");
        }
        else if (key == L"Next.hr")
            Hresult(key, value, sc.nextHr);
        else if (key == L"GetInterface")
            Answer(key, value, sc.getInterface);
        else if (key == L"GetCORVersion")
            sc.corVersion = value;
        else if (key == L"GetCORVersion.hr")
            Hresult(key, value, sc.corVersionHr);
        else if (key == L"CorBindToRuntime")
        {
            if (value == L"nohost")
                sc.bindKind = BindKind::NoHost;
            else if (value == L"badquery")
                sc.bindKind = BindKind::BadQuery;
            else
            {
                sc.bindKind = BindKind::Answer;
                Answer(key, value, sc.corBindToRuntime);
            }
        }
        else if (key == L"Start")
            Hresult(key, value, sc.startHr);
        else if (key == L"Stop")
            Hresult(key, value, sc.stopHr);
        else if (key == L"CreateDomainSetup")
            Answer(key, value, sc.createDomainSetup);
        else if (key == L"CreateDomainEx")
            Answer(key, value, sc.createDomainEx);
        else if (key == L"GetDefaultDomain")
            Answer(key, value, sc.getDefaultDomain);
        else if (key == L"host.errorInfo")
        {
            sc.fHostErrorInfo = true;
            sc.hostErrorInfo = value;
        }
        else if (key == L"hosting.errorInfo")
        {
            sc.fHostingErrorInfo = true;
            sc.hostingErrorInfo = value;
        }
        else if (key == L"setup.noInterface")
            Flag(key, value, sc.fSetupNoInterface);
        else if (key == L"setup.put_ApplicationBase")
            Hresult(key, value, sc.setupPutApplicationBaseHr);
        else if (key == L"setup.put_ApplicationName")
            Hresult(key, value, sc.setupPutApplicationNameHr);
        else if (key == L"domain.noInterface")
            Flag(key, value, sc.fDomainNoInterface);
        else if (key == L"defaultDomain.base")
        {
            sc.fDefaultDomainBase = true;
            sc.defaultDomainBase = value;
        }
        else if (key == L"type.missing")
            Flag(key, value, sc.fTypeMissing);
        else if (key == L"entry.return")
            EntryReturn(value);
        else if (key == L"entry.throw")
        {
            sc.fEntryThrow = true;
            sc.entryThrowMessage = value;
        }
        else if (key == L"start.writeDelayMs")
        {
            if (ParseInteger(value, n) && n >= 0 && n <= 0x7FFFFFFF)
                sc.startWriteDelayMs = static_cast<DWORD>(n);
            else
                Issue(L"'start.writeDelayMs': not a number of milliseconds: '" + value + L"'");
        }
        else if (key == L"entry.delayMs")
        {
            if (ParseInteger(value, n) && n >= 0 && n <= 0x7FFFFFFF)
                sc.entryDelayMs = static_cast<DWORD>(n);
            else
                Issue(L"'entry.delayMs': not a number of milliseconds: '" + value + L"'");
        }
        else if (key == L"entry.closeSplash")
            Flag(key, value, sc.fEntryCloseSplash);
        else if (key == L"entry.loadLibrary")
            sc.entryLoadLibrary = value;
        else if (key == L"log")
        {
            sc.fLogPath = true;
            sc.logPath = value;
        }
        else
            Issue(L"unknown key '" + key + L"'");
    }
};
} // namespace

bool ParseHresult(const std::wstring& text, HRESULT& hr)
{
    static const struct
    {
        const wchar_t* pszName;
        HRESULT hr;
    } c_names[] = {{L"S_OK", S_OK},
                   {L"S_FALSE", S_FALSE},
                   {L"E_FAIL", E_FAIL},
                   {L"E_NOTIMPL", E_NOTIMPL},
                   {L"E_POINTER", E_POINTER},
                   {L"E_NOINTERFACE", E_NOINTERFACE},
                   {L"E_OUTOFMEMORY", E_OUTOFMEMORY},
                   {L"E_INVALIDARG", E_INVALIDARG},
                   {L"E_UNEXPECTED", E_UNEXPECTED}};
    const std::wstring t = Trim(text);
    for (const auto& name : c_names)
    {
        if (t == name.pszName)
        {
            hr = name.hr;
            return true;
        }
    }
    long long n = 0;
    if (!ParseInteger(t, n) || n < LONG_MIN || n > 0xFFFFFFFFll)
        return false;
    hr = static_cast<HRESULT>(static_cast<unsigned long>(n & 0xFFFFFFFF));
    return true;
}

CScenario ParseScenario(const std::wstring& text, std::vector<CScenarioIssue>& issues)
{
    CParser parser{CScenario(), issues};
    size_t pos = 0;
    while (pos <= text.size())
    {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(pos, end - pos);
        pos = end + 1;
        ++parser.nLine;

        const std::wstring trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == L'#')
            continue;
        const size_t eq = trimmed.find(L'=');
        if (eq == std::wstring::npos)
        {
            parser.Issue(L"no '=' in '" + trimmed + L"'");
            continue;
        }
        parser.Line(Trim(trimmed.substr(0, eq)), Trim(trimmed.substr(eq + 1)));
    }
    return parser.sc;
}

bool ReadUtf8File(const std::wstring& path, std::wstring& text)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    bool fRead = false;
    std::string bytes;
    if (GetFileSizeEx(hFile, &size) && size.QuadPart >= 0 && size.QuadPart <= 16 * 1024 * 1024)
    {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD cbRead = 0;
        fRead = bytes.empty() || ReadFile(hFile, &bytes[0], static_cast<DWORD>(bytes.size()), &cbRead, nullptr);
        bytes.resize(cbRead);
    }
    CloseHandle(hFile);
    if (!fRead)
        return false;
    size_t skip = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        skip = 3;
    text = FromUtf8(bytes.data() + skip, bytes.size() - skip);
    return true;
}
} // namespace standin

// lxdriver: runs a program under the driver and prints what it showed.
//
//   lxdriver [--win VERSION] [--env NAME=VALUE]... [--answer BUTTON]... [--timeout MS] [--cwd DIR]
//            [--screenshot FILE.png] [--screenshot-delay MS] [--close-window CAPTION] [--json FILE] -- EXE [ARGS...]
//
// Prints, in UTF-8, one line per message box and then the exit code:
//   box 1: caption="..." style=0x00000010(MB_ICONERROR|MB_OK) owner=0x0 text="Line one\r\nLine two"
//   exit code: 0x80004004
// With --json, FILE gets one JSON object per box per line and a last line with the exit code.
// Exit code: 0 when the program ran and ended (whatever its own exit code), 2 on a usage error, 3 when it could
// not be started, 4 when it timed out, 5 when the JSON file could not be written.
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "driver.h"

namespace
{
const int c_exitRan = 0;
const int c_exitUsage = 2;
const int c_exitNotStarted = 3;
const int c_exitTimedOut = 4;
const int c_exitOutputFailed = 5;

const char c_szUsage[] =
    "usage: lxdriver [--win VERSION] [--env NAME=VALUE]... [--answer BUTTON]... [--timeout MS] [--cwd DIR]\n"
    "                [--screenshot FILE.png] [--screenshot-delay MS] [--close-window CAPTION] [--json FILE]\n"
    "                -- EXE [ARGS...]\n"
    "  VERSION  Wine's name of a Windows version: win98, win2k, winxp64, win7, win10, ...\n"
    "  NAME=    with an empty value removes the variable from the program's environment\n"
    "  BUTTON   ok, cancel, abort, retry, ignore, yes, no, tryagain, continue, help or a button id;\n"
    "           boxes beyond the scripted answers get their default button\n"
    "  CAPTION  a window of the program that is closed as a user would, a second after it shows; the\n"
    "           screenshot is taken right before\n"
    "  Paths starting with '/' are taken as Linux paths (drive Z:).\n";

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    const int cb = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
    std::string utf8(static_cast<size_t>(cb > 0 ? cb : 0), '\0');
    if (cb > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], cb, nullptr, nullptr);
    return utf8;
}

void WriteBytes(DWORD nStdHandle, const std::string& bytes)
{
    HANDLE hOut = GetStdHandle(nStdHandle);
    const char* p = bytes.data();
    size_t cbLeft = bytes.size();
    while (cbLeft > 0 && hOut && hOut != INVALID_HANDLE_VALUE)
    {
        DWORD cbWritten = 0;
        if (!WriteFile(hOut, p, static_cast<DWORD>(cbLeft), &cbWritten, nullptr) || cbWritten == 0)
            break;
        p += cbWritten;
        cbLeft -= cbWritten;
    }
}

void Print(const std::wstring& line)
{
    WriteBytes(STD_OUTPUT_HANDLE, ToUtf8(line + L"\n"));
}

void PrintError(const std::wstring& line)
{
    WriteBytes(STD_ERROR_HANDLE, ToUtf8(L"lxdriver: " + line + L"\n"));
}

std::wstring Hex(unsigned long long value, int cDigits)
{
    std::wstring digits;
    do
    {
        digits.insert(digits.begin(), L"0123456789ABCDEF"[value & 0xF]);
        value >>= 4;
    } while (value);
    if (static_cast<int>(digits.size()) < cDigits)
        digits.insert(0, static_cast<size_t>(cDigits) - digits.size(), L'0');
    return L"0x" + digits;
}

unsigned long long HandleValue(HWND hwnd)
{
    return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(hwnd));
}

// Line breaks and other control characters as escapes, everything else as it is.
std::wstring EscapeForLine(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t ch : text)
    {
        switch (ch)
        {
        case L'\r': out += L"\\r"; break;
        case L'\n': out += L"\\n"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (ch < 0x20 || ch == 0x7F)
                out += L"\\x" + Hex(ch, 2).substr(2);
            else
                out += ch;
            break;
        }
    }
    return out;
}

std::wstring JsonString(const std::wstring& text)
{
    std::wstring out = L"\"";
    for (wchar_t ch : text)
    {
        switch (ch)
        {
        case L'"': out += L"\\\""; break;
        case L'\\': out += L"\\\\"; break;
        case L'\b': out += L"\\b"; break;
        case L'\f': out += L"\\f"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        case L'\t': out += L"\\t"; break;
        default:
            if (ch < 0x20)
                out += L"\\u" + Hex(ch, 4).substr(2);
            else
                out += ch;
            break;
        }
    }
    return out + L"\"";
}

std::wstring JsonBool(bool f)
{
    return f ? L"true" : L"false";
}

// Command line quoting that CommandLineToArgvW and the C runtime undo.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring out = L"\"";
    for (size_t i = 0;; ++i)
    {
        size_t cBackslashes = 0;
        while (i < arg.size() && arg[i] == L'\\')
        {
            ++i;
            ++cBackslashes;
        }
        if (i == arg.size())
        {
            out.append(cBackslashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"')
            out.append(cBackslashes * 2 + 1, L'\\');
        else
            out.append(cBackslashes, L'\\');
        out += arg[i];
    }
    return out + L"\"";
}

// A path given on the Linux side becomes a path on drive Z:.
std::wstring WindowsPath(const std::wstring& path)
{
    if (path.size() > 1 && path[0] == L'/' && path[1] != L'/')
    {
        std::wstring windowsPath = L"Z:" + path;
        for (wchar_t& ch : windowsPath)
        {
            if (ch == L'/')
                ch = L'\\';
        }
        return windowsPath;
    }
    return path;
}

bool ParseNumber(const std::wstring& text, DWORD& value)
{
    if (text.empty() || text[0] < L'0' || text[0] > L'9')
        return false;
    wchar_t* pEnd = nullptr;
    const unsigned long number = wcstoul(text.c_str(), &pEnd, 0);
    if (!pEnd || *pEnd != L'\0')
        return false;
    value = static_cast<DWORD>(number);
    return true;
}

bool ParseAnswer(const std::wstring& text, int& idButton)
{
    struct CName
    {
        const wchar_t* szName;
        int id;
    };
    static const CName c_rgNames[] = {
        {L"ok", IDOK},         {L"cancel", IDCANCEL}, {L"abort", IDABORT},       {L"retry", IDRETRY},
        {L"ignore", IDIGNORE}, {L"yes", IDYES},       {L"no", IDNO},             {L"help", IDHELP},
        {L"tryagain", IDTRYAGAIN}, {L"continue", IDCONTINUE},
    };
    for (const CName& name : c_rgNames)
    {
        if (CompareStringOrdinal(text.c_str(), -1, name.szName, -1, TRUE) == CSTR_EQUAL)
        {
            idButton = name.id;
            return true;
        }
    }
    DWORD number = 0;
    if (!ParseNumber(text, number) || number == 0 || number > 0xFFFF)
        return false;
    idButton = static_cast<int>(number);
    return true;
}

struct CArguments
{
    CLaunchOptions options;
    std::wstring jsonPath;
};

bool UsageError(const std::wstring& message)
{
    PrintError(message);
    WriteBytes(STD_ERROR_HANDLE, c_szUsage);
    return false;
}

bool ParseArguments(int argc, wchar_t** argv, CArguments& args)
{
    int i = 1;
    auto value = [&](const wchar_t* szOption, std::wstring& out) {
        if (i + 1 >= argc)
            return UsageError(std::wstring(szOption) + L" needs a value");
        out = argv[++i];
        return true;
    };
    for (; i < argc; ++i)
    {
        const std::wstring arg = argv[i];
        std::wstring text;
        if (arg == L"--")
        {
            ++i;
            break;
        }
        if (arg == L"--help" || arg == L"-h" || arg == L"/?")
            return UsageError(L"help requested");
        if (arg.compare(0, 2, L"--") != 0)
            break; // the program
        if (!value(arg.c_str(), text))
            return false;
        DWORD number = 0;
        if (arg == L"--win")
        {
            args.options.windowsVersion = text;
        }
        else if (arg == L"--env")
        {
            const size_t iEquals = text.find(L'=', 1);
            if (iEquals == std::wstring::npos)
                return UsageError(L"--env needs NAME=VALUE, not \"" + text + L"\"");
            args.options.environment.emplace_back(text.substr(0, iEquals), text.substr(iEquals + 1));
        }
        else if (arg == L"--answer")
        {
            int idButton = 0;
            if (!ParseAnswer(text, idButton))
                return UsageError(L"unknown answer \"" + text + L"\"");
            args.options.answers.push_back(idButton);
        }
        else if (arg == L"--timeout")
        {
            if (!ParseNumber(text, number))
                return UsageError(L"--timeout needs milliseconds, not \"" + text + L"\"");
            args.options.timeoutMs = number;
        }
        else if (arg == L"--screenshot")
        {
            args.options.screenshotPath = WindowsPath(text);
        }
        else if (arg == L"--screenshot-delay")
        {
            if (!ParseNumber(text, number))
                return UsageError(L"--screenshot-delay needs milliseconds, not \"" + text + L"\"");
            args.options.screenshotDelayMs = number;
        }
        else if (arg == L"--close-window")
        {
            args.options.closeWindowCaption = text;
        }
        else if (arg == L"--json")
        {
            args.jsonPath = WindowsPath(text);
        }
        else if (arg == L"--cwd")
        {
            args.options.workingDirectory = WindowsPath(text);
        }
        else
        {
            return UsageError(L"unknown option " + arg);
        }
    }
    if (i >= argc)
        return UsageError(L"no program given");
    args.options.exePath = WindowsPath(argv[i++]);
    for (; i < argc; ++i)
    {
        if (!args.options.arguments.empty())
            args.options.arguments += L' ';
        args.options.arguments += QuoteArgument(argv[i]);
    }
    return true;
}

std::wstring BoxLine(size_t iBox, const CBoxRecord& box)
{
    return L"box " + std::to_wstring(iBox + 1) + L": caption=\"" + EscapeForLine(box.caption) + L"\" style=" +
           Hex(box.style, 8) + L"(" + DescribeStyle(box.style) + L") owner=" + Hex(HandleValue(box.hwndOwner), 1) +
           L" text=\"" + EscapeForLine(box.text) + L"\"";
}

std::wstring BoxJson(size_t iBox, const CBoxRecord& box)
{
    return L"{\"box\":" + std::to_wstring(iBox + 1) + L",\"caption\":" + JsonString(box.caption) +
           L",\"text\":" + JsonString(box.text) + L",\"style\":" + std::to_wstring(box.style) +
           L",\"styleName\":" + JsonString(DescribeStyle(box.style)) + L",\"owner\":" +
           std::to_wstring(HandleValue(box.hwndOwner)) + L",\"hwnd\":" + std::to_wstring(HandleValue(box.hwndBox)) +
           L",\"answer\":" + std::to_wstring(box.answer) + L"}";
}

bool WriteJson(const std::wstring& path, const CLaunchResult& result)
{
    std::wstring json;
    for (size_t i = 0; i < result.boxes.size(); ++i)
        json += BoxJson(i, result.boxes[i]) + L"\n";
    json += L"{\"exitCode\":" + std::to_wstring(result.exitCode) + L",\"timedOut\":" + JsonBool(result.timedOut) +
            L",\"started\":" + JsonBool(result.started) + L",\"startError\":" + std::to_wstring(result.startError) +
            L",\"screenshotTaken\":" + JsonBool(result.screenshotTaken) + L"}\n";
    const std::string bytes = ToUtf8(json);

    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const bool fOk = WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &cbWritten, nullptr) &&
                     cbWritten == bytes.size();
    return CloseHandle(hFile) && fOk;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    CArguments args;
    if (!ParseArguments(argc, argv, args))
        return c_exitUsage;

    CLaunchResult result;
    RunAndWatch(args.options, result);

    int exitCode = c_exitRan;
    if (!result.started)
    {
        Print(L"could not start: error " + std::to_wstring(result.startError));
        exitCode = c_exitNotStarted;
    }
    else
    {
        for (size_t i = 0; i < result.boxes.size(); ++i)
            Print(BoxLine(i, result.boxes[i]));
        if (result.timedOut)
        {
            Print(L"timed out");
            exitCode = c_exitTimedOut;
        }
        Print(L"exit code: " + Hex(result.exitCode, 8));
    }
    if (!args.options.screenshotPath.empty() && !result.screenshotTaken)
        PrintError(L"no screenshot taken");
    if (!args.options.closeWindowCaption.empty())
        Print(L"window \"" + args.options.closeWindowCaption + (result.windowClosed ? L"\": closed" : L"\": never shown"));

    if (!args.jsonPath.empty() && !WriteJson(args.jsonPath, result))
    {
        PrintError(L"could not write " + args.jsonPath + L": error " + std::to_wstring(GetLastError()));
        if (exitCode == c_exitRan)
            exitCode = c_exitOutputFailed;
    }
    return exitCode;
}

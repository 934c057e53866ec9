#include "unit/standin_session.h"

#include <gtest/gtest.h>

namespace
{
std::string ToUtf8(const std::wstring& text)
{
    const int cb = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
    std::string utf8(static_cast<size_t>(cb), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], cb, nullptr, nullptr);
    return utf8;
}

bool WriteFileText(const std::wstring& path, const std::string& text)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwWritten = 0;
    const BOOL fWritten = WriteFile(hFile, text.data(), static_cast<DWORD>(text.size()), &dwWritten, nullptr);
    CloseHandle(hFile);
    return fWritten && dwWritten == text.size();
}

std::string ReadFileText(const std::wstring& path)
{
    std::string text;
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                               0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD dwRead = 0;
    while (ReadFile(hFile, buffer, sizeof(buffer), &dwRead, nullptr) && dwRead > 0)
        text.append(buffer, dwRead);
    CloseHandle(hFile);
    return text;
}

std::wstring Environment(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(pszName, szValue, ARRAYSIZE(szValue));
    return szValue;
}
} // namespace

std::string JsonText(const std::string& line, const std::string& key)
{
    const std::string lead = "\"" + key + "\":\"";
    const size_t start = line.find(lead);
    if (start == std::string::npos)
        return "";
    std::string value;
    for (size_t i = start + lead.size(); i < line.size() && line[i] != '"'; ++i)
    {
        if (line[i] == '\\' && i + 1 < line.size())
            ++i;
        value += line[i];
    }
    return value;
}

CStandinSession::CStandinSession(const std::wstring& scenario)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    m_folder = std::wstring(szTemp) + L"lx-standin-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(m_folder.c_str(), nullptr);
    m_scenarioPath = m_folder + L"\\scenario.txt";
    m_logPath = m_folder + L"\\calls.jsonl";
    DeleteFileW(m_logPath.c_str());
    std::wstring text = scenario;
    for (size_t at = text.find(L"{folder}"); at != std::wstring::npos; at = text.find(L"{folder}", at))
        text.replace(at, 8, m_folder);
    EXPECT_TRUE(WriteFileText(m_scenarioPath, ToUtf8(text + L"\nlog=" + m_logPath + L"\n")));
    SetEnvironmentVariableW(L"LX_CLR_SCENARIO", m_scenarioPath.c_str());
}

CStandinSession::~CStandinSession()
{
    if (!m_systemCopy.empty())
    {
        // The loaded copy stays mapped until the process ends; moving it aside is allowed, overwriting not.
        MoveFileExW(m_systemCopy.c_str(), (m_folder + L"\\replaced-mscoree.dll").c_str(), MOVEFILE_REPLACE_EXISTING);
        MoveFileExW(m_systemBackup.c_str(), m_systemCopy.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

std::wstring CStandinSession::VariantPath(const wchar_t* pszVariant)
{
    return Environment(L"LX_STANDIN_DIR") + L"\\" + pszVariant + L"\\mscoree.dll";
}

HMODULE CStandinSession::Load(const wchar_t* pszVariant)
{
    m_hmod = LoadLibraryW(VariantPath(pszVariant).c_str());
    EXPECT_NE(nullptr, m_hmod) << "stand-in variant not loadable, error " << GetLastError();
    if (m_hmod)
    {
        // A variant loaded by an earlier session of this process reads this session's scenario afresh.
        using PFN_Reset = void(WINAPI*)();
        auto pfnReset = reinterpret_cast<PFN_Reset>(reinterpret_cast<void*>(GetProcAddress(m_hmod, "LxStandinReset")));
        EXPECT_NE(nullptr, pfnReset) << "Wine's own mscoree.dll was loaded";
        if (pfnReset)
            pfnReset();
    }
    return m_hmod;
}

void CStandinSession::InstallInSystemFolder(const wchar_t* pszVariant)
{
    wchar_t szSystem[MAX_PATH] = {};
    GetSystemDirectoryW(szSystem, MAX_PATH);
    m_systemCopy = std::wstring(szSystem) + L"\\mscoree.dll";
    m_systemBackup = m_folder + L"\\system-mscoree.dll";
    ASSERT_TRUE(CopyFileW(m_systemCopy.c_str(), m_systemBackup.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(VariantPath(pszVariant).c_str(), m_systemCopy.c_str(), FALSE)) << GetLastError();
}

std::vector<std::string> CStandinSession::Lines() const
{
    std::vector<std::string> lines;
    const std::string text = ReadFileText(m_logPath);
    size_t start = 0;
    while (start < text.size())
    {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> CStandinSession::Calls() const
{
    std::vector<std::string> calls;
    for (const std::string& line : Lines())
        calls.push_back(JsonText(line, "method"));
    return calls;
}

std::string CStandinSession::FirstCall(const std::string& method) const
{
    for (const std::string& line : Lines())
    {
        if (JsonText(line, "method") == method)
            return line;
    }
    return "";
}

int CStandinSession::LiveObjects() const
{
    return CallCounter("LxStandinLiveObjects");
}

int CStandinSession::LiveErrorInfos() const
{
    return CallCounter("LxStandinLiveErrorInfos");
}

int CStandinSession::CallCounter(const char* pszExport) const
{
    HMODULE hmod = m_hmod ? m_hmod : GetModuleHandleW(L"mscoree.dll");
    if (!hmod)
        return -1;
    using PFN = int(WINAPI*)();
    auto pfn = reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(hmod, pszExport)));
    return pfn ? pfn() : -1;
}

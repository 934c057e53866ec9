// Drives the stand-in hosting library from an in-process test: writes the scenario file it reads, loads one
// of its variants, and reads back the calls it logged.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CStandinSession
{
public:
    // scenario: the stand-in's key=value lines, where {folder} stands for Folder(); the call log is added by
    // the session.
    explicit CStandinSession(const std::wstring& scenario = L"");
    ~CStandinSession();
    CStandinSession(const CStandinSession&) = delete;
    CStandinSession& operator=(const CStandinSession&) = delete;

    // Loads build/standin/<variant>/mscoree.dll by its full path ("full", "v2", "nobind", "none").
    HMODULE Load(const wchar_t* pszVariant = L"full");

    // Puts a variant in the system folder, where the launcher loads its hosting library from, until the
    // session ends.
    void InstallInSystemFolder(const wchar_t* pszVariant = L"full");

    // The log, one JSON object a line.
    std::vector<std::string> Lines() const;
    // The "method" of every line, in order.
    std::vector<std::string> Calls() const;
    // The first line of a method, or "" when it was not called.
    std::string FirstCall(const std::string& method) const;
    bool WasCalled(const std::string& method) const { return !FirstCall(method).empty(); }

    // The stand-in's hosting objects still alive; -1 when no variant is loaded.
    int LiveObjects() const;
    // Its error information objects still alive, one that waits on the thread included; -1 likewise.
    int LiveErrorInfos() const;

    // A scratch folder of this session (no trailing separator).
    const std::wstring& Folder() const { return m_folder; }

    static std::wstring VariantPath(const wchar_t* pszVariant);

private:
    int CallCounter(const char* pszExport) const;

    std::wstring m_folder;
    std::wstring m_scenarioPath;
    std::wstring m_logPath;
    std::wstring m_systemCopy;
    std::wstring m_systemBackup;
    HMODULE m_hmod = nullptr;
};

// A JSON string value of a log line ("" when the key is missing); enough for the stand-in's flat lines.
std::string JsonText(const std::string& line, const std::string& key);

// Stands in for the web browser: registered as the https handler of the test prefix, it writes the address it
// was asked to open (its first argument, UTF-16) to the file named by LX_URL_RECORD.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    wchar_t szRecord[MAX_PATH * 4] = {};
    if (!GetEnvironmentVariableW(L"LX_URL_RECORD", szRecord, ARRAYSIZE(szRecord)))
        return 2;
    int cArgs = 0;
    wchar_t** ppszArgs = CommandLineToArgvW(GetCommandLineW(), &cArgs);
    if (!ppszArgs || cArgs < 2)
        return 3;
    HANDLE hFile = CreateFileW(szRecord, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return 4;
    DWORD dwWritten = 0;
    WriteFile(hFile, ppszArgs[1], static_cast<DWORD>(lstrlenW(ppszArgs[1]) * sizeof(wchar_t)), &dwWritten, nullptr);
    CloseHandle(hFile);
    LocalFree(ppszArgs);
    return 0;
}

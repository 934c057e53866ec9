// The process-level driver: starts the program, then polls the screen for its message boxes until it ends.
#include "driver.h"

#include "environment_block.h"
#include "screen_pixels.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
const DWORD c_msPoll = 20;
// How long a window is given to paint itself before it is photographed and closed.
const ULONGLONG c_msWindowPainted = 1000;

// Exit code given to a program that ran out of time.
const DWORD c_exitCodeTimedOut = WAIT_TIMEOUT;

// --- COM -----------------------------------------------------------------------------------------------------

template <class T>
class CComRef
{
public:
    CComRef() = default;
    ~CComRef()
    {
        if (m_p)
            m_p->Release();
    }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Out() { return &m_p; }
    void** OutVoid() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

class CComInit
{
public:
    CComInit() : m_hr(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~CComInit()
    {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CComInit(const CComInit&) = delete;
    CComInit& operator=(const CComInit&) = delete;

    // An apartment of the other kind set up by the caller does as well.
    bool Ok() const { return SUCCEEDED(m_hr) || m_hr == RPC_E_CHANGED_MODE; }

private:
    HRESULT m_hr;
};

// --- The Windows version Wine reports to the program ----------------------------------------------------------

std::wstring FileNameOf(const std::wstring& path)
{
    const size_t iSlash = path.find_last_of(L"\\/");
    return iSlash == std::wstring::npos ? path : path.substr(iSlash + 1);
}

bool ReadStringValue(HKEY hKey, const wchar_t* szName, std::wstring& value)
{
    DWORD dwType = 0;
    DWORD cb = 0;
    if (RegQueryValueExW(hKey, szName, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS || dwType != REG_SZ)
        return false;
    std::wstring buffer(cb / sizeof(wchar_t) + 1, L'\0');
    cb = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (RegQueryValueExW(hKey, szName, nullptr, &dwType, reinterpret_cast<BYTE*>(&buffer[0]), &cb) != ERROR_SUCCESS)
        return false;
    buffer.resize(cb / sizeof(wchar_t));
    while (!buffer.empty() && buffer.back() == L'\0')
        buffer.pop_back();
    value = buffer;
    return true;
}

LSTATUS WriteStringValue(HKEY hKey, const wchar_t* szName, const std::wstring& value)
{
    return RegSetValueExW(hKey, szName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

const wchar_t c_szAppDefaults[] = L"Software\\Wine\\AppDefaults";

// Sets HKCU\Software\Wine\AppDefaults\<exe>\Version for the lifetime of the object, then puts back what was
// there before: the earlier value, or nothing (the key too when this object created it).
class CWineVersionOverride
{
public:
    CWineVersionOverride(const std::wstring& exeName, const std::wstring& version)
    {
        if (version.empty())
            return;
        m_keyPath = c_szAppDefaults + (L"\\" + exeName);
        HKEY hKeyParent = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, c_szAppDefaults, 0, KEY_QUERY_VALUE, &hKeyParent) == ERROR_SUCCESS)
            RegCloseKey(hKeyParent);
        else
            m_fCreatedParent = true;
        HKEY hKey = nullptr;
        DWORD dwDisposition = 0;
        m_error = RegCreateKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &hKey, &dwDisposition);
        if (m_error != ERROR_SUCCESS)
            return;
        m_fCreatedKey = dwDisposition == REG_CREATED_NEW_KEY;
        m_fHadValue = ReadStringValue(hKey, L"Version", m_previous);
        m_error = WriteStringValue(hKey, L"Version", version);
        RegCloseKey(hKey);
        m_fActive = m_error == ERROR_SUCCESS;
        if (!m_fActive)
            Restore();
    }
    ~CWineVersionOverride()
    {
        if (m_fActive)
            Restore();
    }
    CWineVersionOverride(const CWineVersionOverride&) = delete;
    CWineVersionOverride& operator=(const CWineVersionOverride&) = delete;

    LSTATUS Error() const { return m_error; }

private:
    void Restore()
    {
        m_fActive = false;
        if (m_fCreatedKey)
        {
            RegDeleteKeyW(HKEY_CURRENT_USER, m_keyPath.c_str());
            if (m_fCreatedParent)
                RegDeleteKeyW(HKEY_CURRENT_USER, c_szAppDefaults);
            return;
        }
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_keyPath.c_str(), 0, KEY_SET_VALUE, &hKey) != ERROR_SUCCESS)
            return;
        if (m_fHadValue)
            WriteStringValue(hKey, L"Version", m_previous);
        else
            RegDeleteValueW(hKey, L"Version");
        RegCloseKey(hKey);
    }

    std::wstring m_keyPath;
    std::wstring m_previous;
    bool m_fHadValue = false;
    bool m_fCreatedKey = false;
    bool m_fCreatedParent = false;
    bool m_fActive = false;
    LSTATUS m_error = ERROR_SUCCESS;
};

// --- Starting the program ------------------------------------------------------------------------------------

// --- Watching ------------------------------------------------------------------------------------------------

struct CBoxSearch
{
    DWORD pid;
    std::vector<HWND> boxes;
};

BOOL CALLBACK CollectBox(HWND hwnd, LPARAM lParam)
{
    CBoxSearch& search = *reinterpret_cast<CBoxSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == search.pid && IsWindowVisible(hwnd) && IsMessageBoxWindow(hwnd))
        search.boxes.push_back(hwnd);
    return TRUE;
}

// The visible message boxes of the process, the bottom one (usually the oldest) first.
std::vector<HWND> FindBoxes(DWORD pid)
{
    CBoxSearch search = {pid, {}};
    EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&search));
    std::reverse(search.boxes.begin(), search.boxes.end());
    return search.boxes;
}

// The scripted answer when there is one and the box shows it, else the default button.
int ChooseAnswer(HWND hwndBox, const std::vector<int>& answers, size_t& iNextAnswer)
{
    if (iNextAnswer < answers.size())
    {
        const int idAnswer = answers[iNextAnswer++];
        const std::vector<int> buttons = GetMessageBoxButtons(hwndBox);
        if (std::find(buttons.begin(), buttons.end(), idAnswer) != buttons.end())
            return idAnswer;
    }
    int idAnswer = GetMessageBoxDefaultButton(hwndBox);
    if (!idAnswer)
    {
        const std::vector<int> buttons = GetMessageBoxButtons(hwndBox);
        if (!buttons.empty())
            idAnswer = buttons.front();
    }
    return idAnswer;
}

// A shown top-level window of the process with that caption, or null.
HWND FindShownWindow(DWORD pid, const std::wstring& caption)
{
    for (HWND hwnd = FindWindowExW(nullptr, nullptr, nullptr, caption.c_str()); hwnd;
         hwnd = FindWindowExW(nullptr, hwnd, nullptr, caption.c_str()))
    {
        DWORD dwOwner = 0;
        GetWindowThreadProcessId(hwnd, &dwOwner);
        if (dwOwner == pid && IsWindowVisible(hwnd))
            return hwnd;
    }
    return nullptr;
}

void Watch(const CLaunchOptions& options, const PROCESS_INFORMATION& pi, CLaunchResult& result)
{
    const ULONGLONG start = GetTickCount64();
    const bool fCloseWindow = !options.closeWindowCaption.empty();
    ULONGLONG windowShownAt = 0;
    bool fScreenshotDue = !options.screenshotPath.empty();
    size_t iNextAnswer = 0;
    std::vector<HWND> seen; // boxes recorded and answered, while they exist

    auto takeScreenshot = [&]() {
        fScreenshotDue = false;
        result.screenshotTaken = SaveScreenshot(options.screenshotPath);
    };

    while (WaitForSingleObject(pi.hProcess, c_msPoll) == WAIT_TIMEOUT)
    {
        seen.erase(std::remove_if(seen.begin(), seen.end(), [](HWND hwnd) { return !IsWindow(hwnd); }), seen.end());
        for (HWND hwndBox : FindBoxes(pi.dwProcessId))
        {
            if (std::find(seen.begin(), seen.end(), hwndBox) != seen.end())
                continue;
            CBoxRecord rec;
            if (!ReadMessageBox(hwndBox, rec))
                continue;
            seen.push_back(hwndBox);
            // Reading waited for the box to be painted: the screenshot shows it.
            if (fScreenshotDue)
                takeScreenshot();
            const int idAnswer = ChooseAnswer(hwndBox, options.answers, iNextAnswer);
            if (idAnswer && AnswerMessageBox(hwndBox, idAnswer))
                rec.answer = idAnswer;
            result.boxes.push_back(rec);
        }

        if (fCloseWindow && !result.windowClosed)
        {
            const HWND hwnd = FindShownWindow(pi.dwProcessId, options.closeWindowCaption);
            if (hwnd && !windowShownAt)
                windowShownAt = GetTickCount64();
            else if (hwnd && GetTickCount64() - windowShownAt >= c_msWindowPainted)
            {
                if (fScreenshotDue)
                    takeScreenshot();
                result.windowClosed = PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0) != FALSE;
            }
        }

        const ULONGLONG elapsed = GetTickCount64() - start;
        if (fScreenshotDue && !fCloseWindow && elapsed >= options.screenshotDelayMs &&
            WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT)
            takeScreenshot();
        if (elapsed >= options.timeoutMs)
        {
            result.timedOut = true;
            TerminateProcess(pi.hProcess, c_exitCodeTimedOut);
            WaitForSingleObject(pi.hProcess, 10000);
            break;
        }
    }
    DWORD dwExitCode = 0;
    if (GetExitCodeProcess(pi.hProcess, &dwExitCode))
        result.exitCode = dwExitCode;
}

// Wine reports a start whose new process died in Wine's own loader, before the server heard from it and so
// before the program's first instruction, as ERROR_INTERNAL_ERROR. It is rare (one start in several whole test
// runs) and passes; the program has not run, so starting it again tells nothing false about it.
const int c_cStartTries = 3;

DWORD StartProcess(std::vector<wchar_t>& commandLine, std::vector<wchar_t>& environment,
                   const std::wstring& workingDirectory, PROCESS_INFORMATION& pi)
{
    DWORD dwError = ERROR_SUCCESS;
    for (int iTry = 1; iTry <= c_cStartTries; ++iTry)
    {
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                           environment.empty() ? nullptr : environment.data(),
                           workingDirectory.empty() ? nullptr : workingDirectory.c_str(), &si, &pi))
            return ERROR_SUCCESS;
        dwError = GetLastError();
        if (dwError != ERROR_INTERNAL_ERROR)
            break;
        fwprintf(stderr, L"driver: start %d of %ls died in Wine's loader (error %lu)\n", iTry, commandLine.data(),
                 dwError);
        if (iTry < c_cStartTries)
            Sleep(100);
    }
    return dwError;
}
} // namespace

bool RunAndWatch(const CLaunchOptions& options, CLaunchResult& result)
{
    result = CLaunchResult();

    CWineVersionOverride version(FileNameOf(options.exePath), options.windowsVersion);
    if (version.Error() != ERROR_SUCCESS)
    {
        result.startError = static_cast<DWORD>(version.Error());
        return false;
    }

    std::wstring commandLine = L"\"" + options.exePath + L"\"";
    if (!options.arguments.empty())
        commandLine += L" " + options.arguments;
    std::vector<wchar_t> commandLineBuffer(commandLine.begin(), commandLine.end());
    commandLineBuffer.push_back(L'\0');

    std::vector<wchar_t> environment;
    if (!options.environment.empty())
        environment = BuildEnvironmentBlock(options.environment);

    PROCESS_INFORMATION pi = {};
    result.startError = StartProcess(commandLineBuffer, environment, options.workingDirectory, pi);
    if (result.startError != ERROR_SUCCESS)
        return false;
    result.started = true;
    CloseHandle(pi.hThread);
    Watch(options, pi, result);
    CloseHandle(pi.hProcess);
    return !result.timedOut;
}

std::wstring UnixToWindowsPath(const std::string& unixPath)
{
    std::wstring path;
    if (!unixPath.empty())
    {
        const int cch = MultiByteToWideChar(CP_UTF8, 0, unixPath.data(), static_cast<int>(unixPath.size()), nullptr, 0);
        path.resize(static_cast<size_t>(cch));
        if (cch > 0)
            MultiByteToWideChar(CP_UTF8, 0, unixPath.data(), static_cast<int>(unixPath.size()), &path[0], cch);
    }
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return L"Z:" + path;
}

bool SaveScreenshot(const std::wstring& path)
{
    const int x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int cx = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int cy = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (cx <= 0 || cy <= 0)
        return false;

    // The screen has no alpha: make every pixel opaque.
    std::vector<DWORD> pixels;
    if (!CaptureScreenPixels(RECT{x, y, x + cx, y + cy}, pixels))
        return false;
    for (DWORD& pixel : pixels)
        pixel |= 0xFF000000;

    CComInit com;
    if (!com.Ok())
        return false;
    CComRef<IWICImagingFactory> factory;
    CComRef<IWICBitmap> bitmap;
    CComRef<IWICStream> stream;
    CComRef<IWICBitmapEncoder> encoder;
    CComRef<IWICBitmapFrameEncode> frame;
    CComRef<IPropertyBag2> properties;
    const UINT stride = static_cast<UINT>(cx) * 4;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                  factory.OutVoid());
    if (SUCCEEDED(hr))
        hr = factory->CreateBitmapFromMemory(static_cast<UINT>(cx), static_cast<UINT>(cy), GUID_WICPixelFormat32bppBGRA,
                                             stride, static_cast<UINT>(pixels.size() * sizeof(DWORD)),
                                             reinterpret_cast<BYTE*>(pixels.data()), bitmap.Out());
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.Out());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.Out(), properties.Out());
    if (SUCCEEDED(hr))
        hr = frame->Initialize(properties.Get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(static_cast<UINT>(cx), static_cast<UINT>(cy));
    if (SUCCEEDED(hr))
    {
        WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
        hr = frame->SetPixelFormat(&format);
    }
    // WriteSource converts to whatever format the encoder settled on.
    if (SUCCEEDED(hr))
        hr = frame->WriteSource(bitmap.Get(), nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return SUCCEEDED(hr);
}

#include "launcher/report.h"

#include "common/variant.h"

HWND g_hwndSplash = nullptr;

HWND GetSplashWindow()
{
    return (g_hwndSplash && IsWindow(g_hwndSplash)) ? g_hwndSplash : nullptr;
}

void ReportComError(_com_error error, const CBstr& bsMessage)
{
    CBstr bsText = bsMessage;
    bsText += L"\n";
    bsText += error.ErrorMessage();
    CBstr bsDescription = error.Description();
    if (bsDescription.Length() > 0)
    {
        bsText += L"\n";
        bsText += bsDescription;
    }
    MessageBoxW(GetSplashWindow(), bsText.c_str(), c_szReportCaption, MB_OK | MB_ICONERROR);
}

void ReportHresult(HRESULT hr, CComPtrT<IErrorInfo> oErrorInfo, const CBstr& bsMessage)
{
    ReportComError(_com_error(hr, oErrorInfo.Get(), true), bsMessage);
}

CBstr FormatWin32Message(DWORD dwError)
{
    // The system writes nothing for a code it has no text for, and refuses texts with insert sequences
    // (none are supplied): the system part is then empty.
    const DWORD cchBuffer = 4096;
    wchar_t szBuffer[cchBuffer];
    szBuffer[0] = L'\0';
    const DWORD cchWritten = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, dwError, 0, szBuffer, cchBuffer, nullptr);
    szBuffer[cchWritten < cchBuffer ? cchWritten : cchBuffer - 1] = L'\0';

    CVariant vtCode(static_cast<ULONG>(dwError));
    return CBstr(szBuffer) + L" (" + vtCode.ToBstr() + L")";
}

void ReportWin32Error(DWORD dwError, const CBstr& bsMessage)
{
    CBstr bsText = bsMessage + L" " + FormatWin32Message(dwError);
    MessageBoxW(GetSplashWindow(), bsText.c_str(), c_szReportCaption, MB_OK | MB_ICONERROR);
}

// Putting failures in front of the user: one modal error box per failing step, owned by the splash window
// while it exists.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "common/bstr.h"
#include "common/com_error.h"
#include "common/com_ptr.h"

// Caption of every report box.
inline constexpr const wchar_t c_szReportCaption[] = L"Lumenix \u2013 Loading";

// The splash window slot: written once by the splash screen when it creates its window, read only through
// GetSplashWindow.
extern HWND g_hwndSplash;

// The splash window while it still exists, else null: the owner of every box.
HWND GetSplashWindow();

// The step's message, a line feed, the error's system text and, when there is one, a line feed and the
// description of its error information.
void ReportComError(_com_error error, const CBstr& bsMessage);

// ReportComError for hr and the error information in oErrorInfo (possibly empty).
void ReportHresult(HRESULT hr, CComPtrT<IErrorInfo> oErrorInfo, const CBstr& bsMessage);

// The step's message, a blank, and FormatWin32Message of dwError.
void ReportWin32Error(DWORD dwError, const CBstr& bsMessage);

// The system's text for a Win32 error code as the system wrote it, then " (code)".
CBstr FormatWin32Message(DWORD dwError);

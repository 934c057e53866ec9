// The exception forms that the launch sequence accepts at its boundary.
#pragma once

#include <windows.h>

// Carries the HRESULT of a failure. Caught by reference.
class CHresultException
{
public:
    explicit CHresultException(HRESULT hr) noexcept : m_hr(hr) {}
    HRESULT GetHresult() const noexcept { return m_hr; }

private:
    HRESULT m_hr;
};

// A Win32 error code as an HRESULT: 0 or less passes unchanged.
inline HRESULT HresultFromWin32(DWORD dwError) noexcept
{
    const HRESULT hr = static_cast<HRESULT>(dwError);
    return hr <= 0 ? hr : static_cast<HRESULT>((dwError & 0x0000FFFF) | 0x80070000);
}

// The calling thread's last error as an HRESULT. A call that failed without setting one still fails.
inline HRESULT LastErrorResult() noexcept
{
    const HRESULT hr = HresultFromWin32(GetLastError());
    return FAILED(hr) ? hr : E_FAIL;
}

// The error object raised by the COM support wrappers: an HRESULT, the error information that came with
// it, and the system's text for the code, produced on first use.
#pragma once

#include <windows.h>
#include <oaidl.h>

class CBstr;

class _com_error
{
public:
    // Takes over one reference to perrinfo, or adds its own when fAddRef is true.
    explicit _com_error(HRESULT hr, IErrorInfo* perrinfo = nullptr, bool fAddRef = false) noexcept;
    _com_error(const _com_error& that) noexcept;
    _com_error& operator=(const _com_error& that) noexcept;
    ~_com_error();

    HRESULT Error() const noexcept { return m_hresult; }
    // The error information without a reference of the caller's own; may be null.
    IErrorInfo* ErrorInfo() const noexcept { return m_perrinfo; }
    // The system's text for the HRESULT, computed once and cached; null only when memory ran out.
    const wchar_t* ErrorMessage() const noexcept;
    // IErrorInfo::GetDescription, or an empty string when there is no error information.
    CBstr Description() const;

private:
    HRESULT m_hresult;
    IErrorInfo* m_perrinfo;
    mutable wchar_t* m_pszMsg;
};

// Raise a _com_error for hr, without error information.
[[noreturn]] void IssueComError(HRESULT hr);

// Raise a _com_error for a failed call on punk through riid, carrying the thread's error information when
// the object says (ISupportErrorInfo) that it supports error information for that interface.
[[noreturn]] void IssueComErrorEx(HRESULT hr, IUnknown* punk, REFIID riid);

#include "common/com_error.h"

#include <strsafe.h>

#include <utility>

#include "common/bstr.h"

_com_error::_com_error(HRESULT hr, IErrorInfo* perrinfo, bool fAddRef) noexcept
    : m_hresult(hr), m_perrinfo(perrinfo), m_pszMsg(nullptr)
{
    if (m_perrinfo && fAddRef)
        m_perrinfo->AddRef();
}

_com_error::_com_error(const _com_error& that) noexcept
    : m_hresult(that.m_hresult), m_perrinfo(that.m_perrinfo), m_pszMsg(nullptr)
{
    if (m_perrinfo)
        m_perrinfo->AddRef();
}

_com_error& _com_error::operator=(const _com_error& that) noexcept
{
    if (this != &that)
    {
        _com_error copy(that);
        std::swap(m_hresult, copy.m_hresult);
        std::swap(m_perrinfo, copy.m_perrinfo);
        std::swap(m_pszMsg, copy.m_pszMsg);
    }
    return *this;
}

_com_error::~_com_error()
{
    if (m_perrinfo)
        m_perrinfo->Release();
    if (m_pszMsg)
        LocalFree(m_pszMsg);
}

const wchar_t* _com_error::ErrorMessage() const noexcept
{
    if (m_pszMsg)
        return m_pszMsg;

    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(m_hresult), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<wchar_t*>(&m_pszMsg), 0, nullptr);
    if (m_pszMsg)
    {
        // Only one trailing line break goes.
        int n = lstrlenW(m_pszMsg);
        if (n > 1 && m_pszMsg[n - 1] == L'\n')
        {
            m_pszMsg[n - 1] = L'\0';
            if (m_pszMsg[n - 2] == L'\r')
                m_pszMsg[n - 2] = L'\0';
        }
        return m_pszMsg;
    }

    const size_t cchMsg = 32;
    m_pszMsg = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, cchMsg * sizeof(wchar_t)));
    if (!m_pszMsg)
        return nullptr;
    const HRESULT hrDispatchFirst = static_cast<HRESULT>(0x80040200);
    const HRESULT hrDispatchLast = static_cast<HRESULT>(0x8004FFFF);
    if (m_hresult >= hrDispatchFirst && m_hresult <= hrDispatchLast)
    {
        const WORD wCode = static_cast<WORD>(static_cast<DWORD>(m_hresult) - 0x80040200u);
        StringCchPrintfW(m_pszMsg, cchMsg, L"IDispatch error #%d", static_cast<int>(wCode));
    }
    else
    {
        StringCchPrintfW(m_pszMsg, cchMsg, L"Unknown error 0x%0lX", static_cast<unsigned long>(m_hresult));
    }
    return m_pszMsg;
}

CBstr _com_error::Description() const
{
    CBstr bsDescription;
    if (m_perrinfo)
    {
        BSTR bstr = nullptr;
        if (SUCCEEDED(m_perrinfo->GetDescription(&bstr)))
            bsDescription.Attach(bstr);
        else if (bstr)
            SysFreeString(bstr);
    }
    return bsDescription;
}

void IssueComError(HRESULT hr)
{
    throw _com_error(hr);
}

void IssueComErrorEx(HRESULT hr, IUnknown* punk, REFIID riid)
{
    IErrorInfo* perrinfo = nullptr;
    ISupportErrorInfo* psei = nullptr;
    if (punk && SUCCEEDED(punk->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&psei))) && psei)
    {
        if (psei->InterfaceSupportsErrorInfo(riid) == S_OK)
        {
            if (GetErrorInfo(0, &perrinfo) != S_OK)
                perrinfo = nullptr;
        }
        psei->Release();
    }
    throw _com_error(hr, perrinfo);
}

#include "common/bstr.h"

#include <new>

#include "common/com_error.h"

CBstr::CData* CBstr::CreateData(BSTR bstr)
{
    CData* pData = new (std::nothrow) CData{bstr, 1};
    if (!pData)
    {
        SysFreeString(bstr);
        IssueComError(E_OUTOFMEMORY);
    }
    return pData;
}

CBstr::CBstr(const wchar_t* psz)
{
    if (!psz)
        return;
    BSTR bstr = SysAllocString(psz);
    if (!bstr)
        IssueComError(E_OUTOFMEMORY);
    m_pData = CreateData(bstr);
}

CBstr::CBstr(const wchar_t* pch, unsigned int cch)
{
    BSTR bstr = SysAllocStringLen(pch, cch);
    if (!bstr)
        IssueComError(E_OUTOFMEMORY);
    m_pData = CreateData(bstr);
}

CBstr::CBstr(const CBstr& that) noexcept : m_pData(that.m_pData)
{
    if (m_pData)
        InterlockedIncrement(&m_pData->cRefs);
}

CBstr::CBstr(CBstr&& that) noexcept : m_pData(that.m_pData)
{
    that.m_pData = nullptr;
}

CBstr& CBstr::operator=(const CBstr& that) noexcept
{
    if (m_pData != that.m_pData)
    {
        if (that.m_pData)
            InterlockedIncrement(&that.m_pData->cRefs);
        Release();
        m_pData = that.m_pData;
    }
    return *this;
}

CBstr& CBstr::operator=(CBstr&& that) noexcept
{
    if (this != &that)
    {
        Release();
        m_pData = that.m_pData;
        that.m_pData = nullptr;
    }
    return *this;
}

CBstr::~CBstr()
{
    Release();
}

void CBstr::Release() noexcept
{
    if (m_pData && InterlockedDecrement(&m_pData->cRefs) == 0)
    {
        SysFreeString(m_pData->bstr);
        delete m_pData;
    }
    m_pData = nullptr;
}

CBstr& CBstr::operator+=(const CBstr& that)
{
    *this = *this + that;
    return *this;
}

CBstr operator+(const CBstr& left, const CBstr& right)
{
    const unsigned int cchLeft = left.Length();
    const unsigned int cchRight = right.Length();
    if (!left.m_pData && !right.m_pData)
        return CBstr();
    const unsigned long long cchTotal = static_cast<unsigned long long>(cchLeft) + cchRight;
    if (cchTotal > 0x3FFFFFFFu)
        IssueComError(E_OUTOFMEMORY);
    BSTR bstr = SysAllocStringLen(nullptr, static_cast<UINT>(cchTotal));
    if (!bstr)
        IssueComError(E_OUTOFMEMORY);
    if (cchLeft)
        CopyMemory(bstr, left.c_str(), cchLeft * sizeof(wchar_t));
    if (cchRight)
        CopyMemory(bstr + cchLeft, right.c_str(), cchRight * sizeof(wchar_t));
    CBstr result;
    result.Attach(bstr);
    return result;
}

CBstr operator+(const wchar_t* left, const CBstr& right)
{
    return CBstr(left) + right;
}

CBstr operator+(const CBstr& left, const wchar_t* right)
{
    return left + CBstr(right);
}

bool operator==(const CBstr& left, const CBstr& right) noexcept
{
    const unsigned int cch = left.Length();
    return cch == right.Length() && (cch == 0 || memcmp(left.c_str(), right.c_str(), cch * sizeof(wchar_t)) == 0);
}

const wchar_t* CBstr::c_str() const noexcept
{
    return (m_pData && m_pData->bstr) ? m_pData->bstr : L"";
}

BSTR CBstr::GetBSTR() const noexcept
{
    return m_pData ? m_pData->bstr : nullptr;
}

unsigned int CBstr::Length() const noexcept
{
    return m_pData ? SysStringLen(m_pData->bstr) : 0;
}

void CBstr::Attach(BSTR bstr)
{
    Release();
    if (bstr)
        m_pData = CreateData(bstr);
}

BSTR* CBstr::GetAddress()
{
    Release();
    m_pData = CreateData(nullptr);
    return &m_pData->bstr;
}

// COM objects for tests that count their references and say which of their methods answered.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// An IErrorInfo with a fixed description that counts its references.
class CCountingErrorInfo : public IErrorInfo
{
public:
    explicit CCountingErrorInfo(const wchar_t* pszDescription = L"") : m_description(pszDescription) {}

    LONG RefCount() const { return m_cRefs; }
    int DescriptionCalls() const { return m_cDescriptionCalls; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
        {
            *ppv = static_cast<IErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        return m_hrQueryFailure;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_cRefs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--m_cRefs); }

    STDMETHODIMP GetGUID(GUID* pguid) override
    {
        *pguid = GUID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* pbstr) override
    {
        *pbstr = SysAllocString(L"Test");
        return S_OK;
    }
    STDMETHODIMP GetDescription(BSTR* pbstr) override
    {
        ++m_cDescriptionCalls;
        *pbstr = SysAllocString(m_description.c_str());
        return S_OK;
    }
    STDMETHODIMP GetHelpFile(BSTR* pbstr) override
    {
        *pbstr = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetHelpContext(DWORD* pdw) override
    {
        *pdw = 0;
        return S_OK;
    }

    // What QueryInterface answers for interfaces the object does not have.
    HRESULT m_hrQueryFailure = E_NOINTERFACE;

private:
    std::wstring m_description;
    LONG m_cRefs = 1;
    int m_cDescriptionCalls = 0;
};

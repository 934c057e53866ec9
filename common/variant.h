// A VARIANT that clears itself on scope exit. ChangeType raises _com_error when the conversion fails.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "common/bstr.h"
#include "common/com_error.h"

class CVariant : public VARIANT
{
public:
    CVariant() noexcept { VariantInit(this); }

    explicit CVariant(ULONG ul) noexcept
    {
        VariantInit(this);
        vt = VT_UI4;
        ulVal = ul;
    }

    explicit CVariant(const CBstr& bs)
    {
        VariantInit(this);
        bstrVal = SysAllocStringLen(bs.c_str(), bs.Length());
        if (!bstrVal)
            IssueComError(E_OUTOFMEMORY);
        vt = VT_BSTR;
    }

    CVariant(const CVariant&) = delete;
    CVariant& operator=(const CVariant&) = delete;

    ~CVariant() { VariantClear(this); }

    void Clear()
    {
        const HRESULT hr = VariantClear(this);
        if (FAILED(hr))
            IssueComError(hr);
    }

    // Converts in place (or from pvarSrc into this variant).
    void ChangeType(VARTYPE vartype, const VARIANT* pvarSrc = nullptr)
    {
        if (!pvarSrc)
            pvarSrc = this;
        if (pvarSrc != this || vartype != V_VT(this))
        {
            // Some SDKs declare the source without const; it is only read.
            const HRESULT hr = VariantChangeType(this, const_cast<VARIANT*>(pvarSrc), 0, vartype);
            if (FAILED(hr))
                IssueComError(hr);
        }
    }

    // This variant as a string (converted into a copy; the variant itself is left as it is).
    CBstr ToBstr() const
    {
        CVariant vtText;
        vtText.ChangeType(VT_BSTR, this);
        BSTR bstr = vtText.bstrVal;
        vtText.vt = VT_EMPTY;
        CBstr bs;
        bs.Attach(bstr);
        return bs;
    }
};

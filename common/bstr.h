// A reference-counted wide string over a BSTR. Copies share one BSTR; a null string reads as empty.
// Allocation failures raise _com_error with E_OUTOFMEMORY.
#pragma once

#include <windows.h>
#include <oleauto.h>

class CBstr
{
public:
    CBstr() noexcept = default;
    CBstr(const wchar_t* psz);
    CBstr(const wchar_t* pch, unsigned int cch);
    CBstr(const CBstr& that) noexcept;
    CBstr(CBstr&& that) noexcept;
    CBstr& operator=(const CBstr& that) noexcept;
    CBstr& operator=(CBstr&& that) noexcept;
    ~CBstr();

    CBstr& operator+=(const CBstr& that);
    friend CBstr operator+(const CBstr& left, const CBstr& right);
    friend CBstr operator+(const wchar_t* left, const CBstr& right);
    friend CBstr operator+(const CBstr& left, const wchar_t* right);
    friend bool operator==(const CBstr& left, const CBstr& right) noexcept;
    friend bool operator!=(const CBstr& left, const CBstr& right) noexcept { return !(left == right); }

    // Never null: a null string reads as L"".
    const wchar_t* c_str() const noexcept;
    // The shared BSTR itself, for [in] BSTR arguments; null for a null string.
    BSTR GetBSTR() const noexcept;
    unsigned int Length() const noexcept;
    bool IsEmpty() const noexcept { return Length() == 0; }

    // Takes over bstr without copying it.
    void Attach(BSTR bstr);
    // Empties the string and hands out the address of its BSTR for an [out] argument.
    BSTR* GetAddress();

private:
    struct CData
    {
        BSTR bstr;
        LONG cRefs;
    };

    void Release() noexcept;
    static CData* CreateData(BSTR bstr);

    CData* m_pData = nullptr;
};

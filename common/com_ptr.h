// Holds one COM interface reference and releases it on scope exit.
// Converting from another interface queries the object: E_NOINTERFACE leaves the pointer empty, any other
// failure raises _com_error. Dereferencing an empty pointer raises _com_error with E_POINTER.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "common/com_error.h"

template <class T>
class CComPtrT
{
public:
    CComPtrT() noexcept = default;
    CComPtrT(std::nullptr_t) noexcept {}

    // Shares p: takes a reference of its own.
    explicit CComPtrT(T* p) noexcept : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }

    CComPtrT(const CComPtrT& that) noexcept : CComPtrT(that.m_p) {}
    CComPtrT(CComPtrT&& that) noexcept : m_p(that.m_p) { that.m_p = nullptr; }

    // Queries another interface of the same object.
    template <class U>
    explicit CComPtrT(const CComPtrT<U>& that) { QueryFrom(that.Get()); }

    CComPtrT& operator=(const CComPtrT& that) noexcept
    {
        CComPtrT copy(that);
        Swap(copy);
        return *this;
    }

    CComPtrT& operator=(CComPtrT&& that) noexcept
    {
        CComPtrT moved(static_cast<CComPtrT&&>(that));
        Swap(moved);
        return *this;
    }

    ~CComPtrT() { Release(); }

    // Replaces the held reference by the interface T of punk (null stays empty).
    void QueryFrom(IUnknown* punk)
    {
        Release();
        if (!punk)
            return;
        T* p = nullptr;
        const HRESULT hr = punk->QueryInterface(__uuidof(T), reinterpret_cast<void**>(&p));
        if (hr == E_NOINTERFACE)
            return;
        if (FAILED(hr))
            IssueComError(hr);
        m_p = p;
    }

    // Takes over a reference that the caller owns.
    void Attach(T* p) noexcept
    {
        Release();
        m_p = p;
    }

    T* Detach() noexcept
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }

    void Release() noexcept
    {
        if (m_p)
        {
            T* p = m_p;
            m_p = nullptr;
            p->Release();
        }
    }

    // Empties the pointer and hands out its address for an [out] argument.
    T** GetAddressOf() noexcept
    {
        Release();
        return &m_p;
    }

    void** GetVoidAddressOf() noexcept { return reinterpret_cast<void**>(GetAddressOf()); }

    T* Get() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    T* operator->() const
    {
        if (!m_p)
            IssueComError(E_POINTER);
        return m_p;
    }

    T& operator*() const
    {
        if (!m_p)
            IssueComError(E_POINTER);
        return *m_p;
    }

    HRESULT CreateInstance(REFCLSID clsid, DWORD dwClsContext = CLSCTX_ALL) noexcept
    {
        Release();
        return CoCreateInstance(clsid, nullptr, dwClsContext, __uuidof(T), GetVoidAddressOf());
    }

    void Swap(CComPtrT& that) noexcept
    {
        T* p = m_p;
        m_p = that.m_p;
        that.m_p = p;
    }

private:
    T* m_p = nullptr;
};

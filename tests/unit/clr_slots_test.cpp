// Every hosting method the launcher calls sits at the slot the published interfaces give it: each is called
// here through its raw slot number on an object that says which of its methods answered. And every class and
// interface identifier the launcher uses is the published one.
#include <gtest/gtest.h>

#include <string>

#include "clrhost/clr_interfaces.h"
#include "unit/clr_stub_slots.h"

namespace
{
std::wstring g_answered;

template <class I>
class CSlotObject : public I
{
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
};

template <class I>
class CDispatchSlotObject : public CSlotObject<I>
{
public:
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return E_NOTIMPL;
    }
};

#define LX_WIDEN2(text) L##text
#define LX_WIDEN(text) LX_WIDEN2(text)
#define LX_ANSWER(name)                \
    g_answered = LX_WIDEN(#name);      \
    return S_OK

class CMetaHost : public CSlotObject<ICLRMetaHost>
{
public:
    STDMETHODIMP GetRuntime(LPCWSTR, REFIID, LPVOID*) override { LX_ANSWER(GetRuntime); }
    STDMETHODIMP GetVersionFromFile(LPCWSTR, LPWSTR, DWORD*) override { LX_ANSWER(GetVersionFromFile); }
    STDMETHODIMP EnumerateInstalledRuntimes(IEnumUnknown**) override { LX_ANSWER(EnumerateInstalledRuntimes); }
    STDMETHODIMP EnumerateLoadedRuntimes(HANDLE, IEnumUnknown**) override { LX_ANSWER(EnumerateLoadedRuntimes); }
    LX_STUB_UNUSED_ICLRMETAHOST
};

class CRuntimeInfo : public CSlotObject<ICLRRuntimeInfo>
{
public:
    STDMETHODIMP GetVersionString(LPWSTR, DWORD*) override { LX_ANSWER(GetVersionString); }
    STDMETHODIMP GetRuntimeDirectory(LPWSTR, DWORD*) override { LX_ANSWER(GetRuntimeDirectory); }
    STDMETHODIMP IsLoaded(HANDLE, BOOL*) override { LX_ANSWER(IsLoaded); }
    STDMETHODIMP GetInterface(REFCLSID, REFIID, LPVOID*) override { LX_ANSWER(GetInterface); }
    STDMETHODIMP IsLoadable(BOOL*) override { LX_ANSWER(IsLoadable); }
    LX_STUB_UNUSED_ICLRRUNTIMEINFO
};

class CRuntimeHost : public CSlotObject<ICorRuntimeHost>
{
public:
    STDMETHODIMP Start() override { LX_ANSWER(Start); }
    STDMETHODIMP Stop() override { LX_ANSWER(Stop); }
    STDMETHODIMP CreateDomain(LPCWSTR, IUnknown*, IUnknown**) override { LX_ANSWER(CreateDomain); }
    STDMETHODIMP GetDefaultDomain(IUnknown**) override { LX_ANSWER(GetDefaultDomain); }
    STDMETHODIMP CreateDomainEx(LPCWSTR, IUnknown*, IUnknown*, IUnknown**) override { LX_ANSWER(CreateDomainEx); }
    STDMETHODIMP CreateDomainSetup(IUnknown**) override { LX_ANSWER(CreateDomainSetup); }
    LX_STUB_UNUSED_ICORRUNTIMEHOST
};

class CSetup : public CSlotObject<IAppDomainSetup>
{
public:
    STDMETHODIMP get_ApplicationBase(BSTR*) override { LX_ANSWER(get_ApplicationBase); }
    STDMETHODIMP put_ApplicationBase(BSTR) override { LX_ANSWER(put_ApplicationBase); }
    STDMETHODIMP get_ApplicationName(BSTR*) override { LX_ANSWER(get_ApplicationName); }
    STDMETHODIMP put_ApplicationName(BSTR) override { LX_ANSWER(put_ApplicationName); }
    LX_STUB_UNUSED_IAPPDOMAINSETUP
};

class CAppDomain : public CDispatchSlotObject<_AppDomain>
{
public:
    STDMETHODIMP Load_2(BSTR, _Assembly**) override { LX_ANSWER(Load_2); }
    LX_STUB_UNUSED_APPDOMAIN
};

class CAssembly : public CDispatchSlotObject<_Assembly>
{
public:
    STDMETHODIMP GetType_3(BSTR, VARIANT_BOOL, _Type**) override { LX_ANSWER(GetType_3); }
    LX_STUB_UNUSED_ASSEMBLY
};

VARIANT g_vtTargetSeen;
class CType : public CDispatchSlotObject<_Type>
{
public:
    STDMETHODIMP InvokeMember_3(BSTR, BindingFlags invokeAttr, _Binder*, VARIANT target, SAFEARRAY*, VARIANT*) override
    {
        g_vtTargetSeen = target;
        g_answered = invokeAttr == 280 ? L"InvokeMember_3" : L"InvokeMember_3 with other flags";
        return S_OK;
    }
    LX_STUB_UNUSED_TYPE
};

template <class... Args>
std::wstring CallSlot(void* pObject, int slot, Args... args)
{
    g_answered.clear();
    using PFN = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
    PFN pfn = reinterpret_cast<PFN>((*reinterpret_cast<void***>(pObject))[slot]);
    EXPECT_EQ(S_OK, pfn(pObject, args...));
    return g_answered;
}
} // namespace

TEST(ClrSlots, HostingMethodsAnswerAtTheirPublishedSlots)
{
    CMetaHost metaHost;
    EXPECT_EQ(L"EnumerateInstalledRuntimes",
              CallSlot(static_cast<ICLRMetaHost*>(&metaHost), 5,
                       static_cast<IEnumUnknown**>(nullptr)));

    CRuntimeInfo runtimeInfo;
    EXPECT_EQ(L"GetVersionString", CallSlot(static_cast<ICLRRuntimeInfo*>(&runtimeInfo), 3,
                                            static_cast<LPWSTR>(nullptr), static_cast<DWORD*>(nullptr)));
    EXPECT_EQ(L"GetInterface", CallSlot(static_cast<ICLRRuntimeInfo*>(&runtimeInfo), 9, &CLSID_CorRuntimeHost,
                                        &__uuidof(ICorRuntimeHost), static_cast<void**>(nullptr)));
}

TEST(ClrSlots, RuntimeHostMethodsAnswerAtTheirPublishedSlots)
{
    CRuntimeHost host;
    ICorRuntimeHost* p = &host;
    EXPECT_EQ(L"Start", CallSlot(p, 10));
    EXPECT_EQ(L"Stop", CallSlot(p, 11));
    EXPECT_EQ(L"GetDefaultDomain", CallSlot(p, 13, static_cast<IUnknown**>(nullptr)));
    EXPECT_EQ(L"CreateDomainEx", CallSlot(p, 17, L"Entryway", static_cast<IUnknown*>(nullptr),
                                          static_cast<IUnknown*>(nullptr), static_cast<IUnknown**>(nullptr)));
    EXPECT_EQ(L"CreateDomainSetup", CallSlot(p, 18, static_cast<IUnknown**>(nullptr)));
}

TEST(ClrSlots, ManagedObjectMethodsAnswerAtTheirPublishedSlots)
{
    CSetup setup;
    EXPECT_EQ(L"put_ApplicationBase", CallSlot(static_cast<IAppDomainSetup*>(&setup), 4, static_cast<BSTR>(nullptr)));
    EXPECT_EQ(L"put_ApplicationName", CallSlot(static_cast<IAppDomainSetup*>(&setup), 6, static_cast<BSTR>(nullptr)));

    CAppDomain appDomain;
    EXPECT_EQ(L"Load_2", CallSlot(static_cast<_AppDomain*>(&appDomain), 44, static_cast<BSTR>(nullptr),
                                  static_cast<_Assembly**>(nullptr)));
    CAssembly assembly;
    EXPECT_EQ(L"GetType_3", CallSlot(static_cast<_Assembly*>(&assembly), 18, static_cast<BSTR>(nullptr),
                                     static_cast<VARIANT_BOOL>(1), static_cast<_Type**>(nullptr)));

    // The VARIANT target travels by hidden reference, as every Windows compiler passes a 24-byte struct.
    CType type;
    VARIANT vtTarget;
    VariantInit(&vtTarget);
    vtTarget.vt = VT_I4;
    vtTarget.lVal = 4242;
    EXPECT_EQ(L"InvokeMember_3",
              CallSlot(static_cast<_Type*>(&type), 57, static_cast<BSTR>(nullptr), static_cast<BindingFlags>(280),
                       static_cast<_Binder*>(nullptr), &vtTarget, static_cast<SAFEARRAY*>(nullptr),
                       static_cast<VARIANT*>(nullptr)));
    EXPECT_EQ(VT_I4, g_vtTargetSeen.vt);
    EXPECT_EQ(4242, g_vtTargetSeen.lVal);
}

namespace
{
GUID GuidFromText(const wchar_t* pszText)
{
    GUID guid = {};
    EXPECT_EQ(S_OK, CLSIDFromString(pszText, &guid)) << "not a GUID";
    return guid;
}
} // namespace

// The published text forms, written out: a wrong digit in the launcher's declarations shows here, while the
// stand-in, built from the same declarations, would accept it.
TEST(ClrIdentifiers, AreThePublishedOnes)
{
    EXPECT_TRUE(GuidFromText(L"{9280188D-0E8E-4867-B30C-7FA83884E8DE}") == CLSID_CLRMetaHost);
    EXPECT_TRUE(GuidFromText(L"{CB2F6723-AB3A-11D2-9C40-00C04FA30A3E}") == CLSID_CorRuntimeHost);
    EXPECT_TRUE(GuidFromText(L"{D332DB9E-B9B3-4125-8207-A14884F53216}") == __uuidof(ICLRMetaHost));
    EXPECT_TRUE(GuidFromText(L"{BD39D1D2-BA2F-486A-89B0-B4B0CB466891}") == __uuidof(ICLRRuntimeInfo));
    EXPECT_TRUE(GuidFromText(L"{CB2F6722-AB3A-11D2-9C40-00C04FA30A3E}") == __uuidof(ICorRuntimeHost));
    EXPECT_TRUE(GuidFromText(L"{27FFF232-A7A8-40DD-8D4A-734AD59FCD41}") == __uuidof(IAppDomainSetup));
    EXPECT_TRUE(GuidFromText(L"{05F696DC-2B29-3663-AD8B-C4389CF2A713}") == __uuidof(_AppDomain));
    EXPECT_TRUE(GuidFromText(L"{17156360-2F1A-384A-BC52-FDE93C215C5B}") == __uuidof(_Assembly));
    EXPECT_TRUE(GuidFromText(L"{BCA8B44D-AAD6-3A86-8AB7-03349F4F2DA2}") == __uuidof(_Type));
    EXPECT_TRUE(GuidFromText(L"{1CF2B120-547D-101B-8E65-08002B2BD119}") == IID_IErrorInfo);
}

#include "clrhost/clr_calls.h"

namespace
{
template <class T>
void CheckCall(HRESULT hr, const CComPtrT<T>& o)
{
    if (FAILED(hr))
        IssueComErrorEx(hr, o.Get(), __uuidof(T));
}
} // namespace

void PutApplicationBase(const CComPtrT<IAppDomainSetup>& oSetup, const CBstr& bsBaseDir)
{
    CheckCall(oSetup->put_ApplicationBase(bsBaseDir.GetBSTR()), oSetup);
}

void PutApplicationName(const CComPtrT<IAppDomainSetup>& oSetup, const CBstr& bsName)
{
    CheckCall(oSetup->put_ApplicationName(bsName.GetBSTR()), oSetup);
}

CComPtrT<_Assembly> LoadAssembly(const CComPtrT<_AppDomain>& oAppDomain, const CBstr& bsAssemblyName)
{
    CComPtrT<_Assembly> oAssembly;
    CheckCall(oAppDomain->Load_2(bsAssemblyName.GetBSTR(), oAssembly.GetAddressOf()), oAppDomain);
    return oAssembly;
}

CComPtrT<_Type> GetAssemblyType(const CComPtrT<_Assembly>& oAssembly, const CBstr& bsTypeName, bool fThrowOnError)
{
    CComPtrT<_Type> oType;
    // The runtime takes any nonzero value as true; the launcher has always passed 1.
    const VARIANT_BOOL vbThrowOnError = fThrowOnError ? 1 : 0;
    CheckCall(oAssembly->GetType_3(bsTypeName.GetBSTR(), vbThrowOnError, oType.GetAddressOf()), oAssembly);
    return oType;
}

void InvokeTypeMember(const CComPtrT<_Type>& oType, const CBstr& bsName, BindingFlags invokeAttr, const VARIANT& vtTarget,
                      SAFEARRAY* psaArgs, VARIANT* pvtResult)
{
    CheckCall(oType->InvokeMember_3(bsName.GetBSTR(), invokeAttr, nullptr, vtTarget, psaArgs, pvtResult), oType);
}

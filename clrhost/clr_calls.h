// Calls on the runtime's managed-object interfaces that raise _com_error on failure, carrying the runtime's
// error information (a managed exception's description) when the object offers it for that interface.
#pragma once

#include "clrhost/clr_interfaces.h"
#include "common/bstr.h"
#include "common/com_ptr.h"

void PutApplicationBase(const CComPtrT<IAppDomainSetup>& oSetup, const CBstr& bsBaseDir);
void PutApplicationName(const CComPtrT<IAppDomainSetup>& oSetup, const CBstr& bsName);
CComPtrT<_Assembly> LoadAssembly(const CComPtrT<_AppDomain>& oAppDomain, const CBstr& bsAssemblyName);
CComPtrT<_Type> GetAssemblyType(const CComPtrT<_Assembly>& oAssembly, const CBstr& bsTypeName, bool fThrowOnError);
void InvokeTypeMember(const CComPtrT<_Type>& oType, const CBstr& bsName, BindingFlags invokeAttr, const VARIANT& vtTarget,
                      SAFEARRAY* psaArgs, VARIANT* pvtResult);

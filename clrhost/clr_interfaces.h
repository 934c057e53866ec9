// The CLR hosting exports and interfaces the launcher calls, declared here in their published slot order
// (the compiler's SDK headers lack most of them). Methods the launcher never calls keep their slot with a
// placeholder signature; only their position matters.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <objidl.h>
#include <rpcndr.h>

#if defined(__CRT_UUID_DECL)
#define LX_DECLARE_IID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    __CRT_UUID_DECL(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#else
#define LX_DECLARE_IID(type, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)
#endif

// A slot the launcher does not call.
#define LX_UNUSED_SLOT(name) virtual HRESULT STDMETHODCALLTYPE name() = 0

// Exports of mscoree.dll.
typedef HRESULT(STDAPICALLTYPE* PFN_CLRCreateInstance)(REFCLSID clsid, REFIID riid, LPVOID* ppInterface);
typedef HRESULT(STDAPICALLTYPE* PFN_GetCORVersion)(LPWSTR pbBuffer, DWORD cchBuffer, DWORD* dwLength);
typedef HRESULT(STDAPICALLTYPE* PFN_CorBindToRuntime)(LPCWSTR pwszVersion, LPCWSTR pwszBuildFlavor, REFCLSID rclsid,
                                                      REFIID riid, LPVOID* ppv);

// {9280188D-0E8E-4867-B30C-7FA83884E8DE}
inline constexpr CLSID CLSID_CLRMetaHost = {0x9280188D, 0x0E8E, 0x4867, {0xB3, 0x0C, 0x7F, 0xA8, 0x38, 0x84, 0xE8, 0xDE}};
// {CB2F6723-AB3A-11D2-9C40-00C04FA30A3E}
inline constexpr CLSID CLSID_CorRuntimeHost = {0xCB2F6723, 0xAB3A, 0x11D2, {0x9C, 0x40, 0x00, 0xC0, 0x4F, 0xA3, 0x0A, 0x3E}};

MIDL_INTERFACE("D332DB9E-B9B3-4125-8207-A14884F53216")
ICLRMetaHost : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetRuntime(LPCWSTR pwzVersion, REFIID riid, LPVOID* ppRuntime) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVersionFromFile(LPCWSTR pwzFilePath, LPWSTR pwzBuffer, DWORD* pcchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumerateInstalledRuntimes(IEnumUnknown** ppEnumerator) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumerateLoadedRuntimes(HANDLE hndProcess, IEnumUnknown** ppEnumerator) = 0;
    LX_UNUSED_SLOT(RequestRuntimeLoadedNotification);
    LX_UNUSED_SLOT(QueryLegacyV2RuntimeBinding);
    LX_UNUSED_SLOT(ExitProcess);
};
LX_DECLARE_IID(ICLRMetaHost, 0xD332DB9E, 0xB9B3, 0x4125, 0x82, 0x07, 0xA1, 0x48, 0x84, 0xF5, 0x32, 0x16)

MIDL_INTERFACE("BD39D1D2-BA2F-486A-89B0-B4B0CB466891")
ICLRRuntimeInfo : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetVersionString(LPWSTR pwzBuffer, DWORD* pcchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRuntimeDirectory(LPWSTR pwzBuffer, DWORD* pcchBuffer) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsLoaded(HANDLE hndProcess, BOOL* pbLoaded) = 0;
    LX_UNUSED_SLOT(LoadErrorString);
    LX_UNUSED_SLOT(LoadLibrary_); // LoadLibrary and GetProcAddress, renamed: the SDK defines them as macros
    LX_UNUSED_SLOT(GetProcAddress_);
    virtual HRESULT STDMETHODCALLTYPE GetInterface(REFCLSID rclsid, REFIID riid, LPVOID* ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsLoadable(BOOL* pbLoadable) = 0;
    LX_UNUSED_SLOT(SetDefaultStartupFlags);
    LX_UNUSED_SLOT(GetDefaultStartupFlags);
    LX_UNUSED_SLOT(BindAsLegacyV2Runtime);
    LX_UNUSED_SLOT(IsStarted);
};
LX_DECLARE_IID(ICLRRuntimeInfo, 0xBD39D1D2, 0xBA2F, 0x486A, 0x89, 0xB0, 0xB4, 0xB0, 0xCB, 0x46, 0x68, 0x91)

MIDL_INTERFACE("CB2F6722-AB3A-11D2-9C40-00C04FA30A3E")
ICorRuntimeHost : public IUnknown
{
    LX_UNUSED_SLOT(CreateLogicalThreadState);
    LX_UNUSED_SLOT(DeleteLogicalThreadState);
    LX_UNUSED_SLOT(SwitchInLogicalThreadState);
    LX_UNUSED_SLOT(SwitchOutLogicalThreadState);
    LX_UNUSED_SLOT(LocksHeldByLogicalThread);
    LX_UNUSED_SLOT(MapFile);
    LX_UNUSED_SLOT(GetConfiguration);
    virtual HRESULT STDMETHODCALLTYPE Start() = 0;
    virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDomain(LPCWSTR pwzFriendlyName, IUnknown* pIdentityArray,
                                                   IUnknown** pAppDomain) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultDomain(IUnknown** pAppDomain) = 0;
    LX_UNUSED_SLOT(EnumDomains);
    LX_UNUSED_SLOT(NextDomain);
    LX_UNUSED_SLOT(CloseEnum);
    virtual HRESULT STDMETHODCALLTYPE CreateDomainEx(LPCWSTR pwzFriendlyName, IUnknown* pSetup, IUnknown* pEvidence,
                                                     IUnknown** pAppDomain) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDomainSetup(IUnknown** pAppDomainSetup) = 0;
    LX_UNUSED_SLOT(CreateEvidence);
    LX_UNUSED_SLOT(UnloadDomain);
    LX_UNUSED_SLOT(CurrentDomain);
};
LX_DECLARE_IID(ICorRuntimeHost, 0xCB2F6722, 0xAB3A, 0x11D2, 0x9C, 0x40, 0x00, 0xC0, 0x4F, 0xA3, 0x0A, 0x3E)

MIDL_INTERFACE("27FFF232-A7A8-40DD-8D4A-734AD59FCD41")
IAppDomainSetup : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE get_ApplicationBase(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ApplicationBase(BSTR pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* pRetVal) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR pRetVal) = 0;
    LX_UNUSED_SLOT(get_CachePath);
    LX_UNUSED_SLOT(put_CachePath);
    LX_UNUSED_SLOT(get_ConfigurationFile);
    LX_UNUSED_SLOT(put_ConfigurationFile);
    LX_UNUSED_SLOT(get_DynamicBase);
    LX_UNUSED_SLOT(put_DynamicBase);
    LX_UNUSED_SLOT(get_LicenseFile);
    LX_UNUSED_SLOT(put_LicenseFile);
    LX_UNUSED_SLOT(get_PrivateBinPath);
    LX_UNUSED_SLOT(put_PrivateBinPath);
    LX_UNUSED_SLOT(get_PrivateBinPathProbe);
    LX_UNUSED_SLOT(put_PrivateBinPathProbe);
    LX_UNUSED_SLOT(get_ShadowCopyDirectories);
    LX_UNUSED_SLOT(put_ShadowCopyDirectories);
    LX_UNUSED_SLOT(get_ShadowCopyFiles);
    LX_UNUSED_SLOT(put_ShadowCopyFiles);
};
LX_DECLARE_IID(IAppDomainSetup, 0x27FFF232, 0xA7A8, 0x40DD, 0x8D, 0x4A, 0x73, 0x4A, 0xD5, 0x9F, 0xCD, 0x41)

struct _Assembly;
struct _Type;

// The dual interfaces of mscorlib: IDispatch's slots 3 to 6, then the members in type-library order.
MIDL_INTERFACE("05F696DC-2B29-3663-AD8B-C4389CF2A713")
_AppDomain : public IDispatch
{
    LX_UNUSED_SLOT(get_ToString);            // 7
    LX_UNUSED_SLOT(Equals);
    LX_UNUSED_SLOT(GetHashCode);
    LX_UNUSED_SLOT(GetType);                 // 10
    LX_UNUSED_SLOT(InitializeLifetimeService);
    LX_UNUSED_SLOT(GetLifetimeService);
    LX_UNUSED_SLOT(get_Evidence);
    LX_UNUSED_SLOT(add_DomainUnload);
    LX_UNUSED_SLOT(remove_DomainUnload);     // 15
    LX_UNUSED_SLOT(add_AssemblyLoad);
    LX_UNUSED_SLOT(remove_AssemblyLoad);
    LX_UNUSED_SLOT(add_ProcessExit);
    LX_UNUSED_SLOT(remove_ProcessExit);
    LX_UNUSED_SLOT(add_TypeResolve);         // 20
    LX_UNUSED_SLOT(remove_TypeResolve);
    LX_UNUSED_SLOT(add_ResourceResolve);
    LX_UNUSED_SLOT(remove_ResourceResolve);
    LX_UNUSED_SLOT(add_AssemblyResolve);
    LX_UNUSED_SLOT(remove_AssemblyResolve);  // 25
    LX_UNUSED_SLOT(add_UnhandledException);
    LX_UNUSED_SLOT(remove_UnhandledException);
    LX_UNUSED_SLOT(DefineDynamicAssembly);
    LX_UNUSED_SLOT(DefineDynamicAssembly_2);
    LX_UNUSED_SLOT(DefineDynamicAssembly_3); // 30
    LX_UNUSED_SLOT(DefineDynamicAssembly_4);
    LX_UNUSED_SLOT(DefineDynamicAssembly_5);
    LX_UNUSED_SLOT(DefineDynamicAssembly_6);
    LX_UNUSED_SLOT(DefineDynamicAssembly_7);
    LX_UNUSED_SLOT(DefineDynamicAssembly_8); // 35
    LX_UNUSED_SLOT(DefineDynamicAssembly_9);
    LX_UNUSED_SLOT(CreateInstance);
    LX_UNUSED_SLOT(CreateInstanceFrom);
    LX_UNUSED_SLOT(CreateInstance_2);
    LX_UNUSED_SLOT(CreateInstanceFrom_2);    // 40
    LX_UNUSED_SLOT(CreateInstance_3);
    LX_UNUSED_SLOT(CreateInstanceFrom_3);
    LX_UNUSED_SLOT(Load);
    virtual HRESULT STDMETHODCALLTYPE Load_2(BSTR assemblyString, _Assembly** pRetVal) = 0; // 44
};
LX_DECLARE_IID(_AppDomain, 0x05F696DC, 0x2B29, 0x3663, 0xAD, 0x8B, 0xC4, 0x38, 0x9C, 0xF2, 0xA7, 0x13)

MIDL_INTERFACE("17156360-2F1A-384A-BC52-FDE93C215C5B")
_Assembly : public IDispatch
{
    LX_UNUSED_SLOT(get_ToString);            // 7
    LX_UNUSED_SLOT(Equals);
    LX_UNUSED_SLOT(GetHashCode);
    LX_UNUSED_SLOT(GetType);                 // 10
    LX_UNUSED_SLOT(get_CodeBase);
    LX_UNUSED_SLOT(get_EscapedCodeBase);
    LX_UNUSED_SLOT(GetName);
    LX_UNUSED_SLOT(GetName_2);
    LX_UNUSED_SLOT(get_FullName);            // 15
    LX_UNUSED_SLOT(get_EntryPoint);
    LX_UNUSED_SLOT(GetType_2);
    virtual HRESULT STDMETHODCALLTYPE GetType_3(BSTR name, VARIANT_BOOL throwOnError, _Type** pRetVal) = 0; // 18
};
LX_DECLARE_IID(_Assembly, 0x17156360, 0x2F1A, 0x384A, 0xBC, 0x52, 0xFD, 0xE9, 0x3C, 0x21, 0x5C, 0x5B)

// BindingFlags of System.Reflection: a 32-bit enumeration.
typedef LONG BindingFlags;
struct _Binder;

MIDL_INTERFACE("BCA8B44D-AAD6-3A86-8AB7-03349F4F2DA2")
_Type : public IDispatch
{
    LX_UNUSED_SLOT(get_ToString);            // 7
    LX_UNUSED_SLOT(Equals);
    LX_UNUSED_SLOT(GetHashCode);
    LX_UNUSED_SLOT(GetType);                 // 10
    LX_UNUSED_SLOT(get_MemberType);
    LX_UNUSED_SLOT(get_name);
    LX_UNUSED_SLOT(get_DeclaringType);
    LX_UNUSED_SLOT(get_ReflectedType);
    LX_UNUSED_SLOT(GetCustomAttributes);     // 15
    LX_UNUSED_SLOT(GetCustomAttributes_2);
    LX_UNUSED_SLOT(IsDefined);
    LX_UNUSED_SLOT(get_Guid);
    LX_UNUSED_SLOT(get_Module);
    LX_UNUSED_SLOT(get_Assembly);            // 20
    LX_UNUSED_SLOT(get_TypeHandle);
    LX_UNUSED_SLOT(get_FullName);
    LX_UNUSED_SLOT(get_Namespace);
    LX_UNUSED_SLOT(get_AssemblyQualifiedName);
    LX_UNUSED_SLOT(GetArrayRank);            // 25
    LX_UNUSED_SLOT(get_BaseType);
    LX_UNUSED_SLOT(GetConstructors);
    LX_UNUSED_SLOT(GetInterface);
    LX_UNUSED_SLOT(GetInterfaces);
    LX_UNUSED_SLOT(FindInterfaces);          // 30
    LX_UNUSED_SLOT(GetEvent);
    LX_UNUSED_SLOT(GetEvents);
    LX_UNUSED_SLOT(GetEvents_2);
    LX_UNUSED_SLOT(GetNestedTypes);
    LX_UNUSED_SLOT(GetNestedType);           // 35
    LX_UNUSED_SLOT(GetMember);
    LX_UNUSED_SLOT(GetDefaultMembers);
    LX_UNUSED_SLOT(FindMembers);
    LX_UNUSED_SLOT(GetElementType);
    LX_UNUSED_SLOT(IsSubclassOf);            // 40
    LX_UNUSED_SLOT(IsInstanceOfType);
    LX_UNUSED_SLOT(IsAssignableFrom);
    LX_UNUSED_SLOT(GetInterfaceMap);
    LX_UNUSED_SLOT(GetMethod);
    LX_UNUSED_SLOT(GetMethod_2);             // 45
    LX_UNUSED_SLOT(GetMethods);
    LX_UNUSED_SLOT(GetField);
    LX_UNUSED_SLOT(GetFields);
    LX_UNUSED_SLOT(GetProperty);
    LX_UNUSED_SLOT(GetProperty_2);           // 50
    LX_UNUSED_SLOT(GetProperties);
    LX_UNUSED_SLOT(GetMember_2);
    LX_UNUSED_SLOT(GetMembers);
    LX_UNUSED_SLOT(InvokeMember);
    LX_UNUSED_SLOT(get_UnderlyingSystemType); // 55
    LX_UNUSED_SLOT(InvokeMember_2);
    // VARIANT target by value, as declared by the type library; x64 passes it by hidden reference.
    virtual HRESULT STDMETHODCALLTYPE InvokeMember_3(BSTR name, BindingFlags invokeAttr, _Binder* binder,
                                                     VARIANT target, SAFEARRAY* args, VARIANT* pRetVal) = 0; // 57
};
LX_DECLARE_IID(_Type, 0xBCA8B44D, 0xAAD6, 0x3A86, 0x8A, 0xB7, 0x03, 0x34, 0x9F, 0x4F, 0x2D, 0xA2)

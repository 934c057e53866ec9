// Stubs for the slots the launcher never calls, for test objects that implement the CLR interfaces.
#pragma once

#include "clrhost/clr_interfaces.h"

#define LX_STUB_SLOT(name) \
    HRESULT STDMETHODCALLTYPE name() override { return E_NOTIMPL; }

#define LX_STUB_UNUSED_ICLRMETAHOST \
    LX_STUB_SLOT(RequestRuntimeLoadedNotification) \
    LX_STUB_SLOT(QueryLegacyV2RuntimeBinding) \
    LX_STUB_SLOT(ExitProcess)

#define LX_STUB_UNUSED_ICLRRUNTIMEINFO \
    LX_STUB_SLOT(LoadErrorString) \
    LX_STUB_SLOT(LoadLibrary_) \
    LX_STUB_SLOT(GetProcAddress_) \
    LX_STUB_SLOT(SetDefaultStartupFlags) \
    LX_STUB_SLOT(GetDefaultStartupFlags) \
    LX_STUB_SLOT(BindAsLegacyV2Runtime) \
    LX_STUB_SLOT(IsStarted)

#define LX_STUB_UNUSED_ICORRUNTIMEHOST \
    LX_STUB_SLOT(CreateLogicalThreadState) \
    LX_STUB_SLOT(DeleteLogicalThreadState) \
    LX_STUB_SLOT(SwitchInLogicalThreadState) \
    LX_STUB_SLOT(SwitchOutLogicalThreadState) \
    LX_STUB_SLOT(LocksHeldByLogicalThread) \
    LX_STUB_SLOT(MapFile) \
    LX_STUB_SLOT(GetConfiguration) \
    LX_STUB_SLOT(EnumDomains) \
    LX_STUB_SLOT(NextDomain) \
    LX_STUB_SLOT(CloseEnum) \
    LX_STUB_SLOT(CreateEvidence) \
    LX_STUB_SLOT(UnloadDomain) \
    LX_STUB_SLOT(CurrentDomain)

#define LX_STUB_UNUSED_IAPPDOMAINSETUP \
    LX_STUB_SLOT(get_CachePath) \
    LX_STUB_SLOT(put_CachePath) \
    LX_STUB_SLOT(get_ConfigurationFile) \
    LX_STUB_SLOT(put_ConfigurationFile) \
    LX_STUB_SLOT(get_DynamicBase) \
    LX_STUB_SLOT(put_DynamicBase) \
    LX_STUB_SLOT(get_LicenseFile) \
    LX_STUB_SLOT(put_LicenseFile) \
    LX_STUB_SLOT(get_PrivateBinPath) \
    LX_STUB_SLOT(put_PrivateBinPath) \
    LX_STUB_SLOT(get_PrivateBinPathProbe) \
    LX_STUB_SLOT(put_PrivateBinPathProbe) \
    LX_STUB_SLOT(get_ShadowCopyDirectories) \
    LX_STUB_SLOT(put_ShadowCopyDirectories) \
    LX_STUB_SLOT(get_ShadowCopyFiles) \
    LX_STUB_SLOT(put_ShadowCopyFiles)

#define LX_STUB_UNUSED_APPDOMAIN \
    LX_STUB_SLOT(get_ToString) \
    LX_STUB_SLOT(Equals) \
    LX_STUB_SLOT(GetHashCode) \
    LX_STUB_SLOT(GetType) \
    LX_STUB_SLOT(InitializeLifetimeService) \
    LX_STUB_SLOT(GetLifetimeService) \
    LX_STUB_SLOT(get_Evidence) \
    LX_STUB_SLOT(add_DomainUnload) \
    LX_STUB_SLOT(remove_DomainUnload) \
    LX_STUB_SLOT(add_AssemblyLoad) \
    LX_STUB_SLOT(remove_AssemblyLoad) \
    LX_STUB_SLOT(add_ProcessExit) \
    LX_STUB_SLOT(remove_ProcessExit) \
    LX_STUB_SLOT(add_TypeResolve) \
    LX_STUB_SLOT(remove_TypeResolve) \
    LX_STUB_SLOT(add_ResourceResolve) \
    LX_STUB_SLOT(remove_ResourceResolve) \
    LX_STUB_SLOT(add_AssemblyResolve) \
    LX_STUB_SLOT(remove_AssemblyResolve) \
    LX_STUB_SLOT(add_UnhandledException) \
    LX_STUB_SLOT(remove_UnhandledException) \
    LX_STUB_SLOT(DefineDynamicAssembly) \
    LX_STUB_SLOT(DefineDynamicAssembly_2) \
    LX_STUB_SLOT(DefineDynamicAssembly_3) \
    LX_STUB_SLOT(DefineDynamicAssembly_4) \
    LX_STUB_SLOT(DefineDynamicAssembly_5) \
    LX_STUB_SLOT(DefineDynamicAssembly_6) \
    LX_STUB_SLOT(DefineDynamicAssembly_7) \
    LX_STUB_SLOT(DefineDynamicAssembly_8) \
    LX_STUB_SLOT(DefineDynamicAssembly_9) \
    LX_STUB_SLOT(CreateInstance) \
    LX_STUB_SLOT(CreateInstanceFrom) \
    LX_STUB_SLOT(CreateInstance_2) \
    LX_STUB_SLOT(CreateInstanceFrom_2) \
    LX_STUB_SLOT(CreateInstance_3) \
    LX_STUB_SLOT(CreateInstanceFrom_3) \
    LX_STUB_SLOT(Load)

#define LX_STUB_UNUSED_ASSEMBLY \
    LX_STUB_SLOT(get_ToString) \
    LX_STUB_SLOT(Equals) \
    LX_STUB_SLOT(GetHashCode) \
    LX_STUB_SLOT(GetType) \
    LX_STUB_SLOT(get_CodeBase) \
    LX_STUB_SLOT(get_EscapedCodeBase) \
    LX_STUB_SLOT(GetName) \
    LX_STUB_SLOT(GetName_2) \
    LX_STUB_SLOT(get_FullName) \
    LX_STUB_SLOT(get_EntryPoint) \
    LX_STUB_SLOT(GetType_2)

#define LX_STUB_UNUSED_TYPE \
    LX_STUB_SLOT(get_ToString) \
    LX_STUB_SLOT(Equals) \
    LX_STUB_SLOT(GetHashCode) \
    LX_STUB_SLOT(GetType) \
    LX_STUB_SLOT(get_MemberType) \
    LX_STUB_SLOT(get_name) \
    LX_STUB_SLOT(get_DeclaringType) \
    LX_STUB_SLOT(get_ReflectedType) \
    LX_STUB_SLOT(GetCustomAttributes) \
    LX_STUB_SLOT(GetCustomAttributes_2) \
    LX_STUB_SLOT(IsDefined) \
    LX_STUB_SLOT(get_Guid) \
    LX_STUB_SLOT(get_Module) \
    LX_STUB_SLOT(get_Assembly) \
    LX_STUB_SLOT(get_TypeHandle) \
    LX_STUB_SLOT(get_FullName) \
    LX_STUB_SLOT(get_Namespace) \
    LX_STUB_SLOT(get_AssemblyQualifiedName) \
    LX_STUB_SLOT(GetArrayRank) \
    LX_STUB_SLOT(get_BaseType) \
    LX_STUB_SLOT(GetConstructors) \
    LX_STUB_SLOT(GetInterface) \
    LX_STUB_SLOT(GetInterfaces) \
    LX_STUB_SLOT(FindInterfaces) \
    LX_STUB_SLOT(GetEvent) \
    LX_STUB_SLOT(GetEvents) \
    LX_STUB_SLOT(GetEvents_2) \
    LX_STUB_SLOT(GetNestedTypes) \
    LX_STUB_SLOT(GetNestedType) \
    LX_STUB_SLOT(GetMember) \
    LX_STUB_SLOT(GetDefaultMembers) \
    LX_STUB_SLOT(FindMembers) \
    LX_STUB_SLOT(GetElementType) \
    LX_STUB_SLOT(IsSubclassOf) \
    LX_STUB_SLOT(IsInstanceOfType) \
    LX_STUB_SLOT(IsAssignableFrom) \
    LX_STUB_SLOT(GetInterfaceMap) \
    LX_STUB_SLOT(GetMethod) \
    LX_STUB_SLOT(GetMethod_2) \
    LX_STUB_SLOT(GetMethods) \
    LX_STUB_SLOT(GetField) \
    LX_STUB_SLOT(GetFields) \
    LX_STUB_SLOT(GetProperty) \
    LX_STUB_SLOT(GetProperty_2) \
    LX_STUB_SLOT(GetProperties) \
    LX_STUB_SLOT(GetMember_2) \
    LX_STUB_SLOT(GetMembers) \
    LX_STUB_SLOT(InvokeMember) \
    LX_STUB_SLOT(get_UnderlyingSystemType) \
    LX_STUB_SLOT(InvokeMember_2)


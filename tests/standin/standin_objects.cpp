#include "tests/standin/standin_objects.h"

#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "clrhost/clr_interfaces.h"
#include "tests/standin/assembly_probe.h"
#include "tests/standin/call_log.h"
#include "tests/standin/standin_state.h"
#include "tests/unit/import_patch.h"

namespace standin
{
namespace
{
// What the runtime answers for the managed exceptions the stand-in plays.
const HRESULT c_hrFileNotFound = _HRESULT_TYPEDEF_(0x80070002L);            // FileNotFoundException
const HRESULT c_hrMissingMethod = _HRESULT_TYPEDEF_(0x80131513L);           // MissingMethodException
const HRESULT c_hrTypeLoad = _HRESULT_TYPEDEF_(0x80131522L);                // TypeLoadException
const HRESULT c_hrSafeArrayTypeMismatch = _HRESULT_TYPEDEF_(0x80131533L);   // SafeArrayTypeMismatchException
const HRESULT c_hrTargetInvocation = _HRESULT_TYPEDEF_(0x80131604L);        // TargetInvocationException
const HRESULT c_hrInsufficientBuffer = _HRESULT_TYPEDEF_(0x8007007AL);      // ERROR_INSUFFICIENT_BUFFER

const wchar_t c_szHostType[] = L"Corvane.UI.Standalone.Host.KestStandaloneApplicationHost";
const wchar_t c_szEntryMethod[] = L"RunApplicationInAssembly";
const long c_cEntryArguments = 2;
// Static | Public | InvokeMethod: what finds a public static method to call.
const BindingFlags c_entryBindingFlags = 0x8 | 0x10 | 0x100;

// Asked of a setup object handed to CreateDomainEx: is it one of ours, and which? Known only inside this library.
// {4F0D6E2A-9C31-4B7E-A5D8-1E62C3B7F094}
const IID c_iidOwnSetup = {0x4F0D6E2A, 0x9C31, 0x4B7E, {0xA5, 0xD8, 0x1E, 0x62, 0xC3, 0xB7, 0xF0, 0x94}};

std::wstring InterfaceName(REFIID riid)
{
    if (riid == __uuidof(IAppDomainSetup))
        return L"IAppDomainSetup";
    if (riid == __uuidof(_AppDomain))
        return L"_AppDomain";
    if (riid == __uuidof(_Assembly))
        return L"_Assembly";
    if (riid == __uuidof(_Type))
        return L"_Type";
    return GuidText(riid);
}

// A slot the launcher has no business calling: logged, so that a call through a wrong slot shows.
HRESULT Unexpected(const char* pszInterface, const char* pszMethod)
{
    Log(CJsonLine(pszMethod).Text("interface", AsciiText(pszInterface)).Boolean("unexpected", true));
    return E_NOTIMPL;
}

// Reference counting and QueryInterface shared by every object; Find names the interfaces.
class CCounted
{
public:
    CCounted(const CCounted&) = delete;
    CCounted& operator=(const CCounted&) = delete;

protected:
    explicit CCounted(ObjectKind kind = ObjectKind::Hosting) : m_kind(kind) { CountObject(m_kind, true); }
    virtual ~CCounted() { CountObject(m_kind, false); }

    ULONG DoAddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_cRefs)); }
    ULONG DoRelease()
    {
        const LONG cRefs = InterlockedDecrement(&m_cRefs);
        if (cRefs == 0)
            delete this;
        return static_cast<ULONG>(cRefs);
    }
    HRESULT DoQueryInterface(REFIID riid, void** ppv)
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        IUnknown* pUnk = nullptr;
        const HRESULT hr = Find(riid, pUnk);
        if (FAILED(hr))
            return hr;
        if (!pUnk)
            return E_NOINTERFACE;
        pUnk->AddRef();
        *ppv = pUnk;
        return S_OK;
    }

    // Sets pUnk to the interface for riid, without a reference; leaves it null for one the object lacks, or
    // fails for a QueryInterface that is to fail otherwise.
    virtual HRESULT Find(REFIID riid, IUnknown*& pUnk) = 0;

private:
    const ObjectKind m_kind;
    volatile LONG m_cRefs = 1;
};

#define LX_STANDIN_IUNKNOWN()                                                                                          \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return DoQueryInterface(riid, ppv); } \
    ULONG STDMETHODCALLTYPE AddRef() override { return DoAddRef(); }                                                   \
    ULONG STDMETHODCALLTYPE Release() override { return DoRelease(); }

#define LX_STANDIN_UNEXPECTED(name)                                                                                    \
    HRESULT STDMETHODCALLTYPE name() override { return Unexpected(c_szInterface, #name); }

#define LX_STANDIN_DISPATCH()                                                                                          \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return Unexpected(c_szInterface, "GetTypeInfoCount"); } \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override                                            \
    {                                                                                                                  \
        return Unexpected(c_szInterface, "GetTypeInfo");                                                               \
    }                                                                                                                  \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override                           \
    {                                                                                                                  \
        return Unexpected(c_szInterface, "GetIDsOfNames");                                                             \
    }                                                                                                                  \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override    \
    {                                                                                                                  \
        return Unexpected(c_szInterface, "Invoke");                                                                    \
    }

// The answer of InterfaceSupportsErrorInfo for an object whose failures on ownIid set error information.
HRESULT SupportsErrorInfo(REFIID riid, REFIID ownIid, bool fOffered)
{
    Log(CJsonLine("InterfaceSupportsErrorInfo").Text("interface", InterfaceName(riid)));
    return fOffered && riid == ownIid ? S_OK : S_FALSE;
}

HRESULT CopyErrorText(const std::wstring& text, BSTR* pbstr)
{
    if (!pbstr)
        return E_POINTER;
    *pbstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *pbstr ? S_OK : E_OUTOFMEMORY;
}

// The IErrorInfo methods of all the stand-in's error information: a GUID and a source fixed at creation, a
// description that each kind chooses, and no help.
class CObjectErrorInfo : public IErrorInfo
{
public:
    CObjectErrorInfo(REFGUID guid, const wchar_t* pszSource) : m_guid(guid), m_pszSource(pszSource) {}

    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGuid) override
    {
        if (!pGuid)
            return E_POINTER;
        *pGuid = m_guid;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pbstr) override { return CopyErrorText(m_pszSource, pbstr); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pbstr) override { return CopyErrorText(ErrorDescription(), pbstr); }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pbstr) override
    {
        if (!pbstr)
            return E_POINTER;
        *pbstr = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdw) override
    {
        if (!pdw)
            return E_POINTER;
        *pdw = 0;
        return S_OK;
    }

protected:
    virtual std::wstring ErrorDescription() const = 0;

private:
    const GUID m_guid;
    const wchar_t* m_pszSource;
};

// Error information as the runtime leaves it for a managed exception.
class CErrorInfo final : public CCounted, public CObjectErrorInfo
{
public:
    CErrorInfo(REFGUID guid, const wchar_t* pszSource, const std::wstring& description)
        : CCounted(ObjectKind::ErrorInfo), CObjectErrorInfo(guid, pszSource), m_description(description)
    {
    }

    LX_STANDIN_IUNKNOWN()

private:
    std::wstring ErrorDescription() const override { return m_description; }

    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo)
            pUnk = static_cast<IErrorInfo*>(this);
        return S_OK;
    }

    const std::wstring m_description;
};

// Fails the way the runtime reports a managed exception: error information on the thread, then the HRESULT.
HRESULT Throw(HRESULT hr, REFIID iid, const std::wstring& description)
{
    CErrorInfo* pErrorInfo = new (std::nothrow) CErrorInfo(iid, L"mscorlib", description);
    if (pErrorInfo)
    {
        SetErrorInfo(0, pErrorInfo);
        pErrorInfo->Release();
    }
    return hr;
}

// The error information of a v4 hosting object (meta host, enumerator, runtime info), offered only when the
// scenario gives it (hosting.errorInfo). The description leads with the object's interface, so that a report
// shows whose information it carries.
class CHostingErrorInfo : public CObjectErrorInfo
{
public:
    explicit CHostingErrorInfo(const wchar_t* pszOwner) : CObjectErrorInfo(GUID_NULL, L"mscoree"), m_pszOwner(pszOwner)
    {
    }

protected:
    // The interface for a query of IErrorInfo: this one when the scenario offers it, else none.
    IUnknown* OfferedErrorInfo()
    {
        return CurrentScenario()->fHostingErrorInfo ? static_cast<IErrorInfo*>(this) : nullptr;
    }
    std::wstring ErrorDescription() const override
    {
        return std::wstring(m_pszOwner) + L": " + CurrentScenario()->hostingErrorInfo;
    }

private:
    const wchar_t* m_pszOwner;
};

// The entry's return value that converts to no integer.
class COpaqueObject final : public CCounted, public IUnknown
{
public:
    LX_STANDIN_IUNKNOWN()

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown)
            pUnk = this;
        return S_OK;
    }
};

// Pumps the calling thread's messages for a while, the way a running application's message loop would.
// A WM_QUIT ends the wait early, is logged and is posted again for the caller's own loop.
void PumpMessagesFor(DWORD dwMilliseconds)
{
    const ULONGLONG deadline = GetTickCount64() + dwMilliseconds;
    for (;;)
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (msg.message == WM_QUIT)
            {
                Log(CJsonLine("quit").Number("exitCode", static_cast<long long>(msg.wParam)));
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            return;
        const ULONGLONG remaining = deadline - now;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, remaining < 50 ? static_cast<DWORD>(remaining) : 50, QS_ALLINPUT);
    }
}

// A slow disk under the process's exe, which unpacks its product after Start: each of its WriteFile calls
// waits s_dwWriteDelayMs first. The stand-in's own writes (the log) go through its own imports, unchanged.
DWORD s_dwWriteDelayMs = 0;

BOOL WINAPI SlowWriteFile(HANDLE hFile, LPCVOID pvBuffer, DWORD cbToWrite, LPDWORD pcbWritten, LPOVERLAPPED pOverlapped)
{
    Sleep(s_dwWriteDelayMs);
    return WriteFile(hFile, pvBuffer, cbToWrite, pcbWritten, pOverlapped);
}

void SlowDownWrites(DWORD dwDelayMs)
{
    s_dwWriteDelayMs = dwDelayMs;
    // Patched once, for the rest of the process.
    static CImportPatch patch("kernel32.dll", "WriteFile", reinterpret_cast<void*>(&SlowWriteFile));
    Log(CJsonLine("slowWrites").Number("delayMs", dwDelayMs).Boolean("patched", patch.IsPatched()));
}

// A VARIANT argument as a JSON value: texts as strings, integers as numbers, VT_UI8 as a hex string.
std::wstring VariantJson(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_BSTR:
        return JsonString(BstrText(v.bstrVal));
    case VT_I1:
        return std::to_wstring(static_cast<int>(v.cVal));
    case VT_I2:
        return std::to_wstring(v.iVal);
    case VT_I4:
        return std::to_wstring(v.lVal);
    case VT_INT:
        return std::to_wstring(v.intVal);
    case VT_I8:
        return std::to_wstring(v.llVal);
    case VT_UI1:
        return std::to_wstring(v.bVal);
    case VT_UI2:
        return std::to_wstring(v.uiVal);
    case VT_UI4:
        return std::to_wstring(v.ulVal);
    case VT_UINT:
        return std::to_wstring(v.uintVal);
    case VT_UI8:
        return JsonString(HexText(v.ullVal));
    case VT_BOOL:
        return v.boolVal ? L"true" : L"false";
    default:
        return L"null";
    }
}

// The window handle a VARIANT argument carries, zero when it carries none.
ULONG_PTR VariantHandle(const VARIANT& v)
{
    switch (v.vt)
    {
    case VT_UI8:
        return static_cast<ULONG_PTR>(v.ullVal);
    case VT_I8:
        return static_cast<ULONG_PTR>(v.llVal);
    case VT_I4:
        return static_cast<ULONG_PTR>(v.lVal);
    case VT_INT:
        return static_cast<ULONG_PTR>(v.intVal);
    case VT_UI4:
        return static_cast<ULONG_PTR>(v.ulVal);
    case VT_UINT:
        return static_cast<ULONG_PTR>(v.uintVal);
    default:
        return 0;
    }
}

// The arguments of InvokeMember_3 as the log shows them.
struct CArguments
{
    bool fVariants = true; // a one-dimensional SAFEARRAY of VARIANT, or none
    long count = 0;
    std::wstring json = L"null";
    ULONG_PTR splashHandle = 0;
};

CArguments ReadArguments(SAFEARRAY* psa)
{
    CArguments args;
    if (!psa)
        return args;
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0;
    LONG upper = -1;
    if (SafeArrayGetDim(psa) != 1 || FAILED(SafeArrayGetLBound(psa, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(psa, 1, &upper)))
    {
        args.fVariants = false;
        args.count = -1;
        return args;
    }
    args.count = upper - lower + 1;
    VARIANT* pElements = nullptr;
    if (FAILED(SafeArrayGetVartype(psa, &vt)) || vt != VT_VARIANT ||
        FAILED(SafeArrayAccessData(psa, reinterpret_cast<void**>(&pElements))))
    {
        args.fVariants = false;
        return args;
    }
    args.json = L"[";
    for (long i = 0; i < args.count; ++i)
    {
        if (i > 0)
            args.json += L',';
        args.json += L"{\"vt\":" + std::to_wstring(pElements[i].vt) + L",\"value\":" + VariantJson(pElements[i]) + L"}";
    }
    args.json += L"]";
    if (args.count >= 2)
        args.splashHandle = VariantHandle(pElements[1]);
    SafeArrayUnaccessData(psa);
    return args;
}

// What a managed application's P/Invoke does with a DLL name: loads it by name alone. Logs where it came from.
void LoadLibraryByName(const std::wstring& name)
{
    HMODULE hmod = LoadLibraryW(name.c_str());
    const DWORD dwError = hmod ? ERROR_SUCCESS : GetLastError();
    wchar_t szPath[MAX_PATH] = {};
    if (hmod)
    {
        GetModuleFileNameW(hmod, szPath, MAX_PATH);
        FreeLibrary(hmod);
    }
    Log(CJsonLine("loadLibrary").Text("name", name).Text("path", hmod ? szPath : nullptr).Number("error", dwError));
}

class CType final : public CCounted, public _Type, public ISupportErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "_Type";

    explicit CType(const std::wstring& name) : m_name(name) {}

    LX_STANDIN_IUNKNOWN()
    LX_STANDIN_DISPATCH()

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return SupportsErrorInfo(riid, __uuidof(_Type), true);
    }

    HRESULT STDMETHODCALLTYPE InvokeMember_3(BSTR name, BindingFlags invokeAttr, _Binder* binder, VARIANT target,
                                             SAFEARRAY* args, VARIANT* pRetVal) override
    {
        const std::wstring member = BstrText(name);
        const CArguments arguments = ReadArguments(args);
        Log(CJsonLine("InvokeMember_3")
                .Bstr("name", name)
                .Number("flags", invokeAttr)
                .Json("binder", PointerJson(binder))
                .Number("targetVt", target.vt)
                .Number("argCount", arguments.count)
                .Json("args", arguments.json)
                .Number("errorMode", GetErrorMode()));
        if (!pRetVal)
            return E_POINTER;
        VariantInit(pRetVal);

        if (!arguments.fVariants)
            return Throw(c_hrSafeArrayTypeMismatch, __uuidof(_Type), L"Specified array was not of the expected type.");
        if (member != c_szEntryMethod || (invokeAttr & c_entryBindingFlags) != c_entryBindingFlags ||
            arguments.count != c_cEntryArguments)
            return Throw(c_hrMissingMethod, __uuidof(_Type), L"Method '" + m_name + L"." + member + L"' not found.");

        const std::shared_ptr<const CScenario> scenario = CurrentScenario();
        if (scenario->entryDelayMs > 0)
            PumpMessagesFor(scenario->entryDelayMs);
        if (scenario->fEntryCloseSplash)
        {
            // The call runs on the launcher's thread, the one that owns the splash window.
            const HWND hwndSplash = reinterpret_cast<HWND>(arguments.splashHandle);
            const bool fDestroyed = hwndSplash && DestroyWindow(hwndSplash);
            Log(CJsonLine("closeSplash").Text("hwnd", HexText(arguments.splashHandle)).Boolean("destroyed", fDestroyed));
        }
        if (!scenario->entryLoadLibrary.empty())
            LoadLibraryByName(scenario->entryLoadLibrary);
        if (scenario->fEntryThrow)
            return Throw(c_hrTargetInvocation, __uuidof(_Type), scenario->entryThrowMessage);

        switch (scenario->entryReturn)
        {
        case ReturnKind::I4:
            pRetVal->vt = VT_I4;
            pRetVal->lVal = scenario->entryReturnValue;
            break;
        case ReturnKind::Int:
            pRetVal->vt = VT_INT;
            pRetVal->intVal = static_cast<INT>(scenario->entryReturnValue);
            break;
        case ReturnKind::Empty:
            break;
        case ReturnKind::Bstr:
            pRetVal->bstrVal =
                SysAllocStringLen(scenario->entryReturnText.data(), static_cast<UINT>(scenario->entryReturnText.size()));
            if (!pRetVal->bstrVal)
                return E_OUTOFMEMORY;
            pRetVal->vt = VT_BSTR;
            break;
        case ReturnKind::Unknown:
            pRetVal->punkVal = new (std::nothrow) COpaqueObject();
            if (!pRetVal->punkVal)
                return E_OUTOFMEMORY;
            pRetVal->vt = VT_UNKNOWN;
            break;
        }
        return S_OK;
    }

    LX_STANDIN_UNEXPECTED(get_ToString)
    LX_STANDIN_UNEXPECTED(Equals)
    LX_STANDIN_UNEXPECTED(GetHashCode)
    LX_STANDIN_UNEXPECTED(GetType)
    LX_STANDIN_UNEXPECTED(get_MemberType)
    LX_STANDIN_UNEXPECTED(get_name)
    LX_STANDIN_UNEXPECTED(get_DeclaringType)
    LX_STANDIN_UNEXPECTED(get_ReflectedType)
    LX_STANDIN_UNEXPECTED(GetCustomAttributes)
    LX_STANDIN_UNEXPECTED(GetCustomAttributes_2)
    LX_STANDIN_UNEXPECTED(IsDefined)
    LX_STANDIN_UNEXPECTED(get_Guid)
    LX_STANDIN_UNEXPECTED(get_Module)
    LX_STANDIN_UNEXPECTED(get_Assembly)
    LX_STANDIN_UNEXPECTED(get_TypeHandle)
    LX_STANDIN_UNEXPECTED(get_FullName)
    LX_STANDIN_UNEXPECTED(get_Namespace)
    LX_STANDIN_UNEXPECTED(get_AssemblyQualifiedName)
    LX_STANDIN_UNEXPECTED(GetArrayRank)
    LX_STANDIN_UNEXPECTED(get_BaseType)
    LX_STANDIN_UNEXPECTED(GetConstructors)
    LX_STANDIN_UNEXPECTED(GetInterface)
    LX_STANDIN_UNEXPECTED(GetInterfaces)
    LX_STANDIN_UNEXPECTED(FindInterfaces)
    LX_STANDIN_UNEXPECTED(GetEvent)
    LX_STANDIN_UNEXPECTED(GetEvents)
    LX_STANDIN_UNEXPECTED(GetEvents_2)
    LX_STANDIN_UNEXPECTED(GetNestedTypes)
    LX_STANDIN_UNEXPECTED(GetNestedType)
    LX_STANDIN_UNEXPECTED(GetMember)
    LX_STANDIN_UNEXPECTED(GetDefaultMembers)
    LX_STANDIN_UNEXPECTED(FindMembers)
    LX_STANDIN_UNEXPECTED(GetElementType)
    LX_STANDIN_UNEXPECTED(IsSubclassOf)
    LX_STANDIN_UNEXPECTED(IsInstanceOfType)
    LX_STANDIN_UNEXPECTED(IsAssignableFrom)
    LX_STANDIN_UNEXPECTED(GetInterfaceMap)
    LX_STANDIN_UNEXPECTED(GetMethod)
    LX_STANDIN_UNEXPECTED(GetMethod_2)
    LX_STANDIN_UNEXPECTED(GetMethods)
    LX_STANDIN_UNEXPECTED(GetField)
    LX_STANDIN_UNEXPECTED(GetFields)
    LX_STANDIN_UNEXPECTED(GetProperty)
    LX_STANDIN_UNEXPECTED(GetProperty_2)
    LX_STANDIN_UNEXPECTED(GetProperties)
    LX_STANDIN_UNEXPECTED(GetMember_2)
    LX_STANDIN_UNEXPECTED(GetMembers)
    LX_STANDIN_UNEXPECTED(InvokeMember)
    LX_STANDIN_UNEXPECTED(get_UnderlyingSystemType)
    LX_STANDIN_UNEXPECTED(InvokeMember_2)

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(_Type))
            pUnk = static_cast<_Type*>(this);
        else if (riid == IID_ISupportErrorInfo)
            pUnk = static_cast<ISupportErrorInfo*>(this);
        return S_OK;
    }

    const std::wstring m_name;
};

class CAssembly final : public CCounted, public _Assembly, public ISupportErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "_Assembly";

    explicit CAssembly(const std::wstring& name) : m_name(name) {}

    LX_STANDIN_IUNKNOWN()
    LX_STANDIN_DISPATCH()

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return SupportsErrorInfo(riid, __uuidof(_Assembly), true);
    }

    HRESULT STDMETHODCALLTYPE GetType_3(BSTR name, VARIANT_BOOL throwOnError, _Type** pRetVal) override
    {
        const std::wstring typeName = BstrText(name);
        Log(CJsonLine("GetType_3").Bstr("name", name).Number("throwOnError", throwOnError));
        if (!pRetVal)
            return E_POINTER;
        *pRetVal = nullptr;
        if (CurrentScenario()->fTypeMissing || typeName != c_szHostType)
        {
            // Without throwOnError the runtime answers a missing type with null and no exception.
            if (throwOnError == VARIANT_FALSE)
                return S_OK;
            return Throw(c_hrTypeLoad, __uuidof(_Assembly),
                         L"Could not load type '" + typeName + L"' from assembly '" + m_name + L"'.");
        }
        CType* pType = new (std::nothrow) CType(typeName);
        if (!pType)
            return E_OUTOFMEMORY;
        *pRetVal = pType;
        return S_OK;
    }

    LX_STANDIN_UNEXPECTED(get_ToString)
    LX_STANDIN_UNEXPECTED(Equals)
    LX_STANDIN_UNEXPECTED(GetHashCode)
    LX_STANDIN_UNEXPECTED(GetType)
    LX_STANDIN_UNEXPECTED(get_CodeBase)
    LX_STANDIN_UNEXPECTED(get_EscapedCodeBase)
    LX_STANDIN_UNEXPECTED(GetName)
    LX_STANDIN_UNEXPECTED(GetName_2)
    LX_STANDIN_UNEXPECTED(get_FullName)
    LX_STANDIN_UNEXPECTED(get_EntryPoint)
    LX_STANDIN_UNEXPECTED(GetType_2)

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == __uuidof(_Assembly))
            pUnk = static_cast<_Assembly*>(this);
        else if (riid == IID_ISupportErrorInfo)
            pUnk = static_cast<ISupportErrorInfo*>(this);
        return S_OK;
    }

    const std::wstring m_name;
};

class CAppDomain final : public CCounted, public _AppDomain, public ISupportErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "_AppDomain";

    explicit CAppDomain(const std::wstring& base) : m_base(base) {}

    LX_STANDIN_IUNKNOWN()
    LX_STANDIN_DISPATCH()

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return SupportsErrorInfo(riid, __uuidof(_AppDomain), !CurrentScenario()->fDomainNoInterface);
    }

    // Probes the application base for <base>\<simple name>.dll, as the runtime's loader does.
    HRESULT STDMETHODCALLTYPE Load_2(BSTR assemblyString, _Assembly** pRetVal) override
    {
        const std::wstring name = BstrText(assemblyString);
        Log(CJsonLine("Load_2").Bstr("name", assemblyString).Text("base", m_base));
        if (!pRetVal)
            return E_POINTER;
        *pRetVal = nullptr;

        // A display name ("Name, Version=...") is probed by its simple name.
        std::wstring simpleName = name.substr(0, name.find(L','));
        while (!simpleName.empty() && simpleName.back() == L' ')
            simpleName.pop_back();
        std::wstring path = m_base;
        if (!path.empty() && path.back() != L'\\' && path.back() != L'/')
            path += L'\\';
        path += simpleName + L".dll";
        if (m_base.empty() || simpleName.empty() || !IsManagedAssemblyFile(path.c_str()))
            return Throw(c_hrFileNotFound, __uuidof(_AppDomain),
                         L"Could not load file or assembly '" + name +
                             L"' or one of its dependencies. The system cannot find the file specified.");

        CAssembly* pAssembly = new (std::nothrow) CAssembly(name);
        if (!pAssembly)
            return E_OUTOFMEMORY;
        *pRetVal = pAssembly;
        return S_OK;
    }

    LX_STANDIN_UNEXPECTED(get_ToString)
    LX_STANDIN_UNEXPECTED(Equals)
    LX_STANDIN_UNEXPECTED(GetHashCode)
    LX_STANDIN_UNEXPECTED(GetType)
    LX_STANDIN_UNEXPECTED(InitializeLifetimeService)
    LX_STANDIN_UNEXPECTED(GetLifetimeService)
    LX_STANDIN_UNEXPECTED(get_Evidence)
    LX_STANDIN_UNEXPECTED(add_DomainUnload)
    LX_STANDIN_UNEXPECTED(remove_DomainUnload)
    LX_STANDIN_UNEXPECTED(add_AssemblyLoad)
    LX_STANDIN_UNEXPECTED(remove_AssemblyLoad)
    LX_STANDIN_UNEXPECTED(add_ProcessExit)
    LX_STANDIN_UNEXPECTED(remove_ProcessExit)
    LX_STANDIN_UNEXPECTED(add_TypeResolve)
    LX_STANDIN_UNEXPECTED(remove_TypeResolve)
    LX_STANDIN_UNEXPECTED(add_ResourceResolve)
    LX_STANDIN_UNEXPECTED(remove_ResourceResolve)
    LX_STANDIN_UNEXPECTED(add_AssemblyResolve)
    LX_STANDIN_UNEXPECTED(remove_AssemblyResolve)
    LX_STANDIN_UNEXPECTED(add_UnhandledException)
    LX_STANDIN_UNEXPECTED(remove_UnhandledException)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_2)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_3)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_4)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_5)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_6)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_7)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_8)
    LX_STANDIN_UNEXPECTED(DefineDynamicAssembly_9)
    LX_STANDIN_UNEXPECTED(CreateInstance)
    LX_STANDIN_UNEXPECTED(CreateInstanceFrom)
    LX_STANDIN_UNEXPECTED(CreateInstance_2)
    LX_STANDIN_UNEXPECTED(CreateInstanceFrom_2)
    LX_STANDIN_UNEXPECTED(CreateInstance_3)
    LX_STANDIN_UNEXPECTED(CreateInstanceFrom_3)
    LX_STANDIN_UNEXPECTED(Load)

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown)
            pUnk = static_cast<_AppDomain*>(this);
        else if ((riid == IID_IDispatch || riid == __uuidof(_AppDomain)) && !CurrentScenario()->fDomainNoInterface)
            pUnk = static_cast<_AppDomain*>(this);
        else if (riid == IID_ISupportErrorInfo)
            pUnk = static_cast<ISupportErrorInfo*>(this);
        return S_OK;
    }

    const std::wstring m_base;
};

class CDomainSetup final : public CCounted, public IAppDomainSetup, public ISupportErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "IAppDomainSetup";

    LX_STANDIN_IUNKNOWN()

    // The setup object behind pSetup when it is one of ours, with a reference; otherwise null.
    static CDomainSetup* FromUnknown(IUnknown* pSetup)
    {
        void* pv = nullptr;
        if (!pSetup || FAILED(pSetup->QueryInterface(c_iidOwnSetup, &pv)) || !pv)
            return nullptr;
        return static_cast<CDomainSetup*>(static_cast<IAppDomainSetup*>(pv));
    }
    const std::wstring& ApplicationBase() const { return m_base; }

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override
    {
        return SupportsErrorInfo(riid, __uuidof(IAppDomainSetup), !CurrentScenario()->fSetupNoInterface);
    }

    HRESULT STDMETHODCALLTYPE get_ApplicationBase(BSTR* pRetVal) override
    {
        Log(CJsonLine("get_ApplicationBase"));
        return Get(m_fBase, m_base, pRetVal);
    }
    HRESULT STDMETHODCALLTYPE put_ApplicationBase(BSTR value) override
    {
        Log(CJsonLine("put_ApplicationBase").Bstr("value", value));
        const HRESULT hr = CurrentScenario()->setupPutApplicationBaseHr;
        if (FAILED(hr))
            return Throw(hr, __uuidof(IAppDomainSetup), L"AppDomainSetup.ApplicationBase could not be set.");
        m_fBase = value != nullptr;
        m_base = BstrText(value);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_ApplicationName(BSTR* pRetVal) override
    {
        Log(CJsonLine("get_ApplicationName"));
        return Get(m_fName, m_name, pRetVal);
    }
    HRESULT STDMETHODCALLTYPE put_ApplicationName(BSTR value) override
    {
        Log(CJsonLine("put_ApplicationName").Bstr("value", value));
        const HRESULT hr = CurrentScenario()->setupPutApplicationNameHr;
        if (FAILED(hr))
            return Throw(hr, __uuidof(IAppDomainSetup), L"AppDomainSetup.ApplicationName could not be set.");
        m_fName = value != nullptr;
        m_name = BstrText(value);
        return hr;
    }

    LX_STANDIN_UNEXPECTED(get_CachePath)
    LX_STANDIN_UNEXPECTED(put_CachePath)
    LX_STANDIN_UNEXPECTED(get_ConfigurationFile)
    LX_STANDIN_UNEXPECTED(put_ConfigurationFile)
    LX_STANDIN_UNEXPECTED(get_DynamicBase)
    LX_STANDIN_UNEXPECTED(put_DynamicBase)
    LX_STANDIN_UNEXPECTED(get_LicenseFile)
    LX_STANDIN_UNEXPECTED(put_LicenseFile)
    LX_STANDIN_UNEXPECTED(get_PrivateBinPath)
    LX_STANDIN_UNEXPECTED(put_PrivateBinPath)
    LX_STANDIN_UNEXPECTED(get_PrivateBinPathProbe)
    LX_STANDIN_UNEXPECTED(put_PrivateBinPathProbe)
    LX_STANDIN_UNEXPECTED(get_ShadowCopyDirectories)
    LX_STANDIN_UNEXPECTED(put_ShadowCopyDirectories)
    LX_STANDIN_UNEXPECTED(get_ShadowCopyFiles)
    LX_STANDIN_UNEXPECTED(put_ShadowCopyFiles)

private:
    static HRESULT Get(bool fSet, const std::wstring& value, BSTR* pRetVal)
    {
        if (!pRetVal)
            return E_POINTER;
        *pRetVal = nullptr;
        if (!fSet)
            return S_OK;
        *pRetVal = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
        return *pRetVal ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == c_iidOwnSetup)
            pUnk = static_cast<IAppDomainSetup*>(this);
        else if (riid == __uuidof(IAppDomainSetup) && !CurrentScenario()->fSetupNoInterface)
            pUnk = static_cast<IAppDomainSetup*>(this);
        else if (riid == IID_ISupportErrorInfo)
            pUnk = static_cast<ISupportErrorInfo*>(this);
        return S_OK;
    }

    bool m_fBase = false;
    std::wstring m_base;
    bool m_fName = false;
    std::wstring m_name;
};

class CRuntimeHost final : public CCounted, public ICorRuntimeHost, public CObjectErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "ICorRuntimeHost";

    CRuntimeHost() : CObjectErrorInfo(__uuidof(ICorRuntimeHost), L"mscoree") {}

    LX_STANDIN_IUNKNOWN()

    HRESULT STDMETHODCALLTYPE Start() override
    {
        Log(CJsonLine("Start"));
        const std::shared_ptr<const CScenario> scenario = CurrentScenario();
        if (scenario->startWriteDelayMs > 0)
            SlowDownWrites(scenario->startWriteDelayMs);
        return scenario->startHr;
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        Log(CJsonLine("Stop"));
        return CurrentScenario()->stopHr;
    }
    HRESULT STDMETHODCALLTYPE CreateDomain(LPCWSTR, IUnknown*, IUnknown** pAppDomain) override
    {
        if (pAppDomain)
            *pAppDomain = nullptr;
        return Unexpected(c_szInterface, "CreateDomain");
    }
    HRESULT STDMETHODCALLTYPE GetDefaultDomain(IUnknown** pAppDomain) override
    {
        Log(CJsonLine("GetDefaultDomain"));
        const std::shared_ptr<const CScenario> scenario = CurrentScenario();
        return NewDomain(scenario->getDefaultDomain, DefaultDomainBase(*scenario), pAppDomain);
    }
    HRESULT STDMETHODCALLTYPE CreateDomainEx(LPCWSTR pwzFriendlyName, IUnknown* pSetup, IUnknown* pEvidence,
                                             IUnknown** pAppDomain) override
    {
        IAppDomainSetup* pSetupInterface = nullptr;
        if (pSetup &&
            FAILED(pSetup->QueryInterface(__uuidof(IAppDomainSetup), reinterpret_cast<void**>(&pSetupInterface))))
            pSetupInterface = nullptr;
        Log(CJsonLine("CreateDomainEx")
                .Text("name", pwzFriendlyName)
                .Text("setup", SetupKind(pSetup))
                .Boolean("setupIsAppDomainSetup", pSetupInterface != nullptr)
                .Json("evidence", PointerJson(pEvidence)));

        const std::shared_ptr<const CScenario> scenario = CurrentScenario();
        // Without a setup the new domain takes the default domain's base.
        std::wstring base = pSetup ? std::wstring() : DefaultDomainBase(*scenario);
        if (CDomainSetup* pOwnSetup = CDomainSetup::FromUnknown(pSetup))
        {
            base = pOwnSetup->ApplicationBase();
            pOwnSetup->Release();
        }
        else if (pSetupInterface)
        {
            BSTR bstrBase = nullptr;
            if (SUCCEEDED(pSetupInterface->get_ApplicationBase(&bstrBase)))
                base = BstrText(bstrBase);
            SysFreeString(bstrBase);
        }
        if (pSetupInterface)
            pSetupInterface->Release();
        return NewDomain(scenario->createDomainEx, base, pAppDomain);
    }
    HRESULT STDMETHODCALLTYPE CreateDomainSetup(IUnknown** pAppDomainSetup) override
    {
        Log(CJsonLine("CreateDomainSetup"));
        if (!pAppDomainSetup)
            return E_POINTER;
        *pAppDomainSetup = nullptr;
        const CCallAnswer answer = CurrentScenario()->createDomainSetup;
        if (FAILED(answer.hr) || answer.fNull)
            return answer.hr;
        CDomainSetup* pNewSetup = new (std::nothrow) CDomainSetup();
        if (!pNewSetup)
            return E_OUTOFMEMORY;
        *pAppDomainSetup = static_cast<IAppDomainSetup*>(pNewSetup);
        m_pSetupHandedOut = pNewSetup;
        return answer.hr;
    }

    LX_STANDIN_UNEXPECTED(CreateLogicalThreadState)
    LX_STANDIN_UNEXPECTED(DeleteLogicalThreadState)
    LX_STANDIN_UNEXPECTED(SwitchInLogicalThreadState)
    LX_STANDIN_UNEXPECTED(SwitchOutLogicalThreadState)
    LX_STANDIN_UNEXPECTED(LocksHeldByLogicalThread)
    LX_STANDIN_UNEXPECTED(MapFile)
    LX_STANDIN_UNEXPECTED(GetConfiguration)
    LX_STANDIN_UNEXPECTED(EnumDomains)
    LX_STANDIN_UNEXPECTED(NextDomain)
    LX_STANDIN_UNEXPECTED(CloseEnum)
    LX_STANDIN_UNEXPECTED(CreateEvidence)
    LX_STANDIN_UNEXPECTED(UnloadDomain)
    LX_STANDIN_UNEXPECTED(CurrentDomain)

private:
    // The host's own error information, offered only when the scenario gives it (host.errorInfo).
    std::wstring ErrorDescription() const override { return CurrentScenario()->hostErrorInfo; }

    // Which object CreateDomainEx received: the IAppDomainSetup of the setup this host handed out last, or
    // anything else (another object, or another interface of that setup); null for none.
    const wchar_t* SetupKind(IUnknown* pSetup) const
    {
        if (!pSetup)
            return nullptr;
        CDomainSetup* pOwnSetup = CDomainSetup::FromUnknown(pSetup);
        const bool fHandedOut = pOwnSetup && pOwnSetup == m_pSetupHandedOut &&
                                pSetup == static_cast<IAppDomainSetup*>(pOwnSetup);
        if (pOwnSetup)
            pOwnSetup->Release();
        return fHandedOut ? L"handedOut" : L"other";
    }

    // Compared by address only, never used: the caller owns the setup.
    const CDomainSetup* m_pSetupHandedOut = nullptr;

    static HRESULT NewDomain(const CCallAnswer& answer, const std::wstring& base, IUnknown** pAppDomain)
    {
        if (!pAppDomain)
            return E_POINTER;
        *pAppDomain = nullptr;
        if (FAILED(answer.hr) || answer.fNull)
            return answer.hr;
        CAppDomain* pDomain = new (std::nothrow) CAppDomain(base);
        if (!pDomain)
            return E_OUTOFMEMORY;
        *pAppDomain = static_cast<_AppDomain*>(pDomain);
        return answer.hr;
    }

    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == __uuidof(ICorRuntimeHost))
            pUnk = static_cast<ICorRuntimeHost*>(this);
        else if (riid == IID_IErrorInfo && CurrentScenario()->fHostErrorInfo)
            pUnk = static_cast<IErrorInfo*>(this);
        return S_OK;
    }
};

// What CorBindToRuntime hands out when the scenario wants no usable host.
class CBindObject final : public CCounted, public IUnknown
{
public:
    explicit CBindObject(BindKind kind) : m_kind(kind) {}

    LX_STANDIN_IUNKNOWN()

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown)
            pUnk = this;
        else if (riid == __uuidof(ICorRuntimeHost) && m_kind == BindKind::BadQuery)
            return E_OUTOFMEMORY;
        return S_OK;
    }

    const BindKind m_kind;
};

class CRuntimeInfo final : public CCounted, public ICLRRuntimeInfo, public CHostingErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "ICLRRuntimeInfo";

    explicit CRuntimeInfo(const CRuntimeEntry& entry) : CHostingErrorInfo(L"ICLRRuntimeInfo"), m_entry(entry) {}

    LX_STANDIN_IUNKNOWN()

    HRESULT STDMETHODCALLTYPE GetVersionString(LPWSTR pwzBuffer, DWORD* pcchBuffer) override
    {
        Log(CJsonLine("GetVersionString").Text("runtime", m_entry.text));
        if (FAILED(m_entry.hrVersion))
            return m_entry.hrVersion;
        if (!pcchBuffer)
            return E_POINTER;
        const DWORD cchNeeded = static_cast<DWORD>(m_entry.text.size() + 1);
        const DWORD cchGiven = *pcchBuffer;
        *pcchBuffer = cchNeeded;
        if (!pwzBuffer || cchGiven < cchNeeded)
            return c_hrInsufficientBuffer;
        wmemcpy(pwzBuffer, m_entry.text.data(), m_entry.text.size());
        pwzBuffer[m_entry.text.size()] = L'\0';
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeDirectory(LPWSTR, DWORD*) override
    {
        return Unexpected(c_szInterface, "GetRuntimeDirectory");
    }
    HRESULT STDMETHODCALLTYPE IsLoaded(HANDLE, BOOL*) override { return Unexpected(c_szInterface, "IsLoaded"); }
    HRESULT STDMETHODCALLTYPE GetInterface(REFCLSID rclsid, REFIID riid, LPVOID* ppUnk) override
    {
        Log(CJsonLine("GetInterface").Text("runtime", m_entry.text));
        if (!ppUnk)
            return E_POINTER;
        *ppUnk = nullptr;
        const CCallAnswer answer = CurrentScenario()->getInterface;
        if (FAILED(answer.hr) || answer.fNull)
            return answer.hr;
        if (rclsid != CLSID_CorRuntimeHost)
            return CLASS_E_CLASSNOTAVAILABLE;
        const HRESULT hr = CreateRuntimeHost(riid, ppUnk);
        return FAILED(hr) ? hr : answer.hr;
    }
    HRESULT STDMETHODCALLTYPE IsLoadable(BOOL*) override { return Unexpected(c_szInterface, "IsLoadable"); }

    LX_STANDIN_UNEXPECTED(LoadErrorString)
    LX_STANDIN_UNEXPECTED(LoadLibrary_)
    LX_STANDIN_UNEXPECTED(GetProcAddress_)
    LX_STANDIN_UNEXPECTED(SetDefaultStartupFlags)
    LX_STANDIN_UNEXPECTED(GetDefaultStartupFlags)
    LX_STANDIN_UNEXPECTED(BindAsLegacyV2Runtime)
    LX_STANDIN_UNEXPECTED(IsStarted)

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == __uuidof(ICLRRuntimeInfo))
            pUnk = static_cast<ICLRRuntimeInfo*>(this);
        else if (riid == IID_IErrorInfo)
            pUnk = OfferedErrorInfo();
        return S_OK;
    }

    const CRuntimeEntry m_entry;
};

// Hands out the scenario's runtimes in file order, a new runtime information object each time.
class CRuntimeEnum final : public CCounted, public IEnumUnknown, public CHostingErrorInfo
{
public:
    CRuntimeEnum(std::shared_ptr<const CScenario> scenario, size_t position)
        : CHostingErrorInfo(L"IEnumUnknown"), m_scenario(std::move(scenario)), m_position(position)
    {
    }

    LX_STANDIN_IUNKNOWN()

    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override
    {
        Log(CJsonLine("Next").Number("celt", celt));
        if (pceltFetched)
            *pceltFetched = 0;
        if (!rgelt || (celt != 1 && !pceltFetched))
            return E_POINTER;
        if (m_cNextCalls++ == m_scenario->nextFailAt)
            return m_scenario->nextHr;

        ULONG cFetched = 0;
        while (cFetched < celt && m_position < m_scenario->runtimes.size())
        {
            CRuntimeInfo* pInfo = new (std::nothrow) CRuntimeInfo(m_scenario->runtimes[m_position]);
            if (!pInfo)
            {
                while (cFetched > 0)
                {
                    rgelt[--cFetched]->Release();
                    rgelt[cFetched] = nullptr;
                }
                return E_OUTOFMEMORY;
            }
            // The launcher takes the element for an ICLRRuntimeInfo without asking: hand out that vtable.
            rgelt[cFetched++] = static_cast<ICLRRuntimeInfo*>(pInfo);
            ++m_position;
        }
        if (pceltFetched)
            *pceltFetched = cFetched;
        return cFetched == celt ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override
    {
        Log(CJsonLine("Skip").Number("celt", celt));
        const size_t cLeft = m_scenario->runtimes.size() - m_position;
        m_position += celt < cLeft ? celt : cLeft;
        return celt <= cLeft ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        Log(CJsonLine("Reset"));
        m_position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown** ppEnum) override
    {
        Log(CJsonLine("Clone"));
        if (!ppEnum)
            return E_POINTER;
        *ppEnum = new (std::nothrow) CRuntimeEnum(m_scenario, m_position);
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == IID_IEnumUnknown)
            pUnk = static_cast<IEnumUnknown*>(this);
        else if (riid == IID_IErrorInfo)
            pUnk = OfferedErrorInfo();
        return S_OK;
    }

    const std::shared_ptr<const CScenario> m_scenario;
    size_t m_position;
    long m_cNextCalls = 0;
};

class CMetaHost final : public CCounted, public ICLRMetaHost, public CHostingErrorInfo
{
public:
    static constexpr const char c_szInterface[] = "ICLRMetaHost";

    CMetaHost() : CHostingErrorInfo(L"ICLRMetaHost") {}

    LX_STANDIN_IUNKNOWN()

    HRESULT STDMETHODCALLTYPE GetRuntime(LPCWSTR, REFIID, LPVOID* ppRuntime) override
    {
        if (ppRuntime)
            *ppRuntime = nullptr;
        return Unexpected(c_szInterface, "GetRuntime");
    }
    HRESULT STDMETHODCALLTYPE GetVersionFromFile(LPCWSTR, LPWSTR, DWORD*) override
    {
        return Unexpected(c_szInterface, "GetVersionFromFile");
    }
    HRESULT STDMETHODCALLTYPE EnumerateInstalledRuntimes(IEnumUnknown** ppEnumerator) override
    {
        Log(CJsonLine("EnumerateInstalledRuntimes"));
        if (!ppEnumerator)
            return E_POINTER;
        *ppEnumerator = nullptr;
        std::shared_ptr<const CScenario> scenario = CurrentScenario();
        const CCallAnswer answer = scenario->enumerateInstalledRuntimes;
        if (FAILED(answer.hr) || answer.fNull)
            return answer.hr;
        *ppEnumerator = new (std::nothrow) CRuntimeEnum(std::move(scenario), 0);
        return *ppEnumerator ? answer.hr : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE EnumerateLoadedRuntimes(HANDLE, IEnumUnknown** ppEnumerator) override
    {
        if (ppEnumerator)
            *ppEnumerator = nullptr;
        return Unexpected(c_szInterface, "EnumerateLoadedRuntimes");
    }

    LX_STANDIN_UNEXPECTED(RequestRuntimeLoadedNotification)
    LX_STANDIN_UNEXPECTED(QueryLegacyV2RuntimeBinding)
    LX_STANDIN_UNEXPECTED(ExitProcess)

private:
    HRESULT Find(REFIID riid, IUnknown*& pUnk) override
    {
        if (riid == IID_IUnknown || riid == __uuidof(ICLRMetaHost))
            pUnk = static_cast<ICLRMetaHost*>(this);
        else if (riid == IID_IErrorInfo)
            pUnk = OfferedErrorInfo();
        return S_OK;
    }
};

// Hands a new object's interface for riid to the caller; the object goes away again when it has none.
template <class T>
HRESULT QueryNew(T* pObject, REFIID riid, void** ppv)
{
    if (!pObject)
    {
        if (ppv)
            *ppv = nullptr;
        return E_OUTOFMEMORY;
    }
    const HRESULT hr = pObject->QueryInterface(riid, ppv);
    pObject->Release();
    return hr;
}
} // namespace

HRESULT CreateMetaHost(REFIID riid, void** ppv)
{
    return QueryNew(new (std::nothrow) CMetaHost(), riid, ppv);
}

HRESULT CreateRuntimeHost(REFIID riid, void** ppv)
{
    return QueryNew(new (std::nothrow) CRuntimeHost(), riid, ppv);
}

HRESULT CreateBindObject(BindKind kind, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    CBindObject* pObject = new (std::nothrow) CBindObject(kind);
    *ppv = static_cast<IUnknown*>(pObject);
    return pObject ? S_OK : E_OUTOFMEMORY;
}
} // namespace standin

#include "clrhost/clr_calls.h"
#include "clrhost/clr_roads.h"
#include "common/scope_exit.h"
#include "common/variant.h"
#include "launcher/dll_search.h"
#include "launcher/product_names.h"
#include "launcher/report.h"
#include "pack/content_folder.h"

namespace
{
const wchar_t c_szDomainName[] = L"Entryway";
const wchar_t c_szCoreAssembly[] = L"Corvane.Platform.Tessarine.UI.Standalone";
const wchar_t c_szHostType[] = L"Corvane.UI.Standalone.Host.KestStandaloneApplicationHost";
const wchar_t c_szEntryMethod[] = L"RunApplicationInAssembly";
// Static | Public | InvokeMethod
const BindingFlags c_invokeStaticMethod = 280;

const wchar_t c_szSetupFailed[] = L"Could not create the appdomain setup object.";

// A failing runtime host call, told with the host's own error information when it has any.
HRESULT ReportHostFailure(HRESULT hr, const CComPtrT<ICorRuntimeHost>& oHost, const wchar_t* pszMessage)
{
    ReportHresult(hr, CComPtrT<IErrorInfo>(oHost), pszMessage);
    return hr;
}

// The application domain over the content cache folder, or null after telling why not.
HRESULT CreateEntrywayDomain(const CComPtrT<ICorRuntimeHost>& oHost, const CBstr& bsBaseDir,
                             CComPtrT<_AppDomain>& oAppDomain)
{
    CComPtrT<IUnknown> oUnk;
    HRESULT hr = oHost->CreateDomainSetup(oUnk.GetAddressOf());
    if (FAILED(hr))
        return ReportHostFailure(hr, oHost, c_szSetupFailed);

    CComPtrT<IAppDomainSetup> oSetup;
    try
    {
        oSetup.QueryFrom(oUnk.Get());
        PutApplicationBase(oSetup, bsBaseDir);
        PutApplicationName(oSetup, c_szProductName);
    }
    catch (const _com_error& e)
    {
        ReportComError(e, c_szSetupFailed);
        return e.Error();
    }

    hr = oHost->CreateDomainEx(c_szDomainName, oSetup.Get(), nullptr, oUnk.GetAddressOf());
    if (FAILED(hr))
        return ReportHostFailure(hr, oHost, L"Could not create the primary appdomain.");
    oAppDomain.QueryFrom(oUnk.Get());
    return S_OK;
}

// Loads the core assembly, finds the host type and calls its entry method with the product name and the
// splash window; the entry's value, converted to a 32-bit integer, lands in nResult.
HRESULT CallEntryPoint(const CComPtrT<_AppDomain>& oAppDomain, int& nResult)
{
    const CBstr bsAssName = c_szCoreAssembly;
    CComPtrT<_Assembly> oAssembly;
    try
    {
        oAssembly = LoadAssembly(oAppDomain, bsAssName);
    }
    catch (const _com_error& e)
    {
        ReportComError(e, L"Could not load the application core assembly \u201C" + bsAssName + L"\u201D.");
        return e.Error();
    }

    CComPtrT<_Type> oType;
    try
    {
        oType = GetAssemblyType(oAssembly, c_szHostType, true);
    }
    catch (const _com_error& e)
    {
        ReportComError(e, L"Could not load the entry type from the application core assembly.");
        return e.Error();
    }

    SAFEARRAY* psaArgs = nullptr;
    auto destroyArgs = MakeScopeExit([&psaArgs] {
        if (psaArgs)
            SafeArrayDestroy(psaArgs);
    });
    try
    {
        psaArgs = SafeArrayCreateVector(VT_VARIANT, 0, 2);
        if (!psaArgs)
            IssueComError(E_OUTOFMEMORY);
        CVariant vtAssemblyName{CBstr(c_szProductName)};
        CVariant vtHwnd;
        vtHwnd.vt = VT_UI8;
        vtHwnd.ullVal = static_cast<ULONGLONG>(reinterpret_cast<ULONG_PTR>(GetSplashWindow()));
        LONG index = 0;
        HRESULT hr = SafeArrayPutElement(psaArgs, &index, &vtAssemblyName);
        if (FAILED(hr))
            IssueComError(hr);
        index = 1;
        hr = SafeArrayPutElement(psaArgs, &index, &vtHwnd);
        if (FAILED(hr))
            IssueComError(hr);

        CVariant vtEmpty;
        CVariant vtRetval;
        InvokeTypeMember(oType, c_szEntryMethod, c_invokeStaticMethod, vtEmpty, psaArgs, &vtRetval);
        SafeArrayDestroy(psaArgs);
        psaArgs = nullptr;

        if (vtRetval.vt != VT_INT)
            vtRetval.ChangeType(VT_INT);
        nResult = vtRetval.intVal;
    }
    catch (const _com_error& e)
    {
        ReportComError(e, L"Could not call the startup method on the entry type from the application core assembly.");
        return e.Error();
    }
    return S_OK;
}
} // namespace

HRESULT RunManagedApplication(CComPtrT<ICorRuntimeHost> oHost)
{
    HRESULT hr = oHost->Start();
    if (FAILED(hr))
        return ReportHostFailure(hr, oHost, L"The CLR could not be started.");

    // Unpacked only now that the runtime runs. A cache folder that others may change ends the start: nothing
    // is loaded from it, nor from anywhere else in its place.
    CBstr bsBaseDir;
    hr = PrepareContentFolder(bsBaseDir);
    if (FAILED(hr))
        return hr;

    CComPtrT<_AppDomain> oAppDomain;
    if (!bsBaseDir.IsEmpty())
    {
        // The application's native libraries load by name from its own folder. Without it there, only its
        // P/Invoke of such a library fails, and tells so itself.
        AddDllSearchFolder(bsBaseDir.c_str());
        hr = CreateEntrywayDomain(oHost, bsBaseDir, oAppDomain);
        if (FAILED(hr))
            return hr;
    }
    else
    {
        CComPtrT<IUnknown> unkAppDomain;
        hr = oHost->GetDefaultDomain(unkAppDomain.GetAddressOf());
        if (FAILED(hr))
            return ReportHostFailure(hr, oHost, L"Could not get the default application domain.");
        oAppDomain.QueryFrom(unkAppDomain.Get());
    }

    int nResult = 0;
    hr = CallEntryPoint(oAppDomain, nResult);
    if (FAILED(hr))
        return hr;

    hr = oHost->Stop();
    if (FAILED(hr))
        return ReportHostFailure(hr, oHost, L"The CLR could not be terminated.");
    return nResult;
}

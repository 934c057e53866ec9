#include "clrhost/clr_roads.h"
#include "launcher/report.h"
#include "netfx/requirements_dialog.h"

namespace
{
const wchar_t c_szV2Lead[] = L"There were problems loading the Common Language Runtime through v2 interfaces.";
const wchar_t c_szV1[] = L"There were problems loading the Common Language Runtime through v2 interfaces.\n\n"
                         L"MsCorEE failed to return the version of the installed CLR.";
const wchar_t c_szV2[] = L"There were problems loading the Common Language Runtime through v2 interfaces.\n\n"
                         L"MsCorEE is missing the CorBindToRuntime exported function.";
const wchar_t c_szV3[] = L"There were problems loading the Common Language Runtime through v2 interfaces.\n\n"
                         L"The selected runtime failed to provide the ICorRuntimeHost interface.";

template <class PFN>
PFN GetExport(HMODULE hmod, const char* pszName)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void*>(GetProcAddress(hmod, pszName)));
}
} // namespace

CClrResult BindClrV2(HMODULE hmodMscoree, CVersion4 verClrRequired, CVersion4 verNetfxRequired)
{
    try
    {
        auto pfnGetCorVersion = GetExport<PFN_GetCORVersion>(hmodMscoree, "GetCORVersion");
        if (!pfnGetCorVersion)
            return CClrResult(S_FALSE);

        const DWORD cchVersion = 256;
        wchar_t szVersion[cchVersion];
        szVersion[0] = L'\0';
        DWORD nCchVersion = cchVersion;
        const HRESULT hrVersion = pfnGetCorVersion(szVersion, cchVersion, &nCchVersion);
        if (FAILED(hrVersion))
        {
            ReportHresult(hrVersion, CComPtrT<IErrorInfo>(), c_szV1);
            return CClrResult(hrVersion);
        }
        // The library's text is trusted to be terminated only within the buffer it was given.
        szVersion[cchVersion - 1] = L'\0';

        const CVersion4 dwMaxVersion = ParseClrVersion(szVersion);
        if (dwMaxVersion < verClrRequired)
        {
            ShowRuntimeRequirementsDialog(dwMaxVersion, CVersion4(), false, verClrRequired, verNetfxRequired);
            return CClrResult(E_FAIL);
        }

        auto pfnCorBindToRuntime = GetExport<PFN_CorBindToRuntime>(hmodMscoree, "CorBindToRuntime");
        if (!pfnCorBindToRuntime)
        {
            // No host and no failure: the caller shows the requirements dialog next.
            ReportHresult(E_NOINTERFACE, CComPtrT<IErrorInfo>(), c_szV2);
            return CClrResult(hrVersion);
        }

        CComPtrT<IUnknown> oUnk;
        HRESULT hr = pfnCorBindToRuntime(szVersion, nullptr, CLSID_CorRuntimeHost, __uuidof(ICorRuntimeHost),
                                         oUnk.GetVoidAddressOf());
        CComPtrT<ICorRuntimeHost> oClrHost(oUnk);
        if (FAILED(hr) || !oClrHost)
        {
            hr = FAILED(hr) ? hr : E_POINTER;
            ReportHresult(hr, CComPtrT<IErrorInfo>(), c_szV3);
            return CClrResult(hr);
        }
        return CClrResult(S_OK, dwMaxVersion, oClrHost.Get());
    }
    catch (const _com_error& e)
    {
        ReportComError(e, c_szV2Lead);
        return CClrResult(e.Error());
    }
}

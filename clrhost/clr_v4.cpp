#include <algorithm>
#include <utility>
#include <vector>

#include "clrhost/clr_roads.h"
#include "launcher/report.h"
#include "netfx/requirements_dialog.h"
#include "netfx/runtime_version.h"

namespace
{
const wchar_t c_szV4Lead[] = L"There were problems loading the Common Language Runtime through v4 interfaces.";
const wchar_t c_szM1[] = L"There were problems loading the Common Language Runtime through v4 interfaces.\n\n"
                         L"MsCorEE failed to provide an instance of the CLR Meta Host.";
const wchar_t c_szM2[] = L"There were problems loading the Common Language Runtime through v4 interfaces.\n\n"
                         L"The MsCorEE CLR Meta Host failed to enumerate the available runtimes.";
const wchar_t c_szM3[] = L"There were problems loading the Common Language Runtime through v4 interfaces.\n\n"
                         L"The enumeration of availabe runtimes in the MsCorEE CLR Meta Host could not be completed.";
const wchar_t c_szM4[] = L"There were problems loading the Common Language Runtime through v4 interfaces.\n\n"
                         L"The MsCorEE CLR Meta Host has no available runtimes.";
const wchar_t c_szM5[] = L"There were problems loading the Common Language Runtime through v4 interfaces.\n\n"
                         L"The selected runtime failed to provide the ICorRuntimeHost interface.";

// A call that succeeded without handing out its interface counts as E_POINTER.
HRESULT FailureOf(HRESULT hr) noexcept
{
    return FAILED(hr) ? hr : E_POINTER;
}
} // namespace

CClrResult SelectClrV4(HMODULE hmodMscoree, CVersion4 verClrRequired, CVersion4 verNetfxRequired)
{
    try
    {
        auto pfnCreateInstance =
            reinterpret_cast<PFN_CLRCreateInstance>(reinterpret_cast<void*>(GetProcAddress(hmodMscoree, "CLRCreateInstance")));
        if (!pfnCreateInstance)
            return CClrResult(S_FALSE);

        CComPtrT<ICLRMetaHost> oMetaHost;
        HRESULT hr = pfnCreateInstance(CLSID_CLRMetaHost, __uuidof(ICLRMetaHost), oMetaHost.GetVoidAddressOf());
        if (hr == E_NOTIMPL)
            return CClrResult(S_FALSE);
        if (FAILED(hr) || !oMetaHost)
        {
            hr = FailureOf(hr);
            ReportHresult(hr, CComPtrT<IErrorInfo>(), c_szM1);
            return CClrResult(hr);
        }

        CComPtrT<IEnumUnknown> oEnum;
        hr = oMetaHost->EnumerateInstalledRuntimes(oEnum.GetAddressOf());
        if (FAILED(hr) || !oEnum)
        {
            hr = FailureOf(hr);
            ReportHresult(hr, CComPtrT<IErrorInfo>(oMetaHost), c_szM2);
            return CClrResult(hr);
        }

        std::vector<std::pair<CComPtrT<ICLRRuntimeInfo>, CVersion4>> arRuntimeInfos;
        CComPtrT<ICLRRuntimeInfo> oRuntimeInfo;
        ULONG celt = 0;
        for (;;)
        {
            // The enumerator hands out runtime information objects; they are taken as they come.
            hr = oEnum->Next(1, reinterpret_cast<IUnknown**>(oRuntimeInfo.GetAddressOf()), &celt);
            if (hr != S_OK || celt == 0)
                break;
            const CVersion4 verRuntime = GetRuntimeInfoVersion(oRuntimeInfo);
            arRuntimeInfos.emplace_back(oRuntimeInfo, verRuntime);
        }
        oRuntimeInfo.Release();
        if (FAILED(hr))
        {
            ReportHresult(hr, CComPtrT<IErrorInfo>(oEnum), c_szM3);
            return CClrResult(hr);
        }
        if (arRuntimeInfos.empty())
        {
            ReportHresult(E_FAIL, CComPtrT<IErrorInfo>(), c_szM4);
            return CClrResult(E_UNEXPECTED);
        }

        std::sort(arRuntimeInfos.begin(), arRuntimeInfos.end(),
                  [](const auto& left, const auto& right) { return left.second < right.second; });

        CComPtrT<ICLRRuntimeInfo> oClrInfoSelected;
        CVersion4 verClrInfoSelected;
        for (size_t i = arRuntimeInfos.size(); i-- > 0;)
        {
            if (arRuntimeInfos[i].second >= verClrRequired)
            {
                oClrInfoSelected = arRuntimeInfos[i].first;
                verClrInfoSelected = arRuntimeInfos[i].second;
                break;
            }
        }
        if (!oClrInfoSelected)
        {
            ShowRuntimeRequirementsDialog(arRuntimeInfos.back().second, CVersion4(), false, verClrRequired,
                                          verNetfxRequired);
            return CClrResult(E_FAIL);
        }
        arRuntimeInfos.clear();

        CComPtrT<ICorRuntimeHost> oClrHost;
        hr = oClrInfoSelected->GetInterface(CLSID_CorRuntimeHost, __uuidof(ICorRuntimeHost), oClrHost.GetVoidAddressOf());
        if (FAILED(hr) || !oClrHost)
        {
            hr = FailureOf(hr);
            ReportHresult(hr, CComPtrT<IErrorInfo>(oClrInfoSelected), c_szM5);
            return CClrResult(hr);
        }
        return CClrResult(S_OK, verClrInfoSelected, oClrHost.Get());
    }
    catch (const _com_error& e)
    {
        ReportComError(e, c_szV4Lead);
        return CClrResult(e.Error());
    }
}

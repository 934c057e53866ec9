// The exports of the stand-in mscoree.dll. Which of them a variant offers is up to its .def file.
#include <windows.h>
#include <oleauto.h>

#include <cwchar>
#include <memory>
#include <string>

#include "clrhost/clr_interfaces.h"
#include "tests/standin/call_log.h"
#include "tests/standin/standin_objects.h"
#include "tests/standin/standin_state.h"

using namespace standin;

extern "C" HRESULT STDAPICALLTYPE CLRCreateInstance(REFCLSID clsid, REFIID riid, LPVOID* ppInterface)
{
    Log(CJsonLine("CLRCreateInstance"));
    if (!ppInterface)
        return E_POINTER;
    *ppInterface = nullptr;
    const CCallAnswer answer = CurrentScenario()->clrCreateInstance;
    if (FAILED(answer.hr) || answer.fNull)
        return answer.hr;
    if (clsid != CLSID_CLRMetaHost)
        return CLASS_E_CLASSNOTAVAILABLE;
    const HRESULT hr = CreateMetaHost(riid, ppInterface);
    return FAILED(hr) ? hr : answer.hr;
}

extern "C" HRESULT STDAPICALLTYPE GetCORVersion(LPWSTR pbBuffer, DWORD cchBuffer, DWORD* dwLength)
{
    Log(CJsonLine("GetCORVersion"));
    const std::shared_ptr<const CScenario> scenario = CurrentScenario();
    if (FAILED(scenario->corVersionHr))
        return scenario->corVersionHr;
    if (!dwLength)
        return E_POINTER;
    const std::wstring& version = scenario->corVersion;
    const DWORD cchNeeded = static_cast<DWORD>(version.size() + 1);
    *dwLength = cchNeeded;
    if (!pbBuffer || cchBuffer < cchNeeded)
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    wmemcpy(pbBuffer, version.data(), version.size());
    pbBuffer[version.size()] = L'\0';
    return scenario->corVersionHr;
}

extern "C" HRESULT STDAPICALLTYPE CorBindToRuntime(LPCWSTR pwszVersion, LPCWSTR pwszBuildFlavor, REFCLSID rclsid,
                                                   REFIID riid, LPVOID* ppv)
{
    Log(CJsonLine("CorBindToRuntime").Text("version", pwszVersion).Text("flavor", pwszBuildFlavor));
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    const std::shared_ptr<const CScenario> scenario = CurrentScenario();
    if (scenario->bindKind != BindKind::Answer)
        return CreateBindObject(scenario->bindKind, ppv);
    const CCallAnswer answer = scenario->corBindToRuntime;
    if (FAILED(answer.hr) || answer.fNull)
        return answer.hr;
    if (rclsid != CLSID_CorRuntimeHost)
        return CLASS_E_CLASSNOTAVAILABLE;
    const HRESULT hr = CreateRuntimeHost(riid, ppv);
    return FAILED(hr) ? hr : answer.hr;
}

// Test support: stand-in hosting objects not yet fully released.
extern "C" int WINAPI LxStandinLiveObjects()
{
    return static_cast<int>(LiveObjects(ObjectKind::Hosting));
}

// Test support: error information objects not yet released (one the thread still holds counts too).
extern "C" int WINAPI LxStandinLiveErrorInfos()
{
    return static_cast<int>(LiveObjects(ObjectKind::ErrorInfo));
}

// Test support: reads LX_CLR_SCENARIO and its file again and drops the thread's pending error information.
// Objects still alive stay counted.
extern "C" void WINAPI LxStandinReset()
{
    ReloadScenario();
    SetErrorInfo(0, nullptr);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE hinstDll, DWORD dwReason, LPVOID)
{
    if (dwReason == DLL_PROCESS_ATTACH)
    {
        NoteLoad();
        DisableThreadLibraryCalls(hinstDll);
    }
    else if (dwReason == DLL_PROCESS_DETACH)
        LogDetach();
    return TRUE;
}

#include "netfx/runtime_version.h"

CVersion4 GetRuntimeInfoVersion(CComPtrT<ICLRRuntimeInfo> oRuntimeInfo)
{
    const DWORD cchVersion = 4096;
    wchar_t szVersion[cchVersion];
    szVersion[0] = L'\0';
    DWORD dwChars = cchVersion;
    const HRESULT hr = oRuntimeInfo->GetVersionString(szVersion, &dwChars);
    if (FAILED(hr))
        IssueComError(hr);
    szVersion[cchVersion - 1] = L'\0';
    return ParseClrVersion(szVersion);
}

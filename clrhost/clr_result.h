// What a CLR road answers: its status, the chosen runtime's version and its host.
#pragma once

#include "clrhost/clr_interfaces.h"
#include "common/com_ptr.h"
#include "netfx/version.h"

struct CClrResult
{
    // A status alone: empty version, no host.
    explicit CClrResult(HRESULT hrStatus) noexcept : hr(hrStatus) {}
    // Takes a reference of its own to the host.
    CClrResult(HRESULT hrStatus, const CVersion4& ver, ICorRuntimeHost* pHost) noexcept
        : hr(hrStatus), verClr(ver), oHost(pHost)
    {
    }

    HRESULT hr;
    CVersion4 verClr;
    CComPtrT<ICorRuntimeHost> oHost;
};

// The COM objects of the stand-in mscoree.dll, as the exports hand them out.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "tests/standin/scenario.h"

namespace standin
{
// A new ICLRMetaHost, queried for riid.
HRESULT CreateMetaHost(REFIID riid, void** ppv);
// A new ICorRuntimeHost, queried for riid.
HRESULT CreateRuntimeHost(REFIID riid, void** ppv);
// The plain object CorBindToRuntime hands out for the nohost and badquery scenarios.
HRESULT CreateBindObject(BindKind kind, void** ppv);
} // namespace standin

// The version of one runtime that the CLR v4 hosting interfaces list.
#pragma once

#include "clrhost/clr_interfaces.h"
#include "common/com_ptr.h"
#include "netfx/version.h"

// Raises _com_error when the runtime's version query fails.
CVersion4 GetRuntimeInfoVersion(CComPtrT<ICLRRuntimeInfo> oRuntimeInfo);

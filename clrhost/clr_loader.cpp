#include "clrhost/clr_loader.h"

HRESULT LoadAndRunClr()
{
    // The runtime roads arrive with the CLR hosting work; until then there is nothing to run.
    return S_OK;
}

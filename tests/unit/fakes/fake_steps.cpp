#include "unit/fakes/fake_steps.h"

#include <objbase.h>

#include "clrhost/clr_loader.h"
#include "splash/splash_window.h"

CFakeSteps g_fakeSteps;

HRESULT ShowSplashScreen(HINSTANCE hInstance)
{
    g_fakeSteps.calls.push_back(L"ShowSplashScreen");
    g_fakeSteps.hinstSplash = hInstance;
    APTTYPEQUALIFIER qualifier;
    if (FAILED(CoGetApartmentType(&g_fakeSteps.aptTypeAtSplash, &qualifier)))
        g_fakeSteps.aptTypeAtSplash = APTTYPE_CURRENT;
    return g_fakeSteps.hrSplash;
}

HRESULT LoadAndRunClr()
{
    g_fakeSteps.calls.push_back(L"LoadAndRunClr");
    if (g_fakeSteps.onLoadAndRun)
        g_fakeSteps.onLoadAndRun();
    return g_fakeSteps.hrLoadAndRun;
}

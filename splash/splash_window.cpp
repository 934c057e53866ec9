#include "splash/splash_window.h"

HRESULT ShowSplashScreen(HINSTANCE /*hInstance*/)
{
    // The layered window and its image arrive with the splash work; until then no splash is shown.
    return S_OK;
}

// Stand-ins for the splash and the runtime loading, so that the launch sequence can be watched alone.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct CFakeSteps
{
    std::vector<std::wstring> calls;           // "ShowSplashScreen", "LoadAndRunClr", in call order
    HINSTANCE hinstSplash = nullptr;           // what ShowSplashScreen was given
    HRESULT hrSplash = S_OK;
    HRESULT hrLoadAndRun = S_OK;
    std::function<void()> onLoadAndRun;        // runs before LoadAndRunClr returns (may throw)
    APTTYPE aptTypeAtSplash = APTTYPE_CURRENT; // the thread's apartment when the splash started
};

extern CFakeSteps g_fakeSteps;

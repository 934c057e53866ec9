// Loading the CLR and running the managed application in it.
#pragma once

#include <windows.h>

// Runs the managed application to its end; returns a failing HRESULT or the application's result.
HRESULT LoadAndRunClr();

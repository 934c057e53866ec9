// The splash window shown while the launcher starts the managed application.
#pragma once

#include <windows.h>

// Registers the class, creates the window, draws the image and pumps the queue once.
HRESULT ShowSplashScreen(HINSTANCE hInstance);

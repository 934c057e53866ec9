// The splash window shown while the launcher starts the managed application.
#pragma once

#include <windows.h>

// Window class of the splash window; other processes (and the tests) find the window by it.
inline constexpr const wchar_t c_szSplashClassName[] = L"CorvaneLauncherSplash";

// The module the splash class, its icons and its window belong to: set by ShowSplashScreen before anything
// else, read when the class is registered and the window created.
extern HINSTANCE g_hinstModule;

// Registers the class, creates the window, draws the image and pumps the queue once.
HRESULT ShowSplashScreen(HINSTANCE hInstance);

// The steps of ShowSplashScreen, in the order it takes them.

// Registers the splash window class for g_hinstModule: E_FAIL when the system refuses it (e.g. it exists).
HRESULT RegisterSplashClass();

// Creates the hidden layered popup and stores it in g_hwndSplash, null included: E_FAIL when there is none.
HRESULT CreateSplashWindow();

// Dispatches what is already queued for this thread, without waiting for more. A WM_QUIT ends the pass and
// is posted again, for the loop that follows.
HRESULT PumpSplashMessages();

// The splash window has no behaviour of its own.
LRESULT CALLBACK SplashWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

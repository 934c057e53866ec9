// How far a long first start has come, drawn as a thin bar along the splash's lower edge.
#pragma once

#include <windows.h>

// Whether the bar may be shown, and its colour (0xRRGGBB). Set once by the entry point from the build's
// options, before the splash is shown; until then there is no bar.
void SetSplashProgressStyle(bool fShowProgress, DWORD dwRgbBar);

// Keeps a copy of the splash's premultiplied pixels (bottom-up rows of dwWidth x 4 bytes), so that the bar can
// be drawn and taken away without decoding the image again. Only while a bar may be shown; a copy that cannot
// be made means no bar.
void KeepSplashImage(const BYTE* pbPixels, UINT dwWidth, UINT dwHeight);

// Whether a bar can be drawn: it may be shown, the image is kept and the splash is visible.
bool CanShowSplashProgress();

// Draws the image with the bar filled to cbDone of cbTotal. S_FALSE when there is nothing to draw on.
HRESULT ShowSplashProgress(ULONGLONG cbDone, ULONGLONG cbTotal);

// Puts the image back as it was decoded, if the bar was drawn, and lets the copy go: no bar after this.
HRESULT EndSplashProgress();

// Reading what the screen shows, for tests that check pixels and for screenshots.
#pragma once

#include <windows.h>

#include <vector>

// The pixels of rc in screen coordinates, as the screen DC (GetDC(nullptr)) shows them: top-down rows of
// 32-bit BGRA values, the alpha byte undefined. False (and no pixels) when the screen cannot be read.
bool CaptureScreenPixels(const RECT& rc, std::vector<DWORD>& pixels);

#include <windows.h>

#include "launcher/launch_sequence.h"

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE /*hPrevInstance*/, PWSTR pszCommandLine, int nShowCommand)
{
    return RunLaunchSequence(hInstance, pszCommandLine, nShowCommand);
}

// The dependency of lxnative.dll, shipped beside it in the product pack.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI LxNativeDepAnswer()
{
    return 41;
}

// A native library as a vendor ships one in the product pack for the managed application: it imports its
// dependency lxnative_dep.dll, which lies in the same folder.
#include <windows.h>

extern "C" __declspec(dllimport) int WINAPI LxNativeDepAnswer();

extern "C" __declspec(dllexport) int WINAPI LxNativeAnswer()
{
    return LxNativeDepAnswer() + 1;
}

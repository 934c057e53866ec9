// Writes a file that the stand-in hosting library takes for a managed assembly: for development runs
// before a product pack supplies the real ones.
#include <windows.h>

#include "tests/standin/fake_assembly.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    return WriteFakeAssembly(argv[1]) ? 0 : 1;
}

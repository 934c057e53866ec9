#include "pack/content_folder.h"

CBstr PrepareContentFolder()
{
    // The product pack arrives with the pack work; until then the application starts in the default domain.
    return CBstr();
}

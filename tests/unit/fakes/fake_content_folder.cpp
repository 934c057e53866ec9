#include "unit/fakes/fake_content_folder.h"

#include "pack/content_folder.h"

CBstr g_bsFakeContentFolder;

CBstr PrepareContentFolder()
{
    return g_bsFakeContentFolder;
}

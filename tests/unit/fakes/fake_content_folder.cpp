#include "unit/fakes/fake_content_folder.h"

#include "pack/content_folder.h"

CBstr g_bsFakeContentFolder;

HRESULT PrepareContentFolder(CBstr& bsFolder)
{
    bsFolder = g_bsFakeContentFolder;
    return bsFolder.IsEmpty() ? S_FALSE : S_OK;
}

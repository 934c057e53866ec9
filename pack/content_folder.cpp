#include "pack/content_folder.h"

#include "pack/pack_extraction.h"

CBstr PrepareContentFolder()
{
    const CBstr bsContentFolder = GetContentCacheFolder();
    if (bsContentFolder.IsEmpty())
        return CBstr();
    CComPtrT<IStorage> oStorage = OpenProductPack(bsContentFolder);
    if (!oStorage)
        return CBstr();
    return ExtractStorage(oStorage.Get(), bsContentFolder) ? bsContentFolder : CBstr();
}

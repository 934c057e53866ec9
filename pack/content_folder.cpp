#include "pack/content_folder.h"

#include "pack/pack_extraction.h"

HRESULT PrepareContentFolder(CBstr& bsFolder)
{
    bsFolder = CBstr();
    CBstr bsContentFolder;
    const HRESULT hr = MakeContentCacheFolder(bsContentFolder);
    if (hr != S_OK)
        return hr;
    CComPtrT<IStorage> oStorage = OpenProductPack(bsContentFolder);
    if (!oStorage)
        return S_FALSE;
    CUnpackProgress progress;
    ULONGLONG cbContent = 0;
    if (ReadPackContentSize(cbContent))
        progress.SetContentSize(cbContent);
    if (!ExtractStorage(oStorage.Get(), bsContentFolder, progress))
        return S_FALSE;
    bsFolder = bsContentFolder;
    return S_OK;
}

CBstr PrepareContentFolder()
{
    CBstr bsFolder;
    PrepareContentFolder(bsFolder);
    return bsFolder;
}

#include "unit/fake_storage.h"

#include <cstring>

namespace
{
template <class I>
class CFakeObject : public I
{
public:
    explicit CFakeObject(std::shared_ptr<CFakeStorageLog> log) : m_log(std::move(log)) { ++m_log->cLive; }
    virtual ~CFakeObject() { --m_log->cLive; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid == IID_IUnknown || riid == __uuidof(I))
            *ppv = static_cast<I*>(this);
        else
            return QueryOther(riid, ppv);
        this->AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRefs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG cRefs = InterlockedDecrement(&m_cRefs);
        if (cRefs == 0)
            delete this;
        return static_cast<ULONG>(cRefs);
    }

protected:
    virtual HRESULT QueryOther(REFIID, void**) { return E_NOINTERFACE; }

    std::shared_ptr<CFakeStorageLog> m_log;

private:
    LONG m_cRefs = 1;
};

class CFakeErrorInfo : public IErrorInfo
{
public:
    explicit CFakeErrorInfo(std::wstring description) : m_description(std::move(description)) {}
    virtual ~CFakeErrorInfo() = default;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        *ppv = nullptr;
        if (riid != IID_IUnknown && riid != IID_IErrorInfo)
            return E_NOINTERFACE;
        *ppv = static_cast<IErrorInfo*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRefs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG cRefs = InterlockedDecrement(&m_cRefs);
        if (cRefs == 0)
            delete this;
        return static_cast<ULONG>(cRefs);
    }
    STDMETHODIMP GetGUID(GUID* pguid) override
    {
        *pguid = GUID_NULL;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* pbstr) override
    {
        *pbstr = SysAllocString(L"ITSS");
        return S_OK;
    }
    STDMETHODIMP GetDescription(BSTR* pbstr) override
    {
        *pbstr = SysAllocString(m_description.c_str());
        return S_OK;
    }
    STDMETHODIMP GetHelpFile(BSTR* pbstr) override
    {
        *pbstr = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetHelpContext(DWORD* pdw) override
    {
        *pdw = 0;
        return S_OK;
    }

private:
    std::wstring m_description;
    LONG m_cRefs = 1;
};

class CFakeStream : public CFakeObject<IStream>
{
public:
    CFakeStream(const CFakeElement& element, std::shared_ptr<CFakeStorageLog> log)
        : CFakeObject(std::move(log)), m_element(element)
    {
    }

    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        *pcbRead = 0;
        if (m_cReads++ > 0 && FAILED(m_element.hrRead))
            return m_element.hrRead;
        const size_t cbLeft = m_element.data.size() - m_offset;
        const ULONG cbCopy = static_cast<ULONG>(cbLeft < cb ? cbLeft : cb);
        memcpy(pv, m_element.data.data() + m_offset, cbCopy);
        m_offset += cbCopy;
        *pcbRead = cbCopy;
        return cbCopy < cb ? S_FALSE : S_OK;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    CFakeElement m_element;
    size_t m_offset = 0;
    int m_cReads = 0;
};

class CFakeEnum : public CFakeObject<IEnumSTATSTG>
{
public:
    CFakeEnum(const CFakeElement& storage, std::shared_ptr<CFakeStorageLog> log)
        : CFakeObject(std::move(log)), m_storage(storage)
    {
    }

    STDMETHODIMP Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) override
    {
        *pceltFetched = 0;
        if (celt != 1)
            return E_INVALIDARG;
        if (m_cNext++ == m_storage.iNextFailure)
            return m_storage.hrNext;
        if (m_index >= m_storage.children.size())
            return S_FALSE;
        const CFakeElement& element = m_storage.children[m_index++];
        ZeroMemory(rgelt, sizeof(*rgelt));
        const size_t cbName = (element.name.size() + 1) * sizeof(wchar_t);
        rgelt->pwcsName = static_cast<LPOLESTR>(CoTaskMemAlloc(cbName));
        memcpy(rgelt->pwcsName, element.name.c_str(), cbName);
        rgelt->type = element.type;
        rgelt->cbSize.QuadPart = element.data.size();
        *pceltFetched = 1;
        return S_OK;
    }
    STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
    STDMETHODIMP Reset() override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IEnumSTATSTG**) override { return E_NOTIMPL; }

private:
    CFakeElement m_storage;
    size_t m_index = 0;
    int m_cNext = 0;
};

class CFakeStorage : public CFakeObject<IStorage>
{
public:
    CFakeStorage(const CFakeElement& storage, std::shared_ptr<CFakeStorageLog> log)
        : CFakeObject(std::move(log)), m_storage(storage)
    {
    }

    STDMETHODIMP EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** ppenum) override
    {
        *ppenum = nullptr;
        if (reserved1 != 0 || reserved2 != nullptr || reserved3 != 0)
            return RefuseArguments(L"EnumElements", STG_E_INVALIDPARAMETER);
        if (FAILED(m_storage.hrEnum))
            return m_storage.hrEnum;
        *ppenum = new CFakeEnum(m_storage, m_log);
        return S_OK;
    }
    STDMETHODIMP OpenStream(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode, DWORD reserved2,
                            IStream** ppstm) override
    {
        *ppstm = nullptr;
        m_log->opens.push_back(std::wstring(L"stream:") + pwcsName);
        if (reserved1 != nullptr || grfMode != c_grfReadExclusive || reserved2 != 0)
            return RefuseArguments(L"OpenStream", STG_E_INVALIDFLAG);
        const CFakeElement* pElement = Find(pwcsName, STGTY_STREAM);
        if (!pElement)
            return STG_E_FILENOTFOUND;
        if (FAILED(pElement->hrOpen))
            return pElement->hrOpen;
        *ppstm = new CFakeStream(*pElement, m_log);
        return S_OK;
    }
    STDMETHODIMP OpenStorage(const OLECHAR* pwcsName, IStorage* pPriority, DWORD grfMode, SNB snbExclude,
                             DWORD reserved, IStorage** ppstg) override
    {
        *ppstg = nullptr;
        m_log->opens.push_back(std::wstring(L"storage:") + pwcsName);
        if (pPriority != nullptr || grfMode != c_grfReadExclusive || snbExclude != nullptr || reserved != 0)
            return RefuseArguments(L"OpenStorage", STG_E_INVALIDFLAG);
        const CFakeElement* pElement = Find(pwcsName, STGTY_STORAGE);
        if (!pElement)
            return STG_E_FILENOTFOUND;
        if (FAILED(pElement->hrOpen))
            return pElement->hrOpen;
        *ppstg = new CFakeStorage(*pElement, m_log);
        return S_OK;
    }
    STDMETHODIMP CreateStream(const OLECHAR*, DWORD, DWORD, DWORD, IStream**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateStorage(const OLECHAR*, DWORD, DWORD, DWORD, IStorage**) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override { return E_NOTIMPL; }
    STDMETHODIMP MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP DestroyElement(const OLECHAR*) override { return E_NOTIMPL; }
    STDMETHODIMP RenameElement(const OLECHAR*, const OLECHAR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override
    {
        return E_NOTIMPL;
    }
    STDMETHODIMP SetClass(REFCLSID) override { return E_NOTIMPL; }
    STDMETHODIMP SetStateBits(DWORD, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }

protected:
    HRESULT QueryOther(REFIID riid, void** ppv) override
    {
        if (riid != IID_IErrorInfo || m_log->errorDescription.empty())
            return E_NOINTERFACE;
        *ppv = static_cast<IErrorInfo*>(new CFakeErrorInfo(m_log->errorDescription));
        return S_OK;
    }

private:
    // Read access, no sharing: the only way the extraction opens an element.
    static const DWORD c_grfReadExclusive = STGM_READ | STGM_SHARE_EXCLUSIVE;

    HRESULT RefuseArguments(const wchar_t* pszCall, HRESULT hr)
    {
        m_log->argumentFaults.push_back(pszCall);
        return hr;
    }

    const CFakeElement* Find(const OLECHAR* pwcsName, DWORD type) const
    {
        for (const CFakeElement& element : m_storage.children)
        {
            if (element.name == pwcsName && element.type == type)
                return &element;
        }
        return nullptr;
    }

    CFakeElement m_storage;
};
} // namespace

IStorage* CreateFakeStorage(const CFakeElement& root, std::shared_ptr<CFakeStorageLog> log)
{
    return new CFakeStorage(root, std::move(log));
}

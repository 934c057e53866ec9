// The real pack through Wine's InfoTech storage component: this test program carries the sample product pack
// as its own resource, exactly as the launcher does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clrhost/clr_roads.h"
#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "pack/content_folder.h"
#include "pack/pack_extraction.h"
#include "test_thread.h"
#include "tests/standin/fake_assembly.h"
#include "unit/import_patch.h"
#include "unit/standin_session.h"
#include "unit/system_text.h"
#include "unit/test_files.h"

namespace
{
std::wstring Environment(const wchar_t* pszName)
{
    wchar_t szValue[MAX_PATH * 4] = {};
    GetEnvironmentVariableW(pszName, szValue, ARRAYSIZE(szValue));
    return szValue;
}

std::wstring ScratchTemp(const wchar_t* pszName)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring temp = std::wstring(szTemp) + L"lx-packres-" + std::to_wstring(GetCurrentProcessId()) + L"-" + pszName;
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    return temp;
}

ULONGLONG WriteTime(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA attrs = {};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attrs);
    return (static_cast<ULONGLONG>(attrs.ftLastWriteTime.dwHighDateTime) << 32) | attrs.ftLastWriteTime.dwLowDateTime;
}

std::string PackBytes()
{
    HRSRC hrsrc = FindResourceW(nullptr, MAKEINTRESOURCEW(666), RT_RCDATA);
    const char* pch = static_cast<const char*>(LockResource(LoadResource(nullptr, hrsrc)));
    return std::string(pch, SizeofResource(nullptr, hrsrc));
}

// The files the sample application is made of (what the pack was built from).
std::vector<std::wstring> SampleFiles()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW find;
    HANDLE hFind = FindFirstFileW((Environment(L"LX_SAMPLE_APP_DIR") + L"\\*").c_str(), &find);
    if (hFind == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        if (!(find.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(find.cFileName);
    } while (FindNextFileW(hFind, &find));
    FindClose(hFind);
    return names;
}

// Counts the streams opened through a storage and its sub-storages.
class CCountingStorage : public IStorage
{
public:
    CCountingStorage(IStorage* pInner, int* pcStreamOpens) : m_pInner(pInner), m_pcStreamOpens(pcStreamOpens)
    {
        m_pInner->AddRef();
    }
    virtual ~CCountingStorage() { m_pInner->Release(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IUnknown || riid == IID_IStorage)
        {
            *ppv = static_cast<IStorage*>(this);
            AddRef();
            return S_OK;
        }
        return m_pInner->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_cRefs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG cRefs = --m_cRefs;
        if (cRefs == 0)
            delete this;
        return static_cast<ULONG>(cRefs);
    }
    STDMETHODIMP OpenStream(const OLECHAR* pwcsName, void* pv, DWORD grfMode, DWORD reserved, IStream** ppstm) override
    {
        ++*m_pcStreamOpens;
        return m_pInner->OpenStream(pwcsName, pv, grfMode, reserved, ppstm);
    }
    STDMETHODIMP OpenStorage(const OLECHAR* pwcsName, IStorage* pPriority, DWORD grfMode, SNB snb, DWORD reserved,
                             IStorage** ppstg) override
    {
        IStorage* pInner = nullptr;
        const HRESULT hr = m_pInner->OpenStorage(pwcsName, pPriority, grfMode, snb, reserved, &pInner);
        *ppstg = SUCCEEDED(hr) ? new CCountingStorage(pInner, m_pcStreamOpens) : nullptr;
        if (pInner)
            pInner->Release();
        return hr;
    }
    STDMETHODIMP EnumElements(DWORD r1, void* r2, DWORD r3, IEnumSTATSTG** ppenum) override
    {
        return m_pInner->EnumElements(r1, r2, r3, ppenum);
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
    STDMETHODIMP Stat(STATSTG* pstat, DWORD grf) override { return m_pInner->Stat(pstat, grf); }

private:
    IStorage* m_pInner;
    int* m_pcStreamOpens;
    LONG m_cRefs = 1;
};

// What the launcher asked of the storage component.
struct CComponentCall
{
    CLSID clsid = {};
    IID iid = {};
    DWORD dwContext = 0;
    std::wstring openedName;
    bool fPriority = false;
    DWORD grfMode = 0;
    bool fExclusions = false;
    DWORD reserved = 0xFFFFFFFF;
    int cOpens = 0;
};
CComponentCall g_call;
int g_cSharingRefusals = 0; // how many opens the component refuses first, as another process's hold
HRESULT g_hrCreate = S_OK; // what a creation that hands back nothing answers

// The InfoTech storage component's interface in its published layout, up to the one method the launcher calls:
// a stand-in that notes how the pack is opened and refuses to open it.
// No virtual destructor: it would take a slot of its own before the storage methods.
class CRecordingComponent final : public IUnknown
{
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++m_cRefs); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG cRefs = --m_cRefs;
        if (cRefs == 0)
            delete this;
        return static_cast<ULONG>(cRefs);
    }
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**)
    {
        return E_NOTIMPL;
    }
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) { return E_NOTIMPL; }
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                                     SNB snbExclude, DWORD reserved, IStorage** ppstgOpen)
    {
        g_call.openedName = pwcsName ? pwcsName : L"(null)";
        g_call.fPriority = pstgPriority != nullptr;
        g_call.grfMode = grfMode;
        g_call.fExclusions = snbExclude != nullptr;
        g_call.reserved = reserved;
        *ppstgOpen = nullptr;
        return ++g_call.cOpens <= g_cSharingRefusals ? STG_E_SHAREVIOLATION : STG_E_FILENOTFOUND;
    }

private:
    LONG m_cRefs = 1;
};

HRESULT WINAPI CreateRecordingComponent(REFCLSID rclsid, LPUNKNOWN, DWORD dwContext, REFIID riid, LPVOID* ppv)
{
    g_call.clsid = rclsid;
    g_call.iid = riid;
    g_call.dwContext = dwContext;
    *ppv = static_cast<IUnknown*>(new CRecordingComponent());
    return S_OK;
}

HRESULT WINAPI CreateNothing(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* ppv)
{
    *ppv = nullptr;
    return g_hrCreate;
}

GUID GuidFromText(const wchar_t* pszText)
{
    GUID guid = {};
    EXPECT_EQ(S_OK, CLSIDFromString(pszText, &guid)) << "not a GUID";
    return guid;
}

class PackResource : public testing::Test
{
protected:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
};
} // namespace

TEST_F(PackResource, FirstStartWritesThePackAndEveryFileByteEqual)
{
    const std::wstring temp = ScratchTemp(L"first");
    CMessageBoxRecorder recorder;
    const std::wstring folder = PrepareContentFolder().c_str();
    EXPECT_TRUE(recorder.Boxes().empty());
    ASSERT_EQ(temp + L"\\Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache", folder);
    EXPECT_TRUE(PackBytes() == ReadAll(folder + L"\\ProductContent.chm"));

    const std::vector<std::wstring> files = SampleFiles();
    ASSERT_GE(files.size(), 2u) << "the sample application's files were not found";
    ULONGLONG cbFiles = 0;
    for (const std::wstring& name : files)
    {
        const std::string expected = ReadAll(Environment(L"LX_SAMPLE_APP_DIR") + L"\\" + name);
        EXPECT_TRUE(expected == ReadAll(folder + L"\\" + name)) << "differs: " << std::string(name.begin(), name.end());
        cbFiles += expected.size();
    }
    // The size that a long first start measures its progress against: the bytes of exactly these files.
    ULONGLONG cbRecorded = 0;
    EXPECT_TRUE(ReadPackContentSize(cbRecorded));
    EXPECT_EQ(cbFiles, cbRecorded);

    // Nothing but the product's own files beside the pack file: no entries of a help compiler.
    std::vector<std::wstring> expected = {folder + L"\\ProductContent.chm"};
    for (const std::wstring& name : files)
        expected.push_back(folder + L"\\" + name);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, TreeOf(folder));
}

TEST_F(PackResource, SecondStartRewritesNothingAndOpensNoStream)
{
    ScratchTemp(L"second");
    const std::wstring folder = PrepareContentFolder().c_str();
    ASSERT_FALSE(folder.empty());
    const std::vector<std::wstring> files = SampleFiles();
    std::vector<ULONGLONG> times;
    for (const std::wstring& name : files)
        times.push_back(WriteTime(folder + L"\\" + name));
    const ULONGLONG packTime = WriteTime(folder + L"\\ProductContent.chm");
    Sleep(1100);

    CMessageBoxRecorder recorder;
    CComPtrT<IStorage> oStorage = OpenProductPack(folder.c_str());
    ASSERT_TRUE(oStorage);
    int cStreamOpens = 0;
    IStorage* pCounting = new CCountingStorage(oStorage.Get(), &cStreamOpens);
    EXPECT_TRUE(ExtractStorage(pCounting, folder.c_str()));
    pCounting->Release();
    oStorage.Release();
    EXPECT_EQ(0, cStreamOpens);
    EXPECT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
    EXPECT_TRUE(recorder.Boxes().empty());

    EXPECT_EQ(packTime, WriteTime(folder + L"\\ProductContent.chm"));
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(times[i], WriteTime(folder + L"\\" + files[i]));
}

TEST_F(PackResource, OnlyFilesOfTheWrongSizeAreCopiedAgain)
{
    ScratchTemp(L"sizes");
    const std::wstring folder = PrepareContentFolder().c_str();
    ASSERT_FALSE(folder.empty());
    const std::wstring core = folder + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll";
    const std::wstring product = folder + L"\\Lumenix.dll";
    const std::string coreBytes = ReadAll(core);
    const std::string productBytes = ReadAll(product);
    ASSERT_FALSE(coreBytes.empty());
    WriteAll(core, coreBytes.substr(0, coreBytes.size() / 2));
    const std::string sameSize(productBytes.size(), 'Z');
    WriteAll(product, sameSize);

    EXPECT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
    EXPECT_TRUE(coreBytes == ReadAll(core));
    EXPECT_TRUE(sameSize == ReadAll(product));
}

TEST_F(PackResource, PackFileOfAnotherSizeIsRewrittenBeforeItIsOpened)
{
    const std::wstring temp = ScratchTemp(L"packsize");
    const std::wstring folder = temp + L"\\Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";
    ASSERT_EQ(folder, std::wstring(GetContentCacheFolder().c_str()));
    // Too short and too long alike: only the resource's exact size is taken as the pack.
    const std::string pack = PackBytes();
    for (const std::string& stale : {std::string("ITSF but far too short"), pack.substr(0, pack.size() - 1), pack + "x",
                                     pack + "stale tail"})
    {
        WriteAll(folder + L"\\ProductContent.chm", stale);
        CMessageBoxRecorder recorder;
        EXPECT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
        EXPECT_TRUE(recorder.Boxes().empty());
        EXPECT_TRUE(PackBytes() == ReadAll(folder + L"\\ProductContent.chm")) << stale.size() << " bytes kept";
    }
}

TEST_F(PackResource, PackFileOfTheRightSizeIsTakenAsItIs)
{
    const std::wstring temp = ScratchTemp(L"samesize");
    const std::wstring folder = temp + L"\\Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";
    ASSERT_EQ(folder, std::wstring(GetContentCacheFolder().c_str()));
    WriteAll(folder + L"\\ProductContent.chm", std::string(PackBytes().size(), '\0'));

    CMessageBoxRecorder recorder;
    EXPECT_TRUE(PrepareContentFolder().IsEmpty());
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(0u, recorder.Boxes()[0].text.find(L"Could not open the structured document storage on the product pack.\n"));
}

TEST_F(PackResource, StorageComponentIsCreatedByItsPublishedIdentifiersAndOpenedForReading)
{
    const std::wstring temp = ScratchTemp(L"component");
    CImportPatch patch("ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&CreateRecordingComponent));
    ASSERT_TRUE(patch.IsPatched());
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(PrepareContentFolder().IsEmpty());
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(ReportText(L"Could not open the structured document storage on the product pack.", STG_E_FILENOTFOUND),
              recorder.Boxes()[0].text);

    EXPECT_TRUE(GuidFromText(L"{5D02926A-212E-11D0-9DF9-00A0C922E6EC}") == g_call.clsid) << "CLSID_ITStorage";
    EXPECT_TRUE(GuidFromText(L"{88CC31DE-27AB-11D0-9DF9-00A0C922E6EC}") == g_call.iid) << "IID_ITStorage";
    EXPECT_EQ(23u, g_call.dwContext);
    EXPECT_EQ(temp + L"\\Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache\\ProductContent.chm", g_call.openedName);
    EXPECT_FALSE(g_call.fPriority);
    EXPECT_EQ(0x20u, g_call.grfMode); // STGM_READ | STGM_SHARE_DENY_WRITE: other starts may read it too
    EXPECT_FALSE(g_call.fExclusions);
    EXPECT_EQ(0u, g_call.reserved);
}

// Two starts of one release unpack at once: a component that does not let the second open the pack while
// the first holds it makes the second wait, not fail.
TEST_F(PackResource, PackThatAnotherStartHoldsIsWaitedFor)
{
    ScratchTemp(L"heldpack");
    g_call = CComponentCall();
    g_cSharingRefusals = 2;
    CImportPatch patch("ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&CreateRecordingComponent));
    ASSERT_TRUE(patch.IsPatched());
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(PrepareContentFolder().IsEmpty());
    g_cSharingRefusals = 0;
    EXPECT_EQ(3, g_call.cOpens);
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(ReportText(L"Could not open the structured document storage on the product pack.", STG_E_FILENOTFOUND),
              recorder.Boxes()[0].text);
}

TEST_F(PackResource, PackFileThatCannotBeWrittenIsTold)
{
    const std::wstring temp = ScratchTemp(L"packfolder");
    const std::wstring folder = temp + L"\\Corvane\\Lumenix\\v1.1.1.511\\ProductContentCache";
    ASSERT_EQ(folder, std::wstring(GetContentCacheFolder().c_str()));
    ASSERT_TRUE(CreateDirectoryW((folder + L"\\ProductContent.chm").c_str(), nullptr));

    CMessageBoxRecorder recorder;
    EXPECT_TRUE(PrepareContentFolder().IsEmpty());
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(L"Could not open the product content cache file for writing. " + Win32SystemText(ERROR_ACCESS_DENIED) +
                  L" (5)",
              recorder.Boxes()[0].text);
}

TEST_F(PackResource, StorageComponentThatCannotBeCreatedIsTold)
{
    ScratchTemp(L"nocomponent");
    CImportPatch patch("ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&CreateNothing));
    ASSERT_TRUE(patch.IsPatched());
    g_hrCreate = REGDB_E_CLASSNOTREG;
    CMessageBoxRecorder recorder;
    EXPECT_TRUE(PrepareContentFolder().IsEmpty());
    ASSERT_EQ(1u, recorder.Boxes().size());
    EXPECT_EQ(ReportText(L"Could not create an ITStorage instance to read the product pack.", REGDB_E_CLASSNOTREG),
              recorder.Boxes()[0].text);
}

// A creation that succeeds without an object is told like a failed one, and the start goes on in the
// runtime's default domain.
TEST_F(PackResource, StorageComponentCreatedWithoutAnObjectFallsBackToTheDefaultDomain)
{
    CStandinSession session(L"defaultDomain.base={folder}\n");
    ScratchTemp(L"nullcomponent");
    ASSERT_TRUE(WriteFakeAssembly((session.Folder() + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll").c_str()));
    HMODULE hmod = session.Load();
    CImportPatch patch("ole32.dll", "CoCreateInstance", reinterpret_cast<void*>(&CreateNothing));
    ASSERT_TRUE(patch.IsPatched());
    g_hrCreate = S_OK;
    HRESULT hr = E_FAIL;
    std::vector<CBoxRecord> boxes;
    {
        CMessageBoxRecorder recorder;
        CClrResult clrresult = SelectClrV4(hmod, CVersion4(2, 0, 0, 0), CVersion4(3, 5, 0, 0));
        ASSERT_TRUE(clrresult.oHost);
        hr = RunManagedApplication(clrresult.oHost);
        boxes = recorder.Boxes();
    }
    EXPECT_EQ(0, hr);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(ReportText(L"Could not create an ITStorage instance to read the product pack.", E_POINTER), boxes[0].text);
    EXPECT_TRUE(session.WasCalled("GetDefaultDomain"));
    EXPECT_FALSE(session.WasCalled("CreateDomainEx"));
    EXPECT_TRUE(session.WasCalled("Stop"));
    EXPECT_EQ(0, session.LiveObjects());
}

namespace
{
// A cache file as another start of the launcher holds it while it writes: created afresh, shared with nobody.
HANDLE HoldWithoutSharing(const std::wstring& path)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, hFile) << "cannot hold the file";
    return hFile;
}
} // namespace

TEST_F(PackResource, CacheFilesHeldByAnotherAreWaitedFor)
{
    ScratchTemp(L"held");
    const std::wstring folder = GetContentCacheFolder().c_str();
    ASSERT_FALSE(folder.empty());
    const std::wstring pack = folder + L"\\ProductContent.chm";
    const std::wstring product = folder + L"\\Lumenix.dll";
    const std::string productBytes = ReadAll(Environment(L"LX_SAMPLE_APP_DIR") + L"\\Lumenix.dll");
    ASSERT_FALSE(productBytes.empty());

    // The pack file, held for a moment and let go empty: written once it is free.
    {
        HANDLE hPack = HoldWithoutSharing(pack);
        CTestThread holder([hPack] {
            Sleep(300);
            CloseHandle(hPack);
        });
        CMessageBoxRecorder recorder;
        EXPECT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
        EXPECT_TRUE(recorder.Boxes().empty());
        holder.Join();
        EXPECT_TRUE(PackBytes() == ReadAll(pack));
        EXPECT_TRUE(productBytes == ReadAll(product));
    }
    // The product's file, held while the holder writes it whole: left as the holder wrote it.
    const std::string sameSize(productBytes.size(), 'Z');
    {
        HANDLE hProduct = HoldWithoutSharing(product);
        CTestThread holder([hProduct, &sameSize] {
            Sleep(300);
            DWORD dwWritten = 0;
            WriteFile(hProduct, sameSize.data(), static_cast<DWORD>(sameSize.size()), &dwWritten, nullptr);
            // Held past a retry after it is whole, so that the launcher sees its size before it could open it.
            Sleep(300);
            CloseHandle(hProduct);
        });
        CMessageBoxRecorder recorder;
        EXPECT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
        EXPECT_TRUE(recorder.Boxes().empty());
        holder.Join();
        EXPECT_TRUE(sameSize == ReadAll(product));
    }
    // Held past the wait: told with the platform's reason, as without waiting.
    {
        HANDLE hProduct = HoldWithoutSharing(product);
        CMessageBoxRecorder recorder;
        EXPECT_TRUE(PrepareContentFolder().IsEmpty());
        CloseHandle(hProduct);
        ASSERT_EQ(1u, recorder.Boxes().size());
        EXPECT_EQ(L"Could not open the product content file \u201C" + product + L"\u201D for writing. " +
                      FormatWin32Message(ERROR_SHARING_VIOLATION).c_str(),
                  recorder.Boxes()[0].text);
    }
}

namespace
{
DWORD g_cbResource = 0;
DWORD WINAPI MeasureResource(HMODULE, HRSRC)
{
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return g_cbResource;
}

void* g_pfnGetFileAttributesEx = nullptr;
// Every file as 4 GiB larger than it is: the low half of its size still matches.
BOOL WINAPI AttributesWithAHighHalf(LPCWSTR pszPath, GET_FILEEX_INFO_LEVELS level, LPVOID pvInfo)
{
    const BOOL fOk = reinterpret_cast<decltype(&GetFileAttributesExW)>(g_pfnGetFileAttributesEx)(pszPath, level, pvInfo);
    if (fOk)
        static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(pvInfo)->nFileSizeHigh += 1;
    return fOk;
}
} // namespace

// A resource of no bytes is told; one of a single byte is written as the pack. A file whose size has a high
// half is not the pack's size, nor any stream's, even where the low half matches.
TEST_F(PackResource, SizesAtTheirEnds)
{
    ScratchTemp(L"sizes-ends");
    const std::wstring folder = GetContentCacheFolder().c_str();
    ASSERT_FALSE(folder.empty());
    const std::wstring pack = folder + L"\\ProductContent.chm";
    {
        CImportPatch patch("kernel32.dll", "SizeofResource", reinterpret_cast<void*>(&MeasureResource));
        ASSERT_TRUE(patch.IsPatched());
        g_cbResource = 0;
        CMessageBoxRecorder recorder;
        EXPECT_TRUE(PrepareContentFolder().IsEmpty());
        ASSERT_EQ(1u, recorder.Boxes().size());
        EXPECT_EQ(std::wstring(L"The product pack resource could not be measured for size. ") +
                      FormatWin32Message(ERROR_RESOURCE_DATA_NOT_FOUND).c_str(),
                  recorder.Boxes()[0].text);
        bool fWritten = true;
        ReadAll(pack, &fWritten);
        EXPECT_FALSE(fWritten);

        g_cbResource = 1;
        EXPECT_TRUE(PrepareContentFolder().IsEmpty());
        ASSERT_EQ(2u, recorder.Boxes().size());
        EXPECT_EQ(0u, recorder.Boxes()[1].text.find(L"Could not open the structured document storage on the product pack."));
        EXPECT_EQ(PackBytes().substr(0, 1), ReadAll(pack));
    }

    ASSERT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
    const std::wstring product = folder + L"\\Lumenix.dll";
    const std::vector<ULONGLONG> before = {WriteTime(pack), WriteTime(product)};
    Sleep(1100);
    {
        CImportPatch patch("kernel32.dll", "GetFileAttributesExW", reinterpret_cast<void*>(&AttributesWithAHighHalf));
        ASSERT_TRUE(patch.IsPatched());
        g_pfnGetFileAttributesEx = patch.Original();
        CMessageBoxRecorder recorder;
        EXPECT_EQ(folder, std::wstring(PrepareContentFolder().c_str()));
        EXPECT_TRUE(recorder.Boxes().empty());
    }
    EXPECT_NE(before[0], WriteTime(pack));
    EXPECT_NE(before[1], WriteTime(product));
    EXPECT_TRUE(PackBytes() == ReadAll(pack));
}

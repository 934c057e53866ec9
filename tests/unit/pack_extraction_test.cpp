// Unpacking storages into folders, walked through in-memory storages: the nested walk, the size-only skip,
// every failure with its exact report, unsafe names and writes that fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "pack/content_folder.h"
#include "pack/pack_extraction.h"
#include "unit/fake_storage.h"
#include "unit/import_patch.h"
#include "unit/system_text.h"
#include "unit/test_files.h"

namespace
{
std::wstring TempFolder(const wchar_t* pszName)
{
    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    std::wstring folder = std::wstring(szTemp) + L"lx-pack-" + std::to_wstring(GetCurrentProcessId()) + L"-" + pszName;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Bytes that compress like code: structured, repeating, not random.
std::string Payload(size_t cb, char seed)
{
    std::string data(cb, '\0');
    for (size_t i = 0; i < cb; ++i)
        data[i] = static_cast<char>(seed + (i % 251) * ((i / 4096) % 7 + 1));
    return data;
}

CFakeElement SampleTree()
{
    CFakeElement root = CFakeElement::Storage(L"", {
        CFakeElement::Stream(L"Corvane.Platform.Tessarine.UI.Standalone.dll", Payload(150000, 'M')),
        CFakeElement::Storage(L"de", {
            CFakeElement::Stream(L"Lumenix.resources.dll", Payload(70000, 'r')),
            CFakeElement::Storage(L"extra", {CFakeElement::Stream(L"deep.txt", "deep")}),
        }),
        CFakeElement::Stream(L"empty.txt", ""),
        CFakeElement::Stream(L"Lumenix.dll", Payload(65536, 'L')),
    });
    CFakeElement lockBytes = CFakeElement::Stream(L"lockbytes", "never");
    lockBytes.type = STGTY_LOCKBYTES;
    root.children.insert(root.children.begin() + 1, lockBytes);
    CFakeElement property = CFakeElement::Stream(L"property", "never");
    property.type = STGTY_PROPERTY;
    root.children.push_back(property);
    return root;
}

struct CExtractRun
{
    bool fResult = false;
    std::vector<CBoxRecord> boxes;
    std::vector<std::wstring> opens;
    LONG cLiveAfter = -1;
    std::vector<std::wstring> argumentFaults;
};

CExtractRun Extract(const CFakeElement& root, const std::wstring& folder, const std::wstring& errorDescription = L"")
{
    auto log = std::make_shared<CFakeStorageLog>();
    log->errorDescription = errorDescription;
    CExtractRun run;
    {
        CMessageBoxRecorder recorder;
        IStorage* pStorage = CreateFakeStorage(root, log);
        run.fResult = ExtractStorage(pStorage, folder.c_str());
        pStorage->Release();
        run.boxes = recorder.Boxes();
    }
    run.opens = log->opens;
    run.cLiveAfter = log->cLive;
    run.argumentFaults = log->argumentFaults;
    return run;
}

void ExpectBox(const CExtractRun& run, const std::wstring& text)
{
    EXPECT_FALSE(run.fResult);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(text, run.boxes[0].text);
    EXPECT_EQ(L"Lumenix \u2013 Loading", run.boxes[0].caption);
    EXPECT_EQ(0, run.cLiveAfter);
}

std::wstring Win32ReportText(const std::wstring& message, DWORD dwCode)
{
    return message + L" " + FormatWin32Message(dwCode).c_str();
}
} // namespace

TEST(PackExtraction, NestedStoragesBecomeFoldersDepthFirst)
{
    const std::wstring folder = TempFolder(L"nested");
    const CFakeElement root = SampleTree();
    const CExtractRun run = Extract(root, folder);

    EXPECT_TRUE(run.fResult);
    for (const CBoxRecord& box : run.boxes)
        ADD_FAILURE() << "box: " << box.text;
    EXPECT_EQ((std::vector<std::wstring>{L"stream:Corvane.Platform.Tessarine.UI.Standalone.dll", L"storage:de",
                                         L"stream:Lumenix.resources.dll", L"storage:extra", L"stream:deep.txt",
                                         L"stream:empty.txt", L"stream:Lumenix.dll"}),
              run.opens);
    EXPECT_TRUE(root.children[0].data == ReadAll(folder + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll"));
    EXPECT_TRUE(root.children[2].children[0].data == ReadAll(folder + L"\\de\\Lumenix.resources.dll"));
    EXPECT_EQ("deep", ReadAll(folder + L"\\de\\extra\\deep.txt"));
    bool fEmptyExists = false;
    EXPECT_EQ("", ReadAll(folder + L"\\empty.txt", &fEmptyExists));
    EXPECT_TRUE(fEmptyExists);
    EXPECT_EQ(65536u, ReadAll(folder + L"\\Lumenix.dll").size());
    EXPECT_FALSE(Exists(folder + L"\\lockbytes"));
    EXPECT_FALSE(Exists(folder + L"\\property"));
    EXPECT_EQ(0, run.cLiveAfter);
    // Every storage, stream and enumeration was opened as the extraction must: read only, not shared.
    EXPECT_EQ(std::vector<std::wstring>(), run.argumentFaults);
}

TEST(PackExtraction, SecondRunOpensNoStream)
{
    const std::wstring folder = TempFolder(L"second");
    const CFakeElement root = SampleTree();
    ASSERT_TRUE(Extract(root, folder).fResult);
    const CExtractRun second = Extract(root, folder);
    EXPECT_TRUE(second.fResult);
    EXPECT_TRUE(second.boxes.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"storage:de", L"storage:extra"}), second.opens);
}

TEST(PackExtraction, OnlyFilesOfAnotherSizeAreCopiedAgain)
{
    const std::wstring folder = TempFolder(L"sizes");
    const CFakeElement root = SampleTree();
    ASSERT_TRUE(Extract(root, folder).fResult);
    const std::wstring core = folder + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll";
    // One byte short and one byte long are as wrong as any other size.
    WriteAll(core, root.children[0].data.substr(0, root.children[0].data.size() - 1));
    const std::string sameSize(65536, 'X');
    WriteAll(folder + L"\\Lumenix.dll", sameSize);
    WriteAll(folder + L"\\de\\extra\\deep.txt", "deep!");

    const CExtractRun run = Extract(root, folder);
    EXPECT_TRUE(run.fResult);
    EXPECT_EQ((std::vector<std::wstring>{L"stream:Corvane.Platform.Tessarine.UI.Standalone.dll", L"storage:de",
                                         L"storage:extra", L"stream:deep.txt"}),
              run.opens);
    EXPECT_TRUE(root.children[0].data == ReadAll(core));
    EXPECT_TRUE(sameSize == ReadAll(folder + L"\\Lumenix.dll"));
    EXPECT_EQ("deep", ReadAll(folder + L"\\de\\extra\\deep.txt"));
}

namespace
{
void* g_pfnCreateFolder = nullptr;
DWORD g_dwFolderThere = ERROR_ALREADY_EXISTS;
// Creates the folder, then answers as the system does for one that was there already.
BOOL WINAPI CreateFolderThere(LPCWSTR pszPath, LPSECURITY_ATTRIBUTES psa)
{
    reinterpret_cast<BOOL(WINAPI*)(LPCWSTR, LPSECURITY_ATTRIBUTES)>(g_pfnCreateFolder)(pszPath, psa);
    SetLastError(g_dwFolderThere);
    return FALSE;
}
} // namespace

TEST(PackExtraction, SubFolderThereAlreadyIsTakenWhicheverWayTheSystemSaysSo)
{
    CImportPatch patch("kernel32.dll", "CreateDirectoryW", reinterpret_cast<void*>(&CreateFolderThere));
    ASSERT_TRUE(patch.IsPatched());
    g_pfnCreateFolder = patch.Original();
    for (const DWORD nThere : {ERROR_FILE_EXISTS, ERROR_ALREADY_EXISTS})
    {
        g_dwFolderThere = nThere;
        const std::wstring folder = TempFolder(nThere == ERROR_FILE_EXISTS ? L"there80" : L"there183");
        const CExtractRun run = Extract(SampleTree(), folder);
        EXPECT_TRUE(run.fResult) << nThere;
        EXPECT_TRUE(run.boxes.empty()) << nThere;
        EXPECT_EQ("deep", ReadAll(folder + L"\\de\\extra\\deep.txt")) << nThere;
    }
}

TEST(PackExtraction, EmptyStreamEndsTheCopyAtItsFirstRead)
{
    CFakeElement empty = CFakeElement::Stream(L"empty.txt", "");
    empty.hrRead = STG_E_READFAULT; // fails every read after the first, which delivers nothing
    const std::wstring folder = TempFolder(L"empty");
    const CFakeElement root = CFakeElement::Storage(L"", {empty, CFakeElement::Stream(L"after.txt", "after")});
    const CExtractRun run = Extract(root, folder);
    EXPECT_TRUE(run.fResult);
    for (const CBoxRecord& box : run.boxes)
        ADD_FAILURE() << "box: " << box.text;
    bool fExists = false;
    EXPECT_EQ("", ReadAll(folder + L"\\empty.txt", &fExists));
    EXPECT_TRUE(fExists);
    EXPECT_EQ("after", ReadAll(folder + L"\\after.txt"));
}

TEST(PackExtraction, EnumerationFailuresCarryTheStoragesErrorInformation)
{
    CFakeElement root = SampleTree();
    root.hrEnum = STG_E_ACCESSDENIED;
    ExpectBox(Extract(root, TempFolder(L"enum"), L"The container is locked."),
              ReportText(L"Could not start enumeration of the storage contents.", STG_E_ACCESSDENIED,
                         L"The container is locked."));

    CFakeElement stepFails = SampleTree();
    stepFails.children[2].iNextFailure = 1;
    stepFails.children[2].hrNext = STG_E_READFAULT;
    const std::wstring folder = TempFolder(L"next");
    const CExtractRun run = Extract(stepFails, folder);
    ExpectBox(run, ReportText(L"Could not enumerate the storage contents.", STG_E_READFAULT));
    // The first failure ends the whole walk.
    EXPECT_FALSE(Exists(folder + L"\\empty.txt"));
}

TEST(PackExtraction, SubStorageFailuresNameTheFolderOrTheElement)
{
    CFakeElement badFolder = SampleTree();
    badFolder.children[2].name = L"de*";
    const std::wstring folder = TempFolder(L"subfolder");
    const CExtractRun run = Extract(badFolder, folder);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(0u, run.boxes[0].text.find(L"Could not create the product content cache subfolder at \u201C" + folder +
                                         L"\\de*\u201D.\n"));
    EXPECT_FALSE(run.fResult);

    CFakeElement notOpened = SampleTree();
    notOpened.children[2].hrOpen = STG_E_FILENOTFOUND;
    ExpectBox(Extract(notOpened, TempFolder(L"substorage"), L"ignored for sub-storages"),
              ReportText(L"Could not open the structured storage over the product content cache subfolder \u201Cde\u201D.",
                         STG_E_FILENOTFOUND));
}

TEST(PackExtraction, StreamFailuresAreToldWithTheStreamsName)
{
    CFakeElement notOpened = SampleTree();
    notOpened.children[0].hrOpen = STG_E_FILENOTFOUND;
    ExpectBox(Extract(notOpened, TempFolder(L"open"), L"No such stream."),
              ReportText(L"Could not open product content stream \u201CCorvane.Platform.Tessarine.UI.Standalone.dll\u201D "
                         L"for reading.",
                         STG_E_FILENOTFOUND, L"No such stream."));

    CFakeElement readFails = SampleTree();
    readFails.children[0].hrRead = STG_E_READFAULT;
    const std::wstring folder = TempFolder(L"read");
    ExpectBox(Extract(readFails, folder),
              ReportText(L"Error reading content stream \u201CCorvane.Platform.Tessarine.UI.Standalone.dll\u201D.",
                         STG_E_READFAULT));
    // What was copied stays; its size tells the next start to copy it again.
    EXPECT_EQ(65536u, ReadAll(folder + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll").size());
}

TEST(PackExtraction, TargetThatCannotBeCreatedIsTold)
{
    const std::wstring folder = TempFolder(L"target");
    CreateDirectoryW((folder + L"\\Lumenix.dll").c_str(), nullptr);
    const CExtractRun run = Extract(SampleTree(), folder);
    EXPECT_FALSE(run.fResult);
    ASSERT_EQ(1u, run.boxes.size());
    EXPECT_EQ(0u, run.boxes[0].text.find(L"Could not open the product content file \u201C" + folder +
                                         L"\\Lumenix.dll\u201D for writing. "))
        << run.boxes[0].text;
}

// A pack built for a shorter TEMP than the user's: a file or a folder whose path passes what Windows takes is
// told by its path, before anything is tried, and the walk ends there.
TEST(PackExtraction, PathsTooLongForWindowsAreTold)
{
    const std::wstring folder = TempFolder(L"long");
    const std::wstring sub(247 - folder.size() - 1, L's');
    const std::wstring file(259 - 247 + 8, L'f');
    const CExtractRun fileRun = Extract(
        CFakeElement::Storage(L"", {CFakeElement::Storage(sub, {CFakeElement::Stream(file, "x")}),
                                    CFakeElement::Stream(L"z.dll", "z")}),
        folder);
    ExpectBox(fileRun, Win32ReportText(L"Could not open the product content file \u201C" + folder + L"\\" + sub + L"\\" +
                                           file + L"\u201D for writing.",
                                       ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(Exists(folder + L"\\" + sub + L"\\" + file));
    EXPECT_FALSE(Exists(folder + L"\\z.dll"));

    const std::wstring longer = sub + L"t";
    const CExtractRun folderRun =
        Extract(CFakeElement::Storage(L"", {CFakeElement::Storage(longer, {CFakeElement::Stream(L"a", "a")})}), folder);
    ExpectBox(folderRun, ReportText(L"Could not create the product content cache subfolder at \u201C" + folder + L"\\" +
                                        longer + L"\u201D.",
                                    ERROR_FILENAME_EXCED_RANGE));
    EXPECT_FALSE(Exists(folder + L"\\" + longer));
}

TEST(PackExtraction, UnsafeNamesAreRefusedBeforeAnythingIsCreated)
{
    // The walk starts two levels down, so that wherever an escaping name would land is inside the root.
    const std::wstring root = TempFolder(L"unsafe");
    const std::wstring folder = root + L"\\one\\two";
    CreateDirectoryW((root + L"\\one").c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::vector<std::wstring> before = TreeOf(root);
    ASSERT_EQ(2u, before.size());
    for (const wchar_t* pszName : {L"..", L".", L"", L"..\\..\\evil.dll", L"a/b", L"C:evil", L"tab\there", L"\\root"})
    {
        for (DWORD type : {static_cast<DWORD>(STGTY_STREAM), static_cast<DWORD>(STGTY_STORAGE)})
        {
            CFakeElement element = CFakeElement::Stream(pszName, "payload");
            element.type = type;
            const CFakeElement tree = CFakeElement::Storage(L"", {element, CFakeElement::Stream(L"after.txt", "x")});
            const CExtractRun run = Extract(tree, folder);
            ExpectBox(run, ReportText(L"The product pack holds an element with an unsafe name \u201C" +
                                          std::wstring(pszName) + L"\u201D.",
                                      HRESULT_FROM_WIN32(ERROR_INVALID_NAME)));
            EXPECT_TRUE(run.opens.empty());
            EXPECT_FALSE(Exists(folder + L"\\after.txt"));
            // Nothing anywhere around the folder: the escaping names would land one or two levels up.
            EXPECT_EQ(before, TreeOf(root)) << "created by " << std::string(pszName, pszName + wcslen(pszName));
        }
    }
}

namespace
{
DWORD g_cbShortBy = 0;
void* g_pfnWriteFile = nullptr;
BOOL WINAPI ShortWrite(HANDLE hFile, LPCVOID pv, DWORD cb, LPDWORD pcbWritten, LPOVERLAPPED pov)
{
    const DWORD cbAccepted = cb > g_cbShortBy ? cb - g_cbShortBy : 0;
    BOOL fOk = reinterpret_cast<decltype(&WriteFile)>(g_pfnWriteFile)(hFile, pv, cbAccepted, pcbWritten, pov);
    SetLastError(ERROR_SUCCESS);
    return fOk;
}
BOOL WINAPI FailedWrite(HANDLE, LPCVOID, DWORD, LPDWORD pcbWritten, LPOVERLAPPED)
{
    *pcbWritten = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}
} // namespace

TEST(PackExtraction, WritesThatFailOrComeUpShortAreTold)
{
    const std::wstring folder = TempFolder(L"write");
    {
        g_cbShortBy = 1;
        CImportPatch patch("kernel32.dll", "WriteFile", reinterpret_cast<void*>(&ShortWrite));
        ASSERT_TRUE(patch.IsPatched());
        g_pfnWriteFile = patch.Original();
        ExpectBox(Extract(SampleTree(), folder),
                  Win32ReportText(L"Could not write the product content file \u201C" + folder +
                                      L"\\Corvane.Platform.Tessarine.UI.Standalone.dll\u201D.",
                                  ERROR_HANDLE_DISK_FULL));
    }
    {
        CImportPatch patch("kernel32.dll", "WriteFile", reinterpret_cast<void*>(&FailedWrite));
        ExpectBox(Extract(SampleTree(), folder),
                  Win32ReportText(L"Could not write the product content file \u201C" + folder +
                                      L"\\Corvane.Platform.Tessarine.UI.Standalone.dll\u201D.",
                                  ERROR_DISK_FULL));
    }
    // Once the disk takes everything, the short file is copied again.
    const CExtractRun run = Extract(SampleTree(), folder);
    EXPECT_TRUE(run.fResult);
    EXPECT_EQ(150000u, ReadAll(folder + L"\\Corvane.Platform.Tessarine.UI.Standalone.dll").size());
}

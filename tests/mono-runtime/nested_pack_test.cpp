// A product folder as vendors ship it, with sub-folders up to six levels deep and a name in letters beyond
// ASCII, packed by the pack build and opened through the platform's InfoTech storage component: the launcher's
// walk brings every file back, byte for byte, under its own path. Under Wine this needs the storage component
// of the runtime build, mended to list and open nested storages by their element names; on Windows it meets the
// system's own. The folder is described by its manifest (size, FNV-1a hash, path), so the kit carries the pack
// and one text file.
#include <gtest/gtest.h>

#include <objidl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "common/com_ptr.h"
#include "msgbox_recorder.h"
#include "pack/pack_extraction.h"
#include "process/cache_files.h"
#include "unit/test_files.h"

namespace
{
unsigned long long Fnv1a64(const std::string& data)
{
    unsigned long long value = 0xCBF29CE484222325ull;
    for (unsigned char byte : data)
        value = (value ^ byte) * 0x100000001B3ull;
    return value;
}

std::wstring Wide(const std::string& utf8)
{
    std::wstring text(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &text[0], static_cast<int>(text.size()));
    text.pop_back();
    return text;
}

// "SIZE HASH PATH" lines, turned into "SIZE HASH \PATH" with backslashes, as the files below root read now.
std::vector<std::wstring> ManifestLines(const std::wstring& manifest)
{
    std::vector<std::wstring> lines;
    const std::string text = ReadAll(manifest);
    for (size_t at = 0, end; at < text.size(); at = end + 1)
    {
        end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::wstring line = Wide(text.substr(at, end - at));
        const size_t path = line.find(L' ', line.find(L' ') + 1) + 1;
        for (size_t i = path; i < line.size(); ++i)
            if (line[i] == L'/')
                line[i] = L'\\';
        lines.push_back(line.substr(0, path) + L"\\" + line.substr(path));
    }
    return lines;
}

std::vector<std::wstring> FileLinesBelow(const std::wstring& root)
{
    std::vector<std::wstring> lines;
    for (const std::wstring& path : TreeOf(root, 8))
    {
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::string data = ReadAll(path);
        wchar_t szHash[17] = {};
        swprintf(szHash, 17, L"%016llx", Fnv1a64(data));
        lines.push_back(std::to_wstring(data.size()) + L" " + szHash + L" " + path.substr(root.size()));
    }
    return lines;
}
} // namespace

TEST(NestedPack, EveryFileComesBackUnderItsOwnPath)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    std::vector<std::wstring> expected = ManifestLines(Environment(L"LX_NESTED_MANIFEST"));
    ASSERT_GE(expected.size(), 100u) << "no manifest in LX_NESTED_MANIFEST";
    std::sort(expected.begin(), expected.end(), [](const std::wstring& a, const std::wstring& b) {
        return a.substr(a.find(L'\\')) < b.substr(b.find(L'\\'));
    });

    wchar_t szTemp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, szTemp);
    const std::wstring folder = std::wstring(szTemp) + L"lx-nested-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    {
        CComPtrT<IStorage> oStorage = OpenPackFile(Environment(L"LX_NESTED_PACK").c_str());
        ASSERT_TRUE(oStorage);
        CMessageBoxRecorder recorder;
        EXPECT_TRUE(ExtractStorage(oStorage.Get(), folder.c_str()));
        for (const auto& box : recorder.Boxes())
            ADD_FAILURE() << Utf8(box.text);
    }
    EXPECT_EQ(expected, FileLinesBelow(folder));
}

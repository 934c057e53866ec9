// Two first starts of one release at once, as a double click on a slow first start gives.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cache_files.h"
#include "driver.h"
#include "test_thread.h"
#include "unit/test_files.h"

// Runs start(temp) twice at once, both let go together, and expects each to end with 0 and no box, and the
// content cache folder cache to hold what aloneCache holds after one start alone (aloneTree, the
// TreeOf(aloneCache, 16) of it), byte for byte. Its messages name iRound; use it with ASSERT_NO_FATAL_FAILURE.
inline void ExpectTwoStartsAtOnceLikeOne(const std::function<CLaunchResult(const std::wstring&)>& start,
                                         const std::wstring& temp, const std::wstring& cache,
                                         const std::wstring& aloneCache, const std::vector<std::wstring>& aloneTree,
                                         int iRound)
{
    HANDLE hGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(nullptr, hGo);
    CLaunchResult results[2];
    {
        CTestThread first([&] { WaitForSingleObject(hGo, INFINITE); results[0] = start(temp); });
        CTestThread second([&] { WaitForSingleObject(hGo, INFINITE); results[1] = start(temp); });
        SetEvent(hGo);
    }
    CloseHandle(hGo);
    for (const CLaunchResult& result : results)
    {
        EXPECT_EQ(0u, result.exitCode) << "round " << iRound;
        for (const CBoxRecord& box : result.boxes)
            ADD_FAILURE() << "round " << iRound << ": " << Utf8(box.text);
    }
    const std::vector<std::wstring> tree = TreeOf(cache, 16);
    ASSERT_EQ(aloneTree.size(), tree.size()) << "round " << iRound;
    for (size_t i = 0; i < tree.size(); ++i)
    {
        const std::wstring name = tree[i].substr(cache.size());
        ASSERT_EQ(aloneTree[i].substr(aloneCache.size()), name) << "round " << iRound;
        EXPECT_TRUE(ReadAll(aloneCache + name) == ReadAll(cache + name)) << "round " << iRound << ": " << Utf8(name);
    }
}

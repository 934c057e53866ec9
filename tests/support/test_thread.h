// A function run on a thread of its own, for tests that watch the launcher while it runs. The win32 threading
// model's C++ library (GCC 12), which this project builds with, has no std::thread.
#pragma once

#include <windows.h>

#include <functional>
#include <utility>

#include <gtest/gtest.h>

class CTestThread
{
public:
    explicit CTestThread(std::function<void()> run) : m_run(std::move(run))
    {
        m_hThread = CreateThread(nullptr, 0, &CTestThread::Main, this, 0, nullptr);
        if (!m_hThread)
            ADD_FAILURE() << "CreateThread failed with error " << GetLastError();
    }
    ~CTestThread() { Join(); }
    CTestThread(const CTestThread&) = delete;
    CTestThread& operator=(const CTestThread&) = delete;

    // Waits until the function has returned.
    void Join()
    {
        if (!m_hThread)
            return;
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }

private:
    static DWORD WINAPI Main(void* pv)
    {
        static_cast<CTestThread*>(pv)->m_run();
        return 0;
    }

    std::function<void()> m_run;
    HANDLE m_hThread = nullptr;
};

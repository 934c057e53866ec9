// GoogleTest's own hook for platform adaptations, found before its empty default (tests/CMakeLists.txt puts
// this folder first on the include path of the GoogleTest targets).
//
// GoogleTest builds its Notification on std::mutex and std::condition_variable, which the win32 threading
// model's C++ library (GCC 12) lacks. This one waits on a manual-reset event instead; the rest of GoogleTest's
// threading support on Windows already uses the Windows API directly.
#pragma once

#include <windows.h>

namespace testing
{
namespace internal
{
class Notification
{
public:
    Notification() : m_hEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(m_hEvent); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { SetEvent(m_hEvent); }
    void WaitForNotification() { WaitForSingleObject(m_hEvent, INFINITE); }

private:
    HANDLE m_hEvent;
};
} // namespace internal
} // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1

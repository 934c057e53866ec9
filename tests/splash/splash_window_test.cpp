// The splash window class, the window itself and the one pass over the message queue, in a test executable
// that carries a small test image as its splash artwork (images/splash_test.png). Every test runs in a
// process of its own, so each one starts with no class registered and an empty splash slot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/report.h"
#include "splash/splash_window.h"
#include "splash_test_support.h"

namespace
{
const wchar_t c_szCaption[] = L"Starting Corvane Lumenix";

HINSTANCE ThisModule()
{
    return GetModuleHandleW(nullptr);
}

// A window of the test's own that notes every message it is sent or dispatched.
class CProbeWindow
{
public:
    CProbeWindow()
    {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = ProbeProc;
        wc.hInstance = ThisModule();
        wc.lpszClassName = L"SplashPumpProbe";
        RegisterClassExW(&wc);
        m_hwnd = CreateWindowExW(0, L"SplashPumpProbe", L"probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 ThisModule(), this);
    }
    ~CProbeWindow()
    {
        if (IsWindow(m_hwnd))
            DestroyWindow(m_hwnd);
    }
    CProbeWindow(const CProbeWindow&) = delete;
    CProbeWindow& operator=(const CProbeWindow&) = delete;

    HWND Window() const { return m_hwnd; }
    bool Saw(UINT uMsg, WPARAM wParam) const
    {
        for (const MSG& msg : m_seen)
        {
            if (msg.message == uMsg && msg.wParam == wParam)
                return true;
        }
        return false;
    }

private:
    static LRESULT CALLBACK ProbeProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
    {
        if (uMsg == WM_NCCREATE)
        {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        }
        if (auto* pProbe = reinterpret_cast<CProbeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
        {
            MSG msg = {};
            msg.hwnd = hwnd;
            msg.message = uMsg;
            msg.wParam = wParam;
            msg.lParam = lParam;
            pProbe->m_seen.push_back(msg);
        }
        return DefWindowProcW(hwnd, uMsg, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
    std::vector<MSG> m_seen;
};

bool IsQueued(HWND hwnd, UINT uMsg)
{
    MSG msg;
    return PeekMessageW(&msg, hwnd, uMsg, uMsg, PM_NOREMOVE) != FALSE;
}
} // namespace

TEST(SplashClass, RegisteredWithShadowBusyCursorIconsAndItsProcedure)
{
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(ThisModule()));

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    ASSERT_TRUE(GetClassInfoExW(ThisModule(), L"CorvaneLauncherSplash", &wc));
    EXPECT_EQ(static_cast<UINT>(CS_DROPSHADOW), wc.style);
    EXPECT_EQ(&SplashWindowProc, wc.lpfnWndProc);
    EXPECT_EQ(0, wc.cbClsExtra);
    EXPECT_EQ(0, wc.cbWndExtra);
    EXPECT_EQ(ThisModule(), wc.hInstance);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), wc.hCursor);
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), wc.hCursor);
    EXPECT_NE(nullptr, wc.hIcon);
    EXPECT_NE(nullptr, wc.hIconSm);
    EXPECT_EQ(nullptr, wc.hbrBackground);
    EXPECT_EQ(nullptr, wc.lpszMenuName);
}

TEST(SplashClass, IconsAreTheApplicationIcon)
{
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(ThisModule()));

    // Shared icons come back as the same handle for the same resource.
    const HICON hiconApp = LoadIconW(ThisModule(), MAKEINTRESOURCEW(101));
    ASSERT_NE(nullptr, hiconApp);
    const HWND hwnd = GetSplashWindow();
    ASSERT_NE(nullptr, hwnd);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(hiconApp), GetClassLongPtrW(hwnd, GCLP_HICON));
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(hiconApp), GetClassLongPtrW(hwnd, GCLP_HICONSM));
}

TEST(SplashClass, ASecondShowFailsBecauseTheClassExists)
{
    CTestApartment apartment;
    ASSERT_EQ(S_OK, ShowSplashScreen(ThisModule()));
    const HWND hwndFirst = g_hwndSplash;
    ASSERT_NE(nullptr, hwndFirst);

    EXPECT_EQ(E_FAIL, ShowSplashScreen(ThisModule()));
    // It stopped at the class: no second window, the slot still names the first one.
    EXPECT_EQ(hwndFirst, g_hwndSplash);
    EXPECT_EQ(1u, FindTopLevelWindows(L"CorvaneLauncherSplash", GetCurrentProcessId()).size());
}

TEST(SplashClass, RegisterFailsWithEFailOnly)
{
    g_hinstModule = ThisModule();
    ASSERT_EQ(S_OK, RegisterSplashClass());
    EXPECT_EQ(E_FAIL, RegisterSplashClass());
    // The system says why; the splash keeps to E_FAIL all the same.
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());
}

TEST(SplashWindow, StoresTheModuleBeforeAnythingElse)
{
    CTestApartment apartment;
    g_hinstModule = nullptr;
    ASSERT_EQ(S_OK, ShowSplashScreen(ThisModule()));
    EXPECT_EQ(ThisModule(), g_hinstModule);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(ThisModule()), GetWindowLongPtrW(g_hwndSplash, GWLP_HINSTANCE));

    // A show that fails at once (the class exists by now) has taken the module it was given all the same.
    g_hinstModule = nullptr;
    EXPECT_EQ(E_FAIL, ShowSplashScreen(ThisModule()));
    EXPECT_EQ(ThisModule(), g_hinstModule);
}

TEST(SplashWindow, IsALayeredPopupWithTheStartingCaption)
{
    g_hinstModule = ThisModule();
    ASSERT_EQ(S_OK, RegisterSplashClass());
    ASSERT_EQ(S_OK, CreateSplashWindow());
    const HWND hwnd = g_hwndSplash;
    ASSERT_TRUE(IsWindow(hwnd));

    EXPECT_EQ(L"CorvaneLauncherSplash", ClassNameOf(hwnd));
    EXPECT_EQ(static_cast<LONG_PTR>(WS_EX_LAYERED), GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
    // The system adds WS_CLIPSIBLINGS to every top-level window; the rest is the splash's own choice.
    EXPECT_EQ(static_cast<LONG_PTR>(WS_POPUP), style & ~static_cast<LONG_PTR>(WS_CLIPSIBLINGS)) << std::hex << style;
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(nullptr, GetParent(hwnd));
    EXPECT_EQ(nullptr, GetWindow(hwnd, GW_OWNER));
    EXPECT_EQ(nullptr, GetMenu(hwnd));

    wchar_t szText[256] = {};
    GetWindowTextW(hwnd, szText, ARRAYSIZE(szText));
    EXPECT_EQ(std::wstring(c_szCaption), szText);
}

TEST(SplashWindow, SlotNamesTheWindowCreated)
{
    g_hinstModule = ThisModule();
    ASSERT_EQ(S_OK, RegisterSplashClass());
    ASSERT_EQ(S_OK, CreateSplashWindow());
    ASSERT_NE(nullptr, g_hwndSplash);
    EXPECT_EQ(g_hwndSplash, GetSplashWindow());
    const std::vector<HWND> windows = FindTopLevelWindows(L"CorvaneLauncherSplash", GetCurrentProcessId());
    ASSERT_EQ(1u, windows.size());
    EXPECT_EQ(windows[0], g_hwndSplash);
}

TEST(SplashWindow, FailedCreationEmptiesTheSlot)
{
    // A window left in the slot from before: a failed creation must not leave it as the boxes' owner.
    const HWND hwndEarlier = CreateWindowExW(0, L"STATIC", L"earlier", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                             ThisModule(), nullptr);
    ASSERT_NE(nullptr, hwndEarlier);
    g_hwndSplash = hwndEarlier;

    // No class registered: the system refuses the window.
    g_hinstModule = ThisModule();
    EXPECT_EQ(E_FAIL, CreateSplashWindow());
    EXPECT_EQ(nullptr, g_hwndSplash);
    EXPECT_EQ(nullptr, GetSplashWindow());
    DestroyWindow(hwndEarlier);
}

TEST(SplashWindow, ShowFailsWhenTheWindowCannotBeCreated)
{
    CTestApartment apartment;
    // A hook that vetoes every window this thread creates.
    const HHOOK hHook = SetWindowsHookExW(
        WH_CBT, [](int nCode, WPARAM wParam, LPARAM lParam) -> LRESULT {
            return nCode == HCBT_CREATEWND ? 1 : CallNextHookEx(nullptr, nCode, wParam, lParam);
        },
        nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hHook);
    g_hwndSplash = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x1234));
    const HRESULT hr = ShowSplashScreen(ThisModule());
    UnhookWindowsHookEx(hHook);
    EXPECT_EQ(E_FAIL, hr);
    EXPECT_EQ(nullptr, g_hwndSplash);
}

TEST(SplashWindow, ProcedureLeavesEverythingToTheDefault)
{
    g_hinstModule = ThisModule();
    ASSERT_EQ(S_OK, RegisterSplashClass());
    ASSERT_EQ(S_OK, CreateSplashWindow());
    const HWND hwnd = g_hwndSplash;
    // The default handling of the text messages and the hit test of a popup without a frame.
    EXPECT_TRUE(SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"changed")));
    wchar_t szText[64] = {};
    EXPECT_EQ(7, SendMessageW(hwnd, WM_GETTEXT, ARRAYSIZE(szText), reinterpret_cast<LPARAM>(szText)));
    EXPECT_EQ(std::wstring(L"changed"), szText);
    EXPECT_EQ(DefWindowProcW(hwnd, WM_NCHITTEST, 0, 0), SplashWindowProc(hwnd, WM_NCHITTEST, 0, 0));
    // Closing goes the default way too: the window is destroyed.
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(SplashPump, DispatchesAndTranslatesWhatWasQueuedBefore)
{
    CTestApartment apartment;
    CProbeWindow probe;
    ASSERT_NE(nullptr, probe.Window());
    ASSERT_TRUE(PostMessageW(probe.Window(), WM_APP + 1, 11, 0));
    // A key press posted as input would be: TranslateMessage adds its character, which the same pass takes too.
    const LPARAM lParamKey = 1 | (0x1E << 16); // repeat count 1, scan code of A
    ASSERT_TRUE(PostMessageW(probe.Window(), WM_KEYDOWN, 'A', lParamKey));
    ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_APP + 2, 22, 0));

    ASSERT_EQ(S_OK, ShowSplashScreen(ThisModule()));

    EXPECT_TRUE(probe.Saw(WM_APP + 1, 11));
    EXPECT_TRUE(probe.Saw(WM_KEYDOWN, 'A'));
    EXPECT_TRUE(probe.Saw(WM_CHAR, 'a'));
    EXPECT_FALSE(IsQueued(nullptr, WM_APP + 2)) << "the thread message was left in the queue";
    EXPECT_FALSE(IsQueued(probe.Window(), WM_APP + 1));
}

TEST(SplashPump, PutsBackAQuitForTheLoopThatFollows)
{
    CTestApartment apartment;
    PostQuitMessage(7);
    EXPECT_EQ(S_OK, PumpSplashMessages());
    MSG msg = {};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) << "the quit was swallowed";
    EXPECT_EQ(static_cast<UINT>(WM_QUIT), msg.message);
    EXPECT_EQ(7u, msg.wParam);
}

TEST(SplashPump, LeavesWhatComesAfterwardsQueued)
{
    CTestApartment apartment;
    CProbeWindow probe;
    ASSERT_EQ(S_OK, ShowSplashScreen(ThisModule()));
    ASSERT_TRUE(PostMessageW(probe.Window(), WM_APP + 3, 33, 0));
    // Nothing keeps pumping on the splash's behalf: no timer, hook or thread took the message.
    Sleep(200);
    EXPECT_FALSE(probe.Saw(WM_APP + 3, 33));
    EXPECT_TRUE(IsQueued(probe.Window(), WM_APP + 3));
}

TEST(SplashPump, NeverWaitsForMessages)
{
    CTestApartment apartment;
    // Should the pump wait for more, this message from another thread ends the wait after two seconds.
    const DWORD idThread = GetCurrentThreadId();
    HANDLE hWaker = CreateThread(
        nullptr, 0,
        [](void* pv) -> DWORD {
            Sleep(2000);
            PostThreadMessageW(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(pv)), WM_APP + 4, 44, 0);
            return 0;
        },
        reinterpret_cast<void*>(static_cast<ULONG_PTR>(idThread)), 0, nullptr);
    ASSERT_NE(nullptr, hWaker);

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(S_OK, PumpSplashMessages());
    EXPECT_LT(GetTickCount64() - start, 1500u);
    EXPECT_EQ(S_OK, ShowSplashScreen(ThisModule()));
    EXPECT_LT(GetTickCount64() - start, 1500u);

    WaitForSingleObject(hWaker, INFINITE);
    CloseHandle(hWaker);
    EXPECT_TRUE(IsQueued(nullptr, WM_APP + 4));
}

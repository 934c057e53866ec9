// The reporting boxes: texts, caption, style and owner window.
#include <gtest/gtest.h>

#include <string>

#include "launcher/report.h"
#include "msgbox_recorder.h"
#include "unit/import_patch.h"
#include "unit/system_text.h"
#include "unit/test_objects.h"

namespace
{
const wchar_t c_szCaption[] = L"Lumenix \u2013 Loading";

class CSplashSlot
{
public:
    CSplashSlot()
    {
        m_hwnd = CreateWindowExW(0, L"STATIC", L"splash stand-in", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
        g_hwndSplash = m_hwnd;
    }
    ~CSplashSlot()
    {
        if (IsWindow(m_hwnd))
            DestroyWindow(m_hwnd);
        g_hwndSplash = nullptr;
    }
    HWND Window() const { return m_hwnd; }

private:
    HWND m_hwnd = nullptr;
};
} // namespace

TEST(ReportComError, WithoutErrorInformationShowsMessageAndSystemText)
{
    CMessageBoxRecorder recorder;
    ReportComError(_com_error(E_FAIL), L"Could not start the CLR.");

    ASSERT_EQ(1u, recorder.Boxes().size());
    const CBoxRecord& box = recorder.Boxes()[0];
    EXPECT_EQ(L"Could not start the CLR.\nCall failed.", box.text);
    EXPECT_EQ(c_szCaption, box.caption);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.style);
    EXPECT_EQ(nullptr, box.hwndOwner);
}

TEST(ReportComError, AddsTheDescriptionOnItsOwnLine)
{
    CCountingErrorInfo errorInfo(L"Could not load file or assembly \u201CLumenix\u201D.");
    {
        CMessageBoxRecorder recorder;
        errorInfo.AddRef();
        ReportComError(_com_error(static_cast<HRESULT>(0x80040201), &errorInfo),
                       L"Could not load the core assembly.");
        ASSERT_EQ(1u, recorder.Boxes().size());
        EXPECT_EQ(L"Could not load the core assembly.\nIDispatch error #1\n"
                  L"Could not load file or assembly \u201CLumenix\u201D.",
                  recorder.Boxes()[0].text);
    }
    EXPECT_EQ(1, errorInfo.RefCount());
}

TEST(ReportHresult, EmptyDescriptionAddsNoThirdLine)
{
    CCountingErrorInfo errorInfo(L"");
    {
        CMessageBoxRecorder recorder;
        ReportHresult(static_cast<HRESULT>(0x8123ABCD), CComPtrT<IErrorInfo>(&errorInfo), L"Step failed.");
        ASSERT_EQ(1u, recorder.Boxes().size());
        EXPECT_EQ(L"Step failed.\nUnknown error 0x8123ABCD", recorder.Boxes()[0].text);
        EXPECT_EQ(1, errorInfo.DescriptionCalls());
    }
    // The smart pointer and the error object each released their own reference.
    EXPECT_EQ(1, errorInfo.RefCount());
}

TEST(ReportHresult, EmptyErrorInformationGivesTwoLines)
{
    CMessageBoxRecorder recorder;
    ReportHresult(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), CComPtrT<IErrorInfo>(),
                  L"Could not open the product content file.");
    ASSERT_EQ(1u, recorder.Boxes().size());
    // The system's text loses its closing line break.
    EXPECT_EQ(L"Could not open the product content file.\n" + ComSystemText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)),
              recorder.Boxes()[0].text);
    EXPECT_NE(L'\n', recorder.Boxes()[0].text.back());
}

TEST(ReportOwner, IsTheLiveSplashWindowOnly)
{
    CMessageBoxRecorder recorder;
    {
        CSplashSlot splash;
        ASSERT_TRUE(IsWindow(splash.Window()));
        EXPECT_EQ(splash.Window(), GetSplashWindow());
        ReportHresult(E_FAIL, CComPtrT<IErrorInfo>(), L"With a splash.");
        ReportWin32Error(ERROR_ACCESS_DENIED, L"With a splash again.");

        DestroyWindow(splash.Window());
        EXPECT_EQ(nullptr, GetSplashWindow());
        ReportHresult(E_FAIL, CComPtrT<IErrorInfo>(), L"After the application closed it.");
    }
    ReportWin32Error(ERROR_ACCESS_DENIED, L"Without a splash.");

    ASSERT_EQ(4u, recorder.Boxes().size());
    EXPECT_NE(nullptr, recorder.Boxes()[0].hwndOwner);
    EXPECT_EQ(recorder.Boxes()[0].hwndOwner, recorder.Boxes()[1].hwndOwner);
    EXPECT_EQ(nullptr, recorder.Boxes()[2].hwndOwner);
    EXPECT_EQ(nullptr, recorder.Boxes()[3].hwndOwner);
    for (const CBoxRecord& box : recorder.Boxes())
    {
        EXPECT_EQ(c_szCaption, box.caption);
        EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), box.style);
    }
}

TEST(ReportWin32Error, JoinsMessageAndSystemTextWithOneBlank)
{
    CMessageBoxRecorder recorder;
    ReportWin32Error(ERROR_FILE_NOT_FOUND, L"Could not get the TEMP folder path.");
    ASSERT_EQ(1u, recorder.Boxes().size());
    // The system's text keeps its closing line break.
    EXPECT_EQ(L"Could not get the TEMP folder path. " + Win32SystemText(ERROR_FILE_NOT_FOUND) + L" (2)",
              recorder.Boxes()[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), recorder.Boxes()[0].style);
}

TEST(FormatWin32Message, KeepsTheSystemLineBreakAndEndsInTheCode)
{
    const std::wstring system = Win32SystemText(ERROR_ACCESS_DENIED);
    ASSERT_GE(system.size(), 3u);
    ASSERT_EQ(L"\r\n", system.substr(system.size() - 2));
    EXPECT_EQ(system + L" (5)", std::wstring(FormatWin32Message(ERROR_ACCESS_DENIED).c_str()));
}

TEST(FormatWin32Message, CodesAboveTheSignedRangeStayUnsigned)
{
    const std::wstring text = FormatWin32Message(0x80070005u).c_str();
    EXPECT_EQ(std::wstring::npos, text.find(L'-'));
    ASSERT_GE(text.size(), 13u);
    EXPECT_EQ(L" (2147942405)", text.substr(text.size() - 13));
}

TEST(FormatWin32Message, CodeWithoutSystemTextHasAnEmptySystemPart)
{
    EXPECT_STREQ(L" (1234567)", FormatWin32Message(1234567u).c_str());
    EXPECT_STREQ(L" (4294967295)", FormatWin32Message(0xFFFFFFFFu).c_str());
    EXPECT_STREQ(L" (2147483648)", FormatWin32Message(0x80000000u).c_str());
}

namespace
{
// A system text that fills the buffer it is given: cchText characters, terminated when that leaves room.
DWORD g_cchSystemText = 0;
DWORD g_cchGiven = 0;
DWORD WINAPI FillBuffer(DWORD, LPCVOID, DWORD, DWORD, LPWSTR pszBuffer, DWORD nSize, va_list*)
{
    g_cchGiven = nSize;
    for (DWORD i = 0; i < g_cchSystemText; ++i)
        pszBuffer[i] = L'x';
    if (g_cchSystemText < nSize)
        pszBuffer[g_cchSystemText] = L'\0';
    return g_cchSystemText;
}
} // namespace

// The system part holds at most 4095 characters: a text that fills the 4096-character buffer with its
// terminator is kept whole, one that leaves no room for the terminator loses its last character.
TEST(FormatWin32Message, SystemTextAtTheEndOfTheBuffer)
{
    CImportPatch patch("kernel32.dll", "FormatMessageW", reinterpret_cast<void*>(&FillBuffer));
    ASSERT_TRUE(patch.IsPatched());
    for (const DWORD cchText : {4095ul, 4096ul})
    {
        g_cchSystemText = cchText;
        EXPECT_EQ(std::wstring(4095, L'x') + L" (5)", std::wstring(FormatWin32Message(ERROR_ACCESS_DENIED).c_str()))
            << cchText;
        EXPECT_EQ(4096u, g_cchGiven);
    }
}

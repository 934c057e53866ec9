// The COM support layer: strings, interface pointers, variants, scope exits and _com_error.
#include <gtest/gtest.h>

#include <string>

#include "common/bstr.h"
#include "common/com_error.h"
#include "common/com_ptr.h"
#include "common/scope_exit.h"
#include "common/variant.h"
#include "unit/import_patch.h"
#include "unit/test_objects.h"

namespace
{
HRESULT ThrownHresult(void (*pfn)())
{
    try
    {
        pfn();
    }
    catch (const _com_error& e)
    {
        return e.Error();
    }
    return S_OK;
}
} // namespace

TEST(Bstr, NullReadsAsEmptyAndConcatenates)
{
    CBstr bsNull;
    EXPECT_STREQ(L"", bsNull.c_str());
    EXPECT_EQ(nullptr, bsNull.GetBSTR());
    EXPECT_EQ(0u, bsNull.Length());

    CBstr bsFromNull(static_cast<const wchar_t*>(nullptr));
    EXPECT_STREQ(L"", bsFromNull.c_str());

    CBstr bsText = bsNull + L"Could not " + CBstr(L"load") + bsFromNull + L".";
    EXPECT_STREQ(L"Could not load.", bsText.c_str());
    EXPECT_EQ(15u, SysStringLen(bsText.GetBSTR()));
}

TEST(Bstr, CopiesShareOneBstrAndAppendingDetachesTheCopy)
{
    CBstr bsFirst(L"C:\\Temp");
    CBstr bsSecond = bsFirst;
    EXPECT_EQ(bsFirst.GetBSTR(), bsSecond.GetBSTR());

    bsSecond += L"\\Corvane";
    EXPECT_STREQ(L"C:\\Temp", bsFirst.c_str());
    EXPECT_STREQ(L"C:\\Temp\\Corvane", bsSecond.c_str());
    EXPECT_TRUE(bsFirst != bsSecond);
    EXPECT_TRUE(CBstr(L"C:\\Temp") == bsFirst);
}

TEST(Bstr, KeepsEmbeddedCharactersAndAttachesWithoutCopying)
{
    CBstr bsCurly(L"\u201CLumenix.dll\u201D");
    EXPECT_EQ(13u, bsCurly.Length());
    EXPECT_EQ(0x201C, bsCurly.c_str()[0]);

    BSTR bstr = SysAllocString(L"taken over");
    CBstr bsAttached;
    bsAttached.Attach(bstr);
    EXPECT_EQ(bstr, bsAttached.GetBSTR());

    CBstr bsOut;
    *bsOut.GetAddress() = SysAllocString(L"out");
    EXPECT_STREQ(L"out", bsOut.c_str());
}

TEST(ComPtr, ConversionQueriesAndLeavesEmptyOnNoInterface)
{
    CCountingErrorInfo errorInfo;
    {
        CComPtrT<IErrorInfo> oErrorInfo(&errorInfo);
        EXPECT_EQ(2, errorInfo.RefCount());

        CComPtrT<IUnknown> unk(oErrorInfo);
        EXPECT_EQ(3, errorInfo.RefCount());

        CComPtrT<ISupportErrorInfo> oSupport(unk);
        EXPECT_FALSE(oSupport);
        EXPECT_EQ(3, errorInfo.RefCount());
    }
    EXPECT_EQ(1, errorInfo.RefCount());
}

TEST(ComPtr, ConversionFailureOtherThanNoInterfaceRaises)
{
    CCountingErrorInfo errorInfo;
    errorInfo.m_hrQueryFailure = E_OUTOFMEMORY;
    CComPtrT<IErrorInfo> oErrorInfo(&errorInfo);
    try
    {
        CComPtrT<ISupportErrorInfo> oSupport(oErrorInfo);
        ADD_FAILURE() << "no _com_error raised";
    }
    catch (const _com_error& e)
    {
        EXPECT_EQ(E_OUTOFMEMORY, e.Error());
    }
    oErrorInfo.Release();
    EXPECT_EQ(1, errorInfo.RefCount());
}

TEST(ComPtr, UsingAnEmptyPointerRaisesPointerError)
{
    EXPECT_EQ(E_POINTER, ThrownHresult([] {
                  CComPtrT<IErrorInfo> oEmpty;
                  oEmpty->GetHelpFile(nullptr);
              }));
}

TEST(ComPtr, AttachTakesOverAndAssignmentReleasesTheOldReference)
{
    CCountingErrorInfo first;
    CCountingErrorInfo second;
    {
        CComPtrT<IErrorInfo> oErrorInfo;
        first.AddRef();
        oErrorInfo.Attach(&first);
        EXPECT_EQ(2, first.RefCount());

        CComPtrT<IErrorInfo> oOther(&second);
        oErrorInfo = oOther;
        EXPECT_EQ(1, first.RefCount());
        EXPECT_EQ(3, second.RefCount());

        *oOther.GetAddressOf() = nullptr;
        EXPECT_EQ(2, second.RefCount());
    }
    EXPECT_EQ(1, first.RefCount());
    EXPECT_EQ(1, second.RefCount());
}

TEST(Variant, ConvertsAndClearsOnScopeExit)
{
    CVariant vtCode(static_cast<ULONG>(0x80070005u));
    EXPECT_STREQ(L"2147942405", vtCode.ToBstr().c_str());
    EXPECT_EQ(VT_UI4, V_VT(&vtCode));

    vtCode.ChangeType(VT_BSTR);
    EXPECT_EQ(VT_BSTR, V_VT(&vtCode));
    EXPECT_STREQ(L"2147942405", V_BSTR(&vtCode));
}

TEST(Variant, FailedConversionRaisesTheConversionError)
{
    EXPECT_EQ(DISP_E_TYPEMISMATCH, ThrownHresult([] {
                  CVariant vtText(CBstr(L"not a number"));
                  vtText.ChangeType(VT_I4);
              }));
    EXPECT_EQ(DISP_E_OVERFLOW, ThrownHresult([] {
                  CVariant vtBig;
                  vtBig.vt = VT_R8;
                  vtBig.dblVal = 1e20;
                  vtBig.ChangeType(VT_I4);
              }));
}

TEST(ScopeExit, RunsOnceUnlessDismissed)
{
    int cRuns = 0;
    {
        auto closeOnExit = MakeScopeExit([&] { ++cRuns; });
        auto moved = std::move(closeOnExit);
    }
    EXPECT_EQ(1, cRuns);
    {
        auto dismissed = MakeScopeExit([&] { ++cRuns; });
        dismissed.Dismiss();
    }
    EXPECT_EQ(1, cRuns);
}

TEST(ComError, SystemTextLosesOneTrailingLineBreak)
{
    _com_error error(E_FAIL);
    const std::wstring text = error.ErrorMessage();
    ASSERT_FALSE(text.empty());
    EXPECT_NE(L'\n', text.back());
    EXPECT_NE(L'\r', text.back());

    wchar_t* pszSystem = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(E_FAIL), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   reinterpret_cast<wchar_t*>(&pszSystem), 0, nullptr);
    ASSERT_NE(nullptr, pszSystem);
    std::wstring system = pszSystem;
    LocalFree(pszSystem);
    ASSERT_GE(system.size(), 2u);
    ASSERT_EQ(L"\r\n", system.substr(system.size() - 2));
    EXPECT_EQ(system.substr(0, system.size() - 2), text);

    // Cached: the same buffer on every call.
    EXPECT_EQ(error.ErrorMessage(), error.ErrorMessage());
}

namespace
{
// As the system answers for a code it has no text for.
DWORD WINAPI DeliverNoSystemText(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*)
{
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
}
} // namespace

// Whether a code has a system text is the machine's business: the system is made to have none.
TEST(ComError, CodesWithoutSystemTextGetTheFallbackTexts)
{
    CImportPatch patch("kernel32.dll", "FormatMessageW", reinterpret_cast<void*>(&DeliverNoSystemText));
    ASSERT_TRUE(patch.IsPatched());
    EXPECT_STREQ(L"Unknown error 0x800401FF", _com_error(static_cast<HRESULT>(0x800401FF)).ErrorMessage());
    EXPECT_STREQ(L"IDispatch error #0", _com_error(static_cast<HRESULT>(0x80040200)).ErrorMessage());
    EXPECT_STREQ(L"IDispatch error #1", _com_error(static_cast<HRESULT>(0x80040201)).ErrorMessage());
    EXPECT_STREQ(L"IDispatch error #65023", _com_error(static_cast<HRESULT>(0x8004FFFF)).ErrorMessage());
    EXPECT_STREQ(L"Unknown error 0x80050000", _com_error(static_cast<HRESULT>(0x80050000)).ErrorMessage());
    EXPECT_STREQ(L"Unknown error 0x8123ABCD", _com_error(static_cast<HRESULT>(0x8123ABCD)).ErrorMessage());
    EXPECT_STREQ(L"Unknown error 0x2A", _com_error(static_cast<HRESULT>(0x2A)).ErrorMessage());
}

namespace
{
// The system's text for every code, as the test sets it.
const wchar_t* g_pszSystemText = L"";
DWORD WINAPI DeliverSystemText(DWORD, LPCVOID, DWORD, DWORD, LPWSTR pszBuffer, DWORD, va_list*)
{
    const size_t cch = static_cast<size_t>(lstrlenW(g_pszSystemText)) + 1;
    wchar_t* pszText = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, cch * sizeof(wchar_t)));
    lstrcpyW(pszText, g_pszSystemText);
    *reinterpret_cast<wchar_t**>(pszBuffer) = pszText;
    return static_cast<DWORD>(cch - 1);
}
} // namespace

// A text of one character is left alone, even a lone line break; from two characters on, one break goes.
TEST(ComError, OnlyTextsOfTwoOrMoreCharactersLoseTheirLineBreak)
{
    CImportPatch patch("kernel32.dll", "FormatMessageW", reinterpret_cast<void*>(&DeliverSystemText));
    ASSERT_TRUE(patch.IsPatched());
    const struct
    {
        const wchar_t* pszSystem;
        const wchar_t* pszShown;
    } c_cases[] = {{L"\n", L"\n"}, {L"x", L"x"}, {L"\r\n", L""}, {L"x\n", L"x"}, {L"x\r\n", L"x"}, {L"\n\n", L"\n"}};
    for (const auto& test : c_cases)
    {
        g_pszSystemText = test.pszSystem;
        EXPECT_STREQ(test.pszShown, _com_error(E_FAIL).ErrorMessage()) << static_cast<int>(lstrlenW(test.pszSystem));
    }
}

namespace
{
int g_cFormatMessages = 0;
void* g_pfnFormatMessage = nullptr;
DWORD WINAPI CountFormatMessage(DWORD dwFlags, LPCVOID pvSource, DWORD dwMessageId, DWORD dwLanguageId,
                                LPWSTR pszBuffer, DWORD nSize, va_list* pArguments)
{
    ++g_cFormatMessages;
    return reinterpret_cast<decltype(&FormatMessageW)>(g_pfnFormatMessage)(dwFlags, pvSource, dwMessageId,
                                                                           dwLanguageId, pszBuffer, nSize, pArguments);
}
} // namespace

TEST(ComError, OwnsOneReferenceAndCopiesTakeTheirOwn)
{
    CCountingErrorInfo errorInfo(L"Could not load file or assembly.");
    {
        _com_error adopting(E_FAIL, &errorInfo); // takes over the caller's reference
        errorInfo.AddRef();
        EXPECT_EQ(2, errorInfo.RefCount());
        {
            _com_error copy(adopting);
            EXPECT_EQ(3, errorInfo.RefCount());
            EXPECT_EQ(E_FAIL, copy.Error());
            EXPECT_STREQ(L"Could not load file or assembly.", copy.Description().c_str());

            const wchar_t* pszOriginal = adopting.ErrorMessage();
            _com_error second(static_cast<HRESULT>(0x80040201));
            second.ErrorMessage();
            {
                // The text is not copied: a copy asks the system for its own on first use, and only then.
                CImportPatch patch("kernel32.dll", "FormatMessageW", reinterpret_cast<void*>(&CountFormatMessage));
                ASSERT_TRUE(patch.IsPatched());
                g_pfnFormatMessage = patch.Original();
                g_cFormatMessages = 0;
                second = adopting;
                _com_error third(adopting);
                EXPECT_EQ(0, g_cFormatMessages);
                EXPECT_STREQ(pszOriginal, second.ErrorMessage());
                EXPECT_STREQ(pszOriginal, third.ErrorMessage());
                EXPECT_EQ(2, g_cFormatMessages);
                third.ErrorMessage();
                EXPECT_EQ(2, g_cFormatMessages);
            }
            EXPECT_EQ(4, errorInfo.RefCount());
        }
        EXPECT_EQ(2, errorInfo.RefCount());
        {
            _com_error sharing(E_FAIL, &errorInfo, true);
            EXPECT_EQ(3, errorInfo.RefCount());
        }
        EXPECT_EQ(2, errorInfo.RefCount());
    }
    EXPECT_EQ(1, errorInfo.RefCount());
}

TEST(ComError, DescriptionIsEmptyWithoutErrorInformation)
{
    _com_error error(E_FAIL);
    EXPECT_EQ(nullptr, error.ErrorInfo());
    EXPECT_EQ(0u, error.Description().Length());
}

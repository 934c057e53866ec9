// A scratch registry key that stands in for HKEY_LOCAL_MACHINE of the test process while it lives, holding
// the framework setup key and its subkeys as each test lays them out.
#pragma once

#include <windows.h>

#include <string>

#include <gtest/gtest.h>

inline constexpr wchar_t c_szScratchParent[] = L"Software\\LumenixTests";
inline constexpr wchar_t c_szScratchKey[] = L"Software\\LumenixTests\\Hklm";
inline constexpr wchar_t c_szNdp[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";

// HKEY_LOCAL_MACHINE of this process reads a scratch key under HKEY_CURRENT_USER while it lives.
class CScratchHklm
{
public:
    CScratchHklm()
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, c_szScratchKey);
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, c_szScratchKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &m_hkeyRoot, nullptr));
        EXPECT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_hkeyRoot));
    }
    ~CScratchHklm()
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(m_hkeyRoot);
        RegDeleteTreeW(HKEY_CURRENT_USER, c_szScratchKey);
        // Nothing of the tests stays in the user's registry; a key that holds anything else is left alone.
        RegDeleteKeyW(HKEY_CURRENT_USER, c_szScratchParent);
    }

    // Creates the framework setup key or a key below it ("v4\\Full").
    void AddKey(const std::wstring& subkey) { CloseKey(Create(subkey)); }

    void SetDword(const std::wstring& subkey, const wchar_t* pszName, DWORD dwValue)
    {
        SetValue(subkey, pszName, REG_DWORD, &dwValue, sizeof(dwValue));
    }

    void SetText(const std::wstring& subkey, const wchar_t* pszName, const std::wstring& text)
    {
        SetValue(subkey, pszName, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    }

    void SetValue(const std::wstring& subkey, const wchar_t* pszName, DWORD dwType, const void* pv, DWORD cb)
    {
        HKEY hkey = Create(subkey);
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hkey, pszName, 0, dwType, static_cast<const BYTE*>(pv), cb));
        CloseKey(hkey);
    }

    // An installed version subkey with an optional "Version" value.
    void AddInstalled(const std::wstring& subkey, const std::wstring& version = L"")
    {
        SetDword(subkey, L"Install", 1);
        if (!version.empty())
            SetText(subkey, L"Version", version);
    }

private:
    HKEY Create(const std::wstring& subkey)
    {
        std::wstring path = c_szNdp;
        if (!subkey.empty())
            path += L"\\" + subkey;
        HKEY hkey = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(m_hkeyRoot, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hkey, nullptr));
        return hkey;
    }
    static void CloseKey(HKEY hkey)
    {
        if (hkey)
            RegCloseKey(hkey);
    }

    HKEY m_hkeyRoot = nullptr;
};

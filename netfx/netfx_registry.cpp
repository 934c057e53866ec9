#include "netfx/netfx_registry.h"

namespace
{
const wchar_t c_szNetfxSetupKey[] = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP";

// A nonzero 4-byte "Install" value; anything else (missing, larger, zero) is not installed.
bool IsMarkedInstalled(HKEY hkey)
{
    DWORD dwValue = 0;
    DWORD dwValueSize = sizeof(dwValue);
    const LSTATUS status =
        RegQueryValueExW(hkey, L"Install", nullptr, nullptr, reinterpret_cast<BYTE*>(&dwValue), &dwValueSize);
    return status == ERROR_SUCCESS && dwValue != 0;
}
} // namespace

void ReadNetfxVersionValue(HKEY hkey, CVersion4& version)
{
    const DWORD cchBuffer = 260;
    wchar_t szBuffer[cchBuffer];
    // 260 bytes, not characters: at most half of the buffer is read, so there is always room to terminate.
    DWORD dwValueSize = 260;
    if (RegQueryValueExW(hkey, L"Version", nullptr, nullptr, reinterpret_cast<BYTE*>(szBuffer), &dwValueSize) !=
        ERROR_SUCCESS)
    {
        return;
    }
    if (dwValueSize == 0 || dwValueSize > 260)
        return;
    szBuffer[dwValueSize / sizeof(wchar_t)] = L'\0';

    const CVersion4 verFromData = ParseVersion(szBuffer);
    if (verFromData.IsEmpty())
        return;
    for (int index = 0; index < 4; ++index)
    {
        if (version.GetPart(index) != 0 && version.GetPart(index) != verFromData.GetPart(index))
            return;
    }
    version = verFromData;
}

bool IsNetfxVersionInstalled(HKEY hkeyNetfxes, const wchar_t* pszName, CVersion4& version)
{
    HKEY hkeyThisVersion = nullptr;
    if (RegOpenKeyExW(hkeyNetfxes, pszName, 0, KEY_READ, &hkeyThisVersion) != ERROR_SUCCESS)
        return false;

    bool fInstalled = IsMarkedInstalled(hkeyThisVersion);
    if (fInstalled)
    {
        ReadNetfxVersionValue(hkeyThisVersion, version);
    }
    else
    {
        HKEY hkeyFullEdition = nullptr;
        if (RegOpenKeyExW(hkeyThisVersion, L"Full", 0, KEY_READ, &hkeyFullEdition) == ERROR_SUCCESS)
        {
            fInstalled = IsMarkedInstalled(hkeyFullEdition);
            if (fInstalled)
                ReadNetfxVersionValue(hkeyFullEdition, version);
            RegCloseKey(hkeyFullEdition);
        }
    }
    RegCloseKey(hkeyThisVersion);
    return fInstalled;
}

CVersion4 GetMaxInstalledNetfxVersion()
{
    HKEY hkeyNetfxes = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, c_szNetfxSetupKey, 0, KEY_READ, &hkeyNetfxes) != ERROR_SUCCESS)
        return CVersion4();

    CVersion4 verMaxFound;
    const DWORD cchBuffer = 260;
    wchar_t szBuffer[cchBuffer];
    for (DWORD dwIndex = 0; dwIndex < 4096; ++dwIndex)
    {
        DWORD dwBufLenCh = cchBuffer;
        const LSTATUS status =
            RegEnumKeyExW(hkeyNetfxes, dwIndex, szBuffer, &dwBufLenCh, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || dwBufLenCh == 0 || dwBufLenCh >= cchBuffer)
            continue;
        szBuffer[dwBufLenCh] = L'\0';

        CVersion4 verItem = ParseNdpKeyName(szBuffer);
        if (verItem.IsEmpty())
            continue;
        if (!IsNetfxVersionInstalled(hkeyNetfxes, szBuffer, verItem))
            continue;
        if (verItem > verMaxFound)
            verMaxFound = verItem;
    }
    RegCloseKey(hkeyNetfxes);
    return verMaxFound;
}

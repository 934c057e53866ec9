#include "netfx/version.h"

#include <climits>
#include <cwchar>

#include "common/variant.h"

int32_t CVersion4::GetPart(int index) const noexcept
{
    switch (index)
    {
    case 0: return major;
    case 1: return minor;
    case 2: return build;
    case 3: return revision;
    default: return 0;
    }
}

void CVersion4::SetPart(int index, int32_t value) noexcept
{
    switch (index)
    {
    case 0: major = value; break;
    case 1: minor = value; break;
    case 2: build = value; break;
    case 3: revision = value; break;
    default: break;
    }
}

bool CVersion4::operator==(const CVersion4& that) const noexcept
{
    return major == that.major && minor == that.minor && build == that.build && revision == that.revision;
}

bool CVersion4::operator>(const CVersion4& that) const noexcept
{
    for (int index = 0; index < 4; ++index)
    {
        if (GetPart(index) != that.GetPart(index))
            return GetPart(index) > that.GetPart(index);
    }
    return false;
}

CVersion4 ParseVersion(const wchar_t* pszText)
{
    CVersion4 version;
    if (!pszText)
        return version;

    const size_t cchBuffer = 4096;
    wchar_t szBuffer[cchBuffer];
    size_t cchPiece = 0;
    int iPart = 0;
    for (const wchar_t* pch = pszText;; ++pch)
    {
        const wchar_t ch = *pch;
        if (ch != L'.' && ch != L'\0')
        {
            // A piece longer than the buffer is cut; the text goes on being read.
            if (cchPiece < cchBuffer - 1)
                szBuffer[cchPiece++] = ch;
            continue;
        }
        if (cchPiece == 0)
            break;
        szBuffer[cchPiece] = L'\0';
        // wcstol saturates at the limits of long; a 64-bit long is held to the 32-bit ones here.
        long long llValue = wcstol(szBuffer, nullptr, 10);
        if (llValue > INT32_MAX)
            llValue = INT32_MAX;
        else if (llValue < INT32_MIN)
            llValue = INT32_MIN;
        version.SetPart(iPart++, static_cast<int32_t>(llValue));
        if (iPart == 4 || ch == L'\0')
            break;
        cchPiece = 0;
    }
    return version;
}

CVersion4 ParseClrVersion(const wchar_t* pszText)
{
    if (pszText && (pszText[0] == L'v' || pszText[0] == L'V'))
        ++pszText;
    return ParseVersion(pszText);
}

CVersion4 ParseNdpKeyName(const wchar_t* pszName)
{
    if (!pszName || (pszName[0] != L'v' && pszName[0] != L'V') || pszName[1] == L'\0')
        return CVersion4();
    return ParseVersion(pszName + 1);
}

CBstr FormatVersion(const CVersion4& version, int count)
{
    CBstr bsVersion;
    if (count < 1)
        return bsVersion;
    for (int index = 0; index < count; ++index)
    {
        if (index > 0)
            bsVersion += L".";
        CVariant vtPart;
        vtPart.vt = VT_I4;
        vtPart.lVal = version.GetPart(index);
        bsVersion += vtPart.ToBstr();
    }
    return bsVersion;
}

// The four-part version number of CLRs and .NET Frameworks: parsed from dotted text, ordered part by part,
// printed with four parts. All zero is the empty version: nothing found.
#pragma once

#include <cstdint>

#include "common/bstr.h"

class CVersion4
{
public:
    CVersion4() noexcept = default;
    CVersion4(int32_t nMajor, int32_t nMinor, int32_t nBuild, int32_t nRevision) noexcept
        : major(nMajor), minor(nMinor), build(nBuild), revision(nRevision)
    {
    }

    // The part at index 0 to 3; any other index reads as 0.
    int32_t GetPart(int index) const noexcept;
    // Sets the part at index 0 to 3; any other index changes nothing.
    void SetPart(int index, int32_t value) noexcept;
    bool IsEmpty() const noexcept { return major == 0 && minor == 0 && build == 0 && revision == 0; }

    bool operator==(const CVersion4& that) const noexcept;
    bool operator!=(const CVersion4& that) const noexcept { return !(*this == that); }
    // Lexicographic over the four signed parts.
    bool operator>(const CVersion4& that) const noexcept;
    bool operator>=(const CVersion4& that) const noexcept { return *this == that || *this > that; }
    bool operator<(const CVersion4& that) const noexcept { return !(*this >= that); }

    int32_t major = 0;
    int32_t minor = 0;
    int32_t build = 0;
    int32_t revision = 0;
};

// Dotted text: each piece up to "." is read like wcstol (base 10); reading ends at the first empty piece or
// after the fourth number.
CVersion4 ParseVersion(const wchar_t* pszText);

// A CLR version string: one leading "v" or "V" is skipped.
CVersion4 ParseClrVersion(const wchar_t* pszText);

// The name of a framework setup subkey: "v" or "V" and a dotted version; any other name is the empty version.
CVersion4 ParseNdpKeyName(const wchar_t* pszName);

// The first count parts joined by ".".
CBstr FormatVersion(const CVersion4& version, int count);

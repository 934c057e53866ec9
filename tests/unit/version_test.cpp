// Version numbers: parsing the three kinds of text, ordering and printing.
#include <gtest/gtest.h>

#include <string>

#include "netfx/version.h"

namespace
{
std::wstring Text(const CVersion4& version)
{
    return FormatVersion(version, 4).c_str();
}
} // namespace

TEST(ParseVersion, ReadsUpToFourNumbers)
{
    EXPECT_EQ(L"0.0.0.0", Text(ParseVersion(L"")));
    EXPECT_EQ(L"0.0.0.0", Text(ParseVersion(nullptr)));
    EXPECT_EQ(L"4.0.0.0", Text(ParseVersion(L"4")));
    EXPECT_EQ(L"4.0.30319.0", Text(ParseVersion(L"4.0.30319")));
    EXPECT_EQ(L"2.0.50727.4927", Text(ParseVersion(L"2.0.50727.4927")));
    EXPECT_EQ(L"1.2.3.4", Text(ParseVersion(L"1.2.3.4.5")));
}

TEST(ParseVersion, EmptyPieceEndsTheReading)
{
    EXPECT_TRUE(ParseVersion(L".5").IsEmpty());
    EXPECT_EQ(L"4.0.0.0", Text(ParseVersion(L"4..5")));
    EXPECT_EQ(L"4.0.0.0", Text(ParseVersion(L"4.")));
    EXPECT_EQ(L"4.5.0.0", Text(ParseVersion(L"4.5..6.7")));
}

TEST(ParseVersion, PiecesFollowTheWcstolRules)
{
    EXPECT_EQ(L"4.0.1.0", Text(ParseVersion(L"4.x.1")));
    EXPECT_EQ(L"4.5.0.0", Text(ParseVersion(L"4.5-beta")));
    EXPECT_EQ(L"4.8.0.0", Text(ParseVersion(L"4. 8")));
    EXPECT_EQ(L"4.8.4084.0", Text(ParseVersion(L"4.8.04084")));
    EXPECT_EQ(L"1.0.0.0", Text(ParseVersion(L"+1")));
    EXPECT_EQ(L"-1.2.0.0", Text(ParseVersion(L"-1.2")));
    EXPECT_EQ(L"0.16.0.0", Text(ParseVersion(L"0x10.16")));
    EXPECT_EQ(L"2147483647.1.0.0", Text(ParseVersion(L"99999999999999999999.1")));
    EXPECT_EQ(L"-2147483648.0.0.0", Text(ParseVersion(L"-99999999999")));
    // Both ends of a 32-bit part, and one past each.
    EXPECT_EQ(L"2147483647.2147483647.-2147483648.-2147483648",
              Text(ParseVersion(L"2147483647.2147483648.-2147483648.-2147483649")));
}

TEST(ParseVersion, OverlongPieceIsCutAndTheRestStillRead)
{
    const std::wstring longPiece(5000, L'7');
    const CVersion4 version = ParseVersion((L"1." + longPiece + L".3.4").c_str());
    EXPECT_EQ(1, version.major);
    EXPECT_EQ(2147483647, version.minor);
    EXPECT_EQ(3, version.build);
    EXPECT_EQ(4, version.revision);

    // Digits that spill past the buffer are dropped, not carried into the next part.
    const std::wstring spaces(4094, L' ');
    EXPECT_EQ(L"1.5.9.0", Text(ParseVersion((L"1." + spaces + L"5678.9").c_str())));
}

TEST(ParseClrVersion, SkipsOneLeadingV)
{
    EXPECT_EQ(L"4.0.30319.0", Text(ParseClrVersion(L"v4.0.30319")));
    EXPECT_EQ(L"2.0.50727.0", Text(ParseClrVersion(L"V2.0.50727")));
    EXPECT_EQ(L"4.0.0.0", Text(ParseClrVersion(L"4.0")));
    EXPECT_TRUE(ParseClrVersion(L"vv4").IsEmpty());
    EXPECT_TRUE(ParseClrVersion(L"v").IsEmpty());
}

TEST(ParseNdpKeyName, NeedsAVAndAVersion)
{
    EXPECT_EQ(L"4.0.0.0", Text(ParseNdpKeyName(L"v4")));
    EXPECT_EQ(L"3.5.0.0", Text(ParseNdpKeyName(L"V3.5")));
    EXPECT_EQ(L"4.0.30319.0", Text(ParseNdpKeyName(L"v4.0.30319")));
    EXPECT_TRUE(ParseNdpKeyName(L"v").IsEmpty());
    EXPECT_TRUE(ParseNdpKeyName(L"CDF").IsEmpty());
    EXPECT_TRUE(ParseNdpKeyName(L"").IsEmpty());
    EXPECT_TRUE(ParseNdpKeyName(L"4.0").IsEmpty());
}

TEST(Version4, OrdersPartByPartAsSignedNumbers)
{
    EXPECT_TRUE(CVersion4(4, 0, 30319, 0) > CVersion4(3, 5, 30729, 4926));
    EXPECT_FALSE(CVersion4(4, 0, 0, 0) > CVersion4(4, 0, 0, 0));
    EXPECT_TRUE(CVersion4(4, 0, 0, 0) >= CVersion4(4, 0, 0, 0));
    EXPECT_TRUE(CVersion4(4, 0, 0, 0) < CVersion4(4, 0, 0, 1));
    EXPECT_FALSE(CVersion4(4, 0, 0, 1) < CVersion4(4, 0, 0, 1));
    EXPECT_TRUE(CVersion4(2, -1, 0, 0) < CVersion4(2, 0, 0, 0));
    EXPECT_TRUE(CVersion4(-1, 9, 9, 9) < CVersion4());
    EXPECT_TRUE(CVersion4(3, 5, 0, 0) == ParseVersion(L"3.5"));
    EXPECT_TRUE(CVersion4(3, 5, 0, 0) != CVersion4(3, 5, 0, 1));
}

TEST(Version4, PartsOutsideTheFourReadAsZeroAndCannotBeSet)
{
    CVersion4 version(1, 2, 3, 4);
    EXPECT_EQ(0, version.GetPart(4));
    EXPECT_EQ(0, version.GetPart(-1));
    version.SetPart(4, 9);
    version.SetPart(-1, 9);
    EXPECT_EQ(L"1.2.3.4", Text(version));
    version.SetPart(2, 7);
    EXPECT_EQ(7, version.GetPart(2));
    EXPECT_TRUE(CVersion4().IsEmpty());
    EXPECT_FALSE(CVersion4(0, 0, 0, 1).IsEmpty());
}

TEST(FormatVersion, PrintsTheRequestedNumberOfParts)
{
    const CVersion4 version(3, 5, 0, 0);
    EXPECT_EQ(L"3.5.0.0", std::wstring(FormatVersion(version, 4).c_str()));
    EXPECT_EQ(L"3", std::wstring(FormatVersion(version, 1).c_str()));
    EXPECT_EQ(L"", std::wstring(FormatVersion(version, 0).c_str()));
    EXPECT_EQ(L"", std::wstring(FormatVersion(version, -3).c_str()));
    EXPECT_EQ(L"3.5", std::wstring(FormatVersion(version, 2).c_str()));
    EXPECT_EQ(L"3.5.0.0.0.0", std::wstring(FormatVersion(version, 6).c_str()));
    EXPECT_EQ(L"-1.2147483647.0.0", std::wstring(FormatVersion(CVersion4(-1, 2147483647, 0, 0), 4).c_str()));
    EXPECT_EQ(L"12345.0.0.0", std::wstring(FormatVersion(CVersion4(12345, 0, 0, 0), 4).c_str()));
}

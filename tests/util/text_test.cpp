#include <gtest/gtest.h>

#include "util/text.h"
#include "util/version.h"

TEST(Version, PackAndText)
{
    EXPECT_EQ(PackVersion("1.2.3.4"), 0x01020304u);
    EXPECT_EQ(PackVersion("1.2.3"), 0u);
    EXPECT_EQ(PackVersion("1.2.x.4"), 0u);
    EXPECT_EQ(PackVersion("1.2.3.4.5"), 0u);
    EXPECT_EQ(VersionText(0x01020304), "1.2.3.4");
    EXPECT_GE(ProgramVersion(), 0x00080500u);
    EXPECT_EQ(VersionText(ProgramVersion()), VersionString("FileVersion"));
}

TEST(Version, VersionBoxLines)
{
    // The title, then one line each (no empty line before the copyright);
    // extra text follows after an empty line.
    const std::string box = VersionBoxText("");
    EXPECT_EQ(box.rfind(ProductTitle() + "\r" + VersionString("LegalCopyright") + "\r", 0), 0u) << box;
    EXPECT_EQ(box.find("\r\r"), std::string::npos) << box;
    const std::string more = VersionBoxText("Licensed");
    EXPECT_EQ(more, box + "\r\rLicensed");
}

TEST(Text, ShortStringEncoding)
{
    // Latin-1 text fits Windows-1252 and is written as single bytes.
    std::vector<uint8_t> e = EncodeText("Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");  // "Grüß €"
    EXPECT_EQ(e, (std::vector<uint8_t>{'G', 'r', 0xFC, 0xDF, ' ', 0x80}));
    EXPECT_EQ(DecodeText(e.data(), e.size()), "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC");
    // Text outside Windows-1252 is written as UTF-8 and read back as UTF-8.
    std::string greek = "\xCE\xB1\xCE\xB2";
    std::vector<uint8_t> g = EncodeText(greek);
    EXPECT_EQ(g.size(), 4u);
    EXPECT_EQ(DecodeText(g.data(), g.size()), greek);
}

TEST(Text, ParseDecimalAcceptsEitherSeparator)
{
    EXPECT_DOUBLE_EQ(ParseDecimal("1,5"), 1.5);
    EXPECT_DOUBLE_EQ(ParseDecimal("1.5"), 1.5);
    EXPECT_DOUBLE_EQ(ParseDecimal(" -2,25 "), -2.25);
    EXPECT_DOUBLE_EQ(ParseDecimal("abc"), 0.0);
    double v = 7;
    EXPECT_FALSE(TryParseDecimal("1.2.3", v));
    EXPECT_EQ(v, 7);
}

TEST(Text, FloatToTextUsesLocaleSeparator)
{
    SetDecimalSeparator(',');
    EXPECT_EQ(FloatToText(1.5), "1,5");
    SetDecimalSeparator('.');
    EXPECT_EQ(FloatToText(1.5), "1.5");
    EXPECT_EQ(FloatToText(3), "3");
}

TEST(Text, ParseInt)
{
    int32_t v = 0;
    EXPECT_TRUE(TryParseInt(" 42 ", v));
    EXPECT_EQ(v, 42);
    EXPECT_TRUE(TryParseInt("-16777201", v));
    EXPECT_EQ(v, -16777201);
    EXPECT_TRUE(TryParseInt("$80000005", v));
    EXPECT_EQ(uint32_t(v), 0x80000005u);
    EXPECT_FALSE(TryParseInt("12a", v));
    EXPECT_FALSE(TryParseInt("99999999999", v));
    EXPECT_FALSE(TryParseInt("", v));
}

// Untrusted text on the terminal, and the sizes people type.

#include "cli/text.h"

#include <gtest/gtest.h>

using namespace brenvo::cli;

namespace {

TEST(Printable, NeutralisesEscapesLineBreaksTabsAndBidiOverrides)
{
    EXPECT_EQ(printable("a\x1b[2Jb"), "a?[2Jb");
    EXPECT_EQ(printable("x\ny\tz\r"), "x?y?z?");
    EXPECT_EQ(printable(QString::fromUtf8("evil\u202Etxt.exe")), QString::fromUtf8("evil?txt.exe"));
    EXPECT_EQ(printable(QString(QChar(0x9b))), "?");  // C1 control
    EXPECT_EQ(printable(QString::fromUtf8("Zoë 写真")), QString::fromUtf8("Zoë 写真"));
}

TEST(ParseSize, AcceptsBinarySuffixesAndRefusesTheRest)
{
    EXPECT_EQ(parseSize("0"), 0);
    EXPECT_EQ(parseSize("5242881"), 5242881);
    EXPECT_EQ(parseSize("64M"), 64LL << 20);
    EXPECT_EQ(parseSize("1GiB"), 1LL << 30);
    EXPECT_EQ(parseSize("3k"), 3072);
    for (const char* bad : {"", "M", "-1", "1.5M", "12 bytes", "0x10", "99999999999999999999", "9000000000G"})
        EXPECT_FALSE(parseSize(QString::fromLatin1(bad))) << bad;
}

TEST(FormatSize, PicksAUnit)
{
    EXPECT_EQ(formatSize(1023), "1023 B");
    EXPECT_EQ(formatSize(1536), "1.5 KiB");
    EXPECT_EQ(formatSize(5LL << 20), "5.0 MiB");
    EXPECT_EQ(formatSize(3LL << 30), "3.00 GiB");
}

}  // namespace

#include "tests/support/testsupport.h"
#include "vortan/log.h"

#include <gtest/gtest.h>

namespace vortan {
namespace {

TEST(LogTest, EveryEventStaysOneLine)
{
    test::LogCapture log;
    logLine(QStringLiteral("received files: [name: \"a\nforged line\r\t\x7f\"]"));
    logLine(QStringLiteral("plain line with ünïcode"));
    ASSERT_EQ(log.lines().size(), 2);
    EXPECT_EQ(log.lines()[0], QStringLiteral("received files: [name: \"a\\x0aforged line\\x0d\\x09\\x7f\"]"));
    EXPECT_EQ(log.lines()[1], QStringLiteral("plain line with ünïcode"));
}

}  // namespace
}  // namespace vortan

#include "tests/support/testsupport.h"
#include "vortan/log.h"

#include <gtest/gtest.h>

namespace vortan {
namespace {

TEST(LogTest, EveryEventStaysOneLine)
{
    test::LogCapture log;
    logInfo(lcPeer(), QStringLiteral("received files: [name: \"a\nforged line\r\t\x7f\"]"));
    logInfo(lcPeer(), QStringLiteral("plain line with ünïcode"));
    ASSERT_EQ(log.lines().size(), 2);
    EXPECT_EQ(log.lines()[0], QStringLiteral("received files: [name: \"a\\x0aforged line\\x0d\\x09\\x7f\"]"));
    EXPECT_EQ(log.lines()[1], QStringLiteral("plain line with ünïcode"));
}

TEST(LogTest, DebugLinesAreOffUntilAskedFor)
{
    test::LogCapture quiet(false);
    logDebug(lcTransfer(), QStringLiteral("send data: 131072, block: 0"));
    logInfo(lcListener(), QStringLiteral("Listener ready on 54322"));
    EXPECT_EQ(quiet.lines(), QStringList{QStringLiteral("Listener ready on 54322")});

    test::LogCapture verbose(true);
    logDebug(lcTransfer(), QStringLiteral("send data: 131072, block: 0"));
    EXPECT_EQ(verbose.lines(), QStringList{QStringLiteral("send data: 131072, block: 0")});
}

}  // namespace
}  // namespace vortan

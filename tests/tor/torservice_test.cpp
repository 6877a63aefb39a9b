// tor's control port as untrusted input, and our own tor as a child: it
// starts without blocking anything, comes back when killed, and goes at stop.
// The tor here never touches a network (DisableNetwork, and only a directory
// authority on a closed local port).

#include "vortan/tor/torcontrol.h"
#include "vortan/tor/torprocess.h"
#include "vortan/tor/torservice.h"

#include "tests/support/testsupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace vortan {
namespace {

TEST(TorReplies, AreSplitBoundedAndRefusedWhenMalformed)
{
    const struct {
        const char* name;
        QByteArray bytes;
        qsizetype replies;  // complete replies
        bool fails;
    } cases[] = {
        {"one line", "250 OK\r\n", 1, false},
        {"multi-line", "250-ServiceID=abc\r\n250 OK\r\n", 1, false},
        {"data block with a dot-stuffed line",
         "250+info=\r\nline\r\n..dot\r\n.\r\n250 OK\r\n", 1, false},
        {"event between replies", "650 STATUS_CLIENT NOTICE BOOTSTRAP PROGRESS=50\r\n250 OK\r\n", 2, false},
        {"incomplete", "250-ServiceID=abc\r\n", 0, false},
        {"not a reply", "hello\r\n", 0, true},
        {"bad separator", "250xOK\r\n", 0, true},
        {"two statuses in one reply", "250-a\r\n552 b\r\n", 0, true},
        {"a line without end", QByteArray(TorReplyParser::kMaxLine + 1, 'a'), 0, true},
        {"a reply without end", QByteArray("250-") + QByteArray(1000, 'x').append("\r\n").repeated(300), 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TorReplyParser parser;
        // Byte by byte where short: a reply may come in any pieces.
        QList<TorReply> replies;
        if (c.bytes.size() < 200) {
            for (const char byte : c.bytes)
                replies += parser.input(QByteArrayView(&byte, 1));
        } else {
            replies = parser.input(c.bytes);
        }
        EXPECT_EQ(replies.size(), c.replies);
        EXPECT_EQ(parser.failed(), c.fails);
    }
    TorReplyParser parser;
    const QList<TorReply> replies = parser.input("250-ServiceID=abc\r\n250+data=\r\nx\r\n..y\r\n.\r\n250 OK\r\n");
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies[0].value("ServiceID"), "abc");
    EXPECT_EQ(replies[0].value("data"), "\nx\n.y");
}

QString offlineTorrc()
{
    return QStringLiteral(
        "DisableNetwork 1\n"
        "DirAuthority none orport=1 no-v2 v3ident=0000000000000000000000000000000000000001 127.0.0.1:1 "
        "0000000000000000000000000000000000000002\n");
}

TorService::Options options(QString directory, QString controlSocket = {}, QString program = QStringLiteral("tor"))
{
    TorService::Options options;
    options.enabled = true;
    options.controlSocket = std::move(controlSocket);
    options.extraTorrc = offlineTorrc();
    options.directory = std::move(directory);
    options.program = std::move(program);
    return options;
}

TorService::Keys noKeys()
{
    return {.serviceSecretKey = [] { return QByteArray(); },
            .onionAddressOf = [](const QByteArray&) { return QString(); },
            .clientKeyFor = [](const QByteArray&) { return QByteArray(); },
            .authorizedKeyOf = [](const QByteArray&) { return QByteArray(); }};
}

qint64 torPid(const QString& directory)
{
    // The tor whose torrc is ours.
    QProcess pgrep;
    pgrep.start(QStringLiteral("pgrep"), {QStringLiteral("-f"), directory + QStringLiteral("/torrc")});
    pgrep.waitForFinished(5000);
    return pgrep.readAllStandardOutput().split('\n').value(0).toLongLong();
}

TEST(TorService, OwnTorStartsWithoutWaitingComesBackWhenKilledAndGoesAtStop)
{
    if (TorProcess::find(QStringLiteral("tor")).isEmpty())
        GTEST_SKIP() << "tor is not installed";
    QTemporaryDir dir;
    const QString directory = dir.filePath(QStringLiteral("tor"));
    TorService tor(options(directory), noKeys(), {});
    QElapsedTimer clock;
    clock.start();
    tor.start();
    EXPECT_LT(clock.elapsed(), 500) << "start() waited for tor";
    EXPECT_EQ(tor.state(), Reachability::Tor::starting);
    // Without a network tor never bootstraps: calls can be handed to it all the same.
    ASSERT_TRUE(test::waitFor([&] { return !tor.socksPath().isEmpty(); }, 30000));
    EXPECT_EQ(tor.state(), Reachability::Tor::starting);
    EXPECT_EQ(QFileInfo(directory).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther), 0);

    const qint64 first = torPid(directory);
    ASSERT_GT(first, 0);
    ::kill(pid_t(first), SIGKILL);
    ASSERT_TRUE(test::waitFor([&] { return tor.socksPath().isEmpty(); }, 10000));
    ASSERT_TRUE(test::waitFor([&] { return !tor.socksPath().isEmpty(); }, 30000)) << "tor was not started again";
    const qint64 second = torPid(directory);
    EXPECT_NE(second, first);

    clock.restart();
    tor.stop();
    EXPECT_LT(clock.elapsed(), 2500);
    EXPECT_TRUE(test::waitFor([&] { return torPid(directory) == 0; }, 5000));
}

TEST(TorService, WithoutTorOrWithAnUnusableOneNothingElseChanges)
{
    QTemporaryDir dir;
    TorService missing(options(dir.path(), {}, dir.filePath(QStringLiteral("no-tor"))), noKeys(), {});
    missing.start();
    EXPECT_EQ(missing.state(), Reachability::Tor::notInstalled);
    EXPECT_TRUE(missing.socksPath().isEmpty());

    // A control socket that is not tor's.
    TorService elsewhere(options(dir.path(), dir.filePath(QStringLiteral("nothing"))), noKeys(), {});
    elsewhere.start();
    EXPECT_TRUE(test::waitFor([&] { return elsewhere.state() == Reachability::Tor::failed; }, 5000));
    EXPECT_FALSE(elsewhere.error().isEmpty());
}

}  // namespace
}  // namespace vortan

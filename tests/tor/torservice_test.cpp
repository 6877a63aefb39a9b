// tor's control port as untrusted input, and our own tor as a child: it
// starts without blocking anything, comes back when killed, and goes at stop.
// The tor here never touches a network (DisableNetwork, and only a directory
// authority on a closed local port).

#include "vortan/tor/torcontrol.h"
#include "vortan/tor/torprocess.h"
#include "vortan/tor/torservice.h"

#include "tests/support/testsupport.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
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

// A control port that takes any command: it records them and answers
// ADD_ONION with a service id.
class FakeControl {
public:
    FakeControl()
    {
        server.listen(dir.filePath(QStringLiteral("control")));
        QObject::connect(&server, &QLocalServer::newConnection, [this] {
            QLocalSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QLocalSocket::readyRead, [this, socket] {
                buffer += socket->readAll();
                for (qsizetype end; (end = buffer.indexOf("\r\n")) >= 0; buffer.remove(0, end + 2)) {
                    const QByteArray line = buffer.left(end);
                    commands.append(line);
                    if (line.startsWith("PROTOCOLINFO"))
                        socket->write("250-PROTOCOLINFO 1\r\n250-AUTH METHODS=NULL\r\n250 OK\r\n");
                    else if (line.startsWith("ADD_ONION"))
                        socket->write("250-ServiceID=annservice\r\n250 OK\r\n");
                    else
                        socket->write("250 OK\r\n");
                }
            });
        });
    }
    QString path() const { return server.fullServerName(); }
    QList<QByteArray> startingWith(const QByteArray& prefix) const
    {
        QList<QByteArray> found;
        for (const QByteArray& command : commands) {
            if (command.startsWith(prefix))
                found.append(command);
        }
        return found;
    }

    QTemporaryDir dir;
    QLocalServer server;
    QByteArray buffer;
    QList<QByteArray> commands;
};

// Our service lets in exactly the directory's people: someone removed is
// left out of the service published next, and our key for their service goes.
TEST(TorService, TheServiceFollowsTheDirectory)
{
    FakeControl control;
    TorService::Keys keys{
        .serviceSecretKey = [] { return QByteArray(64, 's'); },
        .onionAddressOf = [](const QByteArray& contact) { return QString::fromLatin1(contact) + QStringLiteral(".onion"); },
        .clientKeyFor = [](const QByteArray&) { return QByteArray(32, 'c'); },
        .authorizedKeyOf = [](const QByteArray& contact) { return QByteArray(32, contact.at(0)); },
    };
    QTemporaryDir dir;
    TorService tor(options(dir.path(), control.path()), keys, {});
    tor.setContacts({"bob", "cy"});
    tor.setPublishing(true);
    tor.start();
    ASSERT_TRUE(test::waitFor([&] { return control.startingWith("ADD_ONION").size() == 1; }, 5000));
    const QByteArray first = control.startingWith("ADD_ONION").constFirst();
    // base32 of 32 'b' bytes and of 32 'c' bytes.
    EXPECT_TRUE(first.contains("ClientAuthV3=MJRGEYTCMJRGEYTCMJRGEYTCMJRGEYTCMJRGEYTCMJRGEYTCMJRA"));
    EXPECT_TRUE(first.contains("ClientAuthV3=MNRWGY3DMNRWGY3DMNRWGY3DMNRWGY3DMNRWGY3DMNRWGY3DMNRQ"));
    EXPECT_TRUE(first.startsWith("ADD_ONION ED25519-V3:" + QByteArray(64, 's').toBase64() + " Flags=DiscardPK,V3Auth"));
    EXPECT_TRUE(first.contains(" Port=54322,unix:"));
    EXPECT_EQ(control.startingWith("ONION_CLIENT_AUTH_ADD").size(), 2);

    tor.setContacts({"bob"});
    ASSERT_TRUE(test::waitFor([&] { return control.startingWith("ADD_ONION").size() == 2; }, 5000));
    EXPECT_EQ(control.startingWith("DEL_ONION"), QList<QByteArray>{"DEL_ONION annservice"});
    EXPECT_FALSE(control.startingWith("ADD_ONION").constLast().contains("MNRWGY3D"));
    EXPECT_EQ(control.startingWith("ONION_CLIENT_AUTH_REMOVE"), QList<QByteArray>{"ONION_CLIENT_AUTH_REMOVE cy"});

    // Not listening: nothing is published.
    tor.setPublishing(false);
    ASSERT_TRUE(test::waitFor([&] { return control.startingWith("DEL_ONION").size() == 2; }, 5000));
    EXPECT_EQ(control.startingWith("ADD_ONION").size(), 2);
}

}  // namespace
}  // namespace vortan

// A real control server and client on a socket in a temporary runtime folder:
// round trips, one instance per support directory, hostile and slow clients,
// and peers of another user.

#include "control/controlclient.h"
#include "control/controlserver.h"
#include "control/wire.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace brenvo::control;
using namespace std::chrono_literals;
using vortan::test::waitFor;

namespace {

// The lines of "brenvo.control" while it lives.
class ControlLog {
public:
    ControlLog() { s_lines.clear(); m_previous = qInstallMessageHandler(&ControlLog::handle); }
    ~ControlLog() { qInstallMessageHandler(m_previous); }
    ControlLog(const ControlLog&) = delete;
    ControlLog& operator=(const ControlLog&) = delete;

    bool has(const QString& part) const
    {
        return std::any_of(s_lines.begin(), s_lines.end(), [&](const QString& line) { return line.contains(part); });
    }

private:
    static void handle(QtMsgType, const QMessageLogContext& context, const QString& message)
    {
        if (qstrcmp(context.category, "brenvo.control") == 0)
            s_lines.append(message);
    }
    static inline QStringList s_lines;
    QtMessageHandler m_previous = nullptr;
};

class ControlServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_runtime.isValid() && m_support.isValid());
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
    }
    void TearDown() override { qunsetenv("XDG_RUNTIME_DIR"); }

    std::unique_ptr<ControlServer> listeningServer(ControlServer::Limits limits = {2, 300ms, 1000ms})
    {
        auto server = std::make_unique<ControlServer>(supportDir(), limits);
        const ControlServer::ListenResult result = server->listen();
        EXPECT_EQ(result.status, ControlServer::ListenStatus::Listening) << result.error.toStdString();
        return server;
    }

    // The blocking client runs on a thread of its own while this one serves.
    ClientResult exchange(const Request& request)
    {
        ClientResult result;
        std::unique_ptr<QThread> thread(
            QThread::create([&] { result = ControlClient(supportDir()).send(request, 5s); }));
        thread->start();
        EXPECT_TRUE(waitFor([&] { return thread->isFinished(); }, 10000));
        thread->wait(6000);
        return result;
    }

    // Connects a raw socket, writes bytes and waits until the server hangs up.
    // Returns what the server wrote back.
    QByteArray hangUpAfter(const QByteArray& bytes, int timeoutMs = 5000)
    {
        QLocalSocket socket;
        socket.connectToServer(ControlClient(supportDir()).socketPath());
        EXPECT_TRUE(socket.waitForConnected(2000));
        socket.write(bytes);
        QByteArray received;
        QObject::connect(&socket, &QLocalSocket::readyRead, [&] { received += socket.readAll(); });
        EXPECT_TRUE(waitFor([&] { return socket.state() == QLocalSocket::UnconnectedState; }, timeoutMs));
        return received + socket.readAll();
    }

    QString supportDir() const { return m_support.path(); }
    QString socketPath() const { return ControlClient(supportDir()).socketPath(); }

    QTemporaryDir m_runtime;
    QTemporaryDir m_support;
};

std::optional<Answer> answerIn(const QByteArray& bytes)
{
    FrameReader reader;
    reader.append(bytes);
    if (reader.next() != FrameReader::Status::Frame)
        return std::nullopt;
    return decodeAnswer(reader.payload()).answer;
}

TEST_F(ControlServerTest, OpenAndRemoteRequestsAreAnswered)
{
    auto server = listeningServer();
    QSignalSpy opened(server.get(), &ControlServer::openRequested);
    const vortan::User ann("Ann", "10.0.0.7", 54322, QByteArray(32, 'a'));
    server->setCommandHandler([&](const RemoteRequest& request) -> Answer {
        if (const auto* pause = std::get_if<PauseRequest>(&request))
            return ErrorAnswer{ErrorAnswer::Kind::failed, pause->ids.value(0).toString(), {}};
        if (std::holds_alternative<FilesRequest>(request))
            return UsersAnswer{{vortan::User(QString(kMaxPayload, u'x'), {}, {}, ann.key)}};
        return UsersAnswer{{ann}};
    });

    const OpenRequest open{{"brenvo://file/4,7"}, {supportDir() + "/Bob.bcard"}};
    const ClientResult first = exchange(open);
    ASSERT_EQ(first.status, ClientResult::Status::Answered) << first.error.toStdString();
    EXPECT_EQ(first.answer, Answer(DoneAnswer{}));
    ASSERT_TRUE(waitFor([&] { return opened.size() == 1; }, 2000));
    EXPECT_EQ(opened.at(0).at(0).value<OpenRequest>(), open);

    const ClientResult second = exchange(UsersRequest{});
    ASSERT_EQ(second.status, ClientResult::Status::Answered) << second.error.toStdString();
    EXPECT_EQ(second.answer, Answer(UsersAnswer{{ann}}));
    const QUuid id = QUuid::createUuid();
    EXPECT_EQ(exchange(PauseRequest{{id}}).answer, Answer(ErrorAnswer{ErrorAnswer::Kind::failed, id.toString(), {}}));
    // An answer too long for a frame is refused instead.
    EXPECT_EQ(exchange(FilesRequest{}).answer, refusal(QStringLiteral("the answer is longer than %1 bytes").arg(kMaxPayload)));
    // A card's name may be longer than other texts of a request.
    const vortan::User longName(QString(kMaxEntryLength * 4, u'n'), {}, {}, ann.key);
    EXPECT_EQ(exchange(ImportRequest{{longName}}).answer, Answer(UsersAnswer{{ann}}));
}

TEST_F(ControlServerTest, OneInstancePerSupportDirectoryAndStaleSocketsAreTakenOver)
{
    EXPECT_EQ(exchange(OpenRequest{}).status, ClientResult::Status::NoInstance);
    {
        auto first = listeningServer();
        ControlServer second(supportDir());
        EXPECT_EQ(second.listen().status, ControlServer::ListenStatus::AlreadyRunning);
        EXPECT_EQ(exchange(OpenRequest{}).status, ClientResult::Status::Answered) << "the first one still serves";
    }
    // What a crashed instance leaves behind: a socket file nobody listens on.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, QFile::encodeName(socketPath()).constData(), sizeof address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(socketPath()));
    EXPECT_EQ(exchange(OpenRequest{}).status, ClientResult::Status::NoInstance);

    ControlLog log;
    auto server = listeningServer();
    EXPECT_TRUE(log.has("replacing the control socket"));
    EXPECT_EQ(exchange(OpenRequest{}).status, ClientResult::Status::Answered);
}

TEST_F(ControlServerTest, TheSocketAndItsFolderAreTheOwnersAlone)
{
    const auto mode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
    };
    const QString fallback = m_runtime.path() + QStringLiteral("/brenvo-%1").arg(::geteuid());
    // In $XDG_RUNTIME_DIR, else in a folder of its own in the temporary directory.
    for (const QString& folder : {m_runtime.path(), fallback}) {
        if (folder == fallback) {
            qunsetenv("XDG_RUNTIME_DIR");
            qputenv("TMPDIR", QFile::encodeName(m_runtime.path()));
        }
        auto server = listeningServer();
        EXPECT_EQ(QFileInfo(server->socketPath()).path(), folder);
        EXPECT_EQ(mode(server->socketPath()), mode_t(S_IFSOCK | 0600));
        EXPECT_EQ(mode(folder), mode_t(S_IFDIR | 0700));
    }
    qunsetenv("TMPDIR");
}

TEST_F(ControlServerTest, BrokenClientsAreClosedAndTheServerKeepsServing)
{
    const QByteArray partial = encodeFrame("{\"type\":\"open\"}").left(kHeaderSize + 3);
    QByteArray otherVersion = encodeFrame("{}");
    qToBigEndian<quint16>(2, otherVersion.data() + 4);
    QByteArray oversize = encodeFrame({});
    qToBigEndian<quint32>(quint32(kMaxPayload) + 1, oversize.data() + 8);
    const struct {
        const char* name;
        QByteArray bytes;
        const char* line;      // part of the line logged
        const char* answered;  // part of the error answered, if any
    } cases[] = {
        {"garbage", "GET / HTTP/1.1\r\n\r\n", "not a control message", nullptr},
        {"other version", otherVersion, "unsupported version 2", "unsupported version 2"},
        {"oversize", oversize, "over the limit", nullptr},
        {"not JSON", encodeFrame("{\"type\":"), "not JSON", nullptr},
        {"stops mid-message", partial, "no complete message within 300 ms", nullptr},
    };
    auto server = listeningServer();
    for (const auto& c : cases) {
        ControlLog log;
        const std::optional<Answer> answer = answerIn(hangUpAfter(c.bytes));
        EXPECT_EQ(answer.has_value(), c.answered != nullptr) << c.name;
        if (answer && c.answered) {
            const auto* refused = std::get_if<ErrorAnswer>(&*answer);
            EXPECT_TRUE(refused && refused->detail.contains(c.answered)) << c.name;
        }
        EXPECT_TRUE(log.has(c.line)) << c.name;
        EXPECT_EQ(exchange(OpenRequest{}).status, ClientResult::Status::Answered) << "after " << c.name;
    }
}

TEST_F(ControlServerTest, RefusedRequestsAreAnsweredOnTheSameConnection)
{
    auto server = listeningServer();
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    ASSERT_TRUE(socket.waitForConnected(2000));
    socket.write(encodeFrame("{\"type\":\"reboot\"}") + encodeFrame("{\"type\":\"users\"}"));
    QByteArray received;
    QObject::connect(&socket, &QLocalSocket::readyRead, [&] { received += socket.readAll(); });
    FrameReader reader;
    QList<ErrorAnswer> answers;
    ASSERT_TRUE(waitFor([&] {
        reader.append(std::exchange(received, {}));
        while (reader.next() == FrameReader::Status::Frame)
            answers.append(std::get<ErrorAnswer>(decodeAnswer(reader.payload()).answer.value_or(refusal({}))));
        return answers.size() == 2;
    }, 3000));
    EXPECT_TRUE(answers[0].detail.contains("unknown request type"));
    EXPECT_TRUE(answers[1].detail.contains("unknown command \"users\""));
}

TEST_F(ControlServerTest, ClientsBeyondTheLimitAreAnsweredBusy)
{
    // The held clients send nothing; they must outlast the third one's connect.
    auto server = listeningServer({2, 10000ms, 1000ms});
    QLocalSocket held[2];
    for (QLocalSocket& socket : held) {
        socket.connectToServer(socketPath());
        ASSERT_TRUE(socket.waitForConnected(2000));
    }
    const ClientResult refused = exchange(OpenRequest{});
    ASSERT_EQ(refused.status, ClientResult::Status::Answered) << refused.error.toStdString();
    EXPECT_EQ(refused.answer, refusal("busy"));
}

TEST_F(ControlServerTest, PeersOfAnotherUserAreRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "running a client as another user needs root";
    if (QStandardPaths::findExecutable("setpriv").isEmpty())
        GTEST_SKIP() << "setpriv is not installed";
    auto server = listeningServer();
    // Let nobody reach the folder; the socket file's mode is the first wall,
    // the peer's credentials the second (each side checks the other's).
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeOther);
    const struct {
        mode_t mode;
        const char* output;
        const char* line;
    } cases[] = {
        {0600, "cannot connect", nullptr},
        {0666, "belongs to another user", "refused a control connection of uid 65534"},
    };
    for (const auto& c : cases) {
        ControlLog log;
        ASSERT_EQ(::chmod(QFile::encodeName(socketPath()).constData(), c.mode), 0);
        QProcess probe;
        probe.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", CONTROL_PROBE, supportDir()});
        ASSERT_TRUE(waitFor([&] { return probe.state() == QProcess::NotRunning; }, 10000));
        EXPECT_EQ(probe.exitCode(), 4) << probe.readAllStandardError().toStdString();
        const QByteArray output = probe.readAllStandardOutput();
        EXPECT_TRUE(output.contains(c.output)) << output.constData();
        if (c.line) {
            EXPECT_TRUE(log.has(c.line));
        }
    }
}

}  // namespace

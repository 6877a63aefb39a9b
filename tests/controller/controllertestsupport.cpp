#include "tests/controller/controllertestsupport.h"

#include "vortan/connection/connection.h"
#include "vortan/listener/listener.h"
#include "vortan/util/ratelimitedlog.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace vortan::test {

namespace {

// The Trash and the data folder of every test live in a temporary folder.
class IsolatedDataHome : public ::testing::Environment {
public:
    void SetUp() override
    {
        m_dir = std::make_unique<QTemporaryDir>();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir->filePath(QStringLiteral("data"))));
    }
    void TearDown() override { m_dir.reset(); }

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

[[maybe_unused]] ::testing::Environment* const dataHome = ::testing::AddGlobalTestEnvironment(new IsolatedDataHome);

// Lets the event loop deliver cancellations until every connection is gone.
void releaseConnections(const QList<std::weak_ptr<PeerConnection>>& connections)
{
    waitFor(
        [&] {
            return std::all_of(connections.begin(), connections.end(),
                               [](const std::weak_ptr<PeerConnection>& p) { return p.expired(); });
        },
        5000);
}

}  // namespace

Node::Node(const QString& name, Clock* clock) : name(name), clock(clock)
{
    // Refused connections of earlier tests do not hold back this test's lines.
    RateLimitedLog::preAuthentication().setNow({});
    create();
}

Node::~Node()
{
    shutDown(false);
}

ControllerOptions Node::options()
{
    ControllerOptions options;
    options.supportDirectory = support.path();
    options.downloadsDirectory = downloads.path();
    options.bundledUsersPath = bundledUsers;
    options.listMessageLimit = listMessageLimit;
    options.maxRequestWindow = maxRequestWindow;
    options.maxConnectionWindow = maxConnectionWindow;
    options.maxOffersPerUser = maxOffersPerUser;
    options.saveDelay = saveDelay;
    options.watchNetwork = false;
    return options;
}

ControllerSeams Node::seams()
{
    return ControllerSeams{keys.get(), &mapper, clock, &inhibitor};
}

void ReportRecorder::record(Controller& controller)
{
    QObject::connect(&controller, &Controller::downloadFinished, [this](const FileRow& file) { finished.append(file); });
    QObject::connect(&controller, &Controller::filesReceived, [this](const QList<FileRow>& files, const User& user) {
        received.append(files);
        senders.append(user);
    });
}

void Node::create()
{
    controller.reset();
    keys = std::make_unique<KeyHelper>(std::make_unique<SharedSecretStore>(secrets));
    controller = ControllerTestAccess::make(options(), seams());
    reports.record(*controller);
    controller->setConnectAutomatically(connectAutomatically);
}

void Node::start()
{
    if (!controller)
        create();
    const std::optional<StartError> error = controller->start(false, false);
    ASSERT_FALSE(error) << error->message().toStdString();
    if (controller->me()->name != name)
        controller->editMe(User(name, controller->me()->address, controller->me()->port, {}));
}

void Node::shutDown(bool stopFirst)
{
    if (!controller)
        return;
    if (stopFirst && controller->isStarted())
        controller->stop();
    QList<std::weak_ptr<PeerConnection>> connections;
    for (const auto& peer : engine().peers().ready())
        connections.append(peer);
    for (const auto& peer : engine().peers().connecting())
        connections.append(peer);
    controller.reset();
    releaseConnections(connections);
}

void Node::restart()
{
    const bool wasListening = controller && controller->listening();
    shutDown();
    create();
    start();
    if (wasListening) {
        controller->setSettings(true, false);
        EXPECT_TRUE(waitFor([&] { return controller->listenerState().kind() == ListenerState::Kind::ready; }));
    }
}

quint16 Node::listen()
{
    if (!controller->isStarted())
        start();
    const quint16 port = unusedPort();
    User card = *controller->me();
    card.port = port;
    controller->editMe(card);
    controller->setSettings(true, controller->mappingPort());
    EXPECT_TRUE(waitFor([&] { return controller->listenerState().kind() == ListenerState::Kind::ready; }));
    return port;
}

QUuid Node::share(const QString& fileName, qint64 size, const QList<QByteArray>& to, int seed)
{
    controller->shareFiles({File2::at(makeFile(downloads.path(), fileName, size, seed))}, to);
    return engine().files().last().id();
}

bool Node::finishedCount(qsizetype count, int timeoutMs)
{
    return waitFor([&] { return reports.finished.size() == count; }, timeoutMs);
}

User Node::card() const
{
    User me = *controller->me();
    me.address = QStringLiteral("127.0.0.1");
    return User(me.name, me.address, me.port, me.key);
}

File listed(const QString& name, qint64 length, const QByteArray& owner)
{
    return File(File2(name, std::nullopt, length), QUuid::createUuid(), owner);
}

QStringList namesOf(const QList<File>& files)
{
    QStringList names;
    for (const File& file : files)
        names.append(file.name());
    return names;
}

QStringList namesOf(const QList<FileRow>& rows)
{
    QStringList names;
    for (const FileRow& row : rows)
        names.append(row.name);
    return names;
}

void introduce(Node& a, Node& b)
{
    a->addUsers({b.card()});
    b->addUsers({a.card()});
}

bool connected(Node& a, Node& b)
{
    const std::optional<User> ab = a.user(b.key());
    const std::optional<User> ba = b.user(a.key());
    return ab && ba && ab->state == User::State::connected && ba->state == User::State::connected;
}

bool connectPair(Node& a, Node& b)
{
    // Each side answers the other's list request on this connection, even
    // with an empty list; answeredList alone may be left from an earlier one.
    bool aMerged = false, bMerged = false;
    const QMetaObject::Connection ca = QObject::connect(a.controller.get(), &Controller::listReceived,
                                                        [&](const QByteArray& key) { aMerged = aMerged || key == b.key(); });
    const QMetaObject::Connection cb = QObject::connect(b.controller.get(), &Controller::listReceived,
                                                        [&](const QByteArray& key) { bMerged = bMerged || key == a.key(); });
    a->connectTo(b.key());
    const bool ok = waitFor([&] { return connected(a, b) && aMerged && bMerged; });
    QObject::disconnect(ca);
    QObject::disconnect(cb);
    return ok;
}

Pair::Pair(Clock* adaClock, Clock* beaClock) : a(QStringLiteral("Ada"), adaClock), b(QStringLiteral("Bea"), beaClock)
{
    a.listen();
    b.start();
    introduce(a, b);
}

QList<QUuid> Pair::offer(const QList<qint64>& sizes)
{
    QList<File2> files;
    for (qint64 size : sizes)
        files.append(File2::at(makeFile(a.downloads.path(), QStringLiteral("%1.bin").arg(size), size, int(size % 1000))));
    const qsizetype before = a.engine().files().size();
    a->shareFiles(files, {b.key()});
    QList<QUuid> ids;
    for (qsizetype i = before; i < a.engine().files().size(); ++i)
        ids.append(a.engine().files()[i].id());
    EXPECT_TRUE(waitFor([&] {
        if (tick)
            tick();
        return std::all_of(ids.begin(), ids.end(), [&](const QUuid& id) { return b.file(id); });
    }, 20000));
    return ids;
}

QString makeFile(const QString& dir, const QString& name, qint64 size, int seed)
{
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(name);
    writeFile(path, generatedBytes(size, seed));
    return path;
}

bool RawPeer::connectTo(Node& node)
{
    if (!connectTo(node.card()))
        return false;
    // The node takes the connection once our first frame has arrived.
    return !node.user(key()) || waitFor([&] { return cancelled || node.engine().peers().peerFor(key()) != nullptr; });
}

NodeAndPeer::NodeAndPeer(const std::function<void(Node&)>& configure)
    : node(QStringLiteral("Bea")), peer(QStringLiteral("Raw"))
{
    if (configure) {
        configure(node);
        node.create();
    }
    node.listen();
    node->addUsers({peer.card()});
}

bool NodeAndPeer::connect()
{
    const int requests = peer.listRequests;
    bool merged = false;
    const QMetaObject::Connection c = QObject::connect(node.controller.get(), &Controller::listReceived,
                                                       [&](const QByteArray& key) { merged = merged || key == peer.key(); });
    const bool ok = peer.connectTo(node)
                    && waitFor([&] { return peer.listRequests > requests && (!peer.answerWith || merged); });
    QObject::disconnect(c);
    return ok;
}

OneDownload::OneDownload(qint64 size, const QString& name, const std::function<void(Node&)>& configure)
    : NodeAndPeer(configure), bytes(generatedBytes(size, 3)), x(listed(name, size, peer.key()))
{
}

bool OneDownload::start(const std::optional<DownloadLocation>& where)
{
    if (!connect(QList<File>{x}))
        return false;
    peer.serving.insert(x.id(), bytes);
    node->resume({{x.id(), where}});
    return record().location().has_value();
}

bool OneDownload::request()
{
    if (!connect(QList<File>{x}))
        return false;
    node->resume({{x.id(), std::nullopt}});
    return waitFor([&] { return peer.wants.size() == 1; });
}

bool OneDownload::hasBlocks(std::int64_t count)
{
    return waitFor([&] { return record().blocks.count() == count; });
}

}  // namespace vortan::test

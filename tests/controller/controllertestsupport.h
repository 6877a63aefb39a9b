#pragma once

// Controllers in one process for tests: each Node has its own key store,
// support and download folders, a port mapper that counts calls and never
// sends anything, and a recorder of reports. RawPeer (a PlainPeer) speaks
// the protocol with an identity of its own, for plain, hostile or scripted
// peers.

#include "tests/controller/manualclock.h"
#include "tests/framer/memorysecretstore.h"
#include "tests/support/plainpeer.h"
#include "tests/support/testsupport.h"
#include "vortan/controller.h"
#include "vortan/controller/controllertestaccess.h"
#include "vortan/controller/sleepinhibitor.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/portmapping/portmapper.h"

#include <QHash>
#include <QTemporaryDir>

#include <functional>

#include <memory>
#include <mutex>
#include <vector>

namespace vortan::test {

// A secret store whose items outlive the KeyHelper using it, so that a
// "restarted" controller finds the identity of the previous one.
class SharedSecretStore : public SecretStore {
public:
    explicit SharedSecretStore(std::shared_ptr<MemorySecretStore> items) : m_items(std::move(items)) {}
    QString name() const override { return m_items->name(); }
    SecretStatus read(const QString& account, QByteArray& value) override { return m_items->read(account, value); }
    SecretStatus add(const QString& account, const QString& label, const QByteArray& value) override
    {
        return m_items->add(account, label, value);
    }
    SecretStatus remove(const QString& account) override { return m_items->remove(account); }

private:
    std::shared_ptr<MemorySecretStore> m_items;
};

// A store that cannot be reached.
class UnreachableSecretStore : public SecretStore {
public:
    QString name() const override { return QStringLiteral("unreachable"); }
    SecretStatus read(const QString&, QByteArray&) override
    {
        return {SecretStatus::kNotAvailable, QStringLiteral("The secret service did not answer")};
    }
    SecretStatus add(const QString&, const QString&, const QByteArray&) override
    {
        return {SecretStatus::kNotAvailable, QStringLiteral("The secret service did not answer")};
    }
    SecretStatus remove(const QString&) override { return {SecretStatus::kNotAvailable, {}}; }
};

// Counts calls; get_public_address keeps the callback for the test to call.
class CountingPortMapper : public PortMapper {
public:
    void port_mapping_init() override { ++inits; }
    void get_public_address(AddressCallback callback) override
    {
        std::lock_guard guard(lock);
        addressCallbacks.push_back(std::move(callback));
    }
    void map_port(std::uint16_t port) override { mapped.push_back(port); }
    void map_port_reporting(std::uint16_t port, MappingCallback done) override
    {
        map_port(port);
        std::lock_guard guard(lock);
        mappingCallbacks.push_back(std::move(done));
    }
    // Counts both kinds; blockingUnmaps only those that make the caller wait.
    void unmap_port() override
    {
        ++unmaps;
        ++blockingUnmaps;
    }
    void unmap_port_async() override { ++unmaps; }
    bool unmap_port_within(std::chrono::milliseconds) override
    {
        unmap_port();
        return !gatewayHangs;
    }

    bool gatewayHangs = false;  // the bounded wait at stop() gives up
    int inits = 0;
    int unmaps = 0;
    int blockingUnmaps = 0;
    std::vector<std::uint16_t> mapped;
    std::mutex lock;
    std::vector<AddressCallback> addressCallbacks;
    std::vector<MappingCallback> mappingCallbacks;
};

class CountingSleepInhibitor : public SleepInhibitor {
public:
    void acquire() override
    {
        ++acquires;
        m_held = true;
        if (onAcquire)
            onAcquire();
    }
    void release() override
    {
        ++releases;
        m_held = false;
    }
    bool isHeld() const override { return m_held; }

    int acquires = 0;
    int releases = 0;
    // Runs inside acquire(): right after the first want or data of a transfer went out.
    std::function<void()> onAcquire;

private:
    bool m_held = false;
};

// What a controller reported through downloadFinished and filesReceived.
struct ReportRecorder {
    void record(Controller& controller);

    QList<FileRow> finished;
    QList<QList<FileRow>> received;
    QList<User> senders;
};

// One controller with everything it needs.
class Node {
public:
    explicit Node(const QString& name, Clock* clock = nullptr);
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    Controller* operator->() { return controller.get(); }
    // The engine behind the controller: its collaborators and records.
    ControllerTestAccess engine() { return ControllerTestAccess(*controller); }

    // The options the controller was (or will be) made with.
    ControllerOptions options();
    // The node's key store, gateway, clock and sleep inhibitor.
    ControllerSeams seams();
    // Makes the controller (a new KeyHelper over the same secret store, as a
    // new process would) without starting it.
    void create();
    // create() and start(false, false); asserts success.
    void start();
    // Destroys the controller after stop(), as at the end of a process, and
    // lets the event loop release its connections.
    void shutDown(bool stopFirst = true);
    // shutDown() and start() again, listening again if it was.
    void restart();
    // Listens on a free port (through editMe and setSettings); waits for ready.
    quint16 listen();

    QByteArray key() const { return controller->me()->key; }
    // The own card, reachable on 127.0.0.1.
    User card() const;
    // The record in files() with this id.
    const File* file(const QUuid& id) { return engine().fileTable().find(id); }
    std::optional<User> user(const QByteArray& key) const { return controller->user(key); }
    QString supportPath(const QString& name) const { return support.filePath(name); }
    QString downloadsPath(const QString& name) const { return downloads.filePath(name); }
    // Offers a new file of `size` bytes (made in the downloads folder) to
    // these users; returns the id of the last record made.
    QUuid share(const QString& fileName, qint64 size, const QList<QByteArray>& to, int seed = 1);
    // Waits until no save is scheduled or being written.
    bool written() { return waitFor([this] { return !engine().store().pending(); }); }
    // Waits until `count` downloads have finished.
    bool finishedCount(qsizetype count, int timeoutMs = 10000);

    QString name;
    QTemporaryDir support;
    QTemporaryDir downloads;
    std::shared_ptr<MemorySecretStore> secrets = std::make_shared<MemorySecretStore>();
    std::unique_ptr<KeyHelper> keys;
    Clock* clock = nullptr;
    CountingPortMapper mapper;
    CountingSleepInhibitor inhibitor;
    ReportRecorder reports;
    std::optional<QString> bundledUsers = QString();  // none unless a test sets one
    qsizetype listMessageLimit = 16 * 1024 * 1024;
    std::int64_t maxRequestWindow = ControllerOptions().maxRequestWindow;
    std::int64_t maxConnectionWindow = ControllerOptions().maxConnectionWindow;
    qsizetype maxOffersPerUser = ControllerOptions().maxOffersPerUser;
    std::chrono::milliseconds saveDelay = ControllerOptions().saveDelay;
    // Off unless a test is about it: the other tests connect by hand.
    bool connectAutomatically = false;
    std::unique_ptr<Controller> controller;
};

// A record as its owner lists it: a new id, no location.
File listed(const QString& name, qint64 length, const QByteArray& owner);

// The names of these records or rows, in order.
QStringList namesOf(const QList<File>& files);
QStringList namesOf(const QList<FileRow>& rows);

// Each knows the other's card.
void introduce(Node& a, Node& b);
// a connects to b; waits until both are connected and each has had the
// other's list. Returns whether that happened in time.
bool connectPair(Node& a, Node& b);
bool connected(Node& a, Node& b);

// Ada offers, Bea downloads: Ada listens, each knows the other, and
// connect() has Bea call Ada.
struct Pair {
    explicit Pair(Clock* adaClock = nullptr, Clock* beaClock = nullptr);
    bool connect() { return connectPair(b, a); }
    // Offers files of these sizes (named "<size>.bin", bytes seeded with
    // size % 1000) to Bea; waits until she has their records.
    QList<QUuid> offer(const QList<qint64>& sizes);

    Node a;
    Node b;
    // Runs at every poll of offer()'s wait (to move manual clocks).
    std::function<void()> tick;
};

// A file of `size` bytes in dir (bytes from a simple generator seeded with
// seed); returns its path.
QString makeFile(const QString& dir, const QString& name, qint64 size, int seed = 1);

// A plain peer that can also call a Node.
class RawPeer : public PlainPeer {
public:
    using PlainPeer::PlainPeer;
    using PlainPeer::connectTo;
    // Connects to the node's listener (the node must know this peer's card);
    // waits for ready and, when the node knows this peer, until the node has
    // taken the connection.
    bool connectTo(Node& node);
};

// A listening node (Bea) that knows a raw peer, which connects to it.
struct NodeAndPeer {
    // configure runs before the controller is made (options, clock).
    explicit NodeAndPeer(const std::function<void(Node&)>& configure = {});
    // Connects; waits until the node asked for the list and, when the peer
    // answers (answerWith), merged it.
    bool connect();
    // The same, answering with `list`.
    bool connect(const QList<File>& list)
    {
        peer.answerWith = list;
        return connect();
    }
    // The node's connection to the peer.
    std::shared_ptr<PeerConnection> nodeSide() { return node.engine().peers().peerFor(peer.key()); }

    Node node;
    RawPeer peer;
};

// The node downloads one record from the raw peer: start() lets the peer
// send every block as asked, request() waits for the first want and leaves
// the sending to the test (send()).
struct OneDownload : NodeAndPeer {
    explicit OneDownload(qint64 size, const QString& name = QStringLiteral("x.bin"),
                         const std::function<void(Node&)>& configure = {});
    bool start(const std::optional<DownloadLocation>& where = std::nullopt);
    bool request();
    void send(std::int64_t block) { peer.peer->sendData(bytes.mid(block * blockSize, blockSize), block, x.id(), {}); }
    bool hasBlocks(std::int64_t count);
    const File& record() { return *node.file(x.id()); }
    QString target() { return record().location()->toLocalFile(); }

    QByteArray bytes;
    File x;
};

}  // namespace vortan::test

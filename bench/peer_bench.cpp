// 1 GiB as 128 KiB data messages over one loopback PeerConnection, each block
// sent from the completion of the previous one (as the download engine
// does), next to a plain QTcpSocket copy of the same bytes paced the same
// way, in the same run.
//
//   peer_bench [MiB [plain|peer]]   (default: 1024 MiB, both)

#include "bench/benchsupport.h"
#include "tests/framer/memorysecretstore.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/secretstore.h"
#include "vortan/listener/listener.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <functional>
#include <memory>

using namespace vortan;
using bench::freePort;
using bench::runUntil;

namespace {

constexpr qint64 kBlock = 131072;

double mbPerSecond(qint64 bytes, qint64 nanoseconds)
{
    return double(bytes) / 1e6 / (double(nanoseconds) / 1e9);
}

// Processor time (user + system) of this process so far, in nanoseconds.
qint64 cpuNanoseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ns = [](const timeval& tv) { return qint64(tv.tv_sec) * 1000000000 + qint64(tv.tv_usec) * 1000; };
    return ns(usage.ru_utime) + ns(usage.ru_stime);
}

struct Result {
    double mbPerSecond = 0;
    double cpuShare = 0;  // processor time over wall time
};

// The plain copy: a block is written once the previous one has reached the
// kernel; the receiver reads and counts.
Result plainCopy(qint64 total, const QByteArray& block)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QTcpSocket sender;
    QTcpSocket* receiver = nullptr;
    qint64 received = 0;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        receiver = server.nextPendingConnection();
        QObject::connect(receiver, &QTcpSocket::readyRead, [&] { received += receiver->readAll().size(); });
    });
    sender.connectToHost(QHostAddress::LocalHost, server.serverPort());
    if (!runUntil([&] { return receiver && sender.state() == QAbstractSocket::ConnectedState; }, 10000))
        return {};

    qint64 sent = 0;
    QElapsedTimer clock;
    QObject::connect(&sender, &QTcpSocket::bytesWritten, [&] {
        if (sender.bytesToWrite() == 0 && sent < total) {
            sender.write(block);
            sent += block.size();
        }
    });
    clock.start();
    const qint64 cpuStart = cpuNanoseconds();
    sender.write(block);
    sent += block.size();
    if (!runUntil([&] { return received >= total; }, 600000))
        return {};
    const qint64 wall = clock.nsecsElapsed();
    return {mbPerSecond(total, wall), double(cpuNanoseconds() - cpuStart) / double(wall)};
}

// Either side's delegate: counts the data that arrives.
class Receiver : public ListenerDelegate {
public:
    qint64 received = 0;
    qint64 blocks = 0;
    bool ready = false;

    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer) override
    {
        m_peer = peer;
        ready = true;
    }
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveList(const QList<File>&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveWant(const BlockSet&, const QUuid&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveData(const QByteArray& data, std::int64_t, const QUuid&,
                                      const std::shared_ptr<PeerConnection>&) override
    {
        received += data.size();
        ++blocks;
    }
    void peerConnectionDidFail(const NetworkError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidFailToDecode(MessageType, const DecodeError&, const std::shared_ptr<PeerConnection>&) override
    {
    }
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>&) override { m_peer.reset(); }
    void listenerStateDidChange(const SocketListenerState&) override {}

private:
    std::shared_ptr<PeerConnection> m_peer;
};

Result peerCopy(qint64 total, const QByteArray& block)
{
    KeyHelper aliceKeys(std::make_unique<test::MemorySecretStore>());
    KeyHelper bobKeys(std::make_unique<test::MemorySecretStore>());
    aliceKeys.setAllowedUsers({User(QStringLiteral("Bob"), {}, {}, bobKeys.publicKey())});
    bobKeys.setAllowedUsers({User(QStringLiteral("Alice"), {}, {}, aliceKeys.publicKey())});

    Receiver bob;
    Listener listener(bobKeys, &bob);
    listener.port = 0;
    listener.started = true;
    listener.start();
    if (!runUntil([&] { return listener.listener() && listener.listener()->port() != 0; }, 10000))
        return {};
    Receiver alice;
    std::shared_ptr<PeerConnection> toBob = PeerConnection::connect(
        aliceKeys, QStringLiteral("127.0.0.1"), listener.listener()->port(), bobKeys.publicKey(), &alice);
    if (!runUntil([&] { return alice.ready && bob.ready; }, 10000))
        return {};

    const QUuid id = QUuid::createUuid();
    const qint64 count = total / kBlock;
    qint64 next = 0;
    bool failed = false;
    std::function<void(const std::optional<NetworkError>&)> sendNext = [&](const std::optional<NetworkError>& error) {
        if (error) {
            failed = true;
            return;
        }
        if (next < count) {
            const qint64 index = next++;
            toBob->sendData(block, index, id, sendNext);
        }
    };
    QElapsedTimer clock;
    clock.start();
    const qint64 cpuStart = cpuNanoseconds();
    sendNext(std::nullopt);
    if (!runUntil([&] { return failed || bob.blocks == count; }, 600000) || failed)
        return {};
    const qint64 wall = clock.nsecsElapsed();
    const Result result{mbPerSecond(bob.received, wall), double(cpuNanoseconds() - cpuStart) / double(wall)};
    toBob->connection()->cancel();
    runUntil([&] { return bob.blocks < 0; }, 200);  // let both sides wind down
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 mebibytes = 1024;
    if (argc > 1)
        mebibytes = QByteArray(argv[1]).toLongLong();
    const qint64 total = mebibytes * 1024 * 1024;
    // The per-block log lines are still built, but not printed.
    setLogSink([](QtMsgType, const char*, const QString&) {});

    QByteArray block(kBlock, Qt::Uninitialized);
    for (qint64 i = 0; i < kBlock; ++i)
        block[i] = static_cast<char>(i * 131 + 7);

    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    const Result plain = only == "peer" ? Result{} : plainCopy(total, block);
    const Result peer = only == "plain" ? Result{} : peerCopy(total, block);
    std::printf("%lld MiB in %lld-byte blocks over loopback, one block in flight, both ends on one thread\n",
                mebibytes, kBlock);
    std::printf("  plain QTcpSocket copy:   %8.1f MB/s  (processor busy %.0f %%)\n", plain.mbPerSecond,
                100.0 * plain.cpuShare);
    std::printf("  PeerConnection data:     %8.1f MB/s  (processor busy %.0f %%; %.0f %% of the plain copy)\n",
                peer.mbPerSecond, 100.0 * peer.cpuShare,
                plain.mbPerSecond > 0 ? 100.0 * peer.mbPerSecond / plain.mbPerSecond : 0.0);
    return plain.mbPerSecond > 0 || peer.mbPerSecond > 0 ? 0 : 1;
}

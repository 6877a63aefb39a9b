// Lists of new ids from one peer: how long merging them takes, and how long
// the event loop is kept busy when such a list arrives over a connection.
//
//   catalogue_bench [ENTRIES [LISTS]]   (default: 100000 entries, 3 lists)
//
// First the merge alone (the controller's list handler called directly, with
// no limit on the offers kept), list after list on top of each other; then
// the same lists sent over a loopback connection (each as two messages, as
// 100,000 entries exceed one) with the default limit. Both report the longest
// event-loop turn seen until the list was merged (a long list is merged in
// slices, one per turn; a large message is decoded on a worker thread).

#include "bench/benchsupport.h"
#include "tests/framer/memorysecretstore.h"
#include "vortan/controller.h"
#include "vortan/controller/controllertestaccess.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <memory>

using namespace vortan;
using bench::freePort;
using bench::runUntil;
using vortan::test::MemorySecretStore;

namespace {

// The sending side: it only sends.
class Silent : public PeerConnectionDelegate {
public:
    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer) override
    {
        ready = true;
        peer->sendListRequest();  // as every peer does: the controller trusts the connection from then on
    }
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveList(const QList<File>&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveWant(const BlockSet&, const QUuid&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveData(const QByteArray&, std::int64_t, const QUuid&,
                                      const std::shared_ptr<PeerConnection>&) override
    {
    }
    void peerConnectionDidFail(const NetworkError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidFailToDecode(MessageType, const DecodeError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>&) override {}
    bool ready = false;
};

QList<File> newIds(int count, const QByteArray& owner)
{
    QList<File> list;
    list.reserve(count);
    for (int i = 0; i < count; ++i)
        list.append(File(File2(QStringLiteral("file %1.bin").arg(i), std::nullopt, 1000 + i), QUuid::createUuid(), owner));
    return list;
}

// A started, listening controller and a peer connected to it.
struct Setup {
    explicit Setup(qsizetype maxOffers)
    {
        ControllerOptions options;
        options.supportDirectory = support.path();
        options.downloadsDirectory = downloads.path();
        options.bundledUsersPath = QString();
        options.maxOffersPerUser = maxOffers;
        options.inhibitSleep = false;
        ControllerSeams seams;
        seams.keyHelper = &keys;
        controller = ControllerTestAccess::make(options, seams);
        controller->start(false, false);
        User me = *controller->me();
        me.port = freePort();
        controller->editMe(me);
        controller->setSettings(true, false);
        runUntil([&] { return controller->listenerState().kind() == ListenerState::Kind::ready; }, 5000);
        senderKeys.setAllowedUsers({User(QStringLiteral("Receiver"), QStringLiteral("127.0.0.1"), me.port, me.key)});
        controller->addUsers({User(QStringLiteral("Sender"), std::nullopt, std::nullopt, senderKeys.publicKey())});
        sender = PeerConnection::connect(senderKeys, QStringLiteral("127.0.0.1"), *me.port, me.key, &silent);
        ok = runUntil([&] { return silent.ready && !engine().peers().ready().isEmpty(); }, 10000);
        if (!ok)
            std::fprintf(stderr, "no connection\n");
        QObject::connect(controller.get(), &Controller::listReceived, [this] { ++merged; });
    }
    // Runs the event loop until `count` lists have been merged in all.
    bool mergedBy(int count, int round, int timeoutMs)
    {
        if (runUntil([&] { return merged == count; }, timeoutMs))
            return true;
        std::fprintf(stderr, "list %d never merged\n", round);
        return false;
    }
    QTemporaryDir support, downloads;
    KeyHelper keys{std::make_unique<MemorySecretStore>()};
    KeyHelper senderKeys{std::make_unique<MemorySecretStore>()};
    std::unique_ptr<Controller> controller;
    ControllerTestAccess engine() { return ControllerTestAccess(*controller); }
    Silent silent;
    std::shared_ptr<PeerConnection> sender;
    bool ok = false;
    int merged = 0;
};

// Names the longest event handled, to tell what held the event loop.
class TimedApplication : public QCoreApplication {
public:
    using QCoreApplication::QCoreApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        QElapsedTimer timer;
        timer.start();
        const int type = event->type();
        const char* name = receiver->metaObject()->className();
        const bool result = QCoreApplication::notify(receiver, event);
        const qint64 ns = timer.nsecsElapsed();
        if (ns > longest) {
            longest = ns;
            what = QByteArray(name) + " event " + QByteArray::number(type);
        }

        return result;
    }
    qint64 longest = 0;
    QByteArray what;
};

// The longest gap between two runs of a timer that asks to run every
// millisecond is the longest turn anything else took.
class TurnWatch {
public:
    TurnWatch()
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_gap.nsecsElapsed());
            m_gap.restart();
        });
    }
    void start()
    {
        m_longest = 0;
        m_gap.start();
        m_ticker.start(1);
    }
    // The longest turn in ms, counting the one running now.
    double stop()
    {
        m_ticker.stop();
        return double(std::max(m_longest, m_gap.nsecsElapsed())) / 1e6;
    }

private:
    QTimer m_ticker;
    QElapsedTimer m_gap;
    qint64 m_longest = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    TimedApplication app(argc, argv);
    const int entries = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    const int lists = argc > 2 ? QByteArray(argv[2]).toInt() : 3;
    setLogSink([](QtMsgType, const char*, const QString&) {});

    {
        Setup s(qsizetype(entries) * lists);
        if (!s.ok)
            return 1;
        const QByteArray owner = s.senderKeys.publicKey();
        std::printf("merge alone, no limit:\n");
        TurnWatch watch;
        for (int round = 1; round <= lists; ++round) {
            const QList<File> list = newIds(entries, owner);
            QElapsedTimer timer;
            timer.start();
            watch.start();
            s.engine().events().peerConnectionDidReceiveList(list, s.engine().peers().ready().first());
            if (!s.mergedBy(round, round, 120000))
                return 1;
            const double longest = watch.stop();
            std::printf("  list %d: %d new ids onto %lld records: %.1f ms, longest turn %.1f ms\n", round, entries,
                        static_cast<long long>(s.engine().files().size() - entries), double(timer.nsecsElapsed()) / 1e6,
                        longest);
            std::printf("    longest single event: %.1f ms (%s)\n", double(app.longest) / 1e6, app.what.constData());
            app.longest = 0;
        }
    }

    app.longest = 0;
    Setup s(ControllerOptions().maxOffersPerUser);
    if (!s.ok)
        return 1;
    const QByteArray owner = s.senderKeys.publicKey();
    std::printf("over a connection, default limit of %lld offers:\n",
                static_cast<long long>(ControllerOptions().maxOffersPerUser));
    TurnWatch watch;
    for (int round = 1; round <= lists; ++round) {
        const QList<File> list = newIds(entries, owner);
        QElapsedTimer timer;
        timer.start();
        // One message carries at most 16 MiB, some 90,000 entries: two halves.
        s.sender->sendList(list.first(entries / 2));
        s.sender->sendList(list.sliced(entries / 2));
        const double encodeMs = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        watch.start();
        if (!s.mergedBy(2 * round, round, 60000))
            return 1;
        const double longest = watch.stop();
        std::printf("  list %d: encoded in %.1f ms, received and merged %.1f ms later, longest turn %.1f ms; %lld records\n",
                    round, encodeMs, double(timer.nsecsElapsed()) / 1e6, longest,
                    static_cast<long long>(s.engine().files().size()));
        std::printf("    longest single event: %.1f ms (%s)\n", double(app.longest) / 1e6, app.what.constData());
        app.longest = 0;
    }
    return 0;
}

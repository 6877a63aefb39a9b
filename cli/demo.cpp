#include "cli/demo.h"
#include "cli/logrouting.h"

#include "cli/cards.h"
#include "cli/clierror.h"
#include "cli/progress.h"
#include "cli/runcommand.h"
#include "cli/session.h"
#include "cli/stopsignals.h"
#include "cli/text.h"
#include "vortan/controller.h"
#include "vortan/diagnostics.h"
#include "vortan/file2.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

namespace brenvo::cli {

using vortan::Controller;
using vortan::FileRow;
using vortan::User;

namespace {

constexpr std::int64_t kDefaultSize = 64LL * 1024 * 1024;
constexpr qint64 kChunk = 1024 * 1024;
const QString kAddress = QStringLiteral("127.0.0.1");

// A port nobody listens on right now: bound, read and released.
std::uint16_t freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        throw failure(QStringLiteral("cannot find a free port on 127.0.0.1: %1").arg(server.errorString()));
    return server.serverPort();
}

// Writes size random bytes to path and returns their SHA-256.
QByteArray writeRandomFile(const QString& path, std::int64_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw failure(QStringLiteral("cannot create %1: %2").arg(path, file.errorString()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(kChunk, Qt::Uninitialized);
    for (std::int64_t left = size; left > 0;) {
        const qint64 n = std::min<std::int64_t>(left, kChunk);
        auto* words = reinterpret_cast<quint32*>(chunk.data());
        QRandomGenerator::global()->fillRange(words, size_t(kChunk / 4));
        if (file.write(chunk.constData(), n) != n)
            throw failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
        hash.addData(QByteArrayView(chunk.constData(), n));
        left -= n;
    }
    if (!file.flush())
        throw failure(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return hash.result();
}

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        throw failure(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return hash.result();
}

// One of the two peers: its own folder, identity file and controller.
class DemoPeer {
public:
    DemoPeer(const QString& name, const QString& folder)
        : m_name(name), m_folder(folder)
    {
        QDir().mkpath(folder);
        vortan::ControllerOptions options;
        options.supportDirectory = QDir(folder).filePath(QStringLiteral("support"));
        options.keyStore = vortan::KeyStoreChoice::file;
        options.inhibitSleep = false;
        options.watchNetwork = false;
        options.bundledUsersPath = QString();
        options.downloadsDirectory = QDir(folder).filePath(QStringLiteral("downloads"));
        QDir().mkpath(options.downloadsDirectory);
        m_controller = std::make_unique<Controller>(options);
        // The demo connects its two peers itself.
        m_controller->setConnectAutomatically(false);
    }

    ~DemoPeer()
    {
        m_controller.reset();
        drainEvents();
    }

    void start(std::uint16_t port, bool listen)
    {
        if (const std::optional<vortan::StartError> error = m_controller->start(false, false))
            throw failure(error->message());
        User me = *m_controller->me();
        me.name = m_name;
        me.address = kAddress;
        me.port = port;
        m_controller->editMe(me);
        if (listen)
            m_controller->setSettings(true, false);
    }

    // Writes the own card into the folder and returns its path.
    QString writeOwnCard() const
    {
        const QString path = QDir(m_folder).filePath(cardFileName(*m_controller->me()));
        writeCard(path, *m_controller->me());
        return path;
    }

    Controller& controller() { return *m_controller; }
    const QString& folder() const { return m_folder; }

private:
    QString m_name;
    QString m_folder;
    std::unique_ptr<Controller> m_controller;
};

class Demo : public QObject {
public:
    explicit Demo(const Invocation& inv)
        : m_inv(inv),
          m_view(consoleViewOptions(inv, [this] { return m_clock.elapsed(); }))
    {
        m_clock.start();
    }

    int exec();

private:
    void filesReceived(const QList<FileRow>& files)
    {
        // Bo takes what Ada offers, into his downloads folder.
        QTimer::singleShot(0, this, [this, files] {
            QList<vortan::ResumeItem> items;
            for (const FileRow& file : files)
                items.append(vortan::ResumeItem{file.id, vortan::DownloadLocation::downloads()});
            m_resumedAt = m_clock.elapsed();
            m_receiver->controller().resume(items);
        });
    }

    void downloadFinished(const FileRow& file)
    {
        m_finishedAt = m_clock.elapsed();
        m_view.downloadFinished(file);
        if (file.location)
            m_received = file.location->toLocalFile();
        m_loop.quit();
    }

    const Invocation& m_inv;
    QElapsedTimer m_clock;
    ProgressView m_view;
    QEventLoop m_loop;
    std::unique_ptr<DemoPeer> m_sender;
    std::unique_ptr<DemoPeer> m_receiver;
    std::int64_t m_resumedAt = -1;
    std::int64_t m_finishedAt = -1;
    QString m_received;
    bool m_interrupted = false;
    bool m_timedOut = false;
    QString m_failure;
};

int Demo::exec()
{
    const std::int64_t size = m_inv.size.value_or(kDefaultSize);
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/brenvo-demo-XXXXXX"));
    if (!root.isValid())
        throw failure(QStringLiteral("cannot create a temporary folder: %1").arg(root.errorString()));

    const ScopedTerminalWriter diagnostics([this](const QString& line) { m_view.diagnostic(line); });

    m_sender = std::make_unique<DemoPeer>(QStringLiteral("Ada"), root.filePath(QStringLiteral("ada")));
    m_receiver = std::make_unique<DemoPeer>(QStringLiteral("Bo"), root.filePath(QStringLiteral("bo")));
    QObject::connect(&m_receiver->controller(), &Controller::downloadFinished, this, &Demo::downloadFinished);
    QObject::connect(&m_receiver->controller(), &Controller::filesReceived, this,
                     [this](const QList<FileRow>& files) { filesReceived(files); });
    m_sender->start(freePort(), true);
    m_receiver->start(freePort(), false);

    // The cards travel as files, as they would between two people.
    const QString adaCard = m_sender->writeOwnCard();
    const QString boCard = m_receiver->writeOwnCard();
    const User ada = readCard(adaCard);
    const User bo = readCard(boCard);
    m_sender->controller().addUsers({bo});
    m_receiver->controller().addUsers({ada});
    writeOut(QStringLiteral("Ada  %1:%2  %3\nBo   %4:%5  %6\n")
                 .arg(*ada.address)
                 .arg(*ada.port)
                 .arg(fingerprint(ada.key))
                 .arg(*bo.address)
                 .arg(*bo.port)
                 .arg(fingerprint(bo.key)));

    const QString path = QDir(m_sender->folder()).filePath(QStringLiteral("demo.bin"));
    writeOut(QStringLiteral("Ada writes %1 of random data to %2\n").arg(formatSize(size), path));
    const QByteArray sent = writeRandomFile(path, size);

    Controller& receiver = m_receiver->controller();
    QObject::connect(&receiver, &Controller::filesChanged, this, [this, &receiver] {
        m_view.update(receiver.fileRows(), receiver.users());
        for (const FileRow& file : receiver.fileRows()) {
            if (file.error) {
                m_failure = QStringLiteral("%1: %2").arg(file.name, file.error->localizedDescription());
                m_loop.quit();
            }
        }
    });
    QTimer tick;
    tick.setInterval(m_view.live() ? 200 : 1000);
    QObject::connect(&tick, &QTimer::timeout, this, [this] { m_view.tick(); });
    tick.start();
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, this, [this](int) {
        m_interrupted = true;
        m_loop.quit();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    // Generous: even a slow build moves a few megabytes a second.
    const std::int64_t timeoutMs = std::max<std::int64_t>(60000, size / (1024 * 1024) * 1000);
    QObject::connect(&timeout, &QTimer::timeout, this, [this] {
        m_timedOut = true;
        m_loop.quit();
    });
    timeout.start(int(std::min<std::int64_t>(timeoutMs, 2000000000)));

    m_view.event(QStringLiteral("Ada offers demo.bin to Bo; Bo connects to Ada and downloads it"));
    m_sender->controller().shareFiles({vortan::File2::at(path)}, {bo.key});
    receiver.connectTo(ada.key);
    m_loop.exec();
    tick.stop();
    timeout.stop();
    m_view.finish();

    m_sender->controller().stop();
    m_receiver->controller().stop();
    int status = kExitSuccess;
    if (m_interrupted) {
        writeOut(QStringLiteral("Demo interrupted.\n"));
    } else if (!m_failure.isEmpty()) {
        writeErr(QStringLiteral("brenvo-cli: the demo transfer failed: %1\n").arg(printable(m_failure)));
        status = kExitFailure;
    } else if (m_timedOut || m_received.isEmpty()) {
        writeErr(QStringLiteral("brenvo-cli: the demo transfer did not finish within %1 s\n").arg(timeoutMs / 1000));
        status = kExitFailure;
    } else {
        const QByteArray received = sha256Of(m_received);
        const double seconds = double(std::max<std::int64_t>(1, m_finishedAt - m_resumedAt)) / 1000.0;
        writeOut(QStringLiteral("SHA-256 sent:     %1\nSHA-256 received: %2\n")
                     .arg(QString::fromLatin1(sent.toHex()), QString::fromLatin1(received.toHex())));
        if (sent == received) {
            writeOut(QStringLiteral("Checksums match: %1 in %2 s, %3\n")
                         .arg(formatSize(size))
                         .arg(seconds, 0, 'f', 2)
                         .arg(formatRate(double(size) / seconds)));
        } else {
            writeErr(QStringLiteral("brenvo-cli: the received file differs from the one sent\n"));
            status = kExitFailure;
        }
    }
    m_receiver.reset();
    m_sender.reset();
    return status;
}

}  // namespace

int runDemoCommand(const Invocation& invocation)
{
    Demo demo(invocation);
    return demo.exec();
}

}  // namespace brenvo::cli

#include "cli/session.h"

#include "cli/clierror.h"
#include "cli/logrouting.h"
#include "cli/lookup.h"
#include "vortan/controller.h"
#include "vortan/directories.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocale>
#include <QEvent>

namespace brenvo::cli {

Session::Session(const GlobalOptions& options, Kind kind, bool useGateway,
                 std::function<void(vortan::Controller&)> connectReports)
    : m_supportDirectory(options.dataDir.isEmpty() ? vortan::defaultSupportDirectory()
                                                   : QDir(options.dataDir).absolutePath()),
      m_keyStore(options.keyStore), m_kind(kind), m_useGateway(useGateway),
      m_connectReports(std::move(connectReports))
{
}

Session::~Session()
{
    // The controller closes its connections as it goes; let those reports
    // arrive while the objects they concern can still be released.
    m_controller.reset();
    drainEvents();
}

void Session::start(bool listen, bool mapPort, bool connectAutomatically)
{
    vortan::ControllerOptions options;
    options.supportDirectory = m_supportDirectory;
    options.keyStore = m_keyStore;
    options.useGateway = m_useGateway;
    options.inhibitSleep = m_kind == Kind::transfers;
    options.watchNetwork = m_kind == Kind::transfers;
    // Only a running instance is announced and looks for others.
    options.usePresence = m_kind == Kind::transfers;
    options.useTor = m_kind == Kind::transfers && m_tor.on;
    options.torControlSocket = m_tor.controlSocket;
    options.torExtraConfig = m_tor.extraTorrc;
    options.useDirectPath = m_tor.direct;
    m_controller = std::make_unique<vortan::Controller>(options);
    if (m_connectReports)
        m_connectReports(*m_controller);
    m_controller->setConnectAutomatically(m_kind == Kind::transfers && connectAutomatically);
    // A stored file that could not be read or written: the user should know.
    QObject::connect(m_controller.get(), &vortan::Controller::warning, [](const QString& message) {
        LogRouting::userWarning(message);
    });
    QObject::connect(m_controller.get(), &vortan::Controller::offersRefused,
                     [c = m_controller.get()](const QByteArray& key, qsizetype count) {
                         LogRouting::userWarning(QStringLiteral("%1 offered more files than Brenvo keeps at once: %2 were not added")
                                                     .arg(userLabel(c->users(), key), QLocale(QLocale::English).toString(qlonglong(count))));
                     });
    if (const std::optional<vortan::StartError> error = m_controller->start(listen, mapPort))
        throw failure(error->message());
}

void Session::save()
{
    if (m_controller) {
        m_controller->save();
        // What the command prints next is read from the published rows.
        m_controller->publishNow();
    }
}

void Session::stop()
{
    if (m_controller)
        m_controller->stop();
}

void drainEvents()
{
    if (!QCoreApplication::instance())
        return;
    const QDeadlineTimer deadline(200);
    for (int round = 0; round < 8 && !deadline.hasExpired(); ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

}  // namespace brenvo::cli

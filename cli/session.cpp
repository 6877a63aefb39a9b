#include "cli/session.h"

#include "cli/clierror.h"
#include "vortan/controller/controller.h"
#include "vortan/controller/directories.h"
#include "vortan/controller/sleepinhibitor.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEvent>

namespace brenvo::cli {

Session::Session(const GlobalOptions& options, Kind kind, vortan::PortMapper* portMapper,
                 vortan::ControllerDelegate* delegate)
    : m_supportDirectory(options.dataDir.isEmpty() ? vortan::defaultSupportDirectory()
                                                   : QDir(options.dataDir).absolutePath()),
      m_keyStore(options.keyStore), m_portMapper(portMapper), m_delegate(delegate)
{
    if (kind == Kind::oneShot)
        m_inhibitor = std::make_unique<vortan::NullSleepInhibitor>();
}

Session::~Session()
{
    // The controller closes its connections as it goes; let those reports
    // arrive while the objects they concern can still be released.
    m_controller.reset();
    drainEvents();
}

void Session::start(bool listen, bool mapPort)
{
    std::unique_ptr<vortan::SecretStore> store;
    try {
        vortan::KeyStoreOptions keyOptions;
        keyOptions.choice = m_keyStore;
        keyOptions.supportDirectory = m_supportDirectory;
        store = vortan::openSecretStore(keyOptions);
    } catch (const vortan::KeyStoreUnavailable& e) {
        throw failure(e.message());
    }
    m_keys = std::make_unique<vortan::KeyHelper>(std::move(store));

    vortan::ControllerOptions options;
    options.supportDirectory = m_supportDirectory;
    options.portMapper = m_portMapper;
    options.sleepInhibitor = m_inhibitor.get();
    m_controller = std::make_unique<vortan::Controller>(*m_keys, options, m_delegate);
    if (const std::optional<vortan::StartError> error = m_controller->start(listen, mapPort))
        throw failure(error->message());
}

void Session::save()
{
    if (m_controller)
        m_controller->save();
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

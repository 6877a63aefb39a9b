#include "vortan/controller.h"

#include "vortan/controller/controller_p.h"
#include "vortan/tor/torprocess.h"

namespace vortan {

Controller::Controller(ControllerOptions options, QObject* parent)
    : Controller(std::make_unique<ControllerPrivate>(std::move(options)), parent)
{
}

Controller::Controller(std::unique_ptr<ControllerPrivate> made, QObject* parent) : QObject(parent), d(std::move(made))
{
    ControllerPrivate* engine = d.get();
    QObject::connect(engine, &ControllerPrivate::usersChanged, this, &Controller::usersChanged);
    QObject::connect(engine, &ControllerPrivate::userChanged, this, &Controller::userChanged);
    QObject::connect(engine, &ControllerPrivate::meChanged, this, &Controller::meChanged);
    QObject::connect(engine, &ControllerPrivate::listenerStateChanged, this, &Controller::listenerStateChanged);
    QObject::connect(engine, &ControllerPrivate::reachabilityChanged, this, &Controller::reachabilityChanged);
    QObject::connect(engine, &ControllerPrivate::filesChanged, this, &Controller::filesChanged);
    QObject::connect(engine, &ControllerPrivate::peerReady, this, &Controller::peerReady);
    QObject::connect(engine, &ControllerPrivate::listReceived, this, &Controller::listReceived);
    QObject::connect(engine, &ControllerPrivate::peerDisconnected, this, &Controller::peerDisconnected);
    QObject::connect(engine, &ControllerPrivate::strangerRefused, this, &Controller::strangerRefused);
    QObject::connect(engine, &ControllerPrivate::offerSent, this, &Controller::offerSent);
    QObject::connect(engine, &ControllerPrivate::downloadFinished, this, &Controller::downloadFinished);
    QObject::connect(engine, &ControllerPrivate::filesReceived, this, &Controller::filesReceived);
    QObject::connect(engine, &ControllerPrivate::offersRefused, this, &Controller::offersRefused);
    QObject::connect(engine, &ControllerPrivate::warning, this, &Controller::warning);
}

Controller::~Controller() = default;

std::optional<StartError> Controller::start(bool listen, bool mapPort)
{
    std::optional<StartError> error = d->start(listen, mapPort);
    if (error)
        emit startFailed(*error);
    else
        emit started();
    return error;
}
void Controller::stop() { d->stop(); }
void Controller::setSettings(bool listen, bool mapPort) { d->setSettings(listen, mapPort); }
void Controller::save() { d->save(); }
void Controller::setTorEnabled(bool on) { d->setTorEnabled(on); }
bool Controller::torEnabled() const { return d->torEnabled(); }
bool Controller::torInstalled() { return !TorProcess::find(QStringLiteral("tor")).isEmpty(); }

bool Controller::isStarted() const { return d->isStarted(); }
bool Controller::listening() const { return d->listening(); }
bool Controller::mappingPort() const { return d->mappingPort(); }
QString Controller::supportDirectory() const { return d->supportDirectory(); }
QString Controller::downloadsDirectory() { return d->downloadsDirectory(); }

const QList<User>& Controller::users() const { return d->users(); }
std::optional<User> Controller::me() const { return d->me(); }
Controller::ListenerState Controller::listenerState() const { return d->listenerState(); }

std::optional<User> Controller::user(const QByteArray& key) const
{
    if (const User* found = d->findUser(key))
        return *found;
    return std::nullopt;
}

bool Controller::offersHeldBack(const QByteArray& key) const
{
    return d->offersHeldBack(key);
}

Reachability Controller::reachability() const { return d->reachability(); }

const QList<FileRow>& Controller::fileRows() const { return d->fileRows(); }
qsizetype Controller::fileRow(const QUuid& id) const { return d->fileRow(id); }

std::optional<FileRow> Controller::file(const QUuid& id) const
{
    const qsizetype row = d->fileRow(id);
    if (row < 0)
        return std::nullopt;
    return d->fileRows()[row];
}

void Controller::publishNow() { d->publishNow(); }

// A caller may pass a key that lives in users() (users()[i].key), which
// these calls change: they work on their own copy.
void Controller::connectTo(const QByteArray& key) { d->connectTo(QByteArray(key)); }
void Controller::disconnectFrom(const QByteArray& key) { d->disconnectFrom(QByteArray(key)); }
void Controller::setConnectAutomatically(bool on) { d->setConnectAutomatically(on); }
bool Controller::connectsAutomatically() const { return d->connectsAutomatically(); }
void Controller::setKeptConnected(const QList<QByteArray>& keys) { d->setKeptConnected(keys); }

void Controller::addUsers(const QList<User>& users) { d->addUsers(users); }
void Controller::editUsers(const QList<User>& users) { d->editUsers(users); }
void Controller::removeUser(const QByteArray& key) { d->removeUser(QByteArray(key)); }
void Controller::editMe(const User& card) { d->editMe(card); }
void Controller::removeSigningKeys() { d->removeSigningKeys(); }

void Controller::shareFiles(const QList<File2>& files, const QList<QByteArray>& users) { d->shareFiles(files, users); }
void Controller::removeFiles(const QList<QUuid>& ids, const QByteArray& user) { d->removeFiles(ids, user); }
void Controller::resume(const QList<ResumeItem>& items) { d->resume(items); }
void Controller::pause(const QList<QUuid>& ids) { d->pause(ids); }

}  // namespace vortan

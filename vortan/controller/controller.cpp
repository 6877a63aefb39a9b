#include "vortan/controller.h"

#include "vortan/controller/connectionpolicy.h"
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
    connect(&engine->directory(), &UserDirectory::usersChanged, this, &Controller::usersChanged);
    connect(&engine->directory(), &UserDirectory::userChanged, this, &Controller::userChanged);
    connect(&engine->directory(), &UserDirectory::meChanged, this, &Controller::meChanged);
    connect(&engine->listening(), &Listening::stateChanged, this, &Controller::listenerStateChanged);
    connect(&engine->listening(), &Listening::reachabilityChanged, this, &Controller::reachabilityChanged);
    connect(engine, &ControllerPrivate::reachabilityChanged, this, &Controller::reachabilityChanged);
    connect(&engine->files(), &FileTable::published, this, &Controller::filesChanged);
    connect(&engine->store(), &Store::warning, this, &Controller::warning);
    connect(&engine->catalogue(), &Catalogue::listMerged, this, &Controller::listReceived);
    connect(&engine->catalogue(), &Catalogue::offersRefused, this, &Controller::offersRefused);
    connect(&engine->catalogue(), &Catalogue::filesReceived, this, &Controller::filesReceived);
    connect(&engine->peers(), &Peers::peerReady, this, &Controller::peerReady);
    connect(&engine->peers(), &Peers::peerDisconnected, this, &Controller::peerDisconnected);
    connect(&engine->peers(), &Peers::strangerRefused, this, &Controller::strangerRefused);
    connect(engine, &ControllerPrivate::offerSent, this, &Controller::offerSent);
    connect(engine, &ControllerPrivate::downloadFinished, this, &Controller::downloadFinished);
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
void Controller::setDirectPathEnabled(bool on) { d->setDirectPathEnabled(on); }
bool Controller::directPathEnabled() const { return d->directPathEnabled(); }
bool Controller::torInstalled() { return !TorProcess::find(QStringLiteral("tor")).isEmpty(); }

bool Controller::isStarted() const { return d->isStarted(); }
bool Controller::listening() const { return d->listening().listening(); }
bool Controller::mappingPort() const { return d->listening().mappingPort(); }
QString Controller::supportDirectory() const { return d->store().directory(); }
QString Controller::downloadsDirectory() { return d->downloadsDirectory(); }

const QList<User>& Controller::users() const { return d->directory().users(); }
std::optional<User> Controller::me() const { return d->directory().me(); }
Controller::ListenerState Controller::listenerState() const { return d->listening().state(); }

std::optional<User> Controller::user(const QByteArray& key) const
{
    if (const User* found = d->directory().find(key))
        return *found;
    return std::nullopt;
}

bool Controller::offersHeldBack(const QByteArray& key) const { return d->catalogue().offersHeldBack(key); }

Reachability Controller::reachability() const { return d->reachability(); }

const QList<FileRow>& Controller::fileRows() const { return d->files().rows(); }
qsizetype Controller::fileRow(const QUuid& id) const { return d->files().row(id); }

std::optional<FileRow> Controller::file(const QUuid& id) const
{
    const qsizetype row = d->files().row(id);
    if (row < 0)
        return std::nullopt;
    return d->files().rows()[row];
}

void Controller::publishNow() { d->files().publishNow(); }

// A caller may pass a key that lives in users() (users()[i].key), which
// these calls change: they work on their own copy.
void Controller::connectTo(const QByteArray& key) { d->peers().connectTo(QByteArray(key)); }
void Controller::disconnectFrom(const QByteArray& key) { d->peers().disconnectFrom(QByteArray(key)); }
void Controller::setConnectAutomatically(bool on) { d->peers().policy().setEnabled(on); }
bool Controller::connectsAutomatically() const { return d->peers().policy().enabled(); }
void Controller::setKeptConnected(const QList<QByteArray>& keys) { d->peers().policy().setKept(keys); }

void Controller::addUsers(const QList<User>& users) { d->addUsers(users); }
void Controller::editUsers(const QList<User>& users) { d->editUsers(users); }
void Controller::removeUser(const QByteArray& key) { d->removeUser(QByteArray(key)); }
void Controller::editMe(const User& card) { d->editMe(card); }
void Controller::removeSigningKeys() { d->removeSigningKeys(); }

void Controller::shareFiles(const QList<File2>& files, const QList<QByteArray>& users)
{
    d->catalogue().shareFiles(files, users);
}
void Controller::removeFiles(const QList<QUuid>& ids, const QByteArray& user) { d->catalogue().removeFiles(ids, user); }
void Controller::resume(const QList<ResumeItem>& items) { d->downloads().resume(items); }
void Controller::pause(const QList<QUuid>& ids) { d->downloads().pause(ids); }

}  // namespace vortan

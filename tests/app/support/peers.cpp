#include "tests/app/support/peers.h"

#include "tests/support/testsupport.h"

#include <QDir>

using vortan::Controller;
using vortan::ControllerDelegate;
using vortan::ControllerOptions;
using vortan::FileRow;
using vortan::KeyStoreChoice;
using vortan::ListenerState;
using vortan::StartError;
using vortan::User;
using vortan::test::waitFor;
using vortan::test::writeFile;
using vortan::test::unusedPort;
using vortan::test::generatedBytes;

namespace brenvo::test {

Peer::Peer(const QString& name, ControllerDelegate* delegate)
{
    ControllerOptions options;
    options.supportDirectory = support.path();
    options.downloadsDirectory = downloads.path();
    options.keyStore = KeyStoreChoice::file;
    options.useGateway = false;
    options.inhibitSleep = false;
    options.bundledUsersPath = QString();
    options.watchNetwork = false;
    controller = std::make_unique<Controller>(options, delegate);
    controller->setConnectAutomatically(false);  // the tests connect by hand
    if (const std::optional<StartError> error = controller->start(false, false))
        qFatal("cannot start: %s", qPrintable(error->message()));
    controller->editMe(User(name, std::nullopt, std::nullopt, {}));
}

bool Peer::listen()
{
    const quint16 port = unusedPort();
    if (port == 0)
        return false;
    User me = *controller->me();
    me.port = port;
    controller->editMe(me);
    controller->setSettings(true, false);
    return waitFor([&] { return controller->listenerState().kind() == ListenerState::Kind::ready; });
}

User Peer::card() const
{
    const User me = *controller->me();
    return User(me.name, "127.0.0.1", me.port, me.key);
}

QUrl Peer::makeFile(const QString& name, qint64 size) const
{
    const QString path = QDir(files.path()).filePath(name);
    writeFile(path, generatedBytes(size));
    return QUrl::fromLocalFile(path);
}

std::optional<FileRow> Peer::row(const QUuid& id)
{
    controller->publishNow();
    return controller->file(id);
}

bool introduce(Peer& a, Peer& b)
{
    if (!b.listen())
        return false;
    a.controller->addUsers({b.card()});
    b.controller->addUsers({a.card()});
    return true;
}

bool connectPeers(Peer& a, Peer& b)
{
    a.controller->connectTo(b.key());
    const auto connected = [](Peer& x, Peer& y) {
        const std::optional<User> user = x.controller->user(y.key());
        return user && user->state == User::State::connected;
    };
    return waitFor([&] { return connected(a, b) && connected(b, a); });
}

}  // namespace brenvo::test

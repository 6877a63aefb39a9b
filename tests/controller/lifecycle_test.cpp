// Start, stop, settings, stored state, publication throttle, system activity.

#include "tests/controller/controllertestsupport.h"
#include "vortan/directories.h"
#include "vortan/listener/listener.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <thread>

namespace vortan {
namespace {

using namespace std::chrono_literals;
using test::LogCapture;
using test::ManualClock;
using test::Node;
using test::waitFor;

QByteArray someKey(char fill)
{
    return QByteArray(32, fill);
}

template <typename T> std::optional<T> readStored(const QString& path)
{
    try {
        return fromBytes<T>(test::readFile(path));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

TEST(ControllerStartTest, RestartAfterIdentityWasDeletedKeepsCardWithNewKey)
{
    LogCapture log;
    Node node(QStringLiteral("unused"));
    ASSERT_FALSE(node->start(false, false));
    EXPECT_TRUE(log.contains(QStringLiteral("key not found in keychain, creating a new one")));
    EXPECT_EQ(node->me()->name, proposedName());
    EXPECT_EQ(node->me()->port, std::optional<std::uint16_t>(54322));
    node->editMe(User(QStringLiteral("Ada"), QStringLiteral("198.51.100.7"), 40000, {}));
    const QByteArray oldKey = node->me()->key;
    node->removeSigningKeys();
    node.shutDown();

    node.create();
    ASSERT_FALSE(node->start(false, false));
    const User me = *node->me();
    EXPECT_EQ(me.name, "Ada");
    EXPECT_EQ(me.address, std::optional<QString>("198.51.100.7"));
    EXPECT_EQ(me.port, std::optional<std::uint16_t>(40000));
    EXPECT_NE(me.key, oldKey);
    EXPECT_EQ(me.key, node.keys->publicKey());
    EXPECT_EQ(node.mapper.addressCallbacks.size(), 1u);  // the second start had an address
}

TEST(ControllerStartTest, SecondControllerOnTheSameDirectoryFailsToStart)
{
    Node first(QStringLiteral("first"));
    first.start();

    KeyHelper keys(std::make_unique<test::MemorySecretStore>());
    ControllerSeams seams = first.seams();
    seams.keyHelper = &keys;
    auto second = ControllerTestAccess::make(first.options(), seams);
    const std::optional<StartError> error = second->start(true, true);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), StartError::Kind::supportDirectoryLocked);
    EXPECT_TRUE(error->message().contains(QDir(first.support.path()).absolutePath())) << error->message().toStdString();
    EXPECT_FALSE(second->isStarted());
    EXPECT_FALSE(second->me());
    EXPECT_EQ(ControllerTestAccess(*second).listening().listener(), nullptr);
    second.reset();

    first.shutDown();
    KeyHelper thirdKeys(std::make_unique<test::MemorySecretStore>());
    seams.keyHelper = &thirdKeys;
    EXPECT_FALSE(ControllerTestAccess::make(first.options(), seams)->start(false, false));
}

TEST(ControllerStartTest, UnreachableKeyStoreStopsStartWithoutTouchingAnything)
{
    Node node(QStringLiteral("n"));
    KeyHelper keys(std::make_unique<test::UnreachableSecretStore>());
    {
        ControllerSeams seams = node.seams();
        seams.keyHelper = &keys;
        const std::unique_ptr<Controller> controller = ControllerTestAccess::make(node.options(), seams);
        // Reported by signal too.
        std::optional<StartError::Kind> failed;
        bool started = false;
        QObject::connect(controller.get(), &Controller::startFailed, [&](const StartError& e) { failed = e.kind(); });
        QObject::connect(controller.get(), &Controller::started, [&] { started = true; });
        const std::optional<StartError> error = controller->start(true, true);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), StartError::Kind::keyStoreUnavailable);
        EXPECT_TRUE(error->message().contains("did not answer")) << error->message().toStdString();
        EXPECT_EQ(failed, StartError::Kind::keyStoreUnavailable);
        EXPECT_FALSE(started);
        EXPECT_FALSE(controller->me());
        controller->stop();  // nothing was loaded, so nothing is written
    }
    EXPECT_EQ(node.mapper.inits, 0);
    EXPECT_TRUE(QDir(node.support.path()).entryList(QDir::Files).isEmpty());
    // The directory is free again.
    node.start();
}

TEST(ControllerPersistenceTest, StoredFilesRoundTrip)
{
    Node node(QStringLiteral("n"));
    const QString shared = test::makeFile(node.downloads.path(), QStringLiteral("shared.bin"), 300000);
    const QByteArray peerKey = someKey('b');

    File offer(File2::at(shared), peerKey);
    offer.blocks.insert(0);
    offer.paused = true;
    File download(File2(QStringLiteral("d.bin"), QUrl::fromLocalFile(node.downloadsPath("d.bin")), 300000),
                  QUuid::createUuid(), peerKey);
    download.paused = false;
    download.blocks.insert(0);
    download.blocks.insert(2);
    const QList<User> users{User(QStringLiteral("Bea"), QStringLiteral("bea.example"), 4000, peerKey),
                            User(QStringLiteral("Cy"), std::nullopt, std::nullopt, someKey('c'))};
    const UuidListsByKey deleted{{peerKey, {QUuid::createUuid(), QUuid::createUuid()}}};
    ASSERT_TRUE(test::writeFile(node.supportPath("transfers.plist"), toBytes(QList<File>{offer, download})));
    ASSERT_TRUE(test::writeFile(node.supportPath("users.plist"), toBytes(users)));
    ASSERT_TRUE(test::writeFile(node.supportPath("me.plist"),
                                toBytes(User(QStringLiteral("Me"), QStringLiteral("10.1.1.1"), 5000, someKey('m')))));
    ASSERT_TRUE(test::writeFile(node.supportPath("deleted.plist"), toBytes(deleted)));

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 1) {
            node.shutDown();
            node.create();
        }
        ASSERT_FALSE(node->start(false, false));
        ASSERT_EQ(node.engine().files().size(), 2);
        for (int i = 0; i < 2; ++i) {
            const File got = node.engine().files()[i];
            const File& want = i == 0 ? offer : download;
            EXPECT_EQ(std::tie(got.id(), got.file, got.blocks, got.download, got.paused, got.user),
                      std::tie(want.id(), want.file, want.blocks, want.download, want.paused, want.user));
        }
        EXPECT_TRUE(node.engine().files()[1].download);
        EXPECT_EQ(node->fileRows().size(), 2);
        EXPECT_EQ(node->users(), users);
        EXPECT_EQ(node->me()->name, "Me");
        EXPECT_EQ(node->me()->address, std::optional<QString>("10.1.1.1"));
        EXPECT_EQ(node->me()->key, node.keys->publicKey());
        EXPECT_EQ(node.engine().catalogue().deletedFileIDs(), deleted);
        // Only the users are allowed to complete a handshake.
        EXPECT_EQ(node.keys->allowedUsers().size(), 2u);
    }
}

TEST(ControllerPersistenceTest, DamagedStoredFilesAreKeptAsideNeverOverwritten)
{
    Node node(QStringLiteral("n"));
    const QByteArray valid = toBytes(QList<User>{User(QStringLiteral("Bea"), std::nullopt, std::nullopt, someKey('b'))});
    const QHash<QString, QByteArray> damaged{
        {"users.plist", valid.left(valid.size() - 5)},
        {"transfers.plist", "not a property list at all"},
        {"me.plist", toBytes(QList<User>{})},  // the wrong type
        {"deleted.plist", QByteArray()},
    };
    for (auto it = damaged.cbegin(); it != damaged.cend(); ++it)
        ASSERT_TRUE(test::writeFile(node.supportPath(it.key()), it.value()));
    LogCapture log;
    QStringList warnings;
    QObject::connect(node.controller.get(), &Controller::warning, [&](const QString& m) { warnings.append(m); });
    ASSERT_FALSE(node->start(false, false));
    EXPECT_TRUE(node->users().isEmpty());
    EXPECT_TRUE(node.engine().files().isEmpty());
    EXPECT_TRUE(node.engine().catalogue().deletedFileIDs().isEmpty());
    ASSERT_TRUE(node->me());
    EXPECT_EQ(node->me()->port, std::optional<std::uint16_t>(54322));
    EXPECT_EQ(warnings.size(), 4);
    EXPECT_EQ(log.lines().filter(" could not be read ").size(), 4);

    // Saving writes fresh files; what could not be read stays as it was.
    node->addUsers({User(QStringLiteral("Cy"), std::nullopt, std::nullopt, someKey('c'))});
    node->stop();
    EXPECT_EQ(readStored<QList<User>>(node.supportPath("users.plist"))->size(), 1);
    for (auto it = damaged.cbegin(); it != damaged.cend(); ++it) {
        const QStringList aside = QDir(node.support.path()).entryList({it.key() + ".unreadable-*"}, QDir::Files);
        ASSERT_EQ(aside.size(), 1) << it.key().toStdString();
        EXPECT_TRUE(QRegularExpression(R"(\.unreadable-\d{4}-\d\d-\d\dT\d\d-\d\d-\d\d$)").match(aside[0]).hasMatch());
        EXPECT_EQ(test::readFile(node.supportPath(aside[0])), it.value());
        EXPECT_TRUE(warnings.join('\n').contains(aside[0])) << aside[0].toStdString();
    }
}

// The stored files list who the user knows and what they exchange.
TEST(ControllerPersistenceTest, TheSupportDirectoryAndTheStoredFilesAreTheOwnersAlone)
{
    struct Case {
        const char* what;
        std::optional<QFile::Permissions> before;  // absent: no directory yet
        bool holdsStoredFile;
        bool private_;  // the directory's mode after start
    };
    const QFile::Permissions open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                    | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    const Case cases[] = {
        {"made by this version", std::nullopt, false, true},
        {"made by an older version", open, true, true},
        {"a folder of the user's, named with --data-dir", open, false, false},
    };
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Node node(QStringLiteral("n"));
        const QString dir = node.supportPath("support");
        if (c.before) {
            ASSERT_TRUE(QDir().mkpath(dir));
            ASSERT_TRUE(QFile::setPermissions(dir, *c.before));
        }
        if (c.holdsStoredFile) {
            ASSERT_TRUE(test::writeFile(dir + "/users.plist", toBytes(QList<User>{})));
            ASSERT_TRUE(QFile::setPermissions(dir + "/users.plist", ownerOnly | QFile::ReadGroup | QFile::ReadOther));
        }
        ControllerOptions options = node.options();
        options.supportDirectory = dir;
        const std::unique_ptr<Controller> started = ControllerTestAccess::make(options, node.seams());
        Controller& controller = *started;
        ASSERT_FALSE(controller.start(false, false));
        const QFile::Permissions mode = QFileInfo(dir).permissions() & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        EXPECT_EQ(mode, c.private_ ? ownerOnly | QFile::ExeOwner : open);
        EXPECT_EQ(QFileInfo(dir + "/brenvo.lock").permissions() & ~(QFile::ReadUser | QFile::WriteUser), ownerOnly);
        controller.stop();
        for (const char* name : {"transfers.plist", "users.plist", "me.plist", "deleted.plist"})
            EXPECT_EQ(QFileInfo(dir + "/" + name).permissions() & ~(QFile::ReadUser | QFile::WriteUser), ownerOnly) << name;
    }
}

TEST(ControllerPersistenceTest, BundledUsersAreAddedOnceAfterTheStoredOnes)
{
    Node node(QStringLiteral("n"));
    const User stored(QStringLiteral("Stored"), std::nullopt, std::nullopt, someKey('s'));
    const User bundled(QStringLiteral("Bundled"), QStringLiteral("b.example"), 7000, someKey('x'));
    ASSERT_TRUE(test::writeFile(node.supportPath("users.plist"), toBytes(QList<User>{stored})));
    const QString bundle = node.downloadsPath("bundle.plist");
    ASSERT_TRUE(test::writeFile(bundle, toBytes(QList<User>{stored, bundled, bundled})));
    node.bundledUsers = bundle;
    node.create();

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        if (round == 0)
            node.start();
        else
            node.restart();
        ASSERT_EQ(node->users().size(), 2);
        EXPECT_EQ(node->users()[0].name, "Stored");
        EXPECT_EQ(node->users()[1].name, "Bundled");
        EXPECT_EQ(node.keys->allowedUsers().size(), 2u);
    }
}

TEST(ControllerPersistenceTest, ChangesAreSavedAboutTwoSecondsLaterInOneWrite)
{
    ManualClock clock;
    Node node(QStringLiteral("n"), &clock);
    node.start();
    clock.advance(2000ms);
    ASSERT_TRUE(node.written());
    ASSERT_TRUE(readStored<User>(node.supportPath("me.plist")));

    const User bea(QStringLiteral("Bea"), std::nullopt, std::nullopt, someKey('b'));
    const User cy(QStringLiteral("Cy"), std::nullopt, std::nullopt, someKey('c'));
    node->addUsers({bea});
    EXPECT_TRUE(node.engine().store().pending());
    clock.advance(1000ms);
    node->addUsers({cy});
    clock.advance(999ms);
    EXPECT_EQ(readStored<QList<User>>(node.supportPath("users.plist")), QList<User>());
    clock.advance(1ms);
    ASSERT_TRUE(node.written());
    EXPECT_EQ(readStored<QList<User>>(node.supportPath("users.plist")), (QList<User>{bea, cy}));

    // Removed ids are saved too.
    node.share("f", 10, {bea.key});
    clock.advance(2000ms);
    ASSERT_TRUE(node.written());
    ASSERT_EQ(readStored<QList<File>>(node.supportPath("transfers.plist"))->size(), 1);
    const QUuid id = node.engine().files().first().id();
    node->removeFiles({id}, bea.key);
    clock.advance(2000ms);
    ASSERT_TRUE(node.written());
    EXPECT_TRUE(readStored<QList<File>>(node.supportPath("transfers.plist"))->isEmpty());
    EXPECT_EQ(readStored<UuidListsByKey>(node.supportPath("deleted.plist"))->value(bea.key), QList<QUuid>{id});
}

TEST(ControllerPersistenceTest, TheSaveAtStopLandsAfterAnEarlierBackgroundWrite)
{
    ManualClock clock;
    Node node(QStringLiteral("n"), &clock);
    node.start();
    // Enough records that their write in the background takes a while.
    QList<File> many;
    for (int i = 0; i < 50000; ++i)
        many.append(test::listed(QString::number(i), 1, someKey('b')));
    node.engine().fileTable().append(many);
    node.engine().store().schedule();
    clock.advance(node.saveDelay);
    // Then they go: what stop() writes is what stays.
    node.engine().fileTable().clear();
    node.shutDown();
    EXPECT_TRUE(readStored<QList<File>>(node.supportPath("transfers.plist"))->isEmpty());
}

TEST(ControllerPublicationTest, ChangesArePublishedAtMostEveryTenthOfASecond)
{
    ManualClock clock;
    Node node(QStringLiteral("n"), &clock);
    node.start();
    clock.advance(5000ms);  // a quiet period
    QStringList seen;
    QObject::connect(node.controller.get(), &Controller::filesChanged,
                     [&] { seen.append(QStringLiteral("files %1").arg(node->fileRows().size())); });
    const auto share = [&](int n) { node.share(QStringLiteral("f%1").arg(n), 10, {someKey('b')}); };

    share(1);  // published at once
    EXPECT_EQ(seen, (QStringList{"files 1"}));
    clock.advance(30ms);
    share(2);  // too soon: the timer will publish it 0.07 s from now
    clock.advance(20ms);
    share(3);  // the timer is armed: nothing by itself
    clock.advance(49ms);
    EXPECT_EQ(seen, (QStringList{"files 1"}));
    EXPECT_EQ(node->fileRows().size(), 1);
    clock.advance(1ms);
    EXPECT_EQ(seen, (QStringList{"files 1", "files 3"}));
    EXPECT_EQ(node.engine().files().size(), 3);
}

TEST(ControllerActivityTest, ActivityEndsAtTheFirstCheckMoreThanAMinuteAfterTheLastTransfer)
{
    ManualClock clock;
    Node node(QStringLiteral("n"), &clock);
    node.start();
    clock.advance(2000ms);  // the first save
    EXPECT_EQ(clock.activeTimers(), 0);

    node.engine().activity().mark();
    EXPECT_TRUE(node.engine().activity().held());
    EXPECT_EQ(node.inhibitor.acquires, 1);
    clock.advance(60000ms);  // a check exactly 60 s after: kept
    EXPECT_TRUE(node.inhibitor.isHeld());
    clock.advance(59999ms);
    EXPECT_TRUE(node.inhibitor.isHeld());
    clock.advance(1ms);  // 120 s after: ended
    EXPECT_FALSE(node.inhibitor.isHeld());
    EXPECT_FALSE(node.engine().activity().held());
    EXPECT_EQ(node.inhibitor.releases, 1);

    clock.advance(30000ms);
    node.engine().activity().mark();  // 150 s: the same timer goes on
    node.engine().activity().mark();
    EXPECT_EQ(node.inhibitor.acquires, 2);
    EXPECT_EQ(clock.activeTimers(), 1);
    clock.advance(30000ms);  // check at 180 s, 30 s after
    EXPECT_TRUE(node.inhibitor.isHeld());
    clock.advance(60000ms);  // check at 240 s, 90 s after
    EXPECT_FALSE(node.inhibitor.isHeld());
    EXPECT_EQ(node.inhibitor.releases, 2);
}

TEST(ControllerSettingsTest, ListenerStateFollowsTheListener)
{
    LogCapture log;
    Node node(QStringLiteral("n"));
    const quint16 port = node.listen();
    EXPECT_TRUE(log.contains(QStringLiteral("Listener ready on %1").arg(port)));

    log.clear();
    node->setSettings(false, false);
    EXPECT_TRUE(log.contains("Stopped port mapping."));
    EXPECT_TRUE(waitFor([&] { return node->listenerState() == ListenerState::stopped(); }));
    EXPECT_FALSE(node.engine().listening().listener()->started);

    // A port that is taken: failed, with the kernel's error.
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::Any, 0));
    User card = *node->me();
    card.port = squatter.serverPort();
    node->editMe(card);
    std::optional<ListenerState> failed;
    QObject::connect(node.controller.get(), &Controller::listenerStateChanged, [&] {
        if (node->listenerState().kind() == ListenerState::Kind::failed)
            failed = node->listenerState();
    });
    node->setSettings(true, false);
    ASSERT_TRUE(waitFor([&] { return failed.has_value(); }));
    const VortanError& error = *failed->error();
    ASSERT_TRUE(error.networkError());
    EXPECT_EQ(error.networkError()->code, EADDRINUSE);
    // Cancelled after the failure, the listener tries again later.
    EXPECT_TRUE(waitFor([&] { return node->listenerState() == ListenerState::stopped(); }));
    EXPECT_TRUE(node.engine().listening().listener()->restartArmed());
}

TEST(ControllerSettingsTest, PortMappingFollowsTheSettings)
{
    LogCapture log;
    Node node(QStringLiteral("n"));
    const quint16 port = test::unusedPort();
    ASSERT_TRUE(test::writeFile(node.supportPath("me.plist"),
                                toBytes(User(QStringLiteral("n"), std::nullopt, port, someKey('m')))));
    ASSERT_FALSE(node->start(true, true));
    EXPECT_EQ(node.mapper.mapped, std::vector<std::uint16_t>{port});
    EXPECT_TRUE(log.contains(QStringLiteral("Mapped port %1.").arg(port)));
    EXPECT_TRUE(waitFor([&] { return node->listenerState() == ListenerState::ready(); }));

    log.clear();
    node->setSettings(true, false);
    EXPECT_EQ(log.lines(), QStringList{"Stopped port mapping."});
    EXPECT_EQ(node.mapper.unmaps, 1);
    EXPECT_EQ(node.mapper.blockingUnmaps, 0);  // in the background: only stop() waits for the gateway
    log.clear();
    node->setSettings(true, false);  // the line even without a mapping
    EXPECT_EQ(log.lines(), QStringList{"Stopped port mapping."});
    EXPECT_EQ(node.mapper.unmaps, 1);  // but nothing to wait for

    node->setSettings(true, true);
    EXPECT_EQ(node.mapper.mapped, (std::vector<std::uint16_t>{port, port}));
    log.clear();
    node->stop();
    EXPECT_EQ(log.lines(), QStringList{"Stopped port mapping."});
    EXPECT_EQ(node.mapper.unmaps, 2);
    EXPECT_EQ(node.mapper.blockingUnmaps, 1);
    // A gateway that does not answer in time: stop() gives up, says so,
    // and still writes the files.
    node->setSettings(true, true);
    node.mapper.gatewayHangs = true;
    QFile::remove(node.supportPath("me.plist"));
    log.clear();
    node->stop();
    EXPECT_EQ(log.lines(), (QStringList{"Gave up waiting for the gateway after 3 s: the port mapping may still stand.",
                                        "Stopped port mapping."}));
    EXPECT_TRUE(readStored<User>(node.supportPath("me.plist")));
}

// What the gateway answers, from its thread, as the settings section shows it.
TEST(ControllerSettingsTest, TheRoutersForwardingIsReported)
{
    Node node(QStringLiteral("n"));
    node.listen();
    const auto router = [&] { return node->reachability().router; };
    EXPECT_EQ(router(), Reachability::Router::off);
    const auto answer = [&](bool forwarded, const char* problem) {
        const PortMapper::MappingCallback callback = node.mapper.mappingCallbacks.back();
        std::thread([&] { callback(forwarded, QString::fromUtf8(problem)); }).join();
    };
    node->setSettings(true, true);
    EXPECT_EQ(router(), Reachability::Router::searching);
    answer(false, "No gateway answered");
    ASSERT_TRUE(waitFor([&] { return router() == Reachability::Router::failed; }));
    EXPECT_EQ(node->reachability().routerError, "No gateway answered");
    node->setSettings(true, false);
    EXPECT_EQ(router(), Reachability::Router::off);
    answer(true, "");  // too late: the mapping was stopped meanwhile
    node->setSettings(true, true);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(router(), Reachability::Router::searching);
    answer(true, "");
    ASSERT_TRUE(waitFor([&] { return router() == Reachability::Router::forwarded; }));
    EXPECT_TRUE(node->reachability().routerError.isEmpty());
    ASSERT_EQ(node.mapper.addressCallbacks.size(), 2u);  // at start, and once forwarded
    const PortMapper::AddressCallback address = node.mapper.addressCallbacks.back();
    std::thread([&] { address(QStringLiteral("203.0.113.5")); }).join();
    EXPECT_TRUE(waitFor([&] { return node->reachability().externalAddress == "203.0.113.5"; }));
}

TEST(ControllerSettingsTest, ExternalAddressArrivesOnTheMainThreadOnlyWhileNeeded)
{
    Node node(QStringLiteral("n"));
    node.start();
    ASSERT_EQ(node.mapper.addressCallbacks.size(), 1u);
    const PortMapper::AddressCallback callback = node.mapper.addressCallbacks.front();
    std::thread([&] { callback(QStringLiteral("203.0.113.5")); }).join();
    EXPECT_FALSE(node->me()->address);  // not before the event loop runs
    ASSERT_TRUE(waitFor([&] { return node->me()->address.has_value(); }));
    EXPECT_EQ(*node->me()->address, "203.0.113.5");

    // An address set meanwhile stays.
    User card = *node->me();
    card.address = QStringLiteral("own.example");
    node->editMe(card);
    std::thread([&] { callback(QStringLiteral("203.0.113.9")); }).join();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(*node->me()->address, "own.example");

    // A report after the controller is gone is dropped.
    node.shutDown();
    std::thread([&] { callback(QStringLiteral("203.0.113.7")); }).join();
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace vortan

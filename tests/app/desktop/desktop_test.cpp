// The notifications, the badge and the answers, with a real controller pair
// on 127.0.0.1 and a notification server (dbusmock) on a private session bus.

#include "app/desktop/appnotifications.h"
#include "app/desktop/backgroundnotice.h"
#include "app/desktop/filemanager.h"
#include "app/desktop/launcherbadge.h"
#include "app/desktop/notificationserver.h"
#include "app/settings/appsettings.h"
#include "tests/app/support/peers.h"
#include "tests/support/testsupport.h"
#include "vortan/controller.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

#include <unistd.h>

using vortan::File2;
using vortan::FileRow;
using vortan::User;
using vortan::test::waitFor;

namespace brenvo {
namespace {

const QString kService = "org.freedesktop.Notifications";
const QString kPath = "/org/freedesktop/Notifications";
const QString kMock = "org.freedesktop.DBus.Mock";

// A dbusmock object on the bus, for as long as this lives.
class MockServer {
public:
    MockServer(const QString& service, const QString& path, const QStringList& arguments)
        : m_service(service), m_path(path)
    {
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start("/usr/bin/python3", QStringList{"-m", "dbusmock"} + arguments);
        EXPECT_TRUE(waitFor([&] { return QDBusConnection::sessionBus().interface()->isServiceRegistered(m_service).value(); }));
    }
    // dbusmock's notification server.
    explicit MockServer(const QString& capabilities)
        : MockServer(kService, kPath,
                     {"-t", "notification_daemon", "-p", QStringLiteral("{\"capabilities\": \"%1\"}").arg(capabilities)})
    {
    }
    ~MockServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        waitFor([&] { return !QDBusConnection::sessionBus().interface()->isServiceRegistered(m_service).value(); });
    }

    QDBusMessage callMock(const QString& method, const QVariantList& arguments) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(m_service, m_path, kMock, method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call);
    }
    // The arguments of each call of `method` so far.
    QList<QVariantList> calls(const QString& method = "Notify") const
    {
        const QDBusMessage reply = callMock("GetMethodCalls", {method});
        QList<QVariantList> found;
        const auto calls = reply.arguments().value(0).value<QDBusArgument>();
        calls.beginArray();
        while (!calls.atEnd()) {
            quint64 time = 0;
            QVariantList args;
            calls.beginStructure();
            calls >> time >> args;
            calls.endStructure();
            found.append(args);
        }
        calls.endArray();
        return found;
    }
    // The person answers notification `id` with `action`.
    void invoke(uint id, const QString& action) const
    {
        callMock("EmitSignal", {kService, "ActionInvoked", "us", QVariant::fromValue(QVariantList{id, action})});
    }

private:
    QString m_service;
    QString m_path;
    QProcess m_process;
};

template <typename T> T unwrap(const QVariant& value)
{
    return value.canConvert<QDBusArgument>() ? qdbus_cast<T>(value.value<QDBusArgument>()) : value.value<T>();
}

// Badge counts seen on the bus (on a connection of its own) and folders opened.
class Observer : public QObject {
    Q_OBJECT
public:
    Observer()
    {
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "observer")
            .connect({}, LauncherBadge::objectPath(), QString::fromLatin1(LauncherBadge::kInterface), "Update", this,
                     SLOT(update(QString, QVariantMap)));
        QDesktopServices::setUrlHandler("file", this, "open");
    }
    ~Observer() override { QDesktopServices::unsetUrlHandler("file"); }

    QList<qint64> counts;
    QList<QUrl> opened;

public slots:
    void update(const QString& app, const QVariantMap& properties)
    {
        EXPECT_EQ(app, QString::fromLatin1(LauncherBadge::kAppUri));
        EXPECT_EQ(properties.value("count-visible").toBool(), properties.value("count").toLongLong() > 0);
        counts.append(properties.value("count").toLongLong());
    }
    void open(const QUrl& url) { opened.append(url); }
};

// Bea's program, with its notifications, badge and file manager on the bus.
struct Program {
    QTemporaryDir dir;
    AppSettings settings{dir.filePath("Brenvo.conf")};
    NotificationServer server;
    LauncherBadge badge;
    FileManager files;
    bool active = false;
    test::Peer bea{"Bea"};
    AppNotifications notifications{*bea.controller, settings, server, badge, files, [this] { return active; }};
    Program()
    {
        // The controller's reports go to the notifications, as in the program.
        QObject::connect(bea.controller.get(), &vortan::Controller::downloadFinished, &notifications,
                         &AppNotifications::didFinishDownloading);
        QObject::connect(bea.controller.get(), &vortan::Controller::filesReceived, &notifications,
                         &AppNotifications::didReceiveFiles);
        notifications.setBatchDelay(std::chrono::milliseconds(50));
    }
};

TEST(AppNotificationsTest, OfferedFilesAreDownloadedFromTheNotificationAndCountedOnTheBadge)
{
    MockServer mock("body actions");
    Observer observer;
    Program program;
    program.notifications.setBatchDelay(AppNotifications::kBatchDelay);
    QTemporaryDir target;
    program.settings.downloadLocation.set(DownloadLocationSetting::other(target.path()));

    test::Peer ada("Ada");
    ASSERT_TRUE(test::introduce(program.bea, ada));
    const QStringList names{"one.txt", "two.txt"};
    QList<File2> shared;
    for (const QString& name : names) {
        ASSERT_TRUE(vortan::test::writeFile(ada.files.filePath(name), name.toUtf8()));
        shared.append(File2::at(ada.files.filePath(name)));
    }
    ada.controller->shareFiles(shared, {program.bea.key()});
    program.bea.controller->connectTo(ada.key());

    // C2: one notification for both files, with its texts, button and hints.
    ASSERT_TRUE(waitFor([&] { return mock.calls().size() == 1; }));
    const QVariantList offered = mock.calls()[0];
    EXPECT_EQ(offered.mid(0, 5), (QVariantList{"Brenvo", 0u, "com.halvinor.brenvo", "New Files", "Ada shared 2 files with you."}));
    EXPECT_EQ(unwrap<QStringList>(offered[5]), (QStringList{"default", "", "DOWNLOAD_FILES", "Download"}));
    const auto hints = unwrap<QVariantMap>(offered[6]);
    EXPECT_EQ(hints.value("desktop-entry").toString(), "com.halvinor.brenvo");
    EXPECT_EQ(hints.value("category").toString(), "transfer");

    // "Download" puts both into the chosen folder; finishing together, they
    // are announced together and, the program being inactive, both counted
    // on the badge.
    mock.invoke(1, "DOWNLOAD_FILES");
    ASSERT_TRUE(waitFor([&] { return mock.calls().size() == 2; }, 20000));
    for (const QString& name : names)
        EXPECT_EQ(vortan::test::readFile(target.filePath(name)), name.toUtf8());
    const QVariantList finished = mock.calls()[1];
    EXPECT_EQ(finished.mid(3, 2), (QVariantList{"Files Downloaded", "2 files downloaded."}));
    EXPECT_EQ(unwrap<QStringList>(finished[5]), (QStringList{"default", "", "SHOW_FILE", "Show"}));
    EXPECT_EQ(unwrap<QVariantMap>(finished[6]).value("category").toString(), "transfer.complete");
    ASSERT_TRUE(waitFor([&] { return observer.counts.size() == 1; }));
    EXPECT_EQ(observer.counts, QList<qint64>{2});

    // A click selects the offered files, in order.
    QSignalSpy select(&program.notifications, &AppNotifications::selectFilesRequested);
    mock.invoke(1, "default");
    ASSERT_TRUE(select.wait(5000));
    const auto selected = select[0][0].value<QList<QUuid>>();
    ASSERT_EQ(selected.size(), 2);
    EXPECT_EQ(program.bea.controller->file(selected[0])->name, names[0]);
    EXPECT_EQ(program.bea.controller->file(selected[1])->name, names[1]);

    // "Show" reveals what is still there (no file manager on this bus: the
    // folder opens) and lowers the badge by as many.
    program.bea.controller->removeFiles({selected[0]}, ada.key());
    program.bea.controller->publishNow();
    mock.invoke(2, "SHOW_FILE");
    ASSERT_TRUE(waitFor([&] { return observer.counts.size() == 2 && observer.opened.size() == 1; }));
    EXPECT_EQ(observer.counts.last(), 1);
    EXPECT_EQ(observer.opened, QList<QUrl>{QUrl::fromLocalFile(target.path())});
    EXPECT_EQ(program.notifications.badgeCount(), 1);

    program.notifications.applicationBecameActive();
    ASSERT_TRUE(waitFor([&] { return observer.counts.size() == 3; }));
    EXPECT_EQ(observer.counts.last(), 0);
}

TEST(AppNotificationsTest, AnswersThatOvertakeTheIdAreKeptForIt)
{
    // This server answers before it returns the id, as a click can overtake
    // the reply on a busy bus; an answer for a notification of another
    // program is not reported.
    MockServer mock(kService, kPath, {kService, kPath, kService});
    mock.callMock("AddMethod", {QString(), "Notify", "susssasa{sv}i", "u",
                                "self.EmitSignal('', 'ActionInvoked', 'us', [8, 'OTHER'])\n"
                                "self.EmitSignal('', 'ActionInvoked', 'us', [7, 'GO'])\n"
                                "self.EmitSignal('', 'NotificationClosed', 'uu', [7, 2])\n"
                                "ret = 7"});
    NotificationServer server;
    QSignalSpy actions(&server, &Notifier::actionInvoked), closed(&server, &Notifier::closed);
    std::optional<quint32> delivered;
    server.post({"Title", "Body", {}, {}, {}}, [&](const Notifier::Delivery& d) { delivered = d.id; });
    ASSERT_TRUE(closed.wait(5000));
    EXPECT_EQ(delivered, 7u);
    ASSERT_EQ(actions.size(), 1);
    EXPECT_EQ(actions[0], (QVariantList{7u, "GO"}));
    EXPECT_EQ(closed[0], QVariantList{7u});
}

TEST(AppNotificationsTest, WhatComesTogetherIsAnnouncedTogether)
{
    MockServer mock("body actions");
    Program program;
    program.notifications.setBatchDelay(std::chrono::milliseconds(300));
    const User ada("Ada", std::nullopt, std::nullopt, QByteArray(32, 'a'));
    const User bob("Bob", std::nullopt, std::nullopt, QByteArray(32, 'b'));
    const User cy("Cy", std::nullopt, std::nullopt, QByteArray(32, 'c'));
    const auto rows = [](const QString& prefix, int count) {
        QList<FileRow> list;
        for (int i = 0; i < count; ++i) {
            FileRow row;
            row.id = QUuid::createUuid();
            row.name = QStringLiteral("%1%2.txt").arg(prefix).arg(i);
            row.length = 4'000'000;
            list.append(row);
        }
        return list;
    };
    // Bob's list of 300 comes in parts, downloads finish meanwhile, and one
    // file of Ada's arrives.
    const QList<FileRow> offered = rows("offer", 300), finished = rows("done", 300);
    for (int part = 0; part < 3; ++part) {
        program.notifications.didReceiveFiles(offered.mid(part * 100, 100), bob);
        for (const FileRow& row : finished.mid(part * 100, 100))
            program.notifications.didFinishDownloading(row);
        waitFor([] { return false; }, 100);
    }
    program.notifications.didReceiveFiles(rows("ada", 1), ada);
    // Cy's folder, its files in folders below it.
    program.notifications.didReceiveFiles(rows("Holiday/a/", 200) + rows("Holiday/", 100), cy);
    ASSERT_TRUE(waitFor([&] { return mock.calls().size() == 4; }));
    waitFor([] { return false; }, 600);  // and nothing more
    const QList<QVariantList> calls = mock.calls();
    ASSERT_EQ(calls.size(), 4);
    EXPECT_EQ(calls[0].mid(3, 2), (QVariantList{"New Files", "Bob shared 300 files with you."}));
    EXPECT_EQ(calls[1].mid(3, 2), (QVariantList{"New File", "Ada shared ada0.txt with you."}));
    EXPECT_EQ(calls[2].mid(3, 2),
              (QVariantList{"New Folder", "Cy shared the folder Holiday (300 files, 1.2 GB) with you"}));
    EXPECT_EQ(calls[3].mid(3, 2), (QVariantList{"Files Downloaded", "300 files downloaded."}));
}

// A steady stream is announced no later than kMaxBatchWait after it began.
TEST(AppNotificationsTest, ASteadyStreamWaitsNoLongerThanTheCap)
{
    MockServer mock("body actions");
    Program program;
    program.notifications.setBatchDelay(std::chrono::milliseconds(1000));
    const User bob("Bob", std::nullopt, std::nullopt, QByteArray(32, 'b'));
    QElapsedTimer age;
    age.start();
    while (mock.calls().isEmpty() && age.elapsed() < 2 * AppNotifications::kMaxBatchWait.count()) {
        FileRow row;
        row.id = QUuid::createUuid();
        row.name = "a.txt";
        program.notifications.didReceiveFiles({row}, bob);
        waitFor([] { return false; }, 300);
    }
    EXPECT_LT(age.elapsed(), AppNotifications::kMaxBatchWait.count() + 2000);
}

// Standard output goes to a file while this lives.
class StdoutCapture {
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture()
    {
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }
    QByteArray text()
    {
        std::fflush(stdout);
        return vortan::test::readFile(m_file.fileName());
    }

private:
    int m_saved = ::dup(STDOUT_FILENO);
    QTemporaryFile m_file;
};

TEST(AppNotificationsTest, WhatTheServerCanShowAndNoServer)
{
    Program program;
    FileRow row;
    row.id = QUuid::createUuid();
    row.name = "a.txt";
    {
        // A peer's name is text, also where the server reads markup.
        MockServer mock("body actions body-markup");
        User sender = program.bea.card();
        sender.name = "<b>Ada</b> & %2";
        program.notifications.didReceiveFiles({row}, sender);
        ASSERT_TRUE(waitFor([&] { return mock.calls().size() == 1; }));
        EXPECT_EQ(mock.calls()[0][4].toString(), "&lt;b&gt;Ada&lt;/b&gt; &amp; %2 shared a.txt with you.");
    }
    {
        MockServer mock("body");
        StdoutCapture out;
        program.notifications.didFinishDownloading(row);
        program.notifications.didReceiveFiles({row}, program.bea.card());
        waitFor([] { return false; }, 500);  // nothing to wait for: nothing may happen
        EXPECT_EQ(out.text(), "");
        EXPECT_TRUE(mock.calls().isEmpty());
        EXPECT_EQ(program.notifications.badgeCount(), 0);
    }
    StdoutCapture out;
    program.notifications.didReceiveFiles({row}, program.bea.card());
    ASSERT_TRUE(waitFor([&] { return !out.text().isEmpty(); }));
    EXPECT_TRUE(out.text().startsWith("Could not deliver notification. The name org.freedesktop.Notifications "))
        << out.text().toStdString();
    EXPECT_TRUE(out.text().endsWith('\n'));
}

TEST(FileManagerTest, RevealsAllFilesInOneCallAndPreviewsWithoutPreviewer)
{
    Observer observer;
    FileManager files;
    const QList<QUrl> urls{QUrl::fromLocalFile("/tmp/a b.txt"), QUrl::fromLocalFile("/srv/c.txt"),
                           QUrl("https://example.org/x")};
    {
        const QString name = "org.freedesktop.FileManager1";
        const QString path = "/org/freedesktop/FileManager1";
        MockServer manager(name, path, {name, path, name});
        manager.callMock("AddMethod", {QString(), "ShowItems", "ass", QString(), QString()});
        files.reveal(urls);
        ASSERT_TRUE(waitFor([&] { return manager.calls("ShowItems").size() == 1; }));
        EXPECT_EQ(unwrap<QStringList>(manager.calls("ShowItems")[0][0]),
                  (QStringList{"file:///tmp/a%20b.txt", "file:///srv/c.txt"}));
    }
    files.preview(urls);
    ASSERT_TRUE(waitFor([&] { return observer.opened.size() == 2; }));
    EXPECT_EQ(observer.opened, urls.mid(0, 2));
}

TEST(BackgroundNoticeTest, SaysSoAndOnlyItsClickOpensAWindow)
{
    MockServer mock("body actions");
    NotificationServer server;
    int clicked = 0;
    postBackgroundNotice(server, [&] { ++clicked; });
    ASSERT_TRUE(waitFor([&] { return mock.calls().size() == 1; }));
    const QVariantList call = mock.calls()[0];
    EXPECT_EQ(call[3].toString(), "Brenvo is still running");
    EXPECT_EQ(call[4].toString(), "Brenvo keeps receiving and sending files in the background. Quit it from its "
                                  "icon's menu or with Ctrl+Q.");
    mock.invoke(2, "default");  // another notification's
    mock.invoke(1, "default");
    ASSERT_TRUE(waitFor([&] { return clicked == 1; }));
    mock.callMock("EmitSignal", {kService, "NotificationClosed", "uu", QVariant::fromValue(QVariantList{1u, 2u})});
    mock.invoke(1, "default");  // after it closed: not ours any more
    waitFor([] { return false; }, 300);
    EXPECT_EQ(clicked, 1);
}

}  // namespace
}  // namespace brenvo

#include "desktop_test.moc"

#include "app/cards/cardactions.h"
#include "app/settings/settingsview.h"
#include "app/shell/appactions.h"
#include "app/shell/appdelegate.h"
#include "app/shell/autostart.h"
#include "app/shell/fileselection.h"
#include "app/shell/infobar.h"
#include "app/shell/mainwindow.h"
#include "app/shell/windowactions.h"
#include "app/shell/windowregistry.h"

#include "tests/app/support/peers.h"
#include "tests/support/testsupport.h"

#include "vortan/usercard.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QToolTip>
#include <QToolButton>

#include <csignal>

#include <gtest/gtest.h>

using vortan::Controller;
using vortan::File2;
using vortan::FileRow;
using vortan::KeyStoreChoice;
using vortan::ListenerState;
using vortan::User;
using vortan::encodeCard;

using namespace brenvo;
using vortan::test::writeFile;

namespace {

struct AppDelegateTest : ::testing::Test {
    QTemporaryDir home;
    std::unique_ptr<AppDelegate> app;

    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        launch(home.filePath("support"));
    }
    void TearDown() override { quit(); }

    // The program on this support folder (the last one stopped first).
    void launch(const QString& supportDirectory)
    {
        quit();
        AppOptions options;
        options.supportDirectory = supportDirectory;
        options.settingsPath = home.filePath("Brenvo.conf");
        options.keyStore = KeyStoreChoice::file;
        options.useGateway = false;
        {
            AppSettings settings(options.settingsPath);
            settings.listen.set(false);  // no port taken by the test
        }
        app = std::make_unique<AppDelegate>(options);
        ASSERT_FALSE(app->start());
    }
    void quit()
    {
        if (!app)
            return;
        app->stop();
        app.reset();
    }

    // An upload offered to a new user: a published row.
    FileRow offerFile(const QByteArray& userKey)
    {
        app->controller().addUsers({User("Alice", std::nullopt, std::nullopt, userKey)});
        const QString path = home.filePath("report.txt");
        writeFile(path, "hello");
        app->controller().shareFiles({File2::at(path)}, {userKey});
        app->controller().publishNow();
        return app->controller().fileRows().last();
    }
};

// Whether someone is there shows without a click: the person in view is
// called, and called again, with nothing to transfer.
TEST_F(AppDelegateTest, ThePersonInViewIsCalled)
{
    const QByteArray bea(32, 'b');
    app->controller().addUsers({User("Bea", QString("127.0.0.1"), vortan::test::unusedPort(), bea)});
    MainWindow* window = app->newWindow();
    window->scene().setSelectedUser(bea);
    ASSERT_TRUE(vortan::test::waitFor([&] { return app->controller().user(bea)->failure.has_value(); }));
    EXPECT_TRUE(app->controller().user(bea)->failure->retryAt);
}

// Links and notifications select files in a window, brought to the front
// as it was; windows register in order and leave by identity.
TEST_F(AppDelegateTest, LinksAndNotificationsSelectFilesInAWindow)
{
    const QByteArray alice(32, 'a');
    const FileRow row = offerFile(alice);
    MainWindow* window = app->newWindow();
    window->showMaximized();
    window->showMinimized();
    ASSERT_TRUE(window->isMinimized());

    app->openUrl(QUrl("brenvo://file/" + QUuid::createUuid().toString(QUuid::WithoutBraces)));
    EXPECT_TRUE(window->scene().selectedUser().isEmpty());  // unknown ids change nothing
    // Nobody shown: nothing for Delete and Select All to act on.
    EXPECT_FALSE(window->actions()->deleteSelection->isEnabled());
    EXPECT_FALSE(window->actions()->selectAll->isEnabled());

    app->openUrl(fileSelectionUrl({QUuid::createUuid(), row.id}));
    EXPECT_EQ(window->scene().selectedUser(), alice);
    EXPECT_TRUE(window->actions()->deleteSelection->isEnabled());
    EXPECT_TRUE(window->actions()->selectAll->isEnabled());
    EXPECT_EQ(window->scene().selectedFiles(), QSet<QUuid>{row.id});
    EXPECT_FALSE(window->isMinimized());
    EXPECT_TRUE(window->isMaximized());
    EXPECT_TRUE(vortan::test::waitFor([&] { return QApplication::activeWindow() == window; }, 5000));

    // A second launch shows the window as it is.
    app->open({}, {});
    EXPECT_TRUE(window->isMaximized());

    // Settings open over the window they were asked from.
    app->actions().showSettings();
    auto* settings = window->findChild<SettingsView*>();
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->isVisible());
    settings->close();

    // Two windows, none active on Alice: the link path picks a shown window.
    window->scene().setSelectedFiles({});
    MainWindow* other = app->newWindow();
    EXPECT_EQ(app->windows().scenes(), (QList<SceneController*>{&window->scene(), &other->scene()}));
    window->scene().setPhase(SceneController::Phase::inactive);
    other->scene().setPhase(SceneController::Phase::inactive);
    app->selectNotifiedFiles({row.id});
    EXPECT_TRUE(window->scene().selectedFiles().contains(row.id) || other->scene().selectedFiles().contains(row.id));
    window->close();
    EXPECT_EQ(app->windows().scenes(), QList<SceneController*>{&other->scene()});
}

// The alert open over window (a window-modal message box).
QMessageBox* alertOver(QWidget* window)
{
    QMessageBox* found = nullptr;
    vortan::test::waitFor([&] {
        for (QMessageBox* box : window->findChildren<QMessageBox*>())
            if (box->isVisible())
                found = box;
        return found != nullptr;
    }, 5000);
    return found;
}

void click(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons())
        if (button->text() == text)
            button->click();
}

TEST_F(AppDelegateTest, UninstallRemovesOnlyWhatBrenvoMade)
{
    struct Case {
        const char* name;
        bool foreignFiles;      // the person's own files share the folder
        bool packaged;          // the program cannot go to the Trash
        bool cancelled = false;
    };
    const Case cases[] = {{"own folder", false, false}, {"a folder of the person's", true, false},
                          {"packaged program", false, true}, {"cancelled", true, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString support = home.filePath(QStringLiteral("support-%1").arg(c.name));
        launch(support);
        const QDir dir(support);
        const QString keyFile = dir.filePath("identity.key");
        ASSERT_TRUE(QFile::exists(keyFile));
        const QByteArray ownKey = app->controller().me()->key;
        // What Brenvo made besides its stored state: a card for sharing, a
        // stored file kept aside as unreadable.
        ASSERT_TRUE(writeFile(dir.filePath("Me.bcard"), encodeCard(*app->controller().me())));
        ASSERT_TRUE(writeFile(dir.filePath("users.plist.unreadable-2026-01-02T03-04-05"), "?"));
        app->controller().save();
        QStringList foreign;
        if (c.foreignFiles) {
            // Among them names like those Brenvo keeps aside.
            foreign = {"Taxes 2026.ods", "old users.plist.unreadable-2026-01-02T03-04-05",
                       "users.plist.unreadable-2026-01-02T03-04-05.ods", "Zed.bcard"};
            for (const QString& name : foreign)
                ASSERT_TRUE(writeFile(dir.filePath(name), name == "Zed.bcard" ? encodeCard(User(
                                          "Zed", QString("127.0.0.1"), 1, QByteArray(32, 'z'))) : "numbers"));
        }
        const QString program = c.packaged ? QStringLiteral("/usr/lib/brenvo-test-missing/brenvo") : home.filePath("brenvo");
        if (!c.packaged) {
            ASSERT_TRUE(writeFile(program, "binary"));
        }
        app->actions().setProgramPath(program);
        ASSERT_EQ(Autostart(Autostart::defaultEntryPath(), program).setEnabled(true), std::nullopt);
        MainWindow* window = app->newWindow();

        app->actions().uninstall(window);
        QMessageBox* alert = alertOver(window);
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->text(), "Are you sure you want to uninstall Brenvo?");
        EXPECT_TRUE(alert->informativeText().startsWith("This operation cannot be undone.\n\n"));
        EXPECT_TRUE(alert->informativeText().contains(support)) << alert->informativeText().toStdString();
        EXPECT_EQ(alert->informativeText().contains("sudo apt remove brenvo"), c.packaged);
        EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
        EXPECT_NE(alert->defaultButton()->text(), "Uninstall");
        for (const char* made : {"users.plist", "brenvo.lock", "identity.key", "Me.bcard",
                                    "users.plist.unreadable-2026-01-02T03-04-05"})
            EXPECT_TRUE(alert->detailedText().contains(dir.filePath(made))) << made;
        for (const QString& name : foreign)
            EXPECT_FALSE(alert->detailedText().contains(name));
        if (c.cancelled) {
            click(alert, "Cancel");
            app->stop();
            EXPECT_TRUE(QFile::exists(program));
            for (const char* kept : {"identity.key", "users.plist", "Me.bcard"})
                EXPECT_TRUE(dir.exists(kept)) << kept;
            continue;
        }
        click(alert, "Uninstall");

        // The key is gone through the key store: also where the folder stays.
        EXPECT_FALSE(QFile::exists(keyFile));
        EXPECT_FALSE(QFile::exists(app->settings().filePath()));
        EXPECT_FALSE(QFile::exists(program));
        EXPECT_FALSE(QFile::exists(Autostart::defaultEntryPath()));
        if (c.packaged) {
            QMessageBox* left = alertOver(window);
            ASSERT_TRUE(left);
            EXPECT_EQ(left->text(), "Brenvo could not move the program to the Trash.");
            EXPECT_TRUE(left->informativeText().contains("remove the package “brenvo” with your package manager"));
            left->close();
        }
        app->stop();  // the controller saves as it stops; the uninstall wins
        EXPECT_FALSE(QFile::exists(app->settings().filePath()));
        EXPECT_EQ(dir.exists(), c.foreignFiles);
        if (c.foreignFiles) {
            QStringList left = QDir(support).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            left.sort();
            foreign.sort();
            EXPECT_EQ(left, foreign);
        }
    }
}

TEST_F(AppDelegateTest, BackgroundFailuresShowInEveryWindowUntilDismissed)
{
    MainWindow* window = app->newWindow();
    EXPECT_TRUE(window->infoBar()->isHidden());

    // A save that fails: the stored file's place is taken by a folder.
    const QString users = QDir(app->supportDirectory()).filePath("users.plist");
    QFile::remove(users);
    ASSERT_TRUE(QDir().mkpath(users + "/x"));
    app->controller().addUsers({User("Alice", std::nullopt, std::nullopt, QByteArray(32, 'a'))});
    app->controller().save();
    ASSERT_TRUE(window->infoBar()->isVisible());
    EXPECT_TRUE(window->infoBar()->text().startsWith("Could not save users.plist in " + app->supportDirectory()))
        << window->infoBar()->text().toStdString();
    MainWindow* second = app->newWindow();
    EXPECT_EQ(second->infoBar()->text(), window->infoBar()->text());
    auto* close = window->infoBar()->findChild<QToolButton*>();
    ASSERT_TRUE(close);
    EXPECT_FALSE(close->toolTip().isEmpty());
    EXPECT_FALSE(close->accessibleName().isEmpty());
    close->click();
    EXPECT_TRUE(window->infoBar()->isHidden());
    EXPECT_TRUE(second->infoBar()->isHidden());
    QDir(users).removeRecursively();

    // A stored file that cannot be read is kept aside: said in the first
    // window, not only in the log.
    quit();
    ASSERT_TRUE(writeFile(users, "not a property list"));
    launch(home.filePath("support"));
    window = app->newWindow();
    ASSERT_TRUE(window->infoBar()->isVisible());
    EXPECT_TRUE(window->infoBar()->text().startsWith(users + " could not be read (")) << window->infoBar()->text().toStdString();
    EXPECT_TRUE(window->infoBar()->text().contains("it was kept as " + users + ".unreadable-"));
    window->infoBar()->findChild<QToolButton*>()->click();

    // Another program on the port: said while the listener tries again (the
    // controller reports it stopped between the tries), gone once it listens.
    QTcpServer squatter;
    ASSERT_TRUE(squatter.listen(QHostAddress::Any, 0));
    User me = *app->controller().me();
    me.port = squatter.serverPort();
    app->controller().editMe(me);
    app->settings().listen.set(true);
    app->controller().setSettings(true, false);
    const QString taken = QString("Port %1 is in use by another program: choose another port in Settings.")
                              .arg(squatter.serverPort());
    ASSERT_TRUE(vortan::test::waitFor([&] { return window->infoBar()->text() == taken; }));
    ASSERT_TRUE(vortan::test::waitFor([&] { return app->controller().listenerState() == ListenerState::stopped(); }));
    EXPECT_EQ(window->infoBar()->text(), taken);
    me.port = vortan::test::unusedPort();
    app->controller().editMe(me);
    ASSERT_TRUE(vortan::test::waitFor([&] { return app->controller().listenerState() == ListenerState::ready(); }));
    EXPECT_TRUE(window->infoBar()->isHidden());

    // Someone unknown called: their key, and Import Card… until their card is in.
    const QByteArray stranger(32, 's');
    emit app->controller().strangerRefused(stranger);
    auto* import = window->infoBar()->findChild<QPushButton*>("infoBarImport");
    ASSERT_TRUE(import);
    EXPECT_TRUE(import->isVisible());
    EXPECT_EQ(window->infoBar()->text(), "Someone who is not among your people tried to connect (key 7373 7373 7373 "
                                         "7373 7373 7373 7373 7373 7373 7373 7373 7373 7373 7373 7373 7373).");
    app->controller().addUsers({User("Sam", std::nullopt, std::nullopt, stranger)});
    EXPECT_TRUE(window->infoBar()->isHidden());
}

// What in window would read text from outside (marked by "<h1>" or "<img")
// as rich text: labels, tooltips of widgets and actions, and the tooltips
// of item views' rows; message boxes over the window are its children.
QStringList richTextFrom(QWidget* window)
{
    QStringList found;
    const auto check = [&found](const QString& where, const QString& text, bool interpreted) {
        if (interpreted && (text.contains("<h1>") || text.contains("<img")))
            found << where + ": " + text;
    };
    const auto tooltip = [&check](const QString& where, const QString& text) {
        check(where + " tooltip", text, Qt::mightBeRichText(text));
    };
    // Showing a tooltip may delete widgets (row widgets redrawn).
    QList<QPointer<QWidget>> widgets{window};
    for (QWidget* child : window->findChildren<QWidget*>())
        widgets.append(child);
    for (QWidget* widget : widgets) {
        if (!widget)
            continue;
        const QString where = QString::fromLatin1(widget->metaObject()->className()) + ' ' + widget->objectName();
        tooltip(where, widget->toolTip());
        if (auto* label = qobject_cast<QLabel*>(widget)) {
            const Qt::TextFormat format = label->textFormat();
            check(where, label->text(),
                  format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(label->text())));
        }
        // A row's tooltip as the view shows it (its delegate may escape it).
        auto* view = qobject_cast<QAbstractItemView*>(widget);
        if (!view || !view->model())
            continue;
        QList<QModelIndex> parents{QModelIndex()};
        while (!parents.isEmpty()) {
            const QModelIndex parent = parents.takeFirst();
            for (int row = 0; row < view->model()->rowCount(parent); ++row)
                for (int column = 0; column < view->model()->columnCount(parent); ++column) {
                    const QModelIndex index = view->model()->index(row, column, parent);
                    if (view->model()->hasChildren(index))
                        parents.append(index);
                    const QRect rect = view->visualRect(index);
                    if (!rect.isValid() || !view->viewport()->rect().intersects(rect))
                        continue;
                    QHelpEvent help(QEvent::ToolTip, rect.center(), view->viewport()->mapToGlobal(rect.center()));
                    QApplication::sendEvent(view->viewport(), &help);
                    tooltip(where + " row", QToolTip::isVisible() ? QToolTip::text() : QString());
                    // At once (hideText() waits), so the next row reads its own.
                    for (QWidget* shown : QApplication::topLevelWidgets())
                        if (shown->inherits("QTipLabel"))
                            shown->hide();
                }
        }
    }
    for (QAction* action : window->findChildren<QAction*>())
        tooltip("action " + action->text(), action->toolTip());
    return found;
}

TEST_F(AppDelegateTest, NamesAndErrorsFromOutsideAreNeverMarkup)
{
    // A support folder, a person's own name, other people's names and
    // addresses, and a file's name, all with markup.
    launch(home.filePath("<h1>Support</h1>"));
    Controller& controller = app->controller();
    User me = *controller.me();
    me.name = "<h1>Me</h1>";
    controller.editMe(me);
    // Big answers at the address of Zoe: her error names him. (Rows'
    // tooltips are really shown: the image is one that cannot load.)
    test::Peer bigPeer("<h1>Big</h1>");
    ASSERT_TRUE(bigPeer.listen());
    bigPeer.controller->addUsers({*controller.me()});
    const User bigCard = bigPeer.card();
    const QByteArray zoe(32, 'z'), big = bigCard.key;
    controller.addUsers({User(R"(<img src="/nonexistent.png">Zoe)", bigCard.address, bigCard.port, zoe), bigCard});
    const QString file = home.filePath(R"(<img src="x">.txt)");
    ASSERT_TRUE(writeFile(file, "hello"));
    controller.shareFiles({File2::at(file)}, {zoe});
    controller.publishNow();
    controller.connectTo(zoe);
    ASSERT_TRUE(vortan::test::waitFor([&] {
        const std::optional<User> user = controller.user(zoe);
        return user->error && user->error->localizedDescription().startsWith("<h1>Big</h1> answered at");
    }, 20000));

    MainWindow* window = app->newWindow();
    for (const QByteArray& key : {QByteArray(), zoe, big}) {
        window->scene().setSelectedUser(key);
        QApplication::processEvents();
        EXPECT_EQ(richTextFrom(window).join('\n').toStdString(), "") << key.left(1).toStdString();
    }
    // The alerts about a person and the folder.
    app->cards().confirmRemoveUser(window, big);
    ASSERT_TRUE(alertOver(window));
    EXPECT_EQ(richTextFrom(window).join('\n').toStdString(), "");
    alertOver(window)->close();
    app->actions().uninstall(window);
    ASSERT_TRUE(alertOver(window));
    EXPECT_EQ(richTextFrom(window).join('\n').toStdString(), "");
    click(alertOver(window), "Cancel");
}

TEST(StartFailureTest, StopSignalsEndTheProgramWhileTheFailureIsShown)
{
    QTemporaryDir home;
    ASSERT_TRUE(writeFile(home.filePath("file"), "not a folder"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
        environment.insert(name, home.path());
    environment.insert("BRENVO_NO_GATEWAY", "1");
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        QProcess brenvo;
        brenvo.setProcessEnvironment(environment);
        brenvo.start(BRENVO_PROGRAM, {"--key-store", "file", "--no-tor", "--data-dir", home.filePath("file/support")});
        QByteArray error;
        ASSERT_TRUE(vortan::test::waitFor([&] { return (error += brenvo.readAllStandardError()).contains("brenvo: Cannot create"); },
                                  20000)) << error.toStdString();
        ::kill(pid_t(brenvo.processId()), signal);
        EXPECT_TRUE(brenvo.waitForFinished(10000));
        EXPECT_EQ(brenvo.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(brenvo.exitCode(), 1);
        if (brenvo.state() != QProcess::NotRunning) {
            brenvo.kill();
            brenvo.waitForFinished(5000);
        }
    }
}

}  // namespace

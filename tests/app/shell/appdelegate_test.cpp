#include "app/shell/appdelegate.h"
#include "app/shell/autostart.h"
#include "app/shell/fileselection.h"
#include "app/shell/mainwindow.h"

#include "tests/support/testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vortan;
using vortan::test::writeFile;

namespace {

struct AppDelegateTest : ::testing::Test {
    QTemporaryDir home;
    std::unique_ptr<AppDelegate> app;

    void SetUp() override
    {
        qputenv("XDG_DATA_HOME", home.filePath("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", home.filePath("config").toUtf8());
        AppOptions options;
        options.supportDirectory = home.filePath("support");
        options.settingsPath = home.filePath("Brenvo.conf");
        options.keyStore = KeyStoreChoice::file;
        options.useGateway = false;
        {
            AppSettings settings(options.settingsPath);
            settings.setListen(false);  // no port taken by the test
        }
        app = std::make_unique<AppDelegate>(options);
        ASSERT_FALSE(app->start());
    }
    void TearDown() override
    {
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

TEST_F(AppDelegateTest, WindowsRegisterInOrderAndLeaveByIdentity)
{
    MainWindow* first = app->newWindow();
    MainWindow* second = app->newWindow();
    EXPECT_EQ(app->sceneControllers(), (QList<SceneController*>{&first->scene(), &second->scene()}));
    first->close();
    EXPECT_EQ(app->sceneControllers(), QList<SceneController*>{&second->scene()});
}

TEST_F(AppDelegateTest, LinksAndNotificationsSelectFilesInAWindow)
{
    const QByteArray alice(32, 'a');
    const FileRow row = offerFile(alice);
    MainWindow* window = app->newWindow();

    app->openUrl(QUrl("brenvo://file/" + QUuid::createUuid().toString(QUuid::WithoutBraces)));
    EXPECT_TRUE(window->scene().selectedUser().isEmpty());  // unknown ids change nothing

    app->openUrl(fileSelectionUrl({QUuid::createUuid(), row.id}));
    EXPECT_EQ(window->scene().selectedUser(), alice);
    EXPECT_EQ(window->scene().selectedFiles(), QSet<QUuid>{row.id});

    // Two windows, none active on Alice: the link path picks a shown window.
    window->scene().setSelectedFiles({});
    MainWindow* other = app->newWindow();
    window->scene().setPhase(SceneController::Phase::inactive);
    other->scene().setPhase(SceneController::Phase::inactive);
    app->selectNotifiedFiles({row.id});
    EXPECT_TRUE(window->scene().selectedFiles().contains(row.id) || other->scene().selectedFiles().contains(row.id));
}

TEST_F(AppDelegateTest, UninstallRemovesEverythingAndNothingComesBack)
{
    const QString program = home.filePath("brenvo");
    writeFile(program, "binary");
    app->setProgramPath(program);
    ASSERT_EQ(Autostart(Autostart::defaultEntryPath(), program).setEnabled(true), std::nullopt);
    app->newWindow();
    QTimer::singleShot(0, [] {
        auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->informativeText(), "This operation cannot be undone.");
        EXPECT_NE(alert->defaultButton()->text(), "Uninstall");
        for (QAbstractButton* button : alert->buttons())
            if (button->text() == "Uninstall")
                button->click();
    });
    app->uninstall(nullptr);
    EXPECT_FALSE(QFile::exists(program));
    EXPECT_FALSE(QFile::exists(app->settings().filePath()));
    EXPECT_FALSE(QFile::exists(Autostart::defaultEntryPath()));
    app->stop();  // the controller saves as it stops; the uninstall wins
    EXPECT_FALSE(QDir(app->supportDirectory()).exists());
    EXPECT_FALSE(QFile::exists(app->settings().filePath()));
}

}  // namespace

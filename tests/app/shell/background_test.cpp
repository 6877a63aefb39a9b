#include "app/desktop/notifier.h"
#include "app/desktop/statusicon.h"
#include "app/settings/appsettings.h"
#include "app/shell/autostart.h"
#include "app/shell/background.h"
#include "app/shell/quitquestion.h"
#include "app/shell/statusicontext.h"

#include "tests/app/support/peers.h"
#include "tests/app/support/rows.h"
#include "tests/app/support/scripteddialogs.h"
#include "tests/support/testsupport.h"

#include "vortan/controller.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using vortan::Controller;
using vortan::FileRow;

using namespace brenvo;

namespace {

const auto row = [](auto... arguments) { return test::fileRow(arguments...); };

TEST(StatusIconText, SummaryCountsWhatRunsAndWhatTheMenuTakes)
{
    using S = FileRow::Status;
    struct Case {
        QList<FileRow> rows;
        QString summary;
    };
    const QList<Case> cases{
        {{}, ""},
        {{row(true, S::paused, 100, 0), row(true, S::done, 100, 100)}, ""},
        {{row(true, S::transferring, 1000, 340)}, "1 file, 34 %"},
        // Offers nobody fetches are not counted.
        {{row(true, S::transferring, 600, 200, 5), row(false, S::queued, 400, 140, 0)}, "1 file, 33 % — 2 min left"},
        {{row(false, S::queued, 400, 0), row(false, S::queued, 400, 140)}, ""},
        {{row(false, S::transferring, 1000, 999, 1000)}, "1 file, 99 % — less than a minute left"},
        {{row(true, S::transferring, 1 << 30, 0, 100'000)}, "1 file, 0 % — 2 h 59 min left"},
        {{row(true, S::queued, 0, 0)}, "1 file, 0 %"},  // an empty file: no division by zero
    };
    for (const Case& test : cases)
        EXPECT_EQ(transferSummary(test.rows), test.summary);

    // What Pause All, Resume All and the waiting offers take.
    FileRow running = row(false, S::transferring, 100, 50);
    FileRow pausedUpload = row(false, S::paused, 100, 50);
    FileRow newOffer = row(true, S::paused, 100, 0);
    FileRow pausedDownload = row(true, S::paused, 100, 25);
    pausedDownload.location = QUrl::fromLocalFile("/tmp/x");
    FileRow gone = row(true, S::paused, 100, 0);
    gone.unavailable = true;
    FileRow fromAnn = row(true, S::paused, 10, 0);
    fromAnn.user = "ann";
    const QList<FileRow> rows{running, pausedUpload, newOffer, pausedDownload, gone, fromAnn};

    EXPECT_EQ(pausableFiles(rows), QList<QUuid>{running.id});
    EXPECT_EQ(resumableFiles(rows), (QList<QUuid>{pausedUpload.id, pausedDownload.id}));
    const QList<WaitingOffers> waiting = waitingOffers(rows, {newOffer.id, gone.id, fromAnn.id, running.id});
    ASSERT_EQ(waiting.size(), 2);
    EXPECT_EQ(waiting[0].user, "bob");
    EXPECT_EQ(waiting[0].files, QList<QUuid>{newOffer.id});
    EXPECT_EQ(waiting[1].user, "ann");
}

TEST(QuitQuestion, ClosingTheLastWindowAsksWhileDownloadsRun)
{
    using S = FileRow::Status;
    FileRow withdrawn = row(true, S::queued, 100, 0);
    withdrawn.unavailable = true;
    // Sends, paused, finished and withdrawn downloads quit at once.
    const QList<FileRow> idle{row(false, S::transferring, 100, 50, 10), row(true, S::paused, 100, 50),
                              row(true, S::done, 100, 100), withdrawn};
    test::ScriptedDialogs dialogs;
    int quits = 0;
    EXPECT_TRUE(closeOrAskToQuit(nullptr, dialogs, idle, [&] { ++quits; }));
    EXPECT_TRUE(dialogs.asked.isEmpty());

    const QList<FileRow> running =
        idle + QList<FileRow>{row(true, S::transferring, 100, 50, 10), row(true, S::queued, 100, 0)};
    dialogs.answer({});  // Cancel: nothing happens
    EXPECT_FALSE(closeOrAskToQuit(nullptr, dialogs, running, [&] { ++quits; }));
    dialogs.answer("Quit");
    EXPECT_FALSE(closeOrAskToQuit(nullptr, dialogs, running, [&] { ++quits; }));
    QTRY_COMPARE_WITH_TIMEOUT(quits, 1, 5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(quits, 1);
    ASSERT_EQ(dialogs.asked.size(), 2);
    const Question& question = dialogs.asked.front().question;
    EXPECT_EQ(question.alert.text + ' ' + question.alert.informativeText,
              "Quit Brenvo? 2 downloads are running and will continue at the next start.");
}

TEST(Autostart, EntryIsValidForAnyPathAndGoesAway)
{
    QTemporaryDir dir;
    const QString entry = dir.filePath("autostart/com.halvinor.brenvo.desktop");
    const QString program = dir.filePath(R"(my "apps"/100% \brenvo$x)");
    const Autostart autostart(entry, program);
    EXPECT_FALSE(autostart.enabled());
    ASSERT_EQ(autostart.setEnabled(true), std::nullopt);
    EXPECT_TRUE(autostart.enabled());

    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    file.close();
    EXPECT_TRUE(text.contains(R"(Exec=env ")")) << qPrintable(text);
    EXPECT_TRUE(text.contains(R"(/my \\"apps\\"/100%% \\\\brenvo\\$x" --background)")) << qPrintable(text);
    EXPECT_TRUE(text.contains("\nX-GNOME-Autostart-enabled=true\n"));
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (!validator.isEmpty()) {
        QProcess validate;
        validate.start(validator, {entry});
        ASSERT_TRUE(validate.waitForFinished(30000));
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().toStdString();
    }

    // GIO starts it (it refuses to load an entry whose program it cannot find).
    const QString gio = QStandardPaths::findExecutable("gio");
    if (!gio.isEmpty()) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(program).absolutePath()));
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho \"$@\" > \"$0.ran\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess launch;
        launch.start(gio, {"launch", entry});
        ASSERT_TRUE(launch.waitForFinished(30000));
        EXPECT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return QFile::exists(program + ".ran"); }, 10000));
    }

    // Switched off by another tool: not on, and removing it still works.
    ASSERT_TRUE(file.open(QIODevice::Append | QIODevice::WriteOnly));
    file.write("Hidden=true\n");
    file.close();
    EXPECT_FALSE(autostart.enabled());
    EXPECT_EQ(autostart.setEnabled(false), std::nullopt);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(autostart.setEnabled(false), std::nullopt);  // already gone

    EXPECT_EQ(Autostart::entryText("/opt/brenvo\n[Desktop Entry]"), std::nullopt);
    EXPECT_TRUE(Autostart(entry, "/opt/brenvo\nX").setEnabled(true).has_value());
    EXPECT_FALSE(QFile::exists(entry));
}

struct NoNotifier : Notifier {
    int asked = 0;
    void authorise(std::function<void(const Authorisation&)> done) override
    {
        ++asked;
        done({false, "no server"});
    }
    void post(const Notification&, std::function<void(const Delivery&)> done) override { done({}); }
};

TEST(Background, WithoutAPanelNothingRunsUnseen)
{
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("Brenvo.conf"));
    test::Peer ann("Ann");
    Controller& controller = *ann.controller;
    NoNotifier notifier;
    int shown = 0;
    BackgroundActions actions{[&] { ++shown; }, [](const QList<QUuid>&) {}, [] {}, [] { return false; }};
    // A bus that is not there: no watcher will ever take the icon.
    const QDBusConnection noBus(QStringLiteral("brenvo-no-bus"));

    {
        Background background(controller, settings, notifier, actions, noBus);
        background.start(true, 50);
        EXPECT_FALSE(background.keepsRunning());
        EXPECT_TRUE(QGuiApplication::quitOnLastWindowClosed());
        EXPECT_EQ(shown, 0);  // waits for a panel a while
        QTRY_COMPARE_WITH_TIMEOUT(shown, 1, 5000);
        background.lastWindowClosed();
        EXPECT_EQ(notifier.asked, 0);  // quits, nothing to announce
    }
    settings.keepRunning.set(false);
    Background background(controller, settings, notifier, actions, noBus);
    background.start(true, 60000);
    EXPECT_EQ(shown, 2);  // no icon at all: a window at once
    EXPECT_EQ(background.statusIcon(), nullptr);
}

// New offers ask for attention until a window is seen.
TEST(Background, AttentionEndsOnceAWindowIsSeen)
{
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("Brenvo.conf"));
    test::Peer ann("Ann"), bob("Bob");
    ASSERT_TRUE(test::introduce(ann, bob));
    NoNotifier notifier;
    Background background(*ann.controller, settings, notifier,
                          {[] {}, [](const QList<QUuid>&) {}, [] {}, [] { return false; }},
                          QDBusConnection(QStringLiteral("brenvo-no-bus")));
    background.start(false);
    QObject::connect(ann.controller.get(), &Controller::filesReceived, &background,
                     [&](const QList<FileRow>& files) { background.didReceiveFiles(files); });
    bob.controller->shareFiles({vortan::File2::at(bob.makeFile("a.txt", 10).toLocalFile())}, {ann.key()});
    ann.controller->connectTo(bob.key());
    const auto status = [&] { return background.statusIcon()->status(); };
    ASSERT_TRUE(vortan::test::waitFor([&] { return status() == "NeedsAttention"; }, 20000));
    background.windowActivated();
    EXPECT_TRUE(vortan::test::waitFor([&] { return status() == "Active"; }, 5000));
}

}  // namespace

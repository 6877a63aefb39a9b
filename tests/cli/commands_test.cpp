// The brenvo-cli program as a person or a script meets it: help on every
// command, exit statuses 0/1/2/130/143, one error line naming what failed, a
// quiet standard error, the one-shot commands on a data directory and
// through a running `run`, and the end of `run` by signal, time-out,
// completion or a port in use.

#include "tests/e2e/clinode.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <csignal>

using namespace brenvo::e2e;

namespace {

// A command whose diagnostic lines go to a log file: standard error then
// holds only what the program itself says.
CliResult quiet(const CliNode& node, const QStringList& arguments)
{
    return node.cli(QStringList{"--log", node.folder("log.txt")} + arguments);
}

void expectOneErrorLine(const CliResult& result, int status, const QString& mentions)
{
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, status) << result.err.toStdString();
    const QStringList lines = result.errLines();
    ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith("brenvo-cli: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(mentions)) << lines[0].toStdString();
}

TEST(Commands, HelpOnEveryCommand)
{
    Scene scene;
    CliNode node(scene, "Ada");
    const CliResult overview = node.cli({"--help"});
    EXPECT_EQ(overview.exitCode, 0);
    // --help needs none of the command's required parts.
    for (const char* command : {"card", "import", "users", "files", "share", "pause", "resume", "remove", "run", "demo"}) {
        const CliResult result = node.cli({command, "--help"});
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_TRUE(result.out.startsWith(QByteArray("Usage: brenvo-cli [OPTIONS] ") + command)) << command;
        EXPECT_TRUE(result.out.contains("--data-dir")) << command;
        EXPECT_TRUE(result.err.isEmpty()) << command << ": " << result.err.toStdString();
        EXPECT_TRUE(overview.out.contains(QByteArray("\n  ") + command)) << command;
    }
    EXPECT_TRUE(overview.out.contains("Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted (SIGINT),\n"
                                      "143 terminated (SIGTERM)."));
    // Help starts nothing: no data directory appeared.
    EXPECT_FALSE(QFileInfo::exists(node.dataDir()));
}

TEST(Commands, UsageErrorsExitTwoWithOneLine)
{
    Scene scene;
    CliNode node(scene, "Ada");
    expectOneErrorLine(node.cli({"teleport"}), 2, "teleport");
    expectOneErrorLine(node.cli({"card", "--name", "Ada\tL"}), 2, "tab");
    expectOneErrorLine(node.cli({"card", "--port", "99999", "-o", "x"}), 2, "--port");
    expectOneErrorLine(node.cli({"run", "--timeout", "never"}), 2, "--timeout");
    EXPECT_FALSE(QFileInfo::exists(node.dataDir()));
}

TEST(Commands, CardsImportAndUsers)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    CliNode bo(scene, "Bo");
    const QString adaPrint = ada.makeCard();
    EXPECT_EQ(adaPrint.size(), 79);
    bo.makeCard();

    const QString junk = bo.folder("junk.bcard");
    QFile(junk).open(QIODevice::WriteOnly);
    // One good card, one that is not: the good one is taken, the other named.
    const CliResult imported = quiet(bo, {"import", ada.cardPath(), junk});
    expectOneErrorLine(imported, 1, "junk.bcard");
    EXPECT_EQ(imported.outLines(), QStringList{"Ada\t" + adaPrint});

    const CliResult users = bo.ok({"users"});
    EXPECT_EQ(users.outLines(),
              QStringList{QStringLiteral("Ada\t127.0.0.1:%1\t%2").arg(ada.port()).arg(adaPrint)});

    // A card of one's own is refused.
    expectOneErrorLine(quiet(bo, {"import", bo.cardPath()}), 1, "your own card");

    // Changing the card keeps the key; the new card updates the importer's entry.
    const CliResult renamed = ada.ok({"card", "--name", "Ada L", "--address", QString(), "-o", ada.folder()});
    EXPECT_EQ(renamed.outLines(), QStringList{"Ada L\t" + adaPrint});
    ASSERT_TRUE(QFileInfo::exists(ada.folder("Ada L.bcard")));
    bo.ok({"import", ada.folder("Ada L.bcard")});
    EXPECT_EQ(bo.ok({"users"}).outLines(),
              QStringList{QStringLiteral("Ada L\t-:%1\t%2").arg(ada.port()).arg(adaPrint)});
}

TEST(Commands, ShareAndTheRecordCommands)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    CliNode bo(scene, "Bo");
    ada.makeCard();
    bo.makeCard();
    ada.importCard(bo);

    const QString file = ada.folder("photo.jpg");
    writeRandomFile(file, 300000);
    expectOneErrorLine(quiet(ada, {"share", "--to", "Cy", file}), 1, "Cy");
    expectOneErrorLine(quiet(ada, {"share", "--to", "Bo", file, ada.folder("missing.jpg")}), 1, "missing.jpg");
    ASSERT_TRUE(QDir().mkpath(ada.folder("empty/emptier")));
    expectOneErrorLine(quiet(ada, {"share", "--to", "Bo", "empty"}), 1, "cannot offer empty: the folder holds no files");
    EXPECT_TRUE(ada.files().isEmpty()) << "a failed share offered something";

    // Relative paths are taken from the working directory (the node's folder).
    const QString id = ada.share("bo", "photo.jpg");
    QList<Record> records = ada.files();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].id, id);
    EXPECT_EQ(records[0].direction, "out");
    EXPECT_EQ(records[0].user, "Bo");
    EXPECT_EQ(records[0].size, 300000);
    EXPECT_EQ(records[0].total, 3);
    EXPECT_EQ(records[0].state, "active");
    EXPECT_EQ(records[0].location, file);

    EXPECT_EQ(ada.ok({"pause", id.left(6)}).outLines(), QStringList{id + "\tphoto.jpg\tpaused"});
    EXPECT_EQ(ada.record(id)->state, "paused");
    EXPECT_EQ(ada.ok({"resume", id.toUpper()}).outLines(), QStringList{id + "\tphoto.jpg\tactive"});
    expectOneErrorLine(quiet(ada, {"remove", "ffffffff"}), 1, "ffffffff");
    ada.ok({"remove", id});
    EXPECT_TRUE(ada.files().isEmpty());
    EXPECT_TRUE(QFileInfo::exists(file)) << "removing an offer deleted the shared file";
}

// While `run` owns the data directory the one-shot commands are carried out
// by it, with the output and statuses they have alone, and `files --watch`
// follows it; `run --accept` takes
// new offers only, never a download its user paused.
TEST(Commands, ARunningRunCarriesOutTheCommands)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    CliNode bo(scene, "Bo");
    const QString adaPrint = introduce(ada, bo);
    writeRandomFile(ada.folder("kept.bin"), 200000);
    const QByteArray newSha = writeRandomFile(ada.folder("new.bin"), 300000);
    const QString kept = ada.share("Bo", "kept.bin");
    writeRandomFile(ada.folder("held.bin"), 1000);
    const QString held = ada.share("Bo", "held.bin");
    writeRandomFile(ada.folder("gone.bin"), 1000);
    const QString gone = ada.share("Bo", "gone.bin");
    const QStringList watchFiles{"files", "--watch"};
    expectOneErrorLine(quiet(ada, watchFiles), 1, "none uses this data directory");
    const QStringList users = ada.ok({"users"}).outLines();

    auto sam = ada.run({"--timeout", "200"});
    ASSERT_TRUE(sam->waitForLineStartingWith("listening on port", kCommandTimeoutMs));
    RunningCli watch(QStringList{"--data-dir", ada.dataDir()} + watchFiles, scene.environment());
    ASSERT_TRUE(watch.waitForLineStartingWith(kept + "\tout\tBo\tkept.bin", kCommandTimeoutMs));

    EXPECT_EQ(ada.ok({"card"}).outLines(),
              QStringList{QStringLiteral("Ada\t127.0.0.1:%1\t%2").arg(ada.port()).arg(adaPrint)});
    QFile card(ada.cardPath());
    ASSERT_TRUE(card.open(QIODevice::ReadOnly));
    EXPECT_EQ(ada.ok({"card", "-o", "-"}).out, card.readAll());
    expectOneErrorLine(quiet(ada, {"remove", "ffffffff"}), 1, "ffffffff");
    EXPECT_EQ(ada.ok({"users"}).outLines(), users);
    expectOneErrorLine(quiet(ada, {"import", ada.cardPath()}), 1, ada.cardPath() + " is your own card");
    ASSERT_TRUE(QDir().mkpath(ada.folder("empty")));
    expectOneErrorLine(quiet(ada, {"share", "--to", "Bo", ada.folder("empty")}), 1, "the folder holds no files");
    EXPECT_EQ(ada.ok({"pause", kept}).outLines(), QStringList{kept + "\tkept.bin\tpaused"});
    EXPECT_EQ(ada.ok({"resume", kept}).outLines(), QStringList{kept + "\tkept.bin\tactive"});
    // A relative path is the requester's; the same file twice makes one record.
    const QString fresh = ada.share("bo", "new.bin");
    EXPECT_EQ(ada.ok({"share", "--to", "Bo", "new.bin"}).outLines(),
              QStringList{fresh + "\tBo\tnew.bin\talready offered"});
    EXPECT_EQ(ada.files().size(), 4);
    EXPECT_TRUE(sam->errors().isEmpty()) << sam->errors().toStdString();
    EXPECT_TRUE(watch.waitForLineStartingWith(fresh + "\tout\tBo\tnew.bin", kCommandTimeoutMs));
    watch.signal(SIGINT);
    ASSERT_TRUE(watch.waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(watch.exitCode(), 130);

    // Bo takes the list, then starts and pauses one download and holds back
    // another before it started; Ada withdraws one, which does not hold Bo.
    const QStringList visit{"--connect", "Ada",           "--exit-when-done", "--timeout",
                            "100",       "--download-to", bo.downloads()};
    auto first = bo.run(visit);
    ASSERT_TRUE(first->waitForExit());
    ASSERT_EQ(first->exitCode(), 0) << first->output().toStdString();
    bo.ok({"resume", kept});
    bo.ok({"pause", kept});
    bo.ok({"pause", held});
    ada.ok({"remove", gone});
    auto second = bo.run(visit + QStringList{"--accept", "Ada"});
    ASSERT_TRUE(second->waitForExit());
    EXPECT_EQ(second->exitCode(), 0) << second->output().toStdString() << second->errors().toStdString();
    EXPECT_EQ(second->lines().count("Ada removed gone.bin"), 1) << second->output().toStdString();
    EXPECT_EQ(bo.record(gone)->error, "Not shared anymore.");
    EXPECT_EQ(sha256OfFile(bo.downloads() + "/new.bin"), newSha);
    EXPECT_EQ(bo.record(kept)->state, "paused");
    EXPECT_EQ(bo.record(held)->state, "paused");
    EXPECT_FALSE(QFileInfo::exists(bo.downloads() + "/held.bin"));

    sam->signal(SIGTERM);
    ASSERT_TRUE(sam->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(sam->exitCode(), 143);
}

TEST(Commands, FailuresToStartNameTheirCause)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    ada.makeCard();

    // Another process owns the data directory.
    {
        QLockFile lock(ada.dataDir() + "/brenvo.lock");
        ASSERT_TRUE(lock.tryLock(0));
        expectOneErrorLine(quiet(ada, {"users"}), 1, ada.dataDir());
    }
    EXPECT_EQ(ada.cli({"users"}).exitCode, 0);

    // The Secret Service was asked for, and there is no bus to reach it.
    CliNode bo(scene, "Bo");
    expectOneErrorLine(quiet(bo, {"users", "--key-store", "secret-service"}), 1, "Secret Service");
    EXPECT_FALSE(QFileInfo::exists(bo.dataDir() + "/identity.key"));
}

// A stored file that cannot be read or written is said once, on standard
// error, with what became of it.
TEST(Commands, StoredFilesThatCannotBeReadOrSavedAreSaid)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    ada.makeCard();
    const QString stored = ada.dataDir() + "/transfers.plist";
    QFile damaged(stored);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly) && damaged.write("not a property list") > 0);
    damaged.close();
    const CliResult users = ada.cli({"users"});
    EXPECT_EQ(users.exitCode, 0) << users.err.toStdString();
    ASSERT_EQ(users.errLines().size(), 1) << users.err.toStdString();
    const QString line = users.errLines()[0];
    EXPECT_TRUE(line.startsWith("brenvo-cli: warning: " + stored + " could not be read (")) << line.toStdString();
    EXPECT_TRUE(line.contains("; it was kept as " + stored + ".unreadable-")) << line.toStdString();

    // The folder is gone when run stops: each file is said to be lost.
    auto run = ada.run({});
    ASSERT_TRUE(run->waitForLineStartingWith(QStringLiteral("listening on port %1").arg(ada.port()), kCommandTimeoutMs))
        << run->errors().toStdString();
    ASSERT_TRUE(QDir().rename(ada.dataDir(), ada.dataDir() + ".moved"));
    ASSERT_TRUE(QFile(ada.dataDir()).open(QIODevice::WriteOnly));
    run->signal(SIGTERM);
    ASSERT_TRUE(run->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(run->exitCode(), 128 + SIGTERM);
    // (Qt also says that the lock file went with the folder.)
    const QStringList lost = splitLines(run->errors()).filter("brenvo-cli: ");
    EXPECT_EQ(lost.size(), 4) << run->errors().toStdString();
    for (const char* name : {"transfers.plist", "users.plist", "me.plist", "deleted.plist"}) {
        EXPECT_EQ(lost.filter(QStringLiteral("brenvo-cli: warning: Could not save %1 in %2: ").arg(name, ada.dataDir())).size(), 1)
            << name << "\n" << run->errors().toStdString();
    }
}

TEST(Commands, DiagnosticLinesGoWhereAsked)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    // Quiet by default: the library's info lines only with -v or in the log.
    const CliResult plain = ada.ok({"users"});
    EXPECT_TRUE(plain.out.isEmpty());
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();
    const CliResult verbose = ada.ok({"-v", "users"});
    EXPECT_TRUE(verbose.err.contains("Using key store: key file ")) << verbose.err.toStdString();

    const CliResult logged = quiet(ada, {"users"});
    EXPECT_EQ(logged.exitCode, 0);
    EXPECT_TRUE(logged.err.isEmpty()) << logged.err.toStdString();
    QFile log(ada.folder("log.txt"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Using key store: key file "));
}

TEST(Commands, RunEndsBySignalTimeOutOrCompletion)
{
    Scene scene;
    CliNode ada(scene, "Ada");
    CliNode bo(scene, "Bo");
    ada.makeCard();
    bo.makeCard();
    ada.importCard(bo);

    for (const int number : {SIGINT, SIGTERM}) {
        const QString log = ada.folder(QStringLiteral("run-%1.log").arg(number));
        auto run = ada.run({"--log", log});
        ASSERT_TRUE(run->waitForLineStartingWith(QStringLiteral("listening on port %1").arg(ada.port()), kCommandTimeoutMs))
            << run->errors().toStdString();
        // Twice at once, as GNU timeout does (to the program, then to its
        // process group): the second one does not cut the stop short.
        run->signal(number);
        run->signal(number);
        ASSERT_TRUE(run->waitForExit(kCommandTimeoutMs));
        EXPECT_TRUE(run->exitedNormally());
        EXPECT_EQ(run->exitCode(), 128 + number);
        EXPECT_TRUE(run->errors().isEmpty()) << run->errors().toStdString();
        QFile lines(log);
        ASSERT_TRUE(lines.open(QIODevice::ReadOnly));
        EXPECT_TRUE(lines.readAll().contains("Stopped port mapping.")) << "stop() was not run";
    }

    // Bo is not there: the address, the error and the next try are events.
    auto refused = ada.run({"--connect", "Bo", "--timeout", "20"});
    ASSERT_TRUE(refused->waitForLine(
        [](const QString& line) { return line.contains(QString::fromUtf8(" (connection refused) \u2014 trying again in 5 s")); },
        kCommandTimeoutMs))
        << refused->output().toStdString();
    EXPECT_TRUE(refused->lineStartingWith(
        QStringLiteral("Bo is offline or unreachable at 127.0.0.1:%1 (connection refused)").arg(bo.port())));
    EXPECT_TRUE(refused->errors().isEmpty()) << refused->errors().toStdString();

    // A port taken (by that run) fails a run at once, naming it.
    CliNode cy(scene, "Cy");
    cy.ok({"card", "--port", QString::number(ada.port())});
    auto taken = cy.run({});
    ASSERT_TRUE(taken->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(taken->exitCode(), 1);
    EXPECT_TRUE(taken->errors().contains(
        QStringLiteral("brenvo-cli: Port %1 is in use by another program: choose another port").arg(ada.port()).toUtf8()))
        << taken->errors().toStdString();
    EXPECT_TRUE(taken->errors().contains("card --port")) << taken->errors().toStdString();
    refused->signal(SIGTERM);
    ASSERT_TRUE(refused->waitForExit(kCommandTimeoutMs));

    // Bo is there but has not imported Ada's card.
    auto boRun = bo.run({});
    ASSERT_TRUE(boRun->waitForLineStartingWith("listening on port", kCommandTimeoutMs)) << boRun->errors().toStdString();
    auto notAccepted = ada.run({"--connect", "Bo", "--timeout", "20"});
    EXPECT_TRUE(notAccepted->waitForLineStartingWith(
        QString::fromUtf8("Bo did not accept the connection: has Bo imported your card? \u2014 trying again in 5 s"),
        kCommandTimeoutMs))
        << notAccepted->output().toStdString();
    for (auto* run : {notAccepted.get(), boRun.get()}) {
        run->signal(SIGTERM);
        ASSERT_TRUE(run->waitForExit(kCommandTimeoutMs));
    }

    // Nobody comes: the time-out ends the run with status 1 and says what it waited for.
    auto waiting = ada.run({"--connect", "Bo", "--exit-when-done", "--timeout", "0.5"});
    ASSERT_TRUE(waiting->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(waiting->exitCode(), 1);
    EXPECT_TRUE(waiting->errors().contains("brenvo-cli: timed out after 0.5 s waiting for Bo to connect"))
        << waiting->errors().toStdString();

    // A card without an address: nothing to call, only to wait for.
    bo.ok({"card", "--address", QString(), "-o", bo.cardPath()});
    ada.importCard(bo);
    auto noAddress = ada.run({"--connect", "Bo", "--timeout", "0.3"});
    ASSERT_TRUE(noAddress->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(noAddress->exitCode(), 1);
    EXPECT_TRUE(noAddress->lineStartingWith("Bo's card has no address: ask Bo for a new card"))
        << noAddress->output().toStdString();

    // Nothing to wait for: done at once.
    auto idle = ada.run({"--no-listen", "--exit-when-done"});
    ASSERT_TRUE(idle->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(idle->exitCode(), 0);
    EXPECT_EQ(idle->lines(), QStringList{"All transfers done."});

    // A user nobody knows.
    auto unknown = ada.run({"--connect", "Zed"});
    ASSERT_TRUE(unknown->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(unknown->exitCode(), 1);
    EXPECT_TRUE(unknown->errors().contains("brenvo-cli: no user named \"Zed\""));
}

TEST(Commands, DemoComparesChecksums)
{
    Scene scene;
    CliNode node(scene, "Ada");
    const CliResult demo = node.cli({"demo", "--size", "1M"}, kTransferTimeoutMs);
    EXPECT_EQ(demo.exitCode, 0) << demo.out.toStdString() << demo.err.toStdString();
    const QStringList lines = demo.outLines();
    const auto line = [&](const QString& prefix) {
        for (const QString& l : lines) {
            if (l.startsWith(prefix))
                return l.mid(prefix.size());
        }
        return QString();
    };
    EXPECT_EQ(line("SHA-256 sent:     ").size(), 64);
    EXPECT_EQ(line("SHA-256 sent:     "), line("SHA-256 received: "));
    EXPECT_TRUE(line("Checksums match: ").contains("MiB/s")) << demo.out.toStdString();
    // It kept to its temporary folders.
    EXPECT_FALSE(QFileInfo::exists(node.dataDir()));
    EXPECT_FALSE(QFileInfo::exists(scene.dataHome() + "/Brenvo"));
}

}  // namespace

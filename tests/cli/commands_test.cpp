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
    return node.cli(QStringList{QStringLiteral("--log"), node.folder(QStringLiteral("log.txt"))} + arguments);
}

void expectOneErrorLine(const CliResult& result, int status, const QString& mentions)
{
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, status) << result.err.toStdString();
    const QStringList lines = result.errLines();
    ASSERT_EQ(lines.size(), 1) << result.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("brenvo-cli: "))) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(mentions)) << lines[0].toStdString();
}

TEST(Commands, HelpOnEveryCommand)
{
    Scene scene;
    CliNode node(scene, QStringLiteral("Ada"));
    for (const char* command : {"card", "import", "users", "files", "share", "pause", "resume", "remove", "run", "demo"}) {
        const CliResult result = node.cli({QString::fromLatin1(command), QStringLiteral("--help")});
        EXPECT_EQ(result.exitCode, 0) << command;
        EXPECT_TRUE(result.out.startsWith("Usage: brenvo-cli")) << command;
        EXPECT_TRUE(result.out.contains(QByteArray(" ") + command)) << command;
        EXPECT_TRUE(result.err.isEmpty()) << command << ": " << result.err.toStdString();
    }
    const CliResult overview = node.cli({QStringLiteral("--help")});
    EXPECT_EQ(overview.exitCode, 0);
    EXPECT_TRUE(overview.out.contains("Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted (SIGINT),\n"
                                      "143 terminated (SIGTERM)."));
    // Help starts nothing: no data directory appeared.
    EXPECT_FALSE(QFileInfo::exists(node.dataDir()));
}

TEST(Commands, UsageErrorsExitTwoWithOneLine)
{
    Scene scene;
    CliNode node(scene, QStringLiteral("Ada"));
    expectOneErrorLine(node.cli({QStringLiteral("teleport")}), 2, QStringLiteral("teleport"));
    expectOneErrorLine(node.cli({QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral("Ada\tL")}), 2, QStringLiteral("tab"));
    expectOneErrorLine(node.cli({QStringLiteral("card"), QStringLiteral("--port"), QStringLiteral("99999"), QStringLiteral("-o"), QStringLiteral("x")}),
                       2, QStringLiteral("--port"));
    expectOneErrorLine(node.cli({QStringLiteral("run"), QStringLiteral("--timeout"), QStringLiteral("never")}), 2, QStringLiteral("--timeout"));
    EXPECT_FALSE(QFileInfo::exists(node.dataDir()));
}

TEST(Commands, CardsImportAndUsers)
{
    Scene scene;
    CliNode ada(scene, QStringLiteral("Ada"));
    CliNode bo(scene, QStringLiteral("Bo"));
    const QString adaPrint = ada.makeCard();
    EXPECT_EQ(adaPrint.size(), 79);
    bo.makeCard();

    const QString junk = bo.folder(QStringLiteral("junk.bcard"));
    QFile(junk).open(QIODevice::WriteOnly);
    // One good card, one that is not: the good one is taken, the other named.
    const CliResult imported = quiet(bo, {QStringLiteral("import"), ada.cardPath(), junk});
    expectOneErrorLine(imported, 1, QStringLiteral("junk.bcard"));
    EXPECT_EQ(imported.outLines(), QStringList{QStringLiteral("Ada\t") + adaPrint});

    const CliResult users = bo.ok({QStringLiteral("users")});
    EXPECT_EQ(users.outLines(),
              QStringList{QStringLiteral("Ada\t127.0.0.1:%1\t%2").arg(ada.port()).arg(adaPrint)});

    // A card of one's own is refused.
    expectOneErrorLine(quiet(bo, {QStringLiteral("import"), bo.cardPath()}), 1, QStringLiteral("your own card"));

    // Changing the card keeps the key; the new card updates the importer's entry.
    const CliResult renamed = ada.ok({QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral("Ada L"),
                                      QStringLiteral("--address"), QString(), QStringLiteral("-o"), ada.folder()});
    EXPECT_EQ(renamed.outLines(), QStringList{QStringLiteral("Ada L\t") + adaPrint});
    ASSERT_TRUE(QFileInfo::exists(ada.folder(QStringLiteral("Ada L.bcard"))));
    bo.ok({QStringLiteral("import"), ada.folder(QStringLiteral("Ada L.bcard"))});
    EXPECT_EQ(bo.ok({QStringLiteral("users")}).outLines(),
              QStringList{QStringLiteral("Ada L\t-:%1\t%2").arg(ada.port()).arg(adaPrint)});
}

TEST(Commands, ShareAndTheRecordCommands)
{
    Scene scene;
    CliNode ada(scene, QStringLiteral("Ada"));
    CliNode bo(scene, QStringLiteral("Bo"));
    ada.makeCard();
    bo.makeCard();
    ada.importCard(bo);

    const QString file = ada.folder(QStringLiteral("photo.jpg"));
    writeRandomFile(file, 300000);
    expectOneErrorLine(quiet(ada, {QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Cy"), file}), 1,
                       QStringLiteral("Cy"));
    expectOneErrorLine(quiet(ada, {QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Bo"), file,
                                   ada.folder(QStringLiteral("missing.jpg"))}),
                       1, QStringLiteral("missing.jpg"));
    expectOneErrorLine(quiet(ada, {QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Bo"), ada.folder()}), 1,
                       ada.name());
    EXPECT_TRUE(ada.files().isEmpty()) << "a failed share offered something";

    // Relative paths are taken from the working directory (the node's folder).
    const QString id = ada.share(QStringLiteral("bo"), QStringLiteral("photo.jpg"));
    QList<Record> records = ada.files();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].id, id);
    EXPECT_EQ(records[0].direction, QStringLiteral("out"));
    EXPECT_EQ(records[0].user, QStringLiteral("Bo"));
    EXPECT_EQ(records[0].size, 300000);
    EXPECT_EQ(records[0].total, 3);
    EXPECT_EQ(records[0].state, QStringLiteral("active"));
    EXPECT_EQ(records[0].location, file);

    EXPECT_EQ(ada.ok({QStringLiteral("pause"), id.left(6)}).outLines(),
              QStringList{id + QStringLiteral("\tphoto.jpg\tpaused")});
    EXPECT_EQ(ada.record(id)->state, QStringLiteral("paused"));
    EXPECT_EQ(ada.ok({QStringLiteral("resume"), id.toUpper()}).outLines(),
              QStringList{id + QStringLiteral("\tphoto.jpg\tactive")});
    expectOneErrorLine(quiet(ada, {QStringLiteral("remove"), QStringLiteral("ffffffff")}), 1, QStringLiteral("ffffffff"));
    ada.ok({QStringLiteral("remove"), id});
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
    CliNode ada(scene, QStringLiteral("Ada"));
    CliNode bo(scene, QStringLiteral("Bo"));
    const QString adaPrint = ada.makeCard();
    bo.makeCard();
    ada.importCard(bo);
    bo.importCard(ada);
    writeRandomFile(ada.folder(QStringLiteral("kept.bin")), 200000);
    const QByteArray newSha = writeRandomFile(ada.folder(QStringLiteral("new.bin")), 300000);
    const QString kept = ada.share(QStringLiteral("Bo"), QStringLiteral("kept.bin"));
    writeRandomFile(ada.folder(QStringLiteral("held.bin")), 1000);
    const QString held = ada.share(QStringLiteral("Bo"), QStringLiteral("held.bin"));
    writeRandomFile(ada.folder(QStringLiteral("gone.bin")), 1000);
    const QString gone = ada.share(QStringLiteral("Bo"), QStringLiteral("gone.bin"));
    const QStringList watchFiles{QStringLiteral("files"), QStringLiteral("--watch")};
    expectOneErrorLine(quiet(ada, watchFiles), 1, QStringLiteral("none uses this data directory"));

    auto sam = ada.run({QStringLiteral("--timeout"), QStringLiteral("200")});
    ASSERT_TRUE(sam->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
    RunningCli watch(QStringList{QStringLiteral("--data-dir"), ada.dataDir()} + watchFiles, scene.environment());
    ASSERT_TRUE(watch.waitForLineStartingWith(kept + QStringLiteral("\tout\tBo\tkept.bin"), kCommandTimeoutMs));

    EXPECT_EQ(ada.ok({QStringLiteral("card")}).outLines(),
              QStringList{QStringLiteral("Ada\t127.0.0.1:%1\t%2").arg(ada.port()).arg(adaPrint)});
    QFile card(ada.cardPath());
    ASSERT_TRUE(card.open(QIODevice::ReadOnly));
    EXPECT_EQ(ada.ok({QStringLiteral("card"), QStringLiteral("-o"), QStringLiteral("-")}).out, card.readAll());
    expectOneErrorLine(quiet(ada, {QStringLiteral("remove"), QStringLiteral("ffffffff")}), 1, QStringLiteral("ffffffff"));
    expectOneErrorLine(quiet(ada, {QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Bo"), ada.folder()}), 1,
                       QStringLiteral("is a folder: share the files inside, or an archive of it"));
    EXPECT_EQ(ada.ok({QStringLiteral("pause"), kept}).outLines(), QStringList{kept + QStringLiteral("\tkept.bin\tpaused")});
    EXPECT_EQ(ada.ok({QStringLiteral("resume"), kept}).outLines(), QStringList{kept + QStringLiteral("\tkept.bin\tactive")});
    // A relative path is the requester's; the same file twice makes one record.
    const QString fresh = ada.share(QStringLiteral("bo"), QStringLiteral("new.bin"));
    EXPECT_EQ(ada.ok({QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Bo"), QStringLiteral("new.bin")}).outLines(),
              QStringList{fresh + QStringLiteral("\tBo\tnew.bin\talready offered")});
    EXPECT_EQ(ada.files().size(), 4);
    EXPECT_TRUE(sam->errors().isEmpty()) << sam->errors().toStdString();
    EXPECT_TRUE(watch.waitForLineStartingWith(fresh + QStringLiteral("\tout\tBo\tnew.bin"), kCommandTimeoutMs));
    watch.signal(SIGINT);
    ASSERT_TRUE(watch.waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(watch.exitCode(), 130);

    // Bo takes the list, then starts and pauses one download and holds back
    // another before it started; Ada withdraws one, which does not hold Bo.
    const QStringList visit{QStringLiteral("--connect"), QStringLiteral("Ada"), QStringLiteral("--exit-when-done"),
                            QStringLiteral("--timeout"), QStringLiteral("100"), QStringLiteral("--download-to"), bo.downloads()};
    auto first = bo.run(visit);
    ASSERT_TRUE(first->waitForExit());
    ASSERT_EQ(first->exitCode(), 0) << first->output().toStdString();
    bo.ok({QStringLiteral("resume"), kept});
    bo.ok({QStringLiteral("pause"), kept});
    bo.ok({QStringLiteral("pause"), held});
    ada.ok({QStringLiteral("remove"), gone});
    auto second = bo.run(visit + QStringList{QStringLiteral("--accept"), QStringLiteral("Ada")});
    ASSERT_TRUE(second->waitForExit());
    EXPECT_EQ(second->exitCode(), 0) << second->output().toStdString() << second->errors().toStdString();
    EXPECT_EQ(second->lines().count(QStringLiteral("Ada removed gone.bin")), 1) << second->output().toStdString();
    EXPECT_EQ(bo.record(gone)->error, QStringLiteral("Not shared anymore."));
    EXPECT_EQ(sha256OfFile(bo.downloads() + QStringLiteral("/new.bin")), newSha);
    EXPECT_EQ(bo.record(kept)->state, QStringLiteral("paused"));
    EXPECT_EQ(bo.record(held)->state, QStringLiteral("paused"));
    EXPECT_FALSE(QFileInfo::exists(bo.downloads() + QStringLiteral("/held.bin")));

    sam->signal(SIGTERM);
    ASSERT_TRUE(sam->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(sam->exitCode(), 143);
}

TEST(Commands, FailuresToStartNameTheirCause)
{
    Scene scene;
    CliNode ada(scene, QStringLiteral("Ada"));
    ada.makeCard();

    // Another process owns the data directory.
    {
        QLockFile lock(ada.dataDir() + QStringLiteral("/brenvo.lock"));
        ASSERT_TRUE(lock.tryLock(0));
        expectOneErrorLine(quiet(ada, {QStringLiteral("users")}), 1, ada.dataDir());
    }
    EXPECT_EQ(ada.cli({QStringLiteral("users")}).exitCode, 0);

    // The Secret Service was asked for, and there is no bus to reach it.
    CliNode bo(scene, QStringLiteral("Bo"));
    expectOneErrorLine(quiet(bo, {QStringLiteral("users"), QStringLiteral("--key-store"), QStringLiteral("secret-service")}),
                       1, QStringLiteral("Secret Service"));
    EXPECT_FALSE(QFileInfo::exists(bo.dataDir() + QStringLiteral("/identity.key")));
}

TEST(Commands, DiagnosticLinesGoWhereAsked)
{
    Scene scene;
    CliNode ada(scene, QStringLiteral("Ada"));
    // Quiet by default: the library's info lines only with -v or in the log.
    const CliResult plain = ada.ok({QStringLiteral("users")});
    EXPECT_TRUE(plain.out.isEmpty());
    EXPECT_TRUE(plain.err.isEmpty()) << plain.err.toStdString();
    const CliResult verbose = ada.ok({QStringLiteral("-v"), QStringLiteral("users")});
    EXPECT_TRUE(verbose.err.contains("Using key store: key file ")) << verbose.err.toStdString();

    const CliResult logged = quiet(ada, {QStringLiteral("users")});
    EXPECT_EQ(logged.exitCode, 0);
    EXPECT_TRUE(logged.err.isEmpty()) << logged.err.toStdString();
    QFile log(ada.folder(QStringLiteral("log.txt")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("Using key store: key file "));
}

TEST(Commands, RunEndsBySignalTimeOutOrCompletion)
{
    Scene scene;
    CliNode ada(scene, QStringLiteral("Ada"));
    CliNode bo(scene, QStringLiteral("Bo"));
    ada.makeCard();
    bo.makeCard();
    ada.importCard(bo);

    for (const int number : {SIGINT, SIGTERM}) {
        const QString log = ada.folder(QStringLiteral("run-%1.log").arg(number));
        auto run = ada.run({QStringLiteral("--log"), log});
        ASSERT_TRUE(run->waitForLineStartingWith(QStringLiteral("listening on port %1").arg(ada.port()), kCommandTimeoutMs))
            << run->errors().toStdString();
        run->signal(number);
        ASSERT_TRUE(run->waitForExit(kCommandTimeoutMs));
        EXPECT_EQ(run->exitCode(), 128 + number);
        EXPECT_TRUE(run->errors().isEmpty()) << run->errors().toStdString();
        QFile lines(log);
        ASSERT_TRUE(lines.open(QIODevice::ReadOnly));
        EXPECT_TRUE(lines.readAll().contains("Stopped port mapping.")) << "stop() was not run";
    }

    // Bo is not there: the address, the error and the next try are events.
    auto refused = ada.run({QStringLiteral("--connect"), QStringLiteral("Bo"), QStringLiteral("--timeout"), QStringLiteral("20")});
    ASSERT_TRUE(refused->waitForLine([](const QString& line) {
        return line.contains(QStringLiteral(": connection refused; trying again in "));
    }, kCommandTimeoutMs)) << refused->output().toStdString();
    EXPECT_TRUE(refused->lineStartingWith(QStringLiteral("cannot reach Bo at 127.0.0.1:%1: connection refused").arg(bo.port())));
    EXPECT_TRUE(refused->errors().isEmpty()) << refused->errors().toStdString();

    // A port taken (by that run) fails a run at once, naming it.
    CliNode cy(scene, QStringLiteral("Cy"));
    cy.ok({QStringLiteral("card"), QStringLiteral("--port"), QString::number(ada.port())});
    auto taken = cy.run({});
    ASSERT_TRUE(taken->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(taken->exitCode(), 1);
    EXPECT_TRUE(taken->errors().contains(QStringLiteral("brenvo-cli: port %1 is in use").arg(ada.port()).toUtf8()))
        << taken->errors().toStdString();
    EXPECT_TRUE(taken->errors().contains("card --port")) << taken->errors().toStdString();
    refused->signal(SIGTERM);
    ASSERT_TRUE(refused->waitForExit(kCommandTimeoutMs));

    // Nobody comes: the time-out ends the run with status 1 and says what it waited for.
    auto waiting = ada.run({QStringLiteral("--connect"), QStringLiteral("Bo"), QStringLiteral("--exit-when-done"),
                            QStringLiteral("--timeout"), QStringLiteral("0.5")});
    ASSERT_TRUE(waiting->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(waiting->exitCode(), 1);
    EXPECT_TRUE(waiting->errors().contains("brenvo-cli: timed out after 0.5 s waiting for Bo to connect"))
        << waiting->errors().toStdString();

    // A card without an address: nothing to call, only to wait for.
    bo.ok({QStringLiteral("card"), QStringLiteral("--address"), QString(), QStringLiteral("-o"), bo.cardPath()});
    ada.importCard(bo);
    auto noAddress = ada.run({QStringLiteral("--connect"), QStringLiteral("Bo"), QStringLiteral("--timeout"), QStringLiteral("0.3")});
    ASSERT_TRUE(noAddress->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(noAddress->exitCode(), 1);
    EXPECT_TRUE(noAddress->lineStartingWith(QStringLiteral("Bo has no address and port on their card")))
        << noAddress->output().toStdString();

    // Nothing to wait for: done at once.
    auto idle = ada.run({QStringLiteral("--no-listen"), QStringLiteral("--exit-when-done")});
    ASSERT_TRUE(idle->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(idle->exitCode(), 0);
    EXPECT_EQ(idle->lines(), QStringList{QStringLiteral("All transfers done.")});

    // A user nobody knows.
    auto unknown = ada.run({QStringLiteral("--connect"), QStringLiteral("Zed")});
    ASSERT_TRUE(unknown->waitForExit(kCommandTimeoutMs));
    EXPECT_EQ(unknown->exitCode(), 1);
    EXPECT_TRUE(unknown->errors().contains("brenvo-cli: no user named \"Zed\""));
}

TEST(Commands, DemoComparesChecksums)
{
    Scene scene;
    CliNode node(scene, QStringLiteral("Ada"));
    const CliResult demo = node.cli({QStringLiteral("demo"), QStringLiteral("--size"), QStringLiteral("1M")}, kTransferTimeoutMs);
    EXPECT_EQ(demo.exitCode, 0) << demo.out.toStdString() << demo.err.toStdString();
    const QStringList lines = demo.outLines();
    const auto line = [&](const QString& prefix) {
        for (const QString& l : lines) {
            if (l.startsWith(prefix))
                return l.mid(prefix.size());
        }
        return QString();
    };
    EXPECT_EQ(line(QStringLiteral("SHA-256 sent:     ")).size(), 64);
    EXPECT_EQ(line(QStringLiteral("SHA-256 sent:     ")), line(QStringLiteral("SHA-256 received: ")));
    EXPECT_TRUE(line(QStringLiteral("Checksums match: ")).contains(QStringLiteral("MiB/s"))) << demo.out.toStdString();
    // It kept to its temporary folders.
    EXPECT_FALSE(QFileInfo::exists(node.dataDir()));
    EXPECT_FALSE(QFileInfo::exists(scene.dataHome() + QStringLiteral("/Brenvo")));
}

}  // namespace

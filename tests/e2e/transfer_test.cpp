// Whole transfers between brenvo-cli processes over 127.0.0.1: the sizes
// around the block boundaries, one offer to two people, and a download that
// replaces a file already at its place (which goes to the Trash).

#include "tests/e2e/clinode.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace brenvo::e2e;

namespace {

// Two people who exchanged cards.
struct Pair {
    Scene scene;
    CliNode sender{scene, QStringLiteral("Sam")};
    CliNode receiver{scene, QStringLiteral("Val")};
    std::optional<QString> replaced;  // the receiver's line on a file it replaced

    Pair()
    {
        sender.makeCard();
        receiver.makeCard();
        sender.importCard(receiver);
        receiver.importCard(sender);
    }

    // Sam runs until his offers are delivered; Val connects to him, takes
    // what he offers and ends when it is all in place.
    void transfer()
    {
        auto sam = sender.run({QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"), QStringLiteral("100")});
        ASSERT_TRUE(sam->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs))
            << sam->errors().toStdString();
        auto val = receiver.run({QStringLiteral("--connect"), QStringLiteral("Sam"), QStringLiteral("--accept"),
                                 QStringLiteral("Sam"), QStringLiteral("--download-to"), receiver.downloads(),
                                 QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"), QStringLiteral("100")});
        ASSERT_TRUE(val->waitForExit());
        EXPECT_EQ(val->exitCode(), 0) << val->output().toStdString() << "\n" << val->errors().toStdString();
        ASSERT_TRUE(sam->waitForExit());
        EXPECT_EQ(sam->exitCode(), 0) << sam->output().toStdString() << "\n" << sam->errors().toStdString();
        EXPECT_TRUE(val->lineStartingWith(QStringLiteral("All transfers done.")));
        EXPECT_TRUE(sam->lineStartingWith(QStringLiteral("All transfers done.")));
        // Quiet: no library line on standard error without -v.
        EXPECT_TRUE(val->errors().isEmpty()) << val->errors().toStdString();
        EXPECT_TRUE(sam->errors().isEmpty()) << sam->errors().toStdString();
        replaced = val->lineStartingWith(QStringLiteral("moved the existing "));
    }
};

// A file already at the place of one of them goes to the Trash.
TEST(Transfer, SizesAroundTheBlockBoundaryArriveWhole)
{
    Pair pair;
    const QList<std::int64_t> sizes{0, 1, 131071, 131072, 131073, 5 * 1024 * 1024 + 1};
    QHash<QString, QByteArray> expected;
    for (const std::int64_t size : sizes) {
        const QString name = QStringLiteral("size-%1.bin").arg(size);
        const QString path = pair.sender.folder(name);
        expected.insert(name, writeRandomFile(path, size));
        pair.sender.share(QStringLiteral("Val"), path);
    }
    QDir().mkpath(pair.receiver.downloads());
    ASSERT_TRUE(vortan::test::writeFile(pair.receiver.downloads() + QStringLiteral("/size-1.bin"), "the old notes\n"));

    pair.transfer();

    EXPECT_EQ(vortan::test::readFile(pair.scene.dataHome() + QStringLiteral("/Trash/files/size-1.bin")),
              QByteArray("the old notes\n"));
    EXPECT_TRUE(QFileInfo::exists(pair.scene.dataHome() + QStringLiteral("/Trash/info/size-1.bin.trashinfo")));
    EXPECT_EQ(pair.replaced, std::optional<QString>(QStringLiteral("moved the existing size-1.bin to the Trash")));

    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        const QString path = pair.receiver.downloads() + QLatin1Char('/') + it.key();
        EXPECT_TRUE(QFileInfo(path).isFile()) << it.key().toStdString();
        EXPECT_EQ(sha256OfFile(path), it.value()) << it.key().toStdString();
    }
    // Nothing but the files themselves: no partial file left over.
    EXPECT_EQ(QDir(pair.receiver.downloads()).entryList(QDir::Files | QDir::Hidden).size(), sizes.size());

    const QList<Record> received = pair.receiver.files();
    ASSERT_EQ(received.size(), sizes.size());
    for (const Record& r : received) {
        EXPECT_EQ(r.direction, QStringLiteral("in"));
        EXPECT_EQ(r.user, QStringLiteral("Sam"));
        EXPECT_EQ(r.state, QStringLiteral("done")) << r.name.toStdString();
        EXPECT_EQ(r.done, r.total);
        EXPECT_EQ(r.error, QStringLiteral("-"));
    }
    for (const Record& r : pair.sender.files()) {
        EXPECT_EQ(r.direction, QStringLiteral("out"));
        EXPECT_EQ(r.done, r.total) << r.name.toStdString();
    }
}

TEST(Transfer, OneOfferReachesTwoPeople)
{
    Scene scene;
    CliNode sam(scene, QStringLiteral("Sam"));
    CliNode val(scene, QStringLiteral("Val"));
    CliNode wes(scene, QStringLiteral("Wes"));
    for (CliNode* node : {&sam, &val, &wes})
        node->makeCard();
    sam.importCard(val);
    sam.importCard(wes);
    val.importCard(sam);
    wes.importCard(sam);

    const QString path = sam.folder(QStringLiteral("shared.bin"));
    const QByteArray sha = writeRandomFile(path, 3 * 131072 + 17);
    const CliResult shared = sam.ok({QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Val"),
                                     QStringLiteral("--to"), QStringLiteral("Wes"), path});
    EXPECT_EQ(shared.outLines().size(), 2) << "one record per recipient";

    auto sender = sam.run({QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"), QStringLiteral("100")});
    ASSERT_TRUE(sender->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
    const QStringList receiving{QStringLiteral("--connect"), QStringLiteral("Sam"), QStringLiteral("--accept"),
                                QStringLiteral("Sam"), QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"),
                                QStringLiteral("100"), QStringLiteral("--download-to")};
    auto first = val.run(receiving + QStringList{val.downloads()});
    auto second = wes.run(receiving + QStringList{wes.downloads()});
    for (RunningCli* run : {first.get(), second.get(), sender.get()}) {
        ASSERT_TRUE(run->waitForExit());
        EXPECT_EQ(run->exitCode(), 0) << run->output().toStdString() << "\n" << run->errors().toStdString();
    }
    EXPECT_EQ(sha256OfFile(val.downloads() + QStringLiteral("/shared.bin")), sha);
    EXPECT_EQ(sha256OfFile(wes.downloads() + QStringLiteral("/shared.bin")), sha);
    EXPECT_TRUE(sender->lineStartingWith(QStringLiteral("sent shared.bin to Val")));
    EXPECT_TRUE(sender->lineStartingWith(QStringLiteral("sent shared.bin to Wes")));
}

}  // namespace

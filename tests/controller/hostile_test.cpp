// What other machines send is checked before anything is written, read or
// listed: names, ids, block numbers, sizes and owners. A raw peer with a real
// identity plays the other machine.

#include "tests/controller/controllertestsupport.h"
#include "vortan/controller/downloadtarget.h"
#include "vortan/peer/messages.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

namespace vortan {
namespace {

using test::listed;
using test::LogCapture;
using test::NodeAndPeer;
using test::OneDownload;
using test::RawPeer;
using test::waitFor;

// Every file below dir, relative to it.
QStringList treeOf(const QString& dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(dir).relativeFilePath(it.next()));
    files.sort();
    return files;
}

// A received name makes folders below the download folder only as a
// relative path whose every component is a safe name; any other name is one
// flat component. Nothing lands outside the folder: not through "..", an
// absolute path, nor a link or a file already there (a folder is numbered
// instead); a file does not replace a folder that downloads write into,
// and a name too deep or too long is flattened or shortened.
TEST(ControllerHostileInputTest, ReceivedNamesNeverActAsPathsOutOfTheFolder)
{
    struct Case {
        QString received;
        QString stored;  // the record's name
        QString placed;  // where the file lands, inside the download folder
    };
    const QString longFolder(300, QChar(0xe9));  // 600 bytes of UTF-8
    const QString deep = QStringLiteral("d/").repeated(kMaxFolderDepth + 1) + QStringLiteral("f");
    const Case cases[] = {
        {"../escape.txt", "..:escape.txt", "..:escape.txt"},
        {"sub/dir.txt", "sub/dir.txt", "sub/dir.txt"},
        {"sub/deeper/dir.txt", "sub/deeper/dir.txt", "sub/deeper/dir.txt"},
        {"sub", "sub", "sub (2)"},
        {"a/../../b", "a:..:..:b", "a:..:..:b"},
        {"/etc/passwd", ":etc:passwd", ":etc:passwd"},
        {"a//b", "a::b", "a::b"},
        {"sub/", "sub:", "sub:"},
        {QStringLiteral("ctl\x01/\u202e..\u202c/x"), "ctl_:..:x", "ctl_:..:x"},
        {QStringLiteral("c\x1b[2J/\u2067d\u2069.txt"), "c_[2J/d.txt", "c_[2J/d.txt"},
        {QStringLiteral("caf\u00e9 \u2603/\u00e9t\u00e9.txt"), QStringLiteral("caf\u00e9 \u2603/\u00e9t\u00e9.txt"),
         QStringLiteral("caf\u00e9 \u2603/\u00e9t\u00e9.txt")},
        {"link/x.txt", "link/x.txt", "link (2)/x.txt"},
        {"file/y.txt", "file/y.txt", "file (2)/y.txt"},
        {longFolder + "/z.txt", longFolder + "/z.txt", longFolder.left((kMaxNameBytes - 7) / 2) + "/z.txt"},
        {deep, QString(deep).replace('/', ':'), QString(deep).replace('/', ':')},
    };
    const qsizetype count = qsizetype(std::size(cases));
    LogCapture log;
    NodeAndPeer r;
    const QByteArray m = r.peer.key();
    QList<File> list;
    for (const Case& c : cases)
        list.append(listed(c.received, 10, m));
    for (const char* refused : {"", ".", ".."})
        list.append(listed(refused, 10, m));
    list.append(listed(QStringLiteral("\u202e..\u202c"), 10, m));

    // The download folder holds a link out of it and a file of its own.
    QTemporaryDir parent;
    const QString into = parent.filePath("into");
    const QString outside = parent.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(into) && QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(outside, into + "/link"));
    ASSERT_TRUE(test::writeFile(into + "/file", "mine"));
    const QString realInto = QFileInfo(into).canonicalFilePath() + '/';

    ASSERT_TRUE(r.connect(list));
    QStringList stored;
    for (const Case& c : cases)
        stored.append(c.stored);
    ASSERT_EQ(test::namesOf(r.node.engine().files()), stored);
    EXPECT_EQ(r.node.engine().files()[0].displayName(), "../escape.txt");  // still reads as sent
    EXPECT_EQ(log.startingWith("Refused list entry ").size(), 4);

    QList<ResumeItem> items;
    for (qsizetype i = 0; i < count; ++i) {
        r.peer.serving.insert(list[i].id(), test::generatedBytes(10, int(i)));
        items.append({list[i].id(), DownloadLocation::directory(QUrl::fromLocalFile(into))});
    }
    r.node->resume(items);
    ASSERT_TRUE(r.node.finishedCount(count));
    QStringList expected{"into", "into/file", "into/link", "outside"};
    for (qsizetype i = 0; i < count; ++i) {
        SCOPED_TRACE(printableName(cases[i].received).toStdString());
        const File& file = *r.node.file(list[i].id());
        ASSERT_TRUE(file.location());
        const QString target = file.location()->toLocalFile();
        EXPECT_EQ(target, into + '/' + cases[i].placed);
        EXPECT_TRUE(QFileInfo(target).canonicalFilePath().startsWith(realInto));
        EXPECT_EQ(test::readFile(target), test::generatedBytes(10, int(i)));
        for (QString path = "into/" + cases[i].placed; path != "into"; path = QFileInfo(path).path()) {
            if (!expected.contains(path))
                expected.append(path);
        }
    }
    expected.sort();
    EXPECT_EQ(treeOf(parent.path()), expected);
    EXPECT_EQ(test::readFile(into + "/file"), "mine");
}

// A received name never reads as another one: bidirectional controls are
// taken out of the file's name on disk and of the name shown, also for
// records stored with them; other controls and separators are replaced.
TEST(ControllerHostileInputTest, ReceivedNamesOnDiskAndShownAndNumberedTargets)
{
    struct Case {
        QString received;
        std::optional<QString> onDisk;
        QString shown;
    };
    const Case cases[] = {
        {QStringLiteral("invoice\u202egpj.exe"), QStringLiteral("invoicegpj.exe"), QStringLiteral("invoicegpj.exe")},
        {QStringLiteral("\u202a\u202b\u202c\u202d\u202ea\u2066\u2067\u2068\u2069b\u200e\u200f\u061cc"),
         QStringLiteral("abc"), QStringLiteral("abc")},
        {QStringLiteral("\u2067d/e\u2069.txt"), QStringLiteral("d:e.txt"), QStringLiteral("d/e.txt")},
        {QStringLiteral("\u202e"), std::nullopt, QString()},
        {QStringLiteral("\u202e.\u202c"), std::nullopt, QStringLiteral(".")},
        {QStringLiteral("\u200f..\u200e"), std::nullopt, QStringLiteral("..")},
        // Neighbours that are no controls of the direction stay.
        {QStringLiteral("a\u200bb\u2065\u202f.txt"), QStringLiteral("a\u200bb\u2065\u202f.txt"),
         QStringLiteral("a\u200bb\u2065\u202f.txt")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(printableName(c.received).toStdString());
        EXPECT_EQ(safeFileName(c.received), c.onDisk);
        EXPECT_EQ(File(File2(c.received, std::nullopt, 1), QUuid::createUuid(), "key").displayName(), c.shown);
    }
    EXPECT_EQ(printableName(QStringLiteral("a\u202eb\u2066")), "a\\u202eb\\u2066");

    // Other characters, and the numbered names of taken targets.
    EXPECT_EQ(safeFileName("a/b\x7f\nc"), std::optional<QString>("a:b__c"));
    EXPECT_EQ(safeFileName(QStringLiteral("caf\u00e9 \u2603.txt")), std::optional<QString>(QStringLiteral("caf\u00e9 \u2603.txt")));
    EXPECT_EQ(safeFileName("..."), std::optional<QString>("..."));
    EXPECT_FALSE(safeFileName(".."));
    EXPECT_EQ(printableName("two\nlines\x01"), "two\\x0alines\\x01");
    EXPECT_EQ(numberedPath("/d/report.pdf", 2), "/d/report (2).pdf");
    EXPECT_EQ(numberedPath("/d/archive.tar.gz", 3), "/d/archive.tar (3).gz");
    EXPECT_EQ(numberedPath("/d/.profile", 2), "/d/.profile (2)");
    EXPECT_EQ(numberedPath("/a.b/c", 2), "/a.b/c (2)");
    EXPECT_EQ(firstFreePath("/d/x", [](const QString& p) { return p != "/d/x (4)"; }), std::optional<QString>("/d/x (4)"));
    EXPECT_FALSE(firstFreePath("/d/x", [](const QString&) { return true; }));
}

TEST(ControllerHostileInputTest, DataIsWrittenOnlyForRequestedBlocksOfOwnDownloads)
{
    LogCapture log;
    NodeAndPeer r;
    const QByteArray m = r.peer.key();
    const QByteArray bytes = test::generatedBytes(12 * blockSize, 9);
    const File x = listed("x.bin", bytes.size(), m);
    const File neverResumed = listed("never.bin", 1000, m);
    ASSERT_TRUE(r.connect({x, neverResumed}));
    // Bea's own offer to Mallory and a download from somebody else.
    const QUuid mine = r.node.share("mine.bin", 2000, {m});
    const QString source = r.node.downloadsPath("mine.bin");
    RawPeer other(QStringLiteral("Other"));
    r.node->addUsers({other.card()});
    const File theirs = listed("theirs.bin", 1000, other.key());
    other.answerWith = QList<File>{theirs};
    ASSERT_TRUE(other.connectTo(r.node));
    ASSERT_TRUE(waitFor([&] { return r.node.file(theirs.id()); }));
    r.node->resume({{theirs.id(), std::nullopt}});

    r.node->resume({{x.id(), std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return !r.peer.wants.isEmpty(); }));
    EXPECT_EQ(r.peer.wants.last().blocks, BlockSet::range(0, 5));
    const QStringList before = treeOf(r.node.downloads.path());
    const QByteArray mineBefore = test::readFile(source);

    log.clear();
    PeerConnection& s = *r.peer.peer;
    s.sendData(QByteArray(1000, 'n'), 0, neverResumed.id(), {});            // no location
    s.sendData(bytes.mid(7 * blockSize, blockSize), 7, x.id(), {});       // not requested, but lacking: kept
    s.sendData(QByteArray(blockSize, 'o'), 12, x.id(), {});               // past the end
    s.sendData(QByteArray(blockSize, 'o'), -1, x.id(), {});               // before the start
    s.sendData(bytes.left(100), 0, x.id(), {});                           // the wrong size
    s.sendData(QByteArray(1000, 't'), 0, theirs.id(), {});               // another user's record
    s.sendData(QByteArray(2000, 'm'), 0, mine, {});                       // Bea's own offer
    s.sendData(QByteArray(10, 'u'), 0, QUuid::createUuid(), {});         // no record at all
    s.sendData(bytes.left(blockSize), 0, x.id(), {});                     // this one is fine
    ASSERT_TRUE(waitFor([&] { return r.node.file(x.id())->blocks.count() == 2; }));
    s.sendData(QByteArray(blockSize, 'a'), 0, x.id(), {});  // again: written already
    ASSERT_TRUE(waitFor([&] { return log.lines().count("Dropped block 0 of " + idText(x.id()) + ": written already") == 1; }));

    EXPECT_EQ(log.lines().count("no matching file"), 3);
    EXPECT_EQ(log.startingWith("Dropped block ").size(), 5);
    BlockSet kept = BlockSet::range(0, 1);
    kept.insert(7);
    EXPECT_EQ(r.node.file(x.id())->blocks, kept);
    EXPECT_TRUE(r.node.file(neverResumed.id())->blocks.empty());
    EXPECT_TRUE(r.node.file(theirs.id())->blocks.empty());
    EXPECT_TRUE(r.node.file(mine)->blocks.empty());
    EXPECT_EQ(test::readFile(source), mineBefore);
    // Only x's partial file appeared, holding exactly blocks 0 and 7.
    QStringList after = before;
    after.append("x.bin.downloading");
    after.sort();
    EXPECT_EQ(treeOf(r.node.downloads.path()), after);
    const QByteArray partial = test::readFile(r.node.downloadsPath("x.bin.downloading"));
    EXPECT_EQ(partial.left(blockSize), bytes.left(blockSize));
    EXPECT_EQ(partial.mid(7 * blockSize), bytes.mid(7 * blockSize, blockSize));
}

TEST(ControllerHostileInputTest, WantsAreHonouredOnlyForOwnOffersToThatUser)
{
    LogCapture log;
    NodeAndPeer r;
    const QByteArray m = r.peer.key();
    const File download = listed("d.bin", 1000, m);
    ASSERT_TRUE(r.connect({download}));
    r.node->resume({{download.id(), std::nullopt}});  // it has a location now
    const QUuid offer = r.node.share("offer.bin", 3 * blockSize, {m});
    const QUuid toOther = r.node.share("secret.bin", 1000, {QByteArray(32, 'o')}, 5);

    log.clear();
    PeerConnection& s = *r.peer.peer;
    s.sendWant(BlockSet::range(0, 1), toOther);            // offered to someone else
    s.sendWant(BlockSet::range(0, 1), download.id());      // Bea's download, not an offer
    s.sendWant(BlockSet::range(2, 2), offer);              // block 3 does not exist
    s.sendWant(BlockSet::range(0, 1), QUuid::createUuid());
    ASSERT_TRUE(waitFor([&] { return log.lines().count("no matching file") == 4; }));
    s.sendWant(BlockSet::range(1, 2), offer);
    ASSERT_TRUE(waitFor([&] { return r.peer.data.size() == 2; }));
    EXPECT_EQ(r.peer.data[0].block, 1);
    EXPECT_EQ(r.peer.data[1].block, 2);
    EXPECT_EQ(r.peer.data[0].fileID, offer);
    EXPECT_EQ(r.peer.data[0].data, test::generatedBytes(3 * blockSize).mid(blockSize, blockSize));
    EXPECT_TRUE(r.node.file(toOther)->wantBlocks.empty());
}

TEST(ControllerHostileInputTest, AWantForEveryBlockCostsTheSenderOnlyABlockSet)
{
    NodeAndPeer r;
    ASSERT_TRUE(r.connect({}));
    const std::int64_t blocks = 8192;  // 1 GiB, sparse: reading it costs nothing
    const QString source = r.node.downloadsPath(QStringLiteral("large.bin"));
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(blocks * blockSize));
    file.close();
    r.node->shareFiles({File2::at(source)}, {r.peer.key()});
    const QUuid offer = r.node.engine().files().last().id();

    // Whenever the event loop comes round: the wants are one run of numbers,
    // the read window holds at most its four blocks.
    bool bounded = true;
    r.peer.peer->sendWant(BlockSet::range(0, blocks), offer);
    ASSERT_TRUE(waitFor([&] {
        const File& record = *r.node.file(offer);
        const auto window = record.buffer()->window();
        bounded = bounded && record.wantBlocks.runs().size() <= 1
                  && (!window || window->end - window->first <= TransferBuffer::windowCapacity);
        return r.peer.data.size() >= 64;
    }));
    EXPECT_TRUE(bounded);
    EXPECT_TRUE(r.node.file(offer)->sending);
    for (qsizetype i = 0; i < r.peer.data.size(); ++i)
        EXPECT_EQ(r.peer.data[i].block, i);
    r.peer.close();
}

TEST(ControllerHostileInputTest, ListEntriesCannotTakeIdsOfOtherRecords)
{
    LogCapture log;
    NodeAndPeer r;
    const QByteArray m = r.peer.key();
    const File offer = *r.node.file(r.node.share("offer.bin", 10, {m}));
    RawPeer other(QStringLiteral("Other"));
    r.node->addUsers({other.card()});
    const File theirs = listed("theirs.bin", 1000, other.key());
    other.answerWith = QList<File>{theirs};
    ASSERT_TRUE(other.connectTo(r.node));
    ASSERT_TRUE(waitFor([&] { return r.node.file(theirs.id()); }));

    File stealOffer(File2("a", std::nullopt, 1), offer.id(), m);
    File stealTheirs(File2("b", std::nullopt, 1), theirs.id(), m);
    const File fresh = listed("fresh.bin", 1, m);
    ASSERT_TRUE(r.connect({stealOffer, stealTheirs, fresh, fresh}));
    EXPECT_EQ(r.node.engine().files().size(), 3);
    EXPECT_EQ(r.node.file(fresh.id())->name(), "fresh.bin");
    EXPECT_FALSE(r.node.file(offer.id())->download);
    EXPECT_EQ(r.node.file(theirs.id())->user, other.key());
    EXPECT_EQ(log.startingWith("Refused list entry ").size(), 2);

    // A negative length (what the wire coding already refuses) is refused here too.
    const std::shared_ptr<PeerConnection> peer = r.nodeSide();
    ASSERT_TRUE(peer);
    r.node.engine().events().peerConnectionDidReceiveList({listed("negative", -5, m)}, peer);
    EXPECT_EQ(r.node.engine().files().size(), 3);
}

TEST(ControllerHostileInputTest, UnfinishedDownloadsNeverShareATarget)
{
    NodeAndPeer r;
    const QByteArray m = r.peer.key();
    const File one = listed("same.txt", 10, m), two = listed("same.txt", 20, m);
    const File bare = listed("x", 30, m), partialName = listed("x.downloading", 40, m);
    const File twin = listed("x.downloading", 50, m);  // named like bare's partial file
    ASSERT_TRUE(r.connect({one, two, bare, partialName, twin}));
    for (const File& f : {one, two, bare, partialName, twin})
        r.peer.serving.insert(f.id(), test::generatedBytes(f.length(), 1));
    r.node->resume({{one.id(), std::nullopt}, {two.id(), std::nullopt}, {bare.id(), std::nullopt}, {twin.id(), std::nullopt}});
    // An exact file that is another download's target.
    r.node->resume({{partialName.id(), DownloadLocation::file(QUrl::fromLocalFile(r.node.downloadsPath("same.txt")))}});
    const auto target = [&](const File& f) { return r.node.file(f.id())->location()->toLocalFile(); };
    EXPECT_EQ(target(one), r.node.downloadsPath("same.txt"));
    EXPECT_EQ(target(two), r.node.downloadsPath("same (2).txt"));
    EXPECT_EQ(target(bare), r.node.downloadsPath("x"));
    EXPECT_EQ(target(twin), r.node.downloadsPath("x (2).downloading"));
    EXPECT_EQ(target(partialName), r.node.downloadsPath("same (3).txt"));
    ASSERT_TRUE(r.node.finishedCount(5));
    EXPECT_EQ(test::readFile(r.node.downloadsPath("same (2).txt")).size(), 20);
    EXPECT_EQ(test::readFile(r.node.downloadsPath("same (3).txt")).size(), 40);

    // A finished download no longer holds its name.
    const File again = listed("x.downloading", 5, m);
    r.peer.peer->sendList({again});
    ASSERT_TRUE(waitFor([&] { return r.node.file(again.id()); }));
    r.node->resume({{again.id(), std::nullopt}});
    EXPECT_EQ(target(again), r.node.downloadsPath("x.downloading"));
}

TEST(ControllerHostileInputTest, AShortPartialFileStartsTheDownloadAgain)
{
    LogCapture log;
    OneDownload r(4 * blockSize);
    ASSERT_TRUE(r.request());
    r.send(0);
    r.send(1);
    ASSERT_TRUE(r.hasBlocks(2));

    r.node->pause({r.x.id()});  // closes the partial file
    ASSERT_TRUE(QFile::resize(r.node.downloadsPath("x.bin.downloading"), 100));
    r.node->resume({{r.x.id(), std::nullopt}});
    r.peer.serving.insert(r.x.id(), r.bytes);
    r.send(2);
    r.send(3);
    ASSERT_TRUE(r.node.finishedCount(1));
    EXPECT_EQ(log.startingWith("The partial file of " + idText(r.x.id())).size(), 1);
    EXPECT_EQ(test::readFile(r.node.downloadsPath("x.bin")), r.bytes);
}

TEST(ControllerHostileInputTest, TheLastBlocksAreAskedForAgainWhenTheListNoLongerNamesThem)
{
    OneDownload r(2 * blockSize);
    ASSERT_TRUE(r.request());
    EXPECT_EQ(r.peer.wants[0].blocks, BlockSet::range(0, 2));
    // Block 1 was "sent" but is lost with the connection.
    r.send(0);
    ASSERT_TRUE(r.hasBlocks(1));
    r.peer.close();
    ASSERT_TRUE(waitFor([&] { return r.node.engine().peers().ready().isEmpty(); }));

    // Back again, the sender lists nothing: its offer looks complete to it.
    r.peer.wants.clear();
    r.peer.serving.insert(r.x.id(), r.bytes);
    ASSERT_TRUE(r.connect({}));
    ASSERT_TRUE(r.node.finishedCount(1));
    EXPECT_EQ(r.peer.wants.first().blocks, BlockSet::range(1, 1));
    EXPECT_EQ(test::readFile(r.node.downloadsPath("x.bin")), r.bytes);
    EXPECT_FALSE(r.record().unavailable);  // its blocks came after all
}

TEST(ControllerHostileInputTest, PausingStopsNewRequestsButKeepsWhatArrives)
{
    OneDownload r(12 * blockSize);
    const QUuid x = r.x.id();
    ASSERT_TRUE(r.request());
    r.node->pause({x});
    r.node->resume({{x, std::nullopt}});  // five still outstanding: no new want
    r.node->pause({x});
    r.send(0);
    r.send(1);
    ASSERT_TRUE(r.hasBlocks(2));
    EXPECT_EQ(r.peer.wants.size(), 1);
    EXPECT_EQ(r.record().wantBlocks, BlockSet::range(2, 3));

    r.node->resume({{x, std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return r.peer.wants.size() == 2; }));
    EXPECT_EQ(r.peer.wants[1].blocks, BlockSet::range(5, 2));
    r.node->resume({{QUuid::createUuid(), std::nullopt}});  // logs "no file matching id", nothing else
}

TEST(ControllerHostileInputTest, ALegalNameOf255BytesIsShortenedToLeaveRoomForThePartialFile)
{
    // 125 two-byte characters, "x" and ".txt": 255 bytes, the most a name may have.
    const QString name = QString(125, QChar(0xe9)) + QStringLiteral("x.txt");
    ASSERT_EQ(name.toUtf8().size(), 255);
    OneDownload f(1000, name);
    ASSERT_TRUE(f.start());
    ASSERT_TRUE(f.node.finishedCount(1));
    const QString stored = QFileInfo(f.target()).fileName();
    EXPECT_EQ(stored, QString(119, QChar(0xe9)) + QStringLiteral(".txt"));  // whole characters, extension kept
    EXPECT_LE(stored.toUtf8().size() + qsizetype(strlen(".downloading")), 255);
    EXPECT_EQ(test::readFile(f.target()), f.bytes);
    EXPECT_FALSE(f.record().error);
}

TEST(ControllerHostileInputTest, AFailedFinalMoveStaysAFailureAfterARestart)
{
    OneDownload f(1000);
    const QString target = f.node.downloadsPath("x.bin");
    ASSERT_EQ(::symlink("/nonexistent/dangling", QFile::encodeName(target).constData()), 0);
    ASSERT_TRUE(f.start());
    ASSERT_TRUE(waitFor([&] { return f.record().error.has_value(); }));
    EXPECT_EQ(f.record().error->otherError()->posixCode, std::optional<int>(EEXIST));

    f.node.restart();
    ASSERT_TRUE(f.record().error.has_value());
    EXPECT_FALSE(isComplete(f.record()));
    f.node->resume({{f.x.id(), std::nullopt}});  // not paused: nothing happens
    EXPECT_TRUE(f.record().error.has_value());

    ASSERT_TRUE(QFile::remove(target));
    f.node->pause({f.x.id()});
    f.node->resume({{f.x.id(), std::nullopt}});
    EXPECT_TRUE(isComplete(f.record()));
    EXPECT_EQ(test::readFile(target), f.bytes);
}

TEST(ControllerHostileInputTest, AWriteErrorIsClearedOnceTheFileIsInPlace)
{
    OneDownload f(2 * blockSize);
    ASSERT_TRUE(f.request());
    // Block 0 cannot be written: a folder stands where the partial file goes.
    const QString partial = f.node.downloadsPath("x.bin.downloading");
    ASSERT_TRUE(QDir().mkpath(partial));
    f.send(0);
    ASSERT_TRUE(waitFor([&] { return f.record().error.has_value(); }));
    ASSERT_TRUE(QDir().rmdir(partial));
    // Block 1 was on its way; block 0 is asked for again and arrives.
    f.peer.serving.insert(f.x.id(), f.bytes);
    f.send(1);
    ASSERT_TRUE(f.node.finishedCount(1));
    EXPECT_FALSE(f.record().error);
    EXPECT_TRUE(isComplete(f.record()));

    // Pausing and resuming a finished download changes nothing.
    f.node->pause({f.x.id()});
    f.node->resume({{f.x.id(), std::nullopt}});
    EXPECT_EQ(test::readFile(f.target()), f.bytes);
    EXPECT_FALSE(QDir(qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files").exists("x.bin"));
    EXPECT_TRUE(isComplete(f.record()));
}

TEST(ControllerHostileInputTest, APlantedLinkAtThePartialFileIsAnErrorTheUserSees)
{
    OneDownload f(3 * blockSize);
    const QString victim = test::makeFile(f.node.support.path(), QStringLiteral("victim"), 10, 7);
    ASSERT_EQ(::symlink(QFile::encodeName(victim).constData(),
                        QFile::encodeName(f.node.downloadsPath("x.bin.downloading")).constData()),
              0);
    ASSERT_TRUE(f.start());
    ASSERT_TRUE(waitFor([&] { return f.record().error.has_value(); }));
    EXPECT_EQ(test::readFile(victim), test::generatedBytes(10, 7));
    EXPECT_FALSE(isComplete(f.record()));
}

TEST(ControllerHostileInputTest, OffersOfMoreBlocksThanAWantCanNameAreRefused)
{
    LogCapture log;
    NodeAndPeer r;
    const File huge = listed("huge.bin", (std::int64_t(1) << 40) * blockSize, r.peer.key());
    const File largest = listed("largest.bin", (std::int64_t(1) << 31) * blockSize, r.peer.key());
    ASSERT_TRUE(r.connect({huge, largest}));
    EXPECT_FALSE(r.node.file(huge.id()));
    EXPECT_TRUE(r.node.file(largest.id()));
    EXPECT_EQ(log.startingWith("Refused list entry " + idText(huge.id())).size(), 1);
}

}  // namespace
}  // namespace vortan

// Transfers between two controllers over 127.0.0.1.

#include "tests/controller/controllertestsupport.h"
#include "tests/keys/keystest.h"
#include "vortan/peer/messages.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using test::LogCapture;
using test::Node;
using test::Pair;
using test::waitFor;

// The content of a file in the Trash, which is then emptied of it.
QByteArray takeFromTrash(const QString& name)
{
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/";
    const QByteArray content = test::readFile(trash + "files/" + name);
    QFile::remove(trash + "files/" + name);
    QFile::remove(trash + "info/" + name + ".trashinfo");
    return content;
}

TEST(ControllerDownloadsTest, FilesOfEverySizeArriveIntact)
{
    Pair pair;
    ASSERT_TRUE(pair.connect());
    const QList<qint64> sizes{0, 1, 131071, 131072, 131073, 262144, 12 * blockSize + 7};
    const QList<QUuid> ids = pair.offer(sizes);
    ASSERT_EQ(ids.size(), sizes.size());
    QTemporaryDir target;
    QList<ResumeItem> items;
    for (qsizetype i = 0; i < ids.size(); ++i) {
        // Alternately into a directory and to an exact file.
        if (i % 2 == 0)
            items.append({ids[i], DownloadLocation::directory(QUrl::fromLocalFile(target.path()))});
        else
            items.append({ids[i], DownloadLocation::file(QUrl::fromLocalFile(target.filePath(QStringLiteral("exact-%1").arg(i))))});
    }
    pair.b->resume(items);
    ASSERT_TRUE(pair.b.finishedCount(ids.size(), 20000));

    for (qsizetype i = 0; i < ids.size(); ++i) {
        SCOPED_TRACE(sizes[i]);
        const QString path = i % 2 == 0 ? target.filePath(QStringLiteral("%1.bin").arg(sizes[i]))
                                        : target.filePath(QStringLiteral("exact-%1").arg(i));
        EXPECT_EQ(test::readFile(path), test::generatedBytes(sizes[i], int(sizes[i] % 1000)));
        EXPECT_TRUE(QFileInfo(path).isFile());
        EXPECT_FALSE(QFile::exists(path + ".downloading"));
        EXPECT_TRUE(isComplete(*pair.b.file(ids[i])));
        EXPECT_TRUE(waitFor([&] { return isComplete(*pair.a.file(ids[i])); }));
    }
    EXPECT_GE(pair.b.inhibitor.acquires, 1);  // wants were sent
    EXPECT_GE(pair.a.inhibitor.acquires, 1);  // data was sent

    pair.b->disconnectFrom(pair.a.key());
    ASSERT_TRUE(waitFor([&] { return pair.a.user(pair.b.key())->state == User::State::notConnected; }));

    // Listed again or not, nothing new is made.
    ASSERT_TRUE(pair.connect());
    EXPECT_EQ(pair.b.reports.finished.size(), ids.size());
    EXPECT_EQ(pair.b.engine().files().size(), ids.size());
}

TEST(ControllerDownloadsTest, TheFinalMoveNeverOverwrites)
{
    Pair pair;
    ASSERT_TRUE(pair.connect());
    const QString target = pair.b.downloadsPath("1000.bin");
    ASSERT_TRUE(test::writeFile(target, "keep me"));
    // No Trash can be made under a regular file.
    const QString blocker = pair.b.downloadsPath("not-a-folder");
    ASSERT_TRUE(test::writeFile(blocker, "x"));
    const QUuid id = pair.offer({1000}).first();
    {
        test::ScopedEnv dataHome("XDG_DATA_HOME", QFile::encodeName(blocker + "/data"));
        pair.b->resume({{id, std::nullopt}});
        ASSERT_TRUE(waitFor([&] { return pair.b.file(id)->error.has_value(); }));
    }
    const OtherError* error = pair.b.file(id)->error->otherError();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->posixCode, std::optional<int>(EEXIST));
    EXPECT_EQ(test::readFile(target), "keep me");
    EXPECT_EQ(test::readFile(target + ".downloading"), test::generatedBytes(1000, 0));
    EXPECT_TRUE(pair.b.reports.finished.isEmpty());
    EXPECT_FALSE(isComplete(*pair.b.file(id)));

    // With a Trash again, pausing and resuming tries the move once more.
    pair.b->pause({id});
    pair.b->resume({{id, std::nullopt}});
    ASSERT_EQ(pair.b.reports.finished.size(), 1);
    EXPECT_TRUE(isComplete(*pair.b.file(id)));
    EXPECT_EQ(test::readFile(target), test::generatedBytes(1000, 0));
    EXPECT_FALSE(QFile::exists(target + ".downloading"));
    EXPECT_EQ(takeFromTrash("1000.bin"), "keep me");
}

TEST(ControllerDownloadsTest, AFinishedDownloadIsSavedSoonAfterNotPerBlock)
{
    test::ManualClock clock;
    Pair pair(nullptr, &clock);
    Node& b = pair.b;
    ASSERT_TRUE(pair.connect());
    const QUuid id = pair.offer({12 * blockSize}).first();
    clock.advance(std::chrono::milliseconds(2000));
    ASSERT_TRUE(b.written());
    const auto stored = [&] { return fromBytes<QList<File>>(test::readFile(b.supportPath("transfers.plist"))); };
    ASSERT_EQ(stored().size(), 1);

    b->resume({{id, std::nullopt}});
    ASSERT_TRUE(b.finishedCount(1));
    // Time stood still: twelve blocks and the finish, not one write yet.
    EXPECT_TRUE(b.engine().store().pending());
    EXPECT_TRUE(stored().first().blocks.empty());
    clock.advance(std::chrono::milliseconds(2000));
    ASSERT_TRUE(b.written());
    EXPECT_EQ(stored().first().blocks.count(), 12);
    EXPECT_FALSE(stored().first().paused);
}

TEST(ControllerDownloadsTest, AWithdrawnOfferIsFoundOutWhenNothingArrives)
{
    using namespace std::chrono_literals;
    constexpr auto quiet = DownloadWindows::kQuietDownloadTime;
    test::ManualClock clock;
    Pair pair(nullptr, &clock);
    Node &a = pair.a, &b = pair.b;
    ASSERT_TRUE(pair.connect());
    const QList<QUuid> ids = pair.offer({3 * blockSize, 3 * blockSize});
    // Ada holds the first offer back and then withdraws it: Bea's wants for
    // it are never answered.
    a->pause({ids[0]});
    b->resume({{ids[0], std::nullopt}, {ids[1], std::nullopt}});
    ASSERT_TRUE(b.finishedCount(1));
    ASSERT_FALSE(b.file(ids[0])->wantBlocks.empty());
    a->removeFiles({ids[0]}, b.key());

    LogCapture log;
    const auto asked = [&] { return log.startingWith("Nothing arrived from Ada for 20 s").size(); };
    clock.advance(quiet - 1ms);
    EXPECT_EQ(asked(), 0);
    clock.advance(DownloadWindows::kQuietCheckInterval);
    EXPECT_EQ(asked(), 1);
    ASSERT_TRUE(waitFor([&] { return b.file(ids[0])->unavailable; }));
    EXPECT_FALSE(b.file(ids[0])->paused);
    EXPECT_FALSE(b.file(ids[1])->unavailable);
    b->publishNow();
    EXPECT_TRUE(b.controller->file(ids[0])->unavailable);
    // Known to be withdrawn, it waits for a list naming it again: no more asking.
    clock.advance(3 * quiet);
    EXPECT_EQ(asked(), 1);
}

TEST(ControllerDownloadsTest, ManyFilesArriveWhateverTheirWait)
{
    test::ManualClock clock;
    Pair pair(nullptr, &clock);
    ASSERT_TRUE(pair.connect());
    QList<qint64> sizes;
    for (qint64 size = 1000; size < 1300; ++size)
        sizes.append(size);
    const QList<QUuid> ids = pair.offer(sizes);
    LogCapture log;
    QList<ResumeItem> items;
    for (const QUuid& id : ids)
        items.append({id, std::nullopt});
    pair.b->resume(items);
    // Every answer comes after the quiet time: the requests still stand.
    clock.advance(DownloadWindows::kQuietDownloadTime + DownloadWindows::kQuietCheckInterval);
    ASSERT_TRUE(pair.b.finishedCount(ids.size(), 20000));
    EXPECT_TRUE(log.startingWith("Dropped block").isEmpty());
    EXPECT_TRUE(log.startingWith("Asking again").isEmpty());
    EXPECT_TRUE(waitFor([&] {
        return std::all_of(ids.begin(), ids.end(), [&](const QUuid& id) { return isComplete(*pair.a.file(id)); });
    }));
}

TEST(ControllerDownloadsTest, ARequestLeftBehindByLaterAnswersIsAskedAgain)
{
    using namespace std::chrono_literals;
    test::ManualClock clock;
    Pair pair(nullptr, &clock);
    ASSERT_TRUE(pair.connect());
    const QList<QUuid> ids = pair.offer({3 * blockSize, 1000});
    pair.a->pause({ids[0]});  // its requests go unanswered
    LogCapture log;
    pair.b->resume({{ids[0], std::nullopt}});
    clock.advance(1s);
    pair.b->resume({{ids[1], std::nullopt}});
    ASSERT_TRUE(pair.b.finishedCount(1));
    const QString again = QStringLiteral("Asking again for 3 blocks of %1").arg(idText(ids[0]));
    clock.advance(DownloadWindows::kLostRequestTime - 1s);
    EXPECT_TRUE(log.startingWith(again).isEmpty());
    clock.advance(DownloadWindows::kLostRequestTime);
    EXPECT_EQ(log.startingWith(again).size(), 1);
    pair.a->resume({{ids[0], std::nullopt}});
    ASSERT_TRUE(pair.b.finishedCount(2));
}

TEST(ControllerDownloadsTest, ResumingWithoutAConnectionConnectsFirst)
{
    LogCapture log;
    Node a(QStringLiteral("Ada")), b(QStringLiteral("Bea"));
    a.start();
    b.listen();
    test::introduce(a, b);
    const QUuid id = a.share("f.bin", 3 * blockSize, {b.key()});
    a->pause({id, QUuid::createUuid()});
    EXPECT_TRUE(a.file(id)->paused);
    EXPECT_EQ(log.lines().count("no file matching id"), 1);

    a->resume({{id, std::nullopt}});
    EXPECT_FALSE(a.file(id)->paused);
    EXPECT_TRUE(log.contains("Couldn't find peer to download from."));
    EXPECT_EQ(a.user(b.key())->state, User::State::connecting);
    ASSERT_TRUE(waitFor([&] { return b.file(id); }));
    b->resume({{id, std::nullopt}});
    ASSERT_TRUE(b.finishedCount(1));
    EXPECT_EQ(test::readFile(b.downloadsPath("f.bin")), test::generatedBytes(3 * blockSize));
}

TEST(ControllerDownloadsTest, ReconnectingMidTransferCarriesOn)
{
    Pair pair;
    ASSERT_TRUE(pair.connect());
    const qint64 size = 60 * blockSize + 3;
    const QUuid id = pair.offer({size}).first();
    pair.b->resume({{id, std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return pair.b.file(id)->blocks.count() >= 3; }));
    pair.b->disconnectFrom(pair.a.key());
    ASSERT_TRUE(waitFor([&] { return pair.b.user(pair.a.key())->state == User::State::notConnected; }));
    ASSERT_LT(pair.b.file(id)->blocks.count(), 60);
    pair.b->connectTo(pair.a.key());
    ASSERT_TRUE(pair.b.finishedCount(1, 20000));
    EXPECT_EQ(test::readFile(pair.b.downloadsPath(QStringLiteral("%1.bin").arg(size))),
              test::generatedBytes(size, int(size % 1000)));
    EXPECT_TRUE(waitFor([&] { return isComplete(*pair.a.file(id)) && !pair.a.file(id)->sending; }));
    EXPECT_FALSE(pair.a.file(id)->error);
}

}  // namespace
}  // namespace vortan

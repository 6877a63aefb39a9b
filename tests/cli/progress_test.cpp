// The progress display: what reaches the screen, in which order, and how
// much of it.

#include "cli/progress.h"
#include "tests/cli/rows.h"

#include <gtest/gtest.h>

#include <QUrl>

using namespace brenvo::cli;
using vortan::FileRow;
using vortan::test::setBlocks;
using vortan::User;

namespace {

const QByteArray kBo(32, 'b');

// Everything written, in order, with the stream marked.
struct Screen {
    std::int64_t now = 0;
    QByteArray all;
    QByteArray out;
    QByteArray err;

    ProgressView::Options options(bool live)
    {
        ProgressView::Options o;
        o.live = live;
        o.columns = 80;
        o.diagnosticsOnTerminal = live;
        o.nowMs = [this] { return now; };
        o.out = [this](const QByteArray& b) {
            out += b;
            all += b;
        };
        o.err = [this](const QByteArray& b) {
            err += b;
            all += "<err>" + b;
        };
        return o;
    }
    QList<QByteArray> outLines() const
    {
        QList<QByteArray> lines = out.split('\n');
        lines.removeAll(QByteArray());
        return lines;
    }
};

FileRow download(const QString& name, std::int64_t blocks, std::int64_t done)
{
    return vortan::test::makeRow(name, blocks, kBo, true, "/dl/" + name, done);
}

const QList<User> kUsers{User("Bo", std::nullopt, std::nullopt, kBo)};

TEST(ProgressLines, EventsAreRateLimitedAndTheRestCounted)
{
    Screen screen;
    ProgressView view(screen.options(false));
    for (int i = 0; i < 30; ++i)
        view.event(QStringLiteral("event %1").arg(i));
    EXPECT_EQ(screen.outLines().size(), ProgressView::kEventBurst);
    screen.now += 2000;
    view.event("later");
    const QList<QByteArray> lines = screen.outLines();
    ASSERT_EQ(lines.size(), ProgressView::kEventBurst + 2);
    EXPECT_EQ(lines[ProgressView::kEventBurst], QByteArray("(10 more events not shown)"));
    EXPECT_EQ(lines.last(), QByteArray("later"));
}

TEST(ProgressLines, OneLinePerTickForTransfersThatMoved)
{
    Screen screen;
    ProgressView view(screen.options(false));
    FileRow f = download("a.bin", 10, 2);
    view.setBaseline({f});
    view.update({f}, kUsers);
    screen.out.clear();

    view.tick();
    EXPECT_EQ(screen.outLines(), QList<QByteArray>{"progress recv a.bin from Bo: 2/10 blocks (20%)"});
    screen.out.clear();
    view.tick();  // nothing moved: nothing printed
    EXPECT_TRUE(screen.out.isEmpty());

    screen.now = 1000;
    setBlocks(f, 7);
    view.update({f}, kUsers);
    view.tick();
    ASSERT_EQ(screen.outLines().size(), 1);
    EXPECT_TRUE(screen.outLines()[0].startsWith("progress recv a.bin from Bo: 7/10 blocks (70%), 0.6 MiB/s, 0:01 left"))
        << screen.outLines()[0].toStdString();

    // Many transfers share one line.
    Screen many;
    ProgressView manyView(many.options(false));
    QList<FileRow> files;
    for (int i = 0; i < 5; ++i)
        files.append(download(QStringLiteral("f%1").arg(i), 4, 1));
    manyView.update(files, kUsers);
    many.out.clear();
    manyView.tick();
    EXPECT_EQ(many.outLines(), QList<QByteArray>{"progress 5 transfers: 5/20 blocks"});
}

TEST(ProgressLive, DiagnosticLinesPassAboveTheBars)
{
    Screen screen;
    ProgressView view(screen.options(true));
    const FileRow f = download("a.bin", 10, 5);
    view.update({f}, kUsers);
    view.tick();
    screen.all.clear();

    view.diagnostic("handshake done with Bo.");
    view.diagnostic("send list request");
    EXPECT_TRUE(screen.all.isEmpty()) << "lines are gathered until the next tick";
    view.tick();
    // The bar is cleared, the lines written to standard error, the bar drawn again.
    EXPECT_TRUE(screen.all.startsWith("\r\x1b[1A\x1b[J<err>handshake done with Bo.\nsend list request\nrecv a.bin"))
        << screen.all.toStdString();
    EXPECT_TRUE(screen.all.endsWith("\n"));

    // An event line takes what has gathered along, in order.
    screen.all.clear();
    view.diagnostic("handshake done with Cy.");
    view.event("connected Bo");
    EXPECT_TRUE(screen.all.startsWith("\r\x1b[1A\x1b[J<err>handshake done with Cy.\nconnected Bo\nrecv a.bin"))
        << screen.all.toStdString();

    // A flood is written before the tick, in batches.
    screen.all.clear();
    const qsizetype before = screen.err.count('\n');
    const QString line(100, QLatin1Char('x'));
    for (int i = 0; i < 200; ++i)
        view.diagnostic(line);
    EXPECT_GE(screen.err.count('\n') - before, 100);
    EXPECT_LE(screen.all.count("\x1b[J"), 2) << "bars redrawn per line";

    screen.all.clear();
    view.finish();
    EXPECT_TRUE(screen.all.startsWith("\r\x1b[1A\x1b[J"));
    EXPECT_EQ(screen.err.count('\n') - before, 200) << "the rest of the flood comes out at the end";
    view.diagnostic("Stopped port mapping.");
    EXPECT_TRUE(screen.all.endsWith("<err>Stopped port mapping.\n"));
}

TEST(ProgressLive, BarsFitTheWidthAndShowNoControlCharacters)
{
    Screen screen;
    ProgressView view(screen.options(true));
    const FileRow f = download("a very long name \x1b[31m that goes on and on and on and on and on.bin", 10, 5);
    view.update({f}, kUsers);
    for (int width : {20, 40, 79, 200}) {
        const QString line = view.barLine(f, width);
        EXPECT_LE(line.size(), width) << line.toStdString();
        EXPECT_FALSE(line.contains(QChar(0x1b)));
        if (width >= 79) {
            EXPECT_TRUE(line.contains(" 50% ")) << line.toStdString();
            EXPECT_TRUE(line.contains("["));
        }
    }
    // Before a first measurement: no rate, no time left; one unit system;
    // the columns stay where they are whatever the sizes.
    const QString line = view.barLine(f, 200);
    EXPECT_TRUE(line.contains("   - MiB/s ETA --:--")) << line.toStdString();
    EXPECT_FALSE(line.contains("MB")) << line.toStdString();
    const FileRow big = download("b.bin", 9000, 5);
    view.update({f, big}, kUsers);
    EXPECT_EQ(view.barLine(big, 120).indexOf("ETA"), view.barLine(f, 120).indexOf("ETA"));
}

// Fed only what each publication changed: a row that moved keeps being
// measured until it stands still; one that stood still and moves again is
// measured from the snapshot before, not from the start of its standstill.
TEST(ProgressCount, ChangedRowsAndMovingOnesAreMeasured)
{
    Screen screen;
    ProgressView view(screen.options(true));
    FileRow a = download("a.bin", 100, 0);
    FileRow b = download("b.bin", 100, 0);
    QList<FileRow> rows{a, b};
    const auto rowIndex = [&](const QUuid& id) { return id == a.id ? 0 : id == b.id ? 1 : -1; };
    const auto publish = [&](std::int64_t at, const QList<QUuid>& updated) {
        screen.now = at;
        rows = {a, b};
        vortan::FileChanges changes;
        changes.updated = updated;
        view.update(rows, kUsers, changes, rowIndex);
    };
    vortan::FileChanges first;
    first.inserted = {{0, a.id}, {1, b.id}};
    view.update(rows, kUsers, first, rowIndex);

    setBlocks(a, 10);
    publish(1000, {a.id});
    EXPECT_TRUE(view.barLine(rows[0], 200).contains(" 1.3 MiB/s")) << view.barLine(rows[0], 200).toStdString();
    publish(2000, {});
    EXPECT_TRUE(view.barLine(rows[0], 200).contains(" 0.6 MiB/s")) << view.barLine(rows[0], 200).toStdString();
    for (std::int64_t at = 3000; at <= 10000; at += 1000)
        publish(at, {});
    EXPECT_TRUE(view.barLine(rows[0], 200).contains("ETA --:--")) << view.barLine(rows[0], 200).toStdString();

    setBlocks(b, 1);
    publish(10100, {b.id});
    EXPECT_TRUE(view.barLine(rows[1], 200).contains(" 1.3 MiB/s")) << view.barLine(rows[1], 200).toStdString();
}

TEST(ProgressCount, BlocksOfThisRunAndAFreshStart)
{
    Screen screen;
    ProgressView view(screen.options(false));
    FileRow f = download("a.bin", 20, 3);
    view.setBaseline({f});  // 3 blocks from an earlier run
    setBlocks(f, 5);
    view.update({f}, kUsers);
    EXPECT_EQ(view.blocksThisRun(f.id), 2);
    // The partial file was gone: the blocks start again from nothing.
    setBlocks(f, 1);
    view.update({f}, kUsers);
    setBlocks(f, 20);
    view.downloadFinished(f);
    EXPECT_EQ(view.blocksThisRun(f.id), 2 + 1 + 19);
    EXPECT_TRUE(screen.outLines().last().startsWith("finished a.bin from Bo into /dl/a.bin (2.5 MiB, 22 blocks in this run"))
        << screen.outLines().last().toStdString();

    // Publication is throttled: a download first seen half done counts from nothing.
    FileRow late = download("new.bin", 8, 4);
    view.update({f, late}, kUsers);
    setBlocks(late, 8);
    view.downloadFinished(late);
    EXPECT_EQ(view.blocksThisRun(late.id), 8);
}

}  // namespace

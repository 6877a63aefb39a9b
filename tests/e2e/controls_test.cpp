// The record commands between runs: a paused download asks for nothing until
// it is resumed, and an offer the receiver removed does not come back with
// the sender's next list.

#include "tests/e2e/clinode.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <csignal>

using namespace brenvo::e2e;

namespace {

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        sender.makeCard();
        receiver.makeCard();
        sender.importCard(receiver);
        receiver.importCard(sender);
        source = sender.folder(QStringLiteral("report.pdf"));
        sha = writeRandomFile(source, 9 * 131072 + 99);
        offer = sender.share(QStringLiteral("Val"), source);
        ASSERT_EQ(offer.size(), 36);

        // Sam stays up for the whole test.
        sam = sender.run({QStringLiteral("--timeout"), QStringLiteral("200")});
        ASSERT_TRUE(sam->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
    }

    void TearDown() override
    {
        sam->signal(SIGTERM);
        ASSERT_TRUE(sam->waitForExit());
        EXPECT_EQ(sam->exitCode(), 143) << sam->errors().toStdString();
    }

    // Val connects to Sam and ends once Sam has answered (and, with accept,
    // once what Sam offers is in place).
    std::unique_ptr<RunningCli> visit(bool accept)
    {
        QStringList arguments{QStringLiteral("--connect"), QStringLiteral("Sam"), QStringLiteral("--exit-when-done"),
                              QStringLiteral("--timeout"), QStringLiteral("100"), QStringLiteral("--download-to"),
                              receiver.downloads()};
        if (accept)
            arguments += QStringList{QStringLiteral("--accept"), QStringLiteral("Sam")};
        auto run = receiver.run(arguments);
        EXPECT_TRUE(run->waitForExit());
        EXPECT_EQ(run->exitCode(), 0) << run->output().toStdString() << "\n" << run->errors().toStdString();
        return run;
    }

    Scene scene;
    CliNode sender{scene, QStringLiteral("Sam")};
    CliNode receiver{scene, QStringLiteral("Val")};
    QString source;
    QByteArray sha;
    QString offer;
    std::unique_ptr<RunningCli> sam;
};

TEST_F(Controls, APausedDownloadWaitsUntilResumed)
{
    // The list brings the offer as a paused download.
    auto first = visit(false);
    EXPECT_TRUE(first->lineStartingWith(QStringLiteral("offered report.pdf")));
    std::optional<Record> record = receiver.record(offer);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->direction, QStringLiteral("in"));
    EXPECT_EQ(record->state, QStringLiteral("paused"));
    EXPECT_EQ(record->location, QStringLiteral("-"));

    // Resumed into a folder (by a prefix of its id), then paused again.
    const QString folder = receiver.folder(QStringLiteral("chosen"));
    receiver.ok({QStringLiteral("resume"), offer.left(8), QStringLiteral("--to"), folder});
    receiver.ok({QStringLiteral("pause"), offer});
    record = receiver.record(offer);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, QStringLiteral("paused"));
    EXPECT_EQ(record->location, folder + QStringLiteral("/report.pdf"));

    // Paused: the next visit asks for no block.
    auto second = visit(false);
    EXPECT_FALSE(second->lineStartingWith(QStringLiteral("downloading")));
    record = receiver.record(offer);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->done, 0);
    EXPECT_EQ(record->state, QStringLiteral("paused"));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/report.pdf.downloading")));

    // Resumed: it comes, into the folder chosen before (accepting Sam makes
    // the run wait for his downloads).
    receiver.ok({QStringLiteral("resume"), offer});
    auto third = visit(true);
    EXPECT_TRUE(third->lineStartingWith(QStringLiteral("finished report.pdf")));
    record = receiver.record(offer);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->state, QStringLiteral("done"));
    EXPECT_EQ(sha256OfFile(folder + QStringLiteral("/report.pdf")), sha);
    EXPECT_FALSE(QFileInfo::exists(receiver.downloads() + QStringLiteral("/report.pdf")));
}

TEST_F(Controls, ARemovedOfferIsNotTakenAgain)
{
    visit(false);
    ASSERT_TRUE(receiver.record(offer));

    const CliResult removed = receiver.ok({QStringLiteral("remove"), offer});
    EXPECT_TRUE(removed.out.startsWith(offer.toUtf8())) << removed.out.toStdString();
    EXPECT_TRUE(receiver.files().isEmpty());

    // Sam lists it again; accepting everything he offers still takes nothing.
    auto again = visit(true);
    EXPECT_FALSE(again->lineStartingWith(QStringLiteral("offered")));
    EXPECT_FALSE(again->lineStartingWith(QStringLiteral("downloading")));
    EXPECT_TRUE(receiver.files().isEmpty());
    EXPECT_TRUE(QDir(receiver.downloads()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

}  // namespace

// What a front end's item model sees: each publication names the rows it
// inserted, removed and updated, rows keep their identity and order, and a
// row carries the status, progress and rate of its record.
#include "tests/controller/controllertestsupport.h"
#include "tests/controller/manualclock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::Node;

struct Published {
    explicit Published(Controller& c)
    {
        QObject::connect(&c, &Controller::filesChanged, [this](const FileChanges& changes) { all.append(changes); });
    }
    FileChanges last() const { return all.isEmpty() ? FileChanges{} : all.last(); }
    QList<FileChanges> all;
};

TEST(ControllerPublicationTest, ChangesAreReportedByRowIdentity)
{
    ManualClock clock;
    Node node(QStringLiteral("n"), &clock);
    node.start();
    const QByteArray peer(32, 'p');
    node->addUsers({User(QStringLiteral("P"), std::nullopt, std::nullopt, peer)});
    Published published(*node.controller);
    Controller& c = *node.controller;

    c.shareFiles({File2(QStringLiteral("a"), QUrl::fromLocalFile(QStringLiteral("/x/a")), 10),
                  File2(QStringLiteral("b"), QUrl::fromLocalFile(QStringLiteral("/x/b")), 300000),
                  File2(QStringLiteral("c"), QUrl::fromLocalFile(QStringLiteral("/x/c")), 0)},
                 {peer});
    clock.advance(100ms);
    ASSERT_EQ(c.fileRows().size(), 3);
    const QUuid a = c.fileRows()[0].id, b = c.fileRows()[1].id, cc = c.fileRows()[2].id;
    EXPECT_EQ(published.last().inserted,
              (QList<std::pair<qsizetype, QUuid>>{{0, a}, {1, b}, {2, cc}}));
    EXPECT_EQ(c.fileRow(b), 1);
    EXPECT_EQ(c.findFile(b)->numberOfBlocks, 3);
    EXPECT_EQ(c.findFile(b)->status, FileRow::Status::queued);
    EXPECT_EQ(c.findFile(cc)->status, FileRow::Status::done);  // an empty offer has nothing to send

    // Only the paused record is reported, and only once per publication.
    c.pause({b});
    clock.advance(100ms);
    EXPECT_TRUE(published.last().inserted.isEmpty());
    EXPECT_TRUE(published.last().removed.isEmpty());
    EXPECT_EQ(published.last().updated, QList<QUuid>{b});
    EXPECT_EQ(c.findFile(b)->status, FileRow::Status::paused);

    // A removal names the row it had; the rows after it move up.
    const qsizetype before = published.all.size();
    c.removeFiles({a}, peer);
    clock.advance(100ms);
    ASSERT_GT(published.all.size(), before);
    EXPECT_EQ(published.last().removed, (QList<std::pair<qsizetype, QUuid>>{{0, a}}));
    EXPECT_EQ(c.fileRow(a), -1);
    EXPECT_EQ(c.fileRow(b), 0);
    EXPECT_EQ(c.fileRow(cc), 1);

    // A publication with nothing visible changed reports nothing.
    (*node).publishNow();
    EXPECT_TRUE(published.last().isEmpty());
}

TEST(ControllerPublicationTest, UsersAreReportedOneByOne)
{
    Node node(QStringLiteral("n"));
    node.start();
    QSignalSpy changed(node.controller.get(), &Controller::userChanged);
    const User ann(QStringLiteral("Ann"), std::nullopt, std::nullopt, QByteArray(32, 'a'));
    const User bo(QStringLiteral("Bo"), std::nullopt, std::nullopt, QByteArray(32, 'b'));
    node.controller->addUsers({ann, bo});
    ASSERT_EQ(changed.size(), 2);
    changed.clear();
    User renamed = bo;
    renamed.name = QStringLiteral("Bob");
    node.controller->editUsers({renamed});
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toByteArray(), bo.key);
}

}  // namespace
}  // namespace vortan

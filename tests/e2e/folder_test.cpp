// A folder from one brenvo-cli to another: Sam shares it through his running
// `run` (the request names the folder; the offers come back named by their
// paths in it), and Val's run takes every file into the same tree below her
// download folder. The link inside and the empty folder stay behind.

#include "tests/e2e/clinode.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <csignal>

using namespace brenvo::e2e;

namespace {

TEST(Folder, ANestedFolderArrivesWhole)
{
    Scene scene;
    CliNode sam(scene, "Sam");
    CliNode val(scene, "Val");
    introduce(sam, val);

    const QString source = sam.folder("shared/Holiday");
    const QString unicode = QStringLiteral("caf\u00e9 \u2603");
    for (const QString& folder : {QStringLiteral("2024/deep"), QStringLiteral("2024/empty"), unicode})
        ASSERT_TRUE(QDir(source).mkpath(folder));
    writeRandomFile(source + "/a.txt", 1000);
    writeRandomFile(source + "/2024/b.bin", 3 * 131072 + 5);
    writeRandomFile(source + "/2024/deep/c.txt", 0);
    writeRandomFile(source + '/' + unicode + "/d.txt", 20);
    writeRandomFile(scene.path("secret.txt"), 10);
    ASSERT_TRUE(QFile::link(scene.path("secret.txt"), source + "/2024/link"));

    auto sender = sam.run({"--timeout", "200"});
    ASSERT_TRUE(sender->waitForLineStartingWith("listening on port", kCommandTimeoutMs)) << sender->errors().toStdString();
    QStringList offered;
    for (const QString& line : sam.ok({"share", "--to", "Val", "shared/Holiday"}).outLines())
        offered.append(line.section('\t', 1));
    EXPECT_EQ(offered, (QStringList{"Val\tHoliday/2024/b.bin", "Val\tHoliday/2024/deep/c.txt", "Val\tHoliday/a.txt",
                                    "Val\tHoliday/" + unicode + "/d.txt"}));

    auto receiver = val.run({"--connect", "Sam", "--accept", "Sam", "--download-to", val.downloads(),
                             "--exit-when-done", "--timeout", "100"});
    ASSERT_TRUE(receiver->waitForExit());
    EXPECT_EQ(receiver->exitCode(), 0) << receiver->output().toStdString() << receiver->errors().toStdString();
    sender->signal(SIGTERM);
    ASSERT_TRUE(sender->waitForExit());

    QHash<QString, QByteArray> expected = treeSnapshot(sam.folder("shared"));
    expected.remove("Holiday/2024/link");
    expected.remove("Holiday/2024/empty");
    EXPECT_EQ(treeSnapshot(val.downloads()), expected);
}

}  // namespace

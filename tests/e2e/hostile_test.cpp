// A hostile peer against a brenvo-cli process. What the controller does with
// hostile names, blocks, wants and ids is tested in-process
// (tests/controller/hostile_test.cpp); this checks what needs the real
// program: Mallory, whom Val imported, offers names that climb out of the
// download folder or carry control characters, and nothing outside Val's
// download folder and data directory changes, nothing Val prints carries a
// control character, and each offer still arrives intact as a plain file.

#include "tests/controller/controllertestsupport.h"
#include "tests/e2e/clinode.h"
#include "vortan/records/coding.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <csignal>

using namespace brenvo::e2e;
using namespace vortan;

namespace {

TEST(Hostile, NamesFromAPeerNeitherLeaveTheDownloadFolderNorReachTheTerminal)
{
    Scene scene;
    CliNode val(scene, "Val");
    val.makeCard();
    test::RawPeer mallory("Mallory");
    const QString malloryCard = scene.path("Mallory.bcard");
    ASSERT_TRUE(test::writeFile(malloryCard, toBytes(mallory.card())));
    val.ok({"import", malloryCard});

    const QString absolute = scene.path("absolute-escape.txt");
    const QStringList names{"../escape-1.txt",        "../../escape-2.txt",      absolute,
                            "sub/../../escape-3.txt", "evil\x1b[2J\nname\t.txt", "ok.bin"};
    QList<File> offers;
    for (int i = 0; i < names.size(); ++i) {
        const QByteArray bytes = test::generatedBytes(i == 5 ? 10 * blockSize : 10 + i, i);
        offers.append(File(File2(names[i], std::nullopt, bytes.size()), QUuid::createUuid(), mallory.key()));
        mallory.serving.insert(offers.last().id(), bytes);
    }
    mallory.answerWith = offers;

    const QStringList excluded{val.dataDir(), val.downloads()};
    const QHash<QString, QByteArray> before = treeSnapshot(scene.path(), excluded);

    auto victim = val.run({"--accept", "all", "--download-to", val.downloads(), "--timeout", "100"});
    ASSERT_TRUE(victim->waitForLineStartingWith("listening on port", kCommandTimeoutMs));
    ASSERT_TRUE(mallory.connectTo(fromBytes<User>(test::readFile(val.cardPath()))));
    ASSERT_TRUE(victim->waitForLine([&, count = 0](const QString& line) mutable {
        return line.startsWith("finished ") && ++count == names.size();
    })) << victim->output().toStdString()
        << "\n"
        << victim->errors().right(4000).toStdString();
    victim->signal(SIGTERM);
    ASSERT_TRUE(victim->waitForExit());
    EXPECT_EQ(victim->exitCode(), 143) << victim->errors().toStdString();

    EXPECT_EQ(treeSnapshot(scene.path(), excluded), before);
    EXPECT_FALSE(QFileInfo::exists(scene.path("../escape-2.txt")));
    EXPECT_FALSE(QFileInfo::exists(absolute));

    // One plain file per offer, with Mallory's bytes, and nothing else.
    const QFileInfoList entries = QDir(val.downloads()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QSet<QByteArray> shas;
    for (const QFileInfo& entry : entries) {
        EXPECT_TRUE(entry.isFile() && !entry.isSymLink()) << entry.fileName().toStdString();
        shas.insert(sha256OfFile(entry.filePath()));
    }
    EXPECT_EQ(entries.size(), names.size());
    for (const File& offer : std::as_const(offers))
        EXPECT_TRUE(shas.contains(QCryptographicHash::hash(mallory.serving.value(offer.id()), QCryptographicHash::Sha256).toHex()))
            << offer.name().toStdString();
    EXPECT_TRUE(QFileInfo::exists(val.downloads() + "/ok.bin"));
    for (const Record& r : val.files())
        EXPECT_EQ(r.state, "done") << r.name.toStdString();

    for (const QString& line : victim->lines()) {
        for (const QChar c : line)
            EXPECT_FALSE(c.category() == QChar::Other_Control) << line.toStdString();
    }
}

}  // namespace

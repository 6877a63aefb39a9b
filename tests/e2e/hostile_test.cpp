// A hostile peer against a brenvo-cli process. What the controller does with
// hostile names, blocks, wants and ids is tested in-process
// (tests/controller/hostile_test.cpp); this checks what needs the real
// program: Mallory, whom Val imported, offers names that climb out of the
// download folder or carry control characters, and nothing outside Val's
// download folder and data directory changes, nothing Val prints carries a
// control character, and each offer still arrives intact as a plain file.

#include "tests/e2e/clinode.h"
#include "tests/support/testsupport.h"
#include "vortan/keys/filesecretstore.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/records/coding.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <csignal>

using namespace brenvo::e2e;
using namespace vortan;

namespace {

struct Offer {
    QUuid id;
    QString name;
    QByteArray bytes;
};

// Lists her offers when asked and sends the blocks wanted.
class Mallory : public PeerConnectionDelegate {
public:
    explicit Mallory(const QString& folder)
        : keys(std::make_unique<FileSecretStore>(folder + QStringLiteral("/identity.key"),
                                                 QString::fromLatin1(KeyHelper::kAccount)))
    {
        QDir().mkpath(folder);
        keys.signingKey();
    }

    ~Mallory() override
    {
        if (!peer)
            return;
        std::weak_ptr<PeerConnection> weak = peer;
        if (peer->connection())
            peer->connection()->cancel();
        peer.reset();
        test::waitFor([&] { return weak.expired(); }, 5000);
    }

    void writeCard(const QString& path)
    {
        test::writeFile(path, toBytes(User(QStringLiteral("Mallory"), QStringLiteral("127.0.0.1"), std::nullopt,
                                           keys.publicKey())));
    }

    bool connectTo(const User& victim)
    {
        keys.setAllowedUsers({victim});
        peer = PeerConnection::connect(keys, *victim.address, *victim.port, victim.key, this);
        return test::waitFor([&] { return ready || cancelled; }, kCommandTimeoutMs) && ready;
    }

    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>&) override { ready = true; }

    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& p) override
    {
        QList<File> list;
        for (const Offer& offer : std::as_const(offers))
            list.append(File(File2(offer.name, std::nullopt, offer.bytes.size()), offer.id, p->user().value()));
        p->sendList(list);
    }

    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& p) override
    {
        for (const Offer& offer : std::as_const(offers)) {
            if (offer.id != fileID)
                continue;
            for (const BlockSet::Run& run : blocks.runs()) {
                for (std::int64_t b = run.first; b < run.end(); ++b)
                    p->sendData(offer.bytes.mid(b * blockSize, blockSize), b, fileID, {});
            }
        }
    }

    void peerConnectionDidReceiveList(const QList<File>&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidReceiveData(const QByteArray&, std::int64_t, const QUuid&,
                                      const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidFail(const NetworkError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidFailToDecode(MessageType, const DecodeError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>&) override { cancelled = true; }

    KeyHelper keys;
    std::shared_ptr<PeerConnection> peer;
    QList<Offer> offers;
    bool ready = false;
    bool cancelled = false;
};

TEST(Hostile, NamesFromAPeerNeitherLeaveTheDownloadFolderNorReachTheTerminal)
{
    Scene scene;
    CliNode val(scene, QStringLiteral("Val"));
    val.makeCard();
    Mallory mallory(scene.path(QStringLiteral("mallory")));
    const QString malloryCard = scene.path(QStringLiteral("mallory/Mallory.bcard"));
    mallory.writeCard(malloryCard);
    val.ok({QStringLiteral("import"), malloryCard});

    const QString absolute = scene.path(QStringLiteral("absolute-escape.txt"));
    const QStringList names{QStringLiteral("../escape-1.txt"), QStringLiteral("../../escape-2.txt"), absolute,
                            QStringLiteral("sub/../../escape-3.txt"), QStringLiteral("evil\x1b[2J\nname\t.txt"),
                            QStringLiteral("ok.bin")};
    for (int i = 0; i < names.size(); ++i)
        mallory.offers.append(Offer{QUuid::createUuid(), names[i], test::generatedBytes(i == 5 ? 10 * blockSize : 10 + i, i)});

    const QStringList excluded{val.dataDir(), val.downloads()};
    const QHash<QString, QByteArray> before = treeSnapshot(scene.path(), excluded);

    auto victim = val.run({QStringLiteral("--accept"), QStringLiteral("all"), QStringLiteral("--download-to"),
                           val.downloads(), QStringLiteral("--timeout"), QStringLiteral("100")});
    ASSERT_TRUE(victim->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
    ASSERT_TRUE(mallory.connectTo(fromBytes<User>(test::readFile(val.cardPath()))));
    ASSERT_TRUE(victim->waitForLine([&, count = 0](const QString& line) mutable {
        return line.startsWith(QStringLiteral("finished ")) && ++count == names.size();
    })) << victim->output().toStdString() << "\n" << victim->errors().right(4000).toStdString();
    victim->signal(SIGTERM);
    ASSERT_TRUE(victim->waitForExit());
    EXPECT_EQ(victim->exitCode(), 143) << victim->errors().toStdString();

    EXPECT_EQ(treeSnapshot(scene.path(), excluded), before);
    EXPECT_FALSE(QFileInfo::exists(scene.path(QStringLiteral("../escape-2.txt"))));
    EXPECT_FALSE(QFileInfo::exists(absolute));

    // One plain file per offer, with Mallory's bytes, and nothing else.
    const QFileInfoList entries = QDir(val.downloads()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QSet<QByteArray> shas;
    for (const QFileInfo& entry : entries) {
        EXPECT_TRUE(entry.isFile() && !entry.isSymLink()) << entry.fileName().toStdString();
        shas.insert(sha256OfFile(entry.filePath()));
    }
    EXPECT_EQ(entries.size(), names.size());
    for (const Offer& offer : std::as_const(mallory.offers))
        EXPECT_TRUE(shas.contains(QCryptographicHash::hash(offer.bytes, QCryptographicHash::Sha256).toHex()))
            << offer.name.toStdString();
    EXPECT_TRUE(QFileInfo::exists(val.downloads() + QStringLiteral("/ok.bin")));
    for (const Record& r : val.files())
        EXPECT_EQ(r.state, QStringLiteral("done")) << r.name.toStdString();

    for (const QString& line : victim->lines()) {
        for (const QChar c : line)
            EXPECT_FALSE(c.category() == QChar::Other_Control) << line.toStdString();
    }
}

}  // namespace

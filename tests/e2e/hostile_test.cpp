// A hostile peer against a brenvo-cli process: Mallory has a real identity
// that Val imported, and uses it to send names that climb out of the
// download folder, blocks out of range, unasked and of the wrong size, data
// for a record Val keeps for another person, and wants for Val's offer to
// someone else. Nothing outside Val's download folder and data directory
// may change, no record Mallory does not own may move, and what Mallory
// offers honestly must still arrive intact.

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
#include <QRandomGenerator>

#include <csignal>

using namespace brenvo::e2e;
using namespace vortan;

namespace {

constexpr std::int64_t kBlock = blockSize;

// What Mallory offers: a name, the bytes, and whether the name can be a file
// at all (Val refuses "", "." and "..").
struct Offer {
    QUuid id;
    QString name;
    QByteArray bytes;
    bool nameable = true;
};

class Mallory : public PeerConnectionDelegate {
public:
    explicit Mallory(const QString& folder)
        : keys(std::make_unique<FileSecretStore>(folder + QStringLiteral("/identity.key"),
                                                 QString::fromLatin1(KeyHelper::kAccount)))
    {
        QDir().mkpath(folder);
        keys.signingKey();
    }

    ~Mallory() override { close(); }

    // Her card, as a file Val can import.
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

    void close()
    {
        if (!peer)
            return;
        std::weak_ptr<PeerConnection> weak = peer;
        if (peer->connection())
            peer->connection()->cancel();
        peer.reset();
        test::waitFor([&] { return weak.expired(); }, 5000);
    }

    // Asks Val for a list and waits for it: Val handles messages in order, so
    // everything sent before has been dealt with once it arrives.
    bool roundTrip()
    {
        const qsizetype before = listsReceived;
        peer->sendListRequest();
        return test::waitFor([&] { return listsReceived > before || cancelled; }, kCommandTimeoutMs)
               && listsReceived > before;
    }

    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>&) override { ready = true; }

    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& p) override
    {
        QList<File> list;
        for (const Offer& offer : std::as_const(offers))
            list.append(File(File2(offer.name, std::nullopt, offer.bytes.size()), offer.id, p->user().value()));
        p->sendList(list);
        listed = true;
    }

    void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>&) override
    {
        ++listsReceived;
        entriesReceived += files.size();
    }

    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& p) override
    {
        const Offer* offer = nullptr;
        for (const Offer& o : std::as_const(offers)) {
            if (o.id == fileID)
                offer = &o;
        }
        if (!offer)
            return;
        if (offer->name == QLatin1String("ok.bin") && !spoiled) {
            // Before the real blocks: one not asked for, ones outside the
            // file, and a short one in the place of block 0.
            spoiled = true;
            const QByteArray junk(kBlock, 'X');
            p->sendData(junk, 7, fileID, {});
            p->sendData(junk, 10, fileID, {});
            p->sendData(junk, 1000000, fileID, {});
            p->sendData(junk, -1, fileID, {});
            p->sendData(QByteArray(100, 'X'), 0, fileID, {});
        }
        for (const BlockSet::Run& run : blocks.runs()) {
            for (std::int64_t b = run.first; b < run.end(); ++b)
                p->sendData(offer->bytes.mid(b * kBlock, kBlock), b, fileID, {});
        }
    }

    void peerConnectionDidReceiveData(const QByteArray&, std::int64_t, const QUuid&,
                                      const std::shared_ptr<PeerConnection>&) override
    {
        ++dataReceived;
    }
    void peerConnectionDidFail(const NetworkError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidFailToDecode(MessageType, const DecodeError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>&) override { cancelled = true; }

    KeyHelper keys;
    std::shared_ptr<PeerConnection> peer;
    QList<Offer> offers;
    bool ready = false;
    bool cancelled = false;
    bool listed = false;
    bool spoiled = false;
    qsizetype listsReceived = 0;
    qsizetype entriesReceived = 0;
    int dataReceived = 0;
};

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(QRandomGenerator::global()->bounded(256));
    return bytes;
}

QByteArray sha256(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

TEST(Hostile, APeerCannotWriteOutsideTheDownloadFolderNorTouchOthersRecords)
{
    Scene scene;
    CliNode val(scene, QStringLiteral("Val"));
    CliNode sam(scene, QStringLiteral("Sam"));
    val.makeCard();
    sam.makeCard();
    val.importCard(sam);
    sam.importCard(val);
    Mallory mallory(scene.path(QStringLiteral("mallory")));
    const QString malloryCard = scene.path(QStringLiteral("mallory/Mallory.bcard"));
    mallory.writeCard(malloryCard);
    val.ok({QStringLiteral("import"), malloryCard});

    // Val keeps a download offered by Sam, placed but not yet begun, and
    // offers a file of her own to Sam.
    const QString samFile = sam.folder(QStringLiteral("from-sam.bin"));
    const QByteArray samSha = writeRandomFile(samFile, 3 * kBlock + 1);
    const QString samOffer = sam.share(QStringLiteral("Val"), samFile);
    {
        auto samRun = sam.run({QStringLiteral("--timeout"), QStringLiteral("100")});
        ASSERT_TRUE(samRun->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
        auto visit = val.run({QStringLiteral("--connect"), QStringLiteral("Sam"), QStringLiteral("--exit-when-done"),
                              QStringLiteral("--timeout"), QStringLiteral("100")});
        ASSERT_TRUE(visit->waitForExit());
        ASSERT_EQ(visit->exitCode(), 0) << visit->errors().toStdString();
        samRun->signal(SIGTERM);
        ASSERT_TRUE(samRun->waitForExit());
    }
    val.ok({QStringLiteral("resume"), samOffer, QStringLiteral("--to"), val.downloads()});
    const QString valFile = val.folder(QStringLiteral("from-val.bin"));
    writeRandomFile(valFile, 2 * kBlock);
    const QString valOffer = val.share(QStringLiteral("Sam"), valFile);

    // Mallory's list.
    const QString absolute = scene.path(QStringLiteral("absolute-escape.txt"));
    const QList<std::pair<QString, qsizetype>> named{
        {QStringLiteral("../escape-1.txt"), 10},
        {QStringLiteral("../../escape-2.txt"), 11},
        {absolute, 12},
        {QStringLiteral("sub/../../escape-3.txt"), 13},
        {QStringLiteral("evil\x1b[2J\nname\t.txt"), 14},
        {QStringLiteral("ok.bin"), 10 * kBlock},
    };
    for (const auto& [name, size] : named)
        mallory.offers.append(Offer{QUuid::createUuid(), name, randomBytes(size), true});
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("."), QString()})
        mallory.offers.append(Offer{QUuid::createUuid(), name, randomBytes(5), false});
    // Ids of records Val keeps for Sam.
    mallory.offers.append(Offer{QUuid::fromString(samOffer), QStringLiteral("hijack-1.bin"), randomBytes(5), false});
    mallory.offers.append(Offer{QUuid::fromString(valOffer), QStringLiteral("hijack-2.bin"), randomBytes(5), false});

    const QStringList excluded{val.dataDir(), val.downloads()};
    const QHash<QString, QByteArray> before = treeSnapshot(scene.path(), excluded);

    auto victim = val.run({QStringLiteral("--accept"), QStringLiteral("all"), QStringLiteral("--download-to"),
                           val.downloads(), QStringLiteral("--timeout"), QStringLiteral("100")});
    ASSERT_TRUE(victim->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
    const User valCard = fromBytes<User>(test::readFile(val.cardPath()));
    ASSERT_TRUE(mallory.connectTo(valCard));

    // Val accepts all: the nameable offers come in, each to its own file.
    const int nameable = int(named.size());
    ASSERT_TRUE(victim->waitForLine(
        [&, count = 0](const QString& line) mutable { return line.startsWith(QStringLiteral("finished ")) && ++count == nameable; }))
        << victim->output().toStdString() << "\n" << victim->errors().right(4000).toStdString();

    // Data for Sam's record (right size, as if it were Sam's) and wants for
    // Val's offer to Sam and for a record nobody has.
    const QUuid samId = QUuid::fromString(samOffer);
    mallory.peer->sendData(QByteArray(kBlock, 'M'), 0, samId, {});
    mallory.peer->sendData(QByteArray(kBlock, 'M'), 1, samId, {});
    mallory.peer->sendWant(BlockSet::range(0, 2), QUuid::fromString(valOffer));
    mallory.peer->sendWant(BlockSet::range(0, 1), QUuid::createUuid());
    ASSERT_TRUE(mallory.roundTrip());
    mallory.close();

    victim->signal(SIGTERM);
    ASSERT_TRUE(victim->waitForExit());
    EXPECT_EQ(victim->exitCode(), 0) << victim->errors().toStdString();

    // Nothing changed outside Val's data and download folders.
    const QHash<QString, QByteArray> after = treeSnapshot(scene.path(), excluded);
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        EXPECT_EQ(before.value(it.key()), it.value()) << "changed or new: " << it.key().toStdString();
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        EXPECT_TRUE(after.contains(it.key())) << "gone: " << it.key().toStdString();
    EXPECT_FALSE(QFileInfo::exists(scene.path(QStringLiteral("../escape-2.txt"))));
    EXPECT_FALSE(QFileInfo::exists(absolute));

    // In the download folder: one plain file per nameable offer, with
    // Mallory's bytes, and nothing else.
    const QFileInfoList entries = QDir(val.downloads()).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    QSet<QByteArray> shas;
    for (const QFileInfo& entry : entries) {
        EXPECT_TRUE(entry.isFile() && !entry.isSymLink()) << entry.fileName().toStdString();
        EXPECT_FALSE(entry.fileName().endsWith(QStringLiteral(".downloading"))) << entry.fileName().toStdString();
        shas.insert(sha256OfFile(entry.filePath()));
    }
    EXPECT_EQ(entries.size(), nameable);
    for (const Offer& offer : std::as_const(mallory.offers)) {
        if (offer.nameable) {
            EXPECT_TRUE(shas.contains(sha256(offer.bytes))) << offer.name.toStdString();
        }
    }
    EXPECT_TRUE(QFileInfo::exists(val.downloads() + QStringLiteral("/ok.bin")));

    // Val's records: Sam's download and Val's offer untouched, ids unique,
    // nothing of Mallory's under a name Val cannot use.
    const QList<Record> records = val.files();
    QSet<QString> ids;
    int fromMallory = 0;
    for (const Record& r : records) {
        EXPECT_FALSE(ids.contains(r.id)) << "two records with id " << r.id.toStdString();
        ids.insert(r.id);
        EXPECT_FALSE(r.name.contains(QStringLiteral("hijack"))) << r.name.toStdString();
        if (r.user == QStringLiteral("Mallory")) {
            ++fromMallory;
            EXPECT_EQ(r.state, QStringLiteral("done")) << r.name.toStdString();
        }
    }
    EXPECT_EQ(fromMallory, nameable);
    const std::optional<Record> samRecord = val.record(samOffer);
    ASSERT_TRUE(samRecord);
    EXPECT_EQ(samRecord->user, QStringLiteral("Sam"));
    EXPECT_EQ(samRecord->done, 0);
    EXPECT_EQ(samRecord->name, QStringLiteral("from-sam.bin"));
    EXPECT_FALSE(QFileInfo::exists(val.downloads() + QStringLiteral("/from-sam.bin.downloading")));
    const std::optional<Record> valRecord = val.record(valOffer);
    ASSERT_TRUE(valRecord);
    EXPECT_EQ(valRecord->user, QStringLiteral("Sam"));
    EXPECT_EQ(valRecord->done, 0);
    EXPECT_EQ(mallory.dataReceived, 0) << "Val sent Mallory data";
    EXPECT_EQ(mallory.entriesReceived, 0) << "Val listed something to Mallory";

    // What Val printed carries no control character of Mallory's.
    for (const QString& line : victim->lines()) {
        for (const QChar c : line)
            EXPECT_FALSE(c.category() == QChar::Other_Control) << line.toStdString();
    }

    // Sam's file still arrives whole: nothing of Mallory's went into it. Val's
    // offer goes to Sam at the same time; each run ends once the other has
    // everything.
    auto samRun = sam.run({QStringLiteral("--accept"), QStringLiteral("Val"), QStringLiteral("--download-to"),
                           sam.downloads(), QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"),
                           QStringLiteral("100")});
    ASSERT_TRUE(samRun->waitForLineStartingWith(QStringLiteral("listening on port"), kCommandTimeoutMs));
    auto finish = val.run({QStringLiteral("--connect"), QStringLiteral("Sam"), QStringLiteral("--accept"),
                           QStringLiteral("Sam"), QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"),
                           QStringLiteral("100")});
    for (RunningCli* run : {finish.get(), samRun.get()}) {
        ASSERT_TRUE(run->waitForExit());
        EXPECT_EQ(run->exitCode(), 0) << run->output().toStdString() << run->errors().right(3000).toStdString();
    }
    EXPECT_EQ(sha256OfFile(val.downloads() + QStringLiteral("/from-sam.bin")), samSha);
    EXPECT_EQ(sha256OfFile(sam.downloads() + QStringLiteral("/from-val.bin")), sha256OfFile(valFile));
}

}  // namespace

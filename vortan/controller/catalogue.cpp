#include "vortan/controller/catalogue.h"

#include "vortan/controller/filetable.h"

#include "vortan/controller/connectionpolicy.h"
#include "vortan/controller/downloads.h"

#include "vortan/controller/downloadtarget.h"
#include "vortan/log.h"
#include "vortan/peer/messages.h"
#include "vortan/peer/peerconnection.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <exception>
#include <limits>

namespace vortan {

namespace {

// Block numbers travel as signed 32-bit integers.
constexpr std::int64_t kMaxWantableBlocks = std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1;

// Refused entries of one list logged each; the rest are counted.
constexpr qsizetype kLoggedRefusals = 10;

// The list entries for the records, as the peer will see them.
QList<FileProxy> proxiesOf(const QList<File>& records)
{
    QList<FileProxy> proxies;
    proxies.reserve(records.size());
    for (const File& record : records) {
        FileProxy proxy{record.id(), record.file};
        proxy.file.location.reset();
        proxies.append(std::move(proxy));
    }
    return proxies;
}

// Splits the records into runs whose list messages each encode to at most
// limit bytes. A record that alone exceeds the limit is left out (and logged).
void splitByEncodedSize(const QList<File>& records, qsizetype limit, QList<QList<File>>& parts)
{
    if (records.isEmpty())
        return;
    if (toBytes(proxiesOf(records)).size() <= limit) {
        parts.append(records);
        return;
    }
    if (records.size() == 1) {
        logWarning(lcController(), QStringLiteral("Left %1 out of a list: its entry alone exceeds the message size")
                    .arg(idText(records.first().id())));
        return;
    }
    const qsizetype half = records.size() / 2;
    splitByEncodedSize(records.first(half), limit, parts);
    splitByEncodedSize(records.sliced(half), limit, parts);
}

}  // namespace

Catalogue::Catalogue(FileTable& files, Limits limits, Engine engine)
    : m_files(files), m_limits(limits), m_engine(std::move(engine))
{
}

Catalogue::~Catalogue() = default;

std::optional<QString> Catalogue::sendListInParts(PeerConnection& peer, const QList<File>& records, ListKind kind)
{
    try {
        QList<QList<File>> parts;
        splitByEncodedSize(records, m_limits.listMessageLimit, parts);
        if (kind == ListKind::answer && (parts.isEmpty() || !parts.last().isEmpty()))
            parts.append(QList<File>());  // the end of the answer (alone: an empty one)
        if (parts.isEmpty())
            return std::nullopt;
        for (const QList<File>& part : std::as_const(parts))
            peer.sendList(part);
    } catch (const plist::FormatError& e) {
        return QString::fromUtf8(e.what());
    }
    for (const File& record : records) {
        if (!record.download)
            m_offersListed.insert(record.id());
    }
    return std::nullopt;
}

void Catalogue::shareFiles(const QList<File2>& files, const QList<QByteArray>& users)
{
    QList<QByteArray> done;
    for (const QByteArray& key : users) {
        if (done.contains(key))
            continue;
        done.append(key);
        QList<File> added;
        for (const File2& file : files) {
            if (!file.location || !file.location->isLocalFile()) {
                logWarning(lcController(), QStringLiteral("Cannot offer %1: it has no local location").arg(file.name()));
                continue;
            }
            added.append(File(file, key));
        }
        if (added.isEmpty())
            continue;
        m_files.append(added);
        m_files.update();
        m_engine.changed();
        if (std::shared_ptr<PeerConnection> peer = m_engine.peerFor(key)) {
            if (std::optional<QString> error = sendListInParts(*peer, added, ListKind::offers))
                m_engine.modifyUser(key, [&](User& u) { u.error = VortanError::other(*error); });
        } else {
            m_engine.workAdded(key);
        }
    }
}

void Catalogue::removeFiles(const QList<QUuid>& ids, const QByteArray& user)
{
    const QSet<QUuid> wanted(ids.cbegin(), ids.cend());
    QList<QUuid> removed;
    QList<QByteArray> madeRoomFor;
    m_files.removeIf([&](const File& record) {
        if (!wanted.contains(record.id()))
            return false;
        removed.append(record.id());
        if (record.download && !isComplete(record))
            madeRoomFor.append(record.user);
        record.buffer()->closeBuffer();
        if (record.download) {
            // Only the partial file: a finished download and a shared file stay.
            const QString partial = record.partialPath();
            if (!partial.isEmpty() && QFile::exists(partial))
                QFile::remove(partial);
        }
        forgetRecord(record.id());
        return true;
    });
    m_files.update();
    if (removed.isEmpty())
        return;
    ++m_removals;
    for (const QByteArray& key : std::as_const(madeRoomFor))
        madeRoom(key);
    QList<QUuid>& remembered = m_deletedFileIDs[user];
    QSet<QUuid> known(remembered.cbegin(), remembered.cend());
    for (const QUuid& id : std::as_const(removed)) {
        if (!known.contains(id)) {
            known.insert(id);
            remembered.append(id);
        }
    }
    m_engine.changed();
}

void Catalogue::forgetRecord(const QUuid& id)
{
    m_engine.recordRemoved(id);
    m_offersListed.remove(id);
}

void Catalogue::listRequested(const std::shared_ptr<PeerConnection>& peer)
{
    const QByteArray key = *peer->user();
    // Offers to this user still to be sent. An empty offer has no block to
    // be asked for: it is listed until it has been listed once (in this
    // run), and a peer that knows it makes the empty file when it takes it.
    QList<File> list;
    for (const File& record : std::as_const(m_files)) {
        if (record.download || record.user != key)
            continue;
        if (record.numberOfBlocks() == 0 ? !m_offersListed.contains(record.id())
                                         : record.blocks.count() != record.numberOfBlocks())
            list.append(record);
    }
    if (std::optional<QString> error = sendListInParts(*peer, list, ListKind::answer))
        m_engine.modifyUser(key, [&](User& u) { u.error = VortanError::other(*error); });
}

void Catalogue::listReceived(const QList<File>& received, const std::shared_ptr<PeerConnection>& peer)
{
    if (m_listMerges.isEmpty() && received.size() <= kListMergeSlice) {
        ListMerge tally;
        mergeList(received, peer, tally, true);
        return;
    }
    ListMerge merge;
    merge.peer = peer;
    merge.rest = received;
    m_listMerges.append(std::move(merge));
    if (m_listMerges.size() == 1)
        mergeListSlice();  // the first slice at once
}

void Catalogue::mergeListSlice()
{
    m_listMergeScheduled = false;
    // Slices until the turn has taken its share of time: as many as a fast
    // machine merges in it, one on a slow one.
    QElapsedTimer turn;
    turn.start();
    while (!m_listMerges.isEmpty() && turn.nsecsElapsed() < kListMergeTurn.count()) {
        ListMerge merge = m_listMerges.takeFirst();
        const qsizetype count = std::min(merge.rest.size(), kListMergeSlice);
        const QList<File> slice = merge.rest.first(count);
        merge.rest.remove(0, count);
        const bool last = merge.rest.isEmpty();
        // A peer that has gone takes the rest of its list with it.
        if (const std::shared_ptr<PeerConnection> peer = merge.peer.lock()) {
            mergeList(slice, peer, merge, last);
            if (!last)
                m_listMerges.prepend(std::move(merge));
        }
    }
    if (!m_listMerges.isEmpty() && !m_listMergeScheduled) {
        m_listMergeScheduled = true;
        QMetaObject::invokeMethod(this, [this] { mergeListSlice(); }, Qt::QueuedConnection);
    }
}

void Catalogue::mergeList(const QList<File>& received, const std::shared_ptr<PeerConnection>& peer,
                                  ListMerge& tally, bool last)
{
    if (!peer->user() || !m_engine.admit(peer))
        return;
    const QByteArray key = *peer->user();
    if (tally.countedAt != m_removals) {
        const QList<QUuid>& removedList = m_deletedFileIDs.value(key);
        tally.removedBefore = QSet<QUuid>(removedList.cbegin(), removedList.cend());
        // What one user can make us hold unfinished is bounded.
        tally.offers = 0;
        for (const File& record : std::as_const(m_files))
            tally.offers += record.download && record.user == key && !isComplete(record);
        tally.countedAt = m_removals;
    }
    const QSet<QUuid>& removedBefore = tally.removedBefore;
    const qsizetype offers = tally.offers;
    const User* listing = m_engine.findUser(key);
    const QString from = listing ? listing->name : QString::fromLatin1(key.toHex().left(16));

    // One line per refused entry, up to a few per list; then a count.
    qsizetype& refusals = tally.refusals;
    const auto refuse = [&](const QString& line) {
        if (++refusals <= kLoggedRefusals)
            logWarning(lcController(), line);
    };
    qsizetype& overLimit = tally.overLimit;

    QList<File> added;
    QSet<QUuid> named;
    named.reserve(received.size());
    QList<QUuid> known;
    for (const File& entry : received) {
        const auto id = [&] { return idText(entry.id()); };
        if (entry.id().isNull()) {
            refuse(QStringLiteral("Refused list entry %1: a null id").arg(id()));
            continue;
        }
        if (named.contains(entry.id()))
            continue;  // listed twice in one message
        named.insert(entry.id());
        if (const File* existing = m_files.find(entry.id())) {
            if (!existing->download || existing->user != key) {
                refuse(QStringLiteral("Refused list entry %1: the id belongs to another record").arg(id()));
                continue;
            }
            known.append(entry.id());
            continue;
        }
        if (removedBefore.contains(entry.id()))
            continue;  // removed by the local user before
        if (offers + added.size() >= m_limits.maxOffersPerUser) {
            ++overLimit;
            continue;
        }
        if (entry.length() < 0 || entry.numberOfBlocks() != numberOfBlocksFor(entry.length())) {
            refuse(QStringLiteral("Refused list entry %1: %2 blocks do not fit a length of %3 bytes")
                       .arg(id())
                       .arg(entry.numberOfBlocks())
                       .arg(entry.length()));
            continue;
        }
        if (entry.numberOfBlocks() > kMaxWantableBlocks) {
            // A want names its blocks with 32-bit numbers: the rest of such a
            // file could never be asked for.
            refuse(QStringLiteral("Refused list entry %1: %2 blocks are more than can be asked for")
                       .arg(id())
                       .arg(entry.numberOfBlocks()));
            continue;
        }
        // Kept under a safe name: folders and all when the name is a safe
        // relative path, flat otherwise.
        const std::optional<QString> name = safeReceivedName(entry.name());
        if (!name) {
            refuse(QStringLiteral("Refused list entry %1: \"%2\" cannot name a file").arg(id(), printableName(entry.name())));
            continue;
        }
        File record(File2(*name, std::nullopt, entry.length()), entry.id(), key);
        added.append(std::move(record));
    }
    if (last && refusals > kLoggedRefusals)
        logWarning(lcController(), QStringLiteral("Refused %1 more list entries from %2").arg(refusals - kLoggedRefusals).arg(from));
    if (last && overLimit > 0)
        logWarning(lcController(), QStringLiteral("Refused %1 new list entries from %2: %3 unfinished offers of one user are the most kept")
                    .arg(overLimit)
                    .arg(from)
                    .arg(m_limits.maxOffersPerUser));

    // A record named again is offered again.
    bool offeredAgain = false;
    for (const QUuid& id : std::as_const(named)) {
        const File* record = m_files.find(id);
        if (record && record->download && record->user == key && record->unavailable) {
            m_files.edit(id)->unavailable = false;
            offeredAgain = true;
        }
    }
    if (offeredAgain) {
        m_files.update();
        m_engine.changed();
    }
    // The parts of the answer to our request come one after another, before
    // anything else the peer lists on this connection. A peer like us ends
    // its answer with an empty part; one that has never done so answers in
    // a single message (an empty answer is such a message too). An empty
    // list after an answer taken as whole (and its further parts, if any)
    // shows that the peer ends its answers: its next ones are awaited to
    // their end.
    m_pendingAnswers.removeIf([](const PendingAnswer& a) { return a.peer.expired(); });
    m_endingPeers.removeIf([](const std::weak_ptr<PeerConnection>& p) { return p.expired(); });
    const auto answer = std::find_if(m_pendingAnswers.begin(), m_pendingAnswers.end(),
                                     [&](const PendingAnswer& a) { return a.peer.lock() == peer; });
    const bool endsAnswers = std::any_of(m_endingPeers.cbegin(), m_endingPeers.cend(),
                                         [&](const std::weak_ptr<PeerConnection>& p) { return p.lock() == peer; });
    const bool emptyMessage = last && received.isEmpty() && tally.named.isEmpty();
    if (answer != m_pendingAnswers.end()) {
        answer->named.unite(named);
        if (last && (emptyMessage || !endsAnswers)) {
            const QSet<QUuid> listed = std::move(answer->named);
            m_pendingAnswers.erase(answer);
            markWithdrawn(key, listed);
            m_answeredWhole = emptyMessage ? std::weak_ptr<PeerConnection>() : std::weak_ptr<PeerConnection>(peer);
        }
    } else if (emptyMessage && !endsAnswers && m_answeredWhole.lock() == peer) {
        m_answeredWhole.reset();
        m_endingPeers.append(peer);
    }

    // Known records ask for what they miss. So do this user's running
    // downloads that the list leaves out: the sender no longer lists an offer
    // whose blocks have all been handed to its kernel, although the last of
    // them may never have arrived here.
    for (const QUuid& id : std::as_const(known)) {
        const File* record = m_files.find(id);
        if (record && record->numberOfBlocks() > 0 && isComplete(*record))
            m_engine.remindSender(id, *peer);
        else
            m_engine.topUp(id, *peer);
    }
    tally.named.unite(named);
    if (last) {
        QList<QUuid> running;
        for (const File& record : std::as_const(m_files)) {
            if (record.download && record.user == key && !record.paused && !record.error && !isComplete(record)
                && record.location() && !tally.named.contains(record.id()))
                running.append(record.id());
        }
        for (const QUuid& id : std::as_const(running))
            m_engine.topUp(id, *peer);
    }

    if (last)
        m_askedForRoom.remove(key);
    if (last && overLimit > 0) {
        // Counted again: downloads taken from the first parts of a long
        // answer may have finished while the rest of it was merged, and the
        // room they made is not told again.
        qsizetype unfinished = added.size();
        for (const File& record : std::as_const(m_files))
            unfinished += record.download && record.user == key && !isComplete(record);
        m_refused.insert(key, Refused{overLimit, unfinished});
    }
    if (!added.isEmpty()) {
        tally.offers += added.size();
        m_files.append(added);
        // Published at once: a delegate looks the new records up in the rows.
        m_files.publishNow();
        m_engine.changed();
        if (const User* user = m_engine.findUser(key)) {
            // A copy: the slots may change the user list.
            const User sender = *user;
            QList<FileRow> rows;
            rows.reserve(added.size());
            for (const File& file : added)
                rows.append(m_files.rowOf(file));
            emit filesReceived(rows, sender);
        }
    }
    if (last && overLimit > 0) {
        emit offersRefused(key, overLimit);
        askIfRoom(key);
    }
    if (last)
        emit listMerged(key);
}

void Catalogue::downloadFinished(const QByteArray& user)
{
    madeRoom(user);
}

void Catalogue::askWhetherSenderIsDone(const QByteArray& user)
{
    if (const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(user))
        askForList(peer);
}

void Catalogue::madeRoom(const QByteArray& key)
{
    const auto found = m_refused.find(key);
    if (found == m_refused.end())
        return;
    found->kept = std::max<qsizetype>(0, found->kept - 1);
    askIfRoom(key);
}

void Catalogue::askIfRoom(const QByteArray& key)
{
    const auto found = m_refused.find(key);
    if (found == m_refused.end())
        return;
    // Not at every finished file: once there is room for all that was
    // refused, or for half the limit (each time the whole list comes again:
    // with 100,000 offers and room for a tenth, 90 lists of all of them).
    const qsizetype room = m_limits.maxOffersPerUser - found->kept;
    if (room < std::min(found->refused, std::max<qsizetype>(1, m_limits.maxOffersPerUser / 2)))
        return;
    const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(key);
    if (!peer)
        return;  // the list asked for at the next connection brings them
    m_refused.erase(found);
    m_askedForRoom.insert(key);
    const User* user = m_engine.findUser(key);
    logInfo(lcController(), QStringLiteral("Asking %1 for the list again: there is room for the offers refused before")
                                .arg(user ? user->name : QString::fromLatin1(key.toHex().left(16))));
    askForList(peer);
}

void Catalogue::askForList(const std::shared_ptr<PeerConnection>& peer)
{
    peer->sendListRequest();
    // An answer still coming in on this connection takes its place.
    const bool pending = std::any_of(m_pendingAnswers.cbegin(), m_pendingAnswers.cend(),
                                     [&](const PendingAnswer& a) { return a.peer.lock() == peer; });
    if (!pending)
        m_pendingAnswers.append(PendingAnswer{peer, {}});
}

void Catalogue::askedForList(const std::shared_ptr<PeerConnection>& peer)
{
    m_pendingAnswers.append(PendingAnswer{peer, {}});
}

void Catalogue::connectionEnded(const std::shared_ptr<PeerConnection>& peer)
{
    m_pendingAnswers.removeIf([&](const PendingAnswer& a) { return a.peer.expired() || a.peer.lock() == peer; });
}

void Catalogue::removeUser(const QByteArray& key)
{
    const qsizetype removedFiles = m_files.removeIf([&](const File& file) {
        if (file.user != key)
            return false;
        file.buffer()->closeBuffer();
        forgetRecord(file.id());
        return true;
    });
    if (removedFiles)
        m_files.update();
    m_deletedFileIDs.remove(key);
    m_refused.remove(key);
    m_askedForRoom.remove(key);
    ++m_removals;
}

bool Catalogue::hasWork(const QByteArray& key) const
{
    const auto listed = [this](const QUuid& id) { return m_offersListed.contains(id); };
    return std::any_of(m_files.begin(), m_files.end(), [&](const File& file) { return isWorkFor(file, key, listed); });
}

bool Catalogue::askForListAgain(const QByteArray& user, std::chrono::seconds quiet)
{
    // The answer's end marks what the list leaves out (see markWithdrawn()).
    const std::shared_ptr<PeerConnection> peer = m_engine.peerFor(user);
    if (!peer)
        return false;
    const User* known = m_engine.findUser(user);
    logInfo(lcController(), QStringLiteral("Nothing arrived from %1 for %2 s although blocks are asked for: asking for the list again")
                .arg(known ? known->name : QString::fromLatin1(user.toHex().left(16)))
                .arg(quiet.count()));
    askForList(peer);
    return true;
}

void Catalogue::markWithdrawn(const QByteArray& key, const QSet<QUuid>& listed)
{
    // A finished download keeps its state: its copy is here. Offers the peer
    // has handed out completely are not listed either, but a running download
    // still asks for them (see above); a block that arrives clears the mark.
    bool changed = false;
    for (qsizetype i = 0; i < m_files.size(); ++i) {
        const File& record = m_files[i];
        if (!record.download || record.user != key || record.unavailable || isComplete(record)
            || (record.numberOfBlocks() > 0 && record.transferred()) || listed.contains(record.id()))
            continue;
        const QUuid id = record.id();
        m_files.edit(i).unavailable = true;
        changed = true;
        logInfo(lcController(), QStringLiteral("%1 is no longer offered").arg(idText(id)));
    }
    if (changed) {
        m_files.update();
        m_engine.changed();
    }
}

}  // namespace vortan

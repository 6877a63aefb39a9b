#pragma once

#include "vortan/file2.h"
#include "vortan/filerow.h"
#include "vortan/records/coding.h"
#include "vortan/records/file.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class FileTable;
class PeerConnection;

// The catalogue's exchange with peers: our offers (shared, removed, listed
// to their users in messages under the size bound), the answers to list
// requests, and the lists received, merged a slice at a time into paused
// downloads after every entry has been checked. Remembers the ids the local
// user removed, per user, so that a list does not bring them back.
class Catalogue : public QObject {
    Q_OBJECT
public:
    struct Limits {
        qsizetype listMessageLimit = 0;
        qsizetype maxOffersPerUser = 0;
    };
    struct Engine {
        std::function<const User*(const QByteArray& key)> findUser;
        std::function<void(const QByteArray& key, const std::function<void(User&)>& change)> modifyUser;
        std::function<std::shared_ptr<PeerConnection>(const QByteArray& key)> peerFor;
        // Whether the connection's messages count (see Peers::admit()).
        std::function<bool(const std::shared_ptr<PeerConnection>& peer)> admit;
        // New offers wait for a connection to the user.
        std::function<void(const QByteArray& key)> workAdded;
        // A running download asks for what it misses.
        std::function<void(const QUuid& id, PeerConnection& peer)> topUp;
        // A finished download its sender still lists asks for its last block
        // again: the sender counts a block sent once our TCP acknowledged it,
        // and a connection that ended may have taken the last of those
        // acknowledgements with it. The answer is dropped here; the sender
        // then counts the offer complete and lists it no more.
        std::function<void(const QUuid& id, PeerConnection& peer)> remindSender;
        std::function<void()> changed;  // to be saved
        // The record is gone: whatever runs for it stops.
        std::function<void(const QUuid& id)> recordRemoved;
    };

    Catalogue(FileTable& files, Limits limits, Engine engine);
    ~Catalogue() override;

    // Offers each file to each user (every user once, in the given order).
    void shareFiles(const QList<File2>& files, const QList<QByteArray>& users);
    // Removes the records with these ids and remembers the ids for `user`.
    void removeFiles(const QList<QUuid>& ids, const QByteArray& user);
    // A user's records go with the user.
    void removeUser(const QByteArray& key);
    const UuidListsByKey& deletedFileIDs() const { return m_deletedFileIDs; }
    void setDeletedFileIDs(UuidListsByKey ids)
    {
        m_deletedFileIDs = std::move(ids);
        ++m_removals;
    }
    // Whether there is work for a connection to this user (see isWorkFor()).
    bool hasWork(const QByteArray& key) const;

    // Our list request went out on this connection; its answer is awaited.
    void askedForList(const std::shared_ptr<PeerConnection>& peer);
    // Asks the user for the list again, because of a quiet download.
    bool askForListAgain(const QByteArray& user, std::chrono::seconds quiet);
    // A download of this user finished: there may be room for offers
    // refused before.
    void downloadFinished(const QByteArray& user);
    // See Downloads::Engine::finishedAcrossConnections.
    void askWhetherSenderIsDone(const QByteArray& user);
    void connectionEnded(const std::shared_ptr<PeerConnection>& peer);
    // Whether offers of the user refused for the limit are still to come in:
    // refused and not asked for again yet, or asked for and not yet merged.
    bool offersHeldBack(const QByteArray& key) const { return m_refused.contains(key) || m_askedForRoom.contains(key); }
    // The peer's messages (admitted already for a list request).
    void listRequested(const std::shared_ptr<PeerConnection>& peer);
    void listReceived(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer);

signals:
    // A list from this user has been merged.
    void listMerged(const QByteArray& key);
    // A list message from this user named this many new offers beyond the
    // most kept of one user; they were not added. A later list brings them
    // again: the user is asked for it once there is room.
    void offersRefused(const QByteArray& key, qsizetype count);
    // A list from this user brought records not known before; their rows
    // are published already.
    void filesReceived(const QList<vortan::FileRow>& files, const vortan::User& sender);

private:
    // Our answer to a list request ends with an empty list message, so that
    // the asking side knows when it has seen every part.
    enum class ListKind { offers, answer };
    std::optional<QString> sendListInParts(PeerConnection& peer, const QList<File>& records, ListKind kind);
    // Marks the user's unfinished downloads that its complete answer left
    // out as unavailable.
    void markWithdrawn(const QByteArray& key, const QSet<QUuid>& listed);
    void forgetRecord(const QUuid& id);
    // One of the user's unfinished downloads is gone (finished or removed).
    void madeRoom(const QByteArray& key);
    // Asks for the list again when there is room for what was refused.
    void askIfRoom(const QByteArray& key);
    void askForList(const std::shared_ptr<PeerConnection>& peer);

    // A long list is merged a slice per event-loop turn, so that the user
    // interface and the transfers go on meanwhile. Lists that arrive in the
    // meantime (from anyone) wait behind it: lists merge in arrival order.
    // Slices of 500 entries, as many per turn as fit in 4 ms.
    static constexpr qsizetype kListMergeSlice = 500;
    static constexpr std::chrono::nanoseconds kListMergeTurn = std::chrono::milliseconds(4);
    struct ListMerge {
        std::weak_ptr<PeerConnection> peer;
        QList<File> rest;
        // Refused entries of the whole message so far, logged after its last slice.
        qsizetype refusals = 0;
        qsizetype overLimit = 0;
        // Every id the message named so far.
        QSet<QUuid> named;
        // Counted at the first slice and kept up to date by the merge itself,
        // so that a slice costs time in its own entries, not in every record
        // held: the user's offers, and the ids the local user removed before.
        // Counted again after anything was removed (see m_removals).
        quint64 countedAt = 0;
        qsizetype offers = -1;
        QSet<QUuid> removedBefore;
    };
    void mergeListSlice();
    void mergeList(const QList<File>& received, const std::shared_ptr<PeerConnection>& peer, ListMerge& tally,
                   bool last);

    FileTable& m_files;
    Limits m_limits;
    Engine m_engine;
    UuidListsByKey m_deletedFileIDs;
    // Offers listed to their user during this run.
    QSet<QUuid> m_offersListed;
    // Connections whose answer to our list request has not ended yet, with
    // the ids its parts named so far.
    struct PendingAnswer {
        std::weak_ptr<PeerConnection> peer;
        QSet<QUuid> named;
    };
    QList<PendingAnswer> m_pendingAnswers;
    // Connections whose peer ends its answers with an empty list message,
    // and the one whose last answer was taken as a single message.
    QList<std::weak_ptr<PeerConnection>> m_endingPeers;
    std::weak_ptr<PeerConnection> m_answeredWhole;
    QList<ListMerge> m_listMerges;
    bool m_listMergeScheduled = false;
    // Counts removals of records and changes to the removed ids.
    quint64 m_removals = 1;
    // Users whose offers were refused for the limit: how many were refused,
    // and how many unfinished downloads of theirs are kept.
    struct Refused {
        qsizetype refused = 0;
        qsizetype kept = 0;
    };
    QHash<QByteArray, Refused> m_refused;
    // Users asked for their list again because there is room now.
    QSet<QByteArray> m_askedForRoom;
};

}  // namespace vortan

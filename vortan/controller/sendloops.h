#pragma once

#include "vortan/records/blockset.h"
#include "vortan/errors.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <deque>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace vortan {

class File;
class PeerConnection;

// The send loops of our offers: each serves the wanted blocks of one offer
// on one connection, lowest first, a few handed to the connection at a time,
// the next once a send has completed. A record's `sending` is true while its
// loop runs.
//
// A block counts as sent (in the record's `blocks`, saved, and the offer
// complete with the last of them) only once the peer's TCP has acknowledged
// its bytes: one still in our kernel when the connection ends may never
// arrive, and an offer counted complete is no longer listed, so a peer
// missing a block would never learn of it. Blocks the connection took but
// the peer had not acknowledged when it ended stay unsent: they are sent
// again when asked for.
//
// An acknowledgement may be lost with its connection (or with a restart
// whose save came before it), though the peer has the block. Receivers ask
// for the lowest missing blocks first: a want whose lowest block is b shows
// that the peer has every block below b that it has not asked for on this
// connection, so those unsent blocks of the offer that are neither wanted,
// nor on their way, nor awaiting their acknowledgement count as sent.
class SendLoops : public QObject {
public:
    struct Engine {
        // The record with this id, to read or to change, or null.
        std::function<const File*(const QUuid& id)> find;
        std::function<File*(const QUuid& id)> edit;
        std::function<void()> changed;       // a record changed: publish
        std::function<void()> progressed;    // a record made progress: save
        std::function<void()> activity;      // a data message went out
        std::function<void(const QUuid& id)> offerSent;  // the last missing block has arrived
    };

    explicit SendLoops(Engine engine);

    // Serves the offer's wants on this connection: starts its loop, or
    // moves a loop running on another (replaced) connection to this one.
    void start(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    // A want of this user's connection: only our own offers to this very
    // user, with the file they name, and only blocks the file has; nothing
    // else of ours is ever read for a peer.
    void wanted(const BlockSet& blocks, const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    // The record is gone.
    void forget(const QUuid& id);
    // The offer's blocks handed over whose completions have not come back.
    BlockSet inFlight(const QUuid& id) const { return m_blocksInFlight.value(id); }
    bool hasInFlight() const { return !m_blocksInFlight.isEmpty(); }
    // Counts as sent what the peers have acknowledged by now, and drops what
    // connections that ended had not (done every kAcknowledgedInterval while
    // anything waits; call it before saving for the latest count).
    void countAcknowledged();
    // Blocks handed over whose acknowledgement has not been seen.
    qsizetype unacknowledged() const;
    // The connection has ended: what it had acknowledged counts, the rest
    // is dropped, while its last count can still be read.
    void connectionEnded() { countAcknowledged(); }

private:
    void sendNext(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    std::int64_t sendAheadOn(const std::shared_ptr<PeerConnection>& peer) const;
    // The lowest block of the record asked for and not handed over yet.
    static std::optional<std::int64_t> lowestUnsent(const File& record, const BlockSet& inFlight);
    void setLoop(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    void endLoop(const QUuid& id);
    void blockSent(const std::optional<NetworkError>& error, const QUuid& id, std::int64_t block,
                   const std::weak_ptr<PeerConnection>& peer);
    void awaitAcknowledgement(const std::shared_ptr<PeerConnection>& peer, const QUuid& id, std::int64_t block);
    void countSent(const QUuid& id, const BlockSet& blocks);
    void stopAwaiting(const QUuid& id, std::int64_t block);

    // Blocks one connection's send loops keep handed to it together: one
    // block at a time costs a turn of the event loop per block before the
    // next is even read, and the link idles meanwhile. Shared evenly by the
    // loops on the connection, at least one each.
    static constexpr std::int64_t kSendAhead = 8;

    Engine m_engine;
    // The connection each running loop sends on, and how many loops each
    // connection has (changed only through setLoop() and endLoop()).
    QHash<QUuid, std::weak_ptr<PeerConnection>> m_loops;
    std::map<std::weak_ptr<PeerConnection>, std::int64_t, std::owner_less<>> m_loopsPerConnection;
    // The blocks of each offer handed to its connection whose completions
    // have not come back yet.
    QHash<QUuid, BlockSet> m_blocksInFlight;

    // Per connection, the blocks handed to it in order, each with the end of
    // its bytes in the stream, until the peer acknowledges them.
    static constexpr std::chrono::milliseconds kAcknowledgedInterval{20};
    struct Handed {
        qint64 end;
        QUuid id;
        std::int64_t block;
    };
    struct Unacknowledged {
        std::weak_ptr<PeerConnection> peer;
        std::deque<Handed> blocks;
        qint64 acknowledged = 0;  // the connection's last count seen
    };
    QHash<const PeerConnection*, Unacknowledged> m_unacknowledged;
    // Per offer, the blocks in m_unacknowledged.
    QHash<QUuid, BlockSet> m_awaiting;
    QTimer m_acknowledgedTimer;
};

}  // namespace vortan

#pragma once

#include "vortan/records/blockset.h"
#include "vortan/errors.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace vortan {

class File;
class PeerConnection;

// The send loops of our offers: each serves the wanted blocks of one offer
// on one connection, lowest first, a few handed to the connection at a time,
// the next once a send has completed. A record's `sending` is true while its
// loop runs.
class SendLoops : public QObject {
public:
    struct Engine {
        // The record with this id, to read or to change, or null.
        std::function<const File*(const QUuid& id)> find;
        std::function<File*(const QUuid& id)> edit;
        std::function<void()> changed;       // a record changed: publish
        std::function<void()> progressed;    // a record made progress: save
        std::function<void()> activity;      // a data message went out
        std::function<void(const QUuid& id)> offerSent;  // the last missing block is out
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
    const QHash<QUuid, BlockSet>& allInFlight() const { return m_blocksInFlight; }

private:
    void sendNext(const QUuid& id, const std::shared_ptr<PeerConnection>& peer);
    std::int64_t sendAheadOn(const std::shared_ptr<PeerConnection>& peer) const;
    void blockSent(const std::optional<NetworkError>& error, const QUuid& id, std::int64_t block,
                   const std::weak_ptr<PeerConnection>& peer);

    // Blocks one connection's send loops keep handed to it together: one
    // block at a time costs a turn of the event loop per block before the
    // next is even read, and the link idles meanwhile. Shared evenly by the
    // loops on the connection, at least one each.
    static constexpr std::int64_t kSendAhead = 8;

    Engine m_engine;
    // The connection each running loop sends on.
    QHash<QUuid, std::weak_ptr<PeerConnection>> m_loops;
    // The blocks of each offer handed to its connection whose completions
    // have not come back yet. Saved as sent: the peer may well have them.
    QHash<QUuid, BlockSet> m_blocksInFlight;
};

}  // namespace vortan

#include "vortan/controller/controller_p.h"
#include "vortan/records/recorderror.h"

#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <QPointer>

#include <algorithm>
#include <exception>

namespace vortan {

namespace {

bool sameObject(const std::weak_ptr<PeerConnection>& a, const std::weak_ptr<PeerConnection>& b)
{
    return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

bool ControllerPrivate::offerDelivered(const QUuid& id) const
{
    const File* record = findFile(id);
    if (!record || record->download || !isComplete(*record))
        return false;
    if (record->numberOfBlocks() == 0 && !m_emptyOffersListed.contains(id))
        return false;
    return !m_offersAwaitingDisconnect.contains(id);
}

void ControllerPrivate::peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                              const std::shared_ptr<PeerConnection>& peer)
{
    if (!peer->user() || !admit(peer))
        return;
    // Only our own offers to this very user, with the file they name, and
    // only blocks the file has: nothing else of ours is ever read for a peer.
    const File* record = findFile(fileID);
    if (!record || record->download || !peer->user() || record->user != *peer->user() || !record->location()
        || !blocks.allBelow(record->numberOfBlocks())) {
        logWarning(lcController(), QStringLiteral("no matching file"));
        return;
    }
    fileWithId(fileID)->wantBlocks.unite(blocks);
    update();
    startSending(fileID, peer);
}

void ControllerPrivate::startSending(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    const qsizetype index = indexOfFile(id);
    if (index < 0)
        return;
    // A loop running on this connection picks the new wants up. One running
    // on a connection that has been replaced would end with its failure and
    // strand the wants that came on the new one: this connection takes over.
    const auto loop = m_sendLoops.constFind(id);
    if (m_files[index].sending && loop != m_sendLoops.cend() && sameObject(*loop, peer))
        return;
    m_files.edit(index).sending = true;
    m_sendLoops.insert(id, peer);
    update();
    sendNextBlock(id, peer);
}

std::int64_t ControllerPrivate::sendAheadOn(const std::shared_ptr<PeerConnection>& peer) const
{
    const std::weak_ptr<PeerConnection> weak(peer);
    const auto loops = std::count_if(m_sendLoops.cbegin(), m_sendLoops.cend(),
                                     [&](const std::weak_ptr<PeerConnection>& loop) { return sameObject(loop, weak); });
    return std::max<std::int64_t>(1, kSendAhead / std::max<std::int64_t>(1, loops));
}

void ControllerPrivate::sendNextBlock(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    const std::int64_t ahead = peer ? sendAheadOn(peer) : 0;
    for (;;) {
        const qsizetype index = indexOfFile(id);
        if (index < 0)
            return;
        File& record = m_files.edit(index);
        const BlockSet& inFlight = m_blocksInFlight[id];
        // The lowest wanted block not handed over yet.
        std::optional<std::int64_t> next;
        for (const BlockSet::Run& run : record.wantBlocks.runs()) {
            for (std::int64_t block = run.first; block < run.end() && !next; ++block) {
                if (!inFlight.contains(block))
                    next = block;
            }
            if (next)
                break;
        }
        if (record.paused || !next || !peer) {
            // The loop ends once what it handed over has come back.
            if (inFlight.empty()) {
                m_blocksInFlight.remove(id);
                record.sending = false;
                m_sendLoops.remove(id);
                update();
            }
            return;
        }
        if (inFlight.count() >= ahead)
            return;  // a completion takes it on
        const std::int64_t block = *next;
        const std::int64_t last = record.numberOfBlocks() - 1;
        QByteArrayView bytes;  // in the read window until the next read: sealed before it
        try {
            if (!record.location() || block > last)
                throw IoError(QStringLiteral("block %1 is not part of %2").arg(block).arg(record.name()));
            const std::int64_t size = block == last ? record.length() - last * blockSize : blockSize;
            bytes = record.buffer()->readBlockView(*record.location(), block * blockSize, size);
        } catch (const IoError& e) {
            record.error = recordError(e);
            update();
            if (File* stopped = fileWithId(id))
                stopped->sending = false;
            m_sendLoops.remove(id);
            if (m_blocksInFlight.value(id).empty())
                m_blocksInFlight.remove(id);
            update();
            markActivity();
            return;
        }
        m_blocksInFlight[id].insert(block);
        peer->sendData(bytes, block, id,
                       [self = QPointer<ControllerPrivate>(this), id, block,
                        weak = std::weak_ptr<PeerConnection>(peer)](const std::optional<NetworkError>& error) {
                           if (self)
                               self->blockSent(error, id, block, weak);
                       });
        markActivity();
    }
}

void ControllerPrivate::blockSent(const std::optional<NetworkError>& error, const QUuid& id, std::int64_t block,
                           const std::weak_ptr<PeerConnection>& connection)
{
    if (const auto inFlight = m_blocksInFlight.find(id); inFlight != m_blocksInFlight.end()) {
        inFlight->remove(block);
        if (inFlight->empty())
            m_blocksInFlight.erase(inFlight);
    }
    const qsizetype index = indexOfFile(id);
    if (index < 0)
        return;
    const auto loop = m_sendLoops.constFind(id);
    if (loop == m_sendLoops.cend())
        return;
    if (!sameObject(*loop, connection)) {
        // The loop has moved to a newer connection, which may wait for
        // this block's place.
        sendNextBlock(id, loop->lock());
        return;
    }
    File& record = m_files.edit(index);
    if (error) {
        record.error = VortanError::network(*error);
        update();
        if (File* stopped = fileWithId(id))
            stopped->sending = false;
        m_sendLoops.remove(id);
        update();
        return;
    }
    const bool wasComplete = record.blocks.count() == record.numberOfBlocks();
    record.blocks.insert(block);
    record.wantBlocks.remove(block);
    record.error.reset();  // the transfer goes on
    const bool complete = record.blocks.count() == record.numberOfBlocks();
    if (complete)
        m_offersAwaitingDisconnect.insert(id);
    update();
    scheduleSave();
    if (complete && !wasComplete)
        emit offerSent(id);
    sendNextBlock(id, connection.lock());
}

}  // namespace vortan

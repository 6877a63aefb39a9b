#include "vortan/controller/controller_p.h"
#include "vortan/records/recorderror.h"

#include "vortan/log.h"
#include "vortan/peer/peerconnection.h"

#include <QPointer>

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

void ControllerPrivate::sendNextBlock(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    qsizetype index = indexOfFile(id);
    if (index < 0)
        return;
    File& record = m_files.edit(index);
    const std::optional<std::int64_t> next = record.wantBlocks.first();
    if (record.paused || !next || !peer) {
        record.sending = false;
        m_sendLoops.remove(id);
        update();
        return;
    }
    const std::int64_t block = *next;
    const std::int64_t last = record.numberOfBlocks() - 1;
    QByteArray bytes;
    try {
        if (!record.location() || block > last)
            throw IoError(QStringLiteral("block %1 is not part of %2").arg(block).arg(record.name()));
        const std::int64_t size = block == last ? record.length() - last * blockSize : blockSize;
        bytes = record.buffer()->readBlock(*record.location(), block * blockSize, size);
    } catch (const IoError& e) {
        record.error = recordError(e);
        update();
        if (File* stopped = fileWithId(id))
            stopped->sending = false;
        m_sendLoops.remove(id);
        update();
        markActivity();
        return;
    }
    m_blocksInFlight.insert(id, block);
    peer->sendData(bytes, block, id,
                   [self = QPointer<ControllerPrivate>(this), id, block,
                    weak = std::weak_ptr<PeerConnection>(peer)](const std::optional<NetworkError>& error) {
                       if (self)
                           self->blockSent(error, id, block, weak);
                   });
    markActivity();
}

void ControllerPrivate::blockSent(const std::optional<NetworkError>& error, const QUuid& id, std::int64_t block,
                           const std::weak_ptr<PeerConnection>& connection)
{
    const auto inFlight = m_blocksInFlight.constFind(id);
    if (inFlight != m_blocksInFlight.cend() && *inFlight == block)
        m_blocksInFlight.erase(inFlight);
    const qsizetype index = indexOfFile(id);
    if (index < 0)
        return;
    const auto loop = m_sendLoops.constFind(id);
    if (loop == m_sendLoops.cend() || !sameObject(*loop, connection))
        return;  // the loop has moved to a newer connection
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

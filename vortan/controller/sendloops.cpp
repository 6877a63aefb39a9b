#include "vortan/controller/sendloops.h"

#include "vortan/connection/connection.h"
#include "vortan/log.h"
#include "vortan/peer/messages.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/records/file.h"
#include "vortan/records/recorderror.h"

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

SendLoops::SendLoops(Engine engine) : m_engine(std::move(engine))
{
    m_acknowledgedTimer.setInterval(kAcknowledgedInterval);
    connect(&m_acknowledgedTimer, &QTimer::timeout, this, &SendLoops::countAcknowledged);
}

void SendLoops::forget(const QUuid& id)
{
    endLoop(id);
}

void SendLoops::wanted(const BlockSet& blocks, const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    const File* record = m_engine.find(id);
    if (!record || record->download || !peer->user() || record->user != *peer->user() || !record->location()
        || !blocks.allBelow(record->numberOfBlocks())) {
        logWarning(lcController(), QStringLiteral("no matching file"));
        return;
    }
    // Unsent blocks below the lowest one asked for that the peer has not
    // asked for otherwise: it has them.
    if (const std::int64_t lowest = blocks.first().value_or(0); lowest > 0 && record->blocks.count() < lowest) {
        const BlockSet arrived = BlockSet::range(0, lowest)
                                     .subtracted(record->blocks)
                                     .subtracted(record->wantBlocks)
                                     .subtracted(m_blocksInFlight.value(id))
                                     .subtracted(m_awaiting.value(id));
        if (!arrived.empty()) {
            logInfo(lcController(), QStringLiteral("%1 blocks of %2 arrived although their acknowledgement was not seen")
                                        .arg(arrived.count())
                                        .arg(idText(id)));
            countSent(id, arrived);
        }
    }
    m_engine.edit(id)->wantBlocks.unite(blocks);
    m_engine.changed();
    start(id, peer);
}

void SendLoops::start(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    const File* record = m_engine.find(id);
    if (!record)
        return;
    // A loop running on this connection picks the new wants up. One running
    // on a connection that has been replaced would end with its failure and
    // strand the wants that came on the new one: this connection takes over.
    const auto loop = m_loops.constFind(id);
    if (record->sending && loop != m_loops.cend() && sameObject(*loop, peer))
        return;
    m_engine.edit(id)->sending = true;
    setLoop(id, peer);
    m_engine.changed();
    sendNext(id, peer);
}

std::int64_t SendLoops::sendAheadOn(const std::shared_ptr<PeerConnection>& peer) const
{
    const auto found = m_loopsPerConnection.find(std::weak_ptr<PeerConnection>(peer));
    const std::int64_t loops = found == m_loopsPerConnection.end() ? 0 : found->second;
    return std::max<std::int64_t>(1, kSendAhead / std::max<std::int64_t>(1, loops));
}

void SendLoops::setLoop(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    endLoop(id);
    m_loops.insert(id, peer);
    ++m_loopsPerConnection[std::weak_ptr<PeerConnection>(peer)];
}

void SendLoops::endLoop(const QUuid& id)
{
    const auto loop = m_loops.constFind(id);
    if (loop == m_loops.cend())
        return;
    const auto count = m_loopsPerConnection.find(*loop);
    if (count != m_loopsPerConnection.end() && --count->second <= 0)
        m_loopsPerConnection.erase(count);
    m_loops.erase(loop);
}

void SendLoops::sendNext(const QUuid& id, const std::shared_ptr<PeerConnection>& peer)
{
    const std::int64_t ahead = peer ? sendAheadOn(peer) : 0;
    for (;;) {
        File* found = m_engine.edit(id);
        if (!found)
            return;
        File& record = *found;
        const BlockSet& inFlight = m_blocksInFlight[id];
        const std::optional<std::int64_t> next = lowestUnsent(record, inFlight);
        if (record.paused || !next || !peer) {
            // The loop ends once what it handed over has come back.
            record.buffer()->closeBuffer();
            if (inFlight.empty()) {
                m_blocksInFlight.remove(id);
                record.sending = false;
                endLoop(id);
                m_engine.changed();
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
            bytes = record.buffer()->readBlockView(*record.location(), block * blockSize, size, record.length());
        } catch (const IoError& e) {
            record.error = recordError(e);
            m_engine.changed();
            if (File* stopped = m_engine.edit(id))
                stopped->sending = false;
            endLoop(id);
            if (m_blocksInFlight.value(id).empty())
                m_blocksInFlight.remove(id);
            m_engine.changed();
            m_engine.activity();
            return;
        }
        m_blocksInFlight[id].insert(block);
        peer->sendData(bytes, block, id,
                       [self = QPointer<SendLoops>(this), id, block,
                        weak = std::weak_ptr<PeerConnection>(peer)](const std::optional<NetworkError>& error) {
                           if (self)
                               self->blockSent(error, id, block, weak);
                       });
        awaitAcknowledgement(peer, id, block);
        m_engine.activity();
        // The last block asked for is read: the file is not held open while
        // the block goes out (thousands of small files at once would hold
        // as many descriptors).
        if (File* sent = m_engine.edit(id); sent && !lowestUnsent(*sent, m_blocksInFlight.value(id)))
            sent->buffer()->closeBuffer();
    }
}

std::optional<std::int64_t> SendLoops::lowestUnsent(const File& record, const BlockSet& inFlight)
{
    for (const BlockSet::Run& run : record.wantBlocks.runs()) {
        for (std::int64_t block = run.first; block < run.end(); ++block) {
            if (!inFlight.contains(block))
                return block;
        }
    }
    return std::nullopt;
}

void SendLoops::blockSent(const std::optional<NetworkError>& error, const QUuid& id, std::int64_t block,
                          const std::weak_ptr<PeerConnection>& connection)
{
    if (const auto inFlight = m_blocksInFlight.find(id); inFlight != m_blocksInFlight.end()) {
        inFlight->remove(block);
        if (inFlight->empty())
            m_blocksInFlight.erase(inFlight);
    }
    if (!m_engine.find(id))
        return;
    const auto loop = m_loops.constFind(id);
    if (loop == m_loops.cend())
        return;
    if (!sameObject(*loop, connection)) {
        // The loop has moved to a newer connection, which may wait for
        // this block's place.
        sendNext(id, loop->lock());
        return;
    }
    File& record = *m_engine.edit(id);
    if (error) {
        record.error = VortanError::network(*error);
        m_engine.changed();
        if (File* stopped = m_engine.edit(id))
            stopped->sending = false;
        endLoop(id);
        m_engine.changed();
        return;
    }
    // Counted as sent once acknowledged (countAcknowledged()).
    record.wantBlocks.remove(block);
    record.error.reset();  // the transfer goes on
    m_engine.changed();
    sendNext(id, connection.lock());
}

void SendLoops::awaitAcknowledgement(const std::shared_ptr<PeerConnection>& peer, const QUuid& id, std::int64_t block)
{
    Connection* connection = peer->connection();
    if (!connection)
        return;
    const auto found = m_unacknowledged.constFind(peer.get());
    if (found != m_unacknowledged.cend() && !sameObject(found->peer, peer))
        countAcknowledged();  // a connection that has ended left this address
    m_awaiting[id].insert(block);
    Unacknowledged& waiting = m_unacknowledged[peer.get()];
    if (waiting.blocks.empty())
        waiting.peer = peer;
    waiting.blocks.push_back(Handed{connection->bytesQueued(), id, block});
    if (!m_acknowledgedTimer.isActive())
        m_acknowledgedTimer.start();
}

void SendLoops::countAcknowledged()
{
    QHash<QUuid, BlockSet> sent;
    for (auto it = m_unacknowledged.begin(); it != m_unacknowledged.end();) {
        const std::shared_ptr<PeerConnection> peer = it->peer.lock();
        Connection* connection = peer ? peer->connection() : nullptr;
        std::deque<Handed>& blocks = it->blocks;
        if (connection)
            it->acknowledged = connection->bytesAcknowledged();
        const qint64 acknowledged = it->acknowledged;
        while (!blocks.empty() && blocks.front().end <= acknowledged) {
            sent[blocks.front().id].insert(blocks.front().block);
            stopAwaiting(blocks.front().id, blocks.front().block);
            blocks.pop_front();
        }
        if (!blocks.empty() && (!connection || !connection->isReady())) {
            // The connection has ended: the rest may never have arrived.
            logInfo(lcController(), QStringLiteral("%1 blocks handed to a connection that ended were not acknowledged: they count as not sent")
                                        .arg(blocks.size()));
            for (const Handed& handed : blocks)
                stopAwaiting(handed.id, handed.block);
            blocks.clear();
        }
        if (blocks.empty())
            it = m_unacknowledged.erase(it);
        else
            ++it;
    }
    if (m_unacknowledged.isEmpty())
        m_acknowledgedTimer.stop();
    for (auto it = sent.cbegin(); it != sent.cend(); ++it)
        countSent(it.key(), it.value());
}

void SendLoops::countSent(const QUuid& id, const BlockSet& blocks)
{
    File* record = m_engine.edit(id);
    if (!record)
        return;
    const bool wasComplete = record->blocks.count() == record->numberOfBlocks();
    record->blocks.unite(blocks);
    const bool complete = record->blocks.count() == record->numberOfBlocks();
    m_engine.changed();
    m_engine.progressed();
    if (complete && !wasComplete)
        m_engine.offerSent(id);
}

void SendLoops::stopAwaiting(const QUuid& id, std::int64_t block)
{
    const auto awaiting = m_awaiting.find(id);
    if (awaiting == m_awaiting.end())
        return;
    awaiting->remove(block);
    if (awaiting->empty())
        m_awaiting.erase(awaiting);
}

qsizetype SendLoops::unacknowledged() const
{
    qsizetype count = 0;
    for (const Unacknowledged& waiting : m_unacknowledged)
        count += qsizetype(waiting.blocks.size());
    return count;
}

}  // namespace vortan

#include "tests/support/plainpeer.h"

#include "tests/support/testsupport.h"
#include "vortan/connection/connection.h"

namespace vortan::test {

PlainPeer::PlainPeer(const QString& name) : name(name)
{
    keys.signingKey();
}

PlainPeer::~PlainPeer()
{
    close();
}

bool PlainPeer::connectTo(const User& user)
{
    keys.setAllowedUsers({user});
    ready = false;
    cancelled = false;
    peer = PeerConnection::connect(keys, user.address.value_or(QString()), user.port.value_or(0), user.key, this);
    return waitFor([&] { return ready || cancelled; }, 30000) && ready;
}

void PlainPeer::close()
{
    if (!peer)
        return;
    std::weak_ptr<PeerConnection> weak = peer;
    if (peer->connection())
        peer->connection()->cancel();
    peer.reset();
    waitFor([&] { return weak.expired(); }, 5000);
}

void PlainPeer::peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& p)
{
    ready = true;
    // What was asked on an earlier connection will not come.
    for (Download& download : downloads)
        download.wanted = BlockSet();
    if (askAtReady)
        p->sendListRequest();
}

void PlainPeer::peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& p)
{
    ++listRequests;
    if (answerWith)
        p->sendList(*answerWith);
}

void PlainPeer::peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& p)
{
    lists.append(files);
    if (!takeOffers)
        return;
    for (const File& file : files) {
        auto found = downloads.find(file.id());
        if (found == downloads.end())
            found = downloads.insert(file.id(), Download{file, QByteArray(file.length(), '\0'), {}, {}});
        if (found->wanted.count() < kOutstanding)
            requestBlocks(kOutstanding - found->wanted.count(), *found, *p);
    }
}

void PlainPeer::peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                             const std::shared_ptr<PeerConnection>& p)
{
    wants.append(Want{blocks, fileID});
    const auto bytes = serving.constFind(fileID);
    if (bytes == serving.cend())
        return;
    for (const BlockSet::Run& run : blocks.runs()) {
        for (std::int64_t block = run.first; block < run.end(); ++block)
            p->sendData(bytes->mid(block * blockSize, blockSize), block, fileID, {});
    }
}

void PlainPeer::peerConnectionDidReceiveData(const QByteArray& bytes, std::int64_t block, const QUuid& fileID,
                                             const std::shared_ptr<PeerConnection>& p)
{
    data.append(Data{bytes, block, fileID});
    const auto found = downloads.find(fileID);
    if (found == downloads.end() || block < 0 || block >= found->record.numberOfBlocks())
        return;
    found->wanted.remove(block);
    found->bytes.replace(block * blockSize, bytes.size(), bytes);
    found->blocks.insert(block);
    if (!found->complete())
        requestBlocks(1, *found, *p);
}

void PlainPeer::requestBlocks(std::int64_t n, Download& download, PeerConnection& p)
{
    const BlockSet next =
        BlockSet::lowestMissing(n, download.record.numberOfBlocks(), download.blocks, download.wanted);
    if (next.empty())
        return;
    p.sendWant(next, download.record.id());
    download.wanted.unite(next);
}

}  // namespace vortan::test

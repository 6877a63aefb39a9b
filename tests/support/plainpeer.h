#pragma once

// A peer that speaks the protocol with an identity of its own and does what
// the protocol asks of every peer, nothing more: it answers each list
// request with one list message (no end marker), sends the blocks asked for,
// asks for the list only when a connection becomes ready, and, when told to
// take what it is offered, keeps five blocks of each download asked for,
// lowest missing first, one more per block that arrives. It never asks
// again for a download a list leaves out. Tests also use it to send what a
// hostile peer would, and it records everything it receives.

#include "tests/framer/memorysecretstore.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/peer/peerconnection.h"

#include <QHash>

#include <memory>
#include <optional>

namespace vortan::test {

class PlainPeer : public PeerConnectionDelegate {
public:
    struct Want {
        BlockSet blocks;
        QUuid fileID;
    };
    struct Data {
        QByteArray data;
        std::int64_t block = 0;
        QUuid fileID;
    };
    // A download of a listed record, kept in memory.
    struct Download {
        File record;
        QByteArray bytes;
        BlockSet blocks;
        BlockSet wanted;
        bool complete() const { return blocks.count() == record.numberOfBlocks(); }
    };
    static constexpr std::int64_t kOutstanding = 5;

    explicit PlainPeer(const QString& name);
    ~PlainPeer() override;
    PlainPeer(const PlainPeer&) = delete;
    PlainPeer& operator=(const PlainPeer&) = delete;

    QByteArray key() { return keys.publicKey(); }
    User card() { return User(name, QStringLiteral("127.0.0.1"), std::nullopt, key()); }
    // Connects to the card's address and port; waits for ready.
    bool connectTo(const User& user);
    void close();

    QString name;
    KeyHelper keys{std::make_unique<MemorySecretStore>()};
    std::shared_ptr<PeerConnection> peer;
    bool ready = false;
    bool cancelled = false;
    int listRequests = 0;
    QList<QList<File>> lists;
    QList<Want> wants;
    QList<Data> data;

    // As a sender: answers list requests with this list when set, and wants
    // for the records in `serving` with their blocks at once.
    std::optional<QList<File>> answerWith;
    QHash<QUuid, QByteArray> serving;

    // As a receiver: asks for the list at ready unless told to keep quiet,
    // and takes every record it is offered when told to.
    bool askAtReady = true;
    bool takeOffers = false;
    QHash<QUuid, Download> downloads;

    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& p) override;
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& p) override;
    void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& p) override;
    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& p) override;
    void peerConnectionDidReceiveData(const QByteArray& bytes, std::int64_t block, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& p) override;
    void peerConnectionDidFail(const NetworkError&, const std::shared_ptr<PeerConnection>&) override {}
    void peerConnectionDidFailToDecode(MessageType, const DecodeError&, const std::shared_ptr<PeerConnection>&) override
    {
    }
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>&) override { cancelled = true; }

private:
    void requestBlocks(std::int64_t n, Download& download, PeerConnection& p);
};

}  // namespace vortan::test

#pragma once

#include "vortan/framer/messagetype.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/peer/weakref.h"
#include "vortan/records/blockset.h"
#include "vortan/records/coding.h"
#include "vortan/errors.h"
#include "vortan/records/file.h"

#include <QByteArray>
#include <QList>
#include <QUuid>

#include <cstdint>
#include <memory>

namespace vortan {

class PeerConnection;

// Receives everything a PeerConnection reports, on the main thread. Held
// weakly: a delegate that is gone is simply not called.
class PeerConnectionDelegate : public WeaklyReferenced {
public:
    virtual ~PeerConnectionDelegate() = default;

    // The handshake is done; peer->user() is the authenticated key.
    virtual void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer) = 0;
    // The peer's first frame opened under the connection key, so the peer
    // holds that key (a handshake record alone may be a replay). Comes
    // once, before the report of that frame.
    virtual void peerConnectionDidAuthenticate(const std::shared_ptr<PeerConnection>&) {}
    virtual void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer) = 0;
    // Paused downloads with no location and no blocks, one per list entry.
    virtual void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer) = 0;
    virtual void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                              const std::shared_ptr<PeerConnection>& peer) = 0;
    virtual void peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                              const std::shared_ptr<PeerConnection>& peer) = 0;
    // Where the peer says it can be reached directly: only on a connection
    // through Tor, at most Hints::kMax, unchecked.
    virtual void peerConnectionDidReceiveHints(const QList<Endpoint>&, const std::shared_ptr<PeerConnection>&) {}
    // Always followed, later, by peerConnectionDidCancel.
    virtual void peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer) = 0;
    // A list or want payload did not decode; the connection stays open.
    virtual void peerConnectionDidFailToDecode(MessageType type, const DecodeError& error,
                                               const std::shared_ptr<PeerConnection>& peer) = 0;
    virtual void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer) = 0;
};

}  // namespace vortan

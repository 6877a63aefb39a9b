#pragma once

// A delegate that records every report of PeerConnections and of a Listener,
// keeping ready connections the way the controller does (until they are
// cancelled).

#include "tests/connection/nettestsupport.h"
#include "vortan/listener/listenerdelegate.h"
#include "vortan/peer/peerconnection.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vortan::test {

struct PeerEvent {
    QString kind;  // ready, listRequest, list, want, data, fail, failToDecode, cancel
    PeerConnection* peer = nullptr;
    std::optional<QByteArray> user;  // the peer's user() at the time of the call
    QList<File> files;
    BlockSet blocks;
    QUuid fileID;
    QByteArray data;
    std::int64_t block = -1;
    std::optional<NetworkError> error;
    MessageType type = MessageType::invalid;
    QString decodeError;
};

class RecordingDelegate : public ListenerDelegate {
public:
    std::vector<PeerEvent> events;
    std::vector<SocketListenerState> listenerStates;
    // Ready connections, held until they are cancelled.
    std::vector<std::shared_ptr<PeerConnection>> peers;

    QStringList kinds() const
    {
        QStringList out;
        for (const PeerEvent& event : events)
            out.append(event.kind);
        return out;
    }
    int count(const QString& kind) const { return static_cast<int>(kinds().count(kind)); }
    bool has(const QString& kind) const { return count(kind) > 0; }
    const PeerEvent* last(const QString& kind) const
    {
        for (auto it = events.rbegin(); it != events.rend(); ++it) {
            if (it->kind == kind)
                return &*it;
        }
        return nullptr;
    }
    QList<SocketListenerState::Kind> listenerKinds() const
    {
        QList<SocketListenerState::Kind> out;
        for (const SocketListenerState& state : listenerStates)
            out.append(state.kind);
        return out;
    }
    std::shared_ptr<PeerConnection> peer() const { return peers.empty() ? nullptr : peers.front(); }

    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer) override
    {
        peers.push_back(peer);
        record(QStringLiteral("ready"), peer);
    }
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer) override
    {
        record(QStringLiteral("listRequest"), peer);
    }
    void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer) override
    {
        record(QStringLiteral("list"), peer, [&](PeerEvent& e) { e.files = files; });
    }
    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override
    {
        record(QStringLiteral("want"), peer, [&](PeerEvent& e) { e.blocks = blocks; e.fileID = fileID; });
    }
    void peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override
    {
        record(QStringLiteral("data"), peer, [&](PeerEvent& e) { e.data = data; e.block = block; e.fileID = fileID; });
    }
    void peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer) override
    {
        record(QStringLiteral("fail"), peer, [&](PeerEvent& e) { e.error = error; });
    }
    void peerConnectionDidFailToDecode(MessageType type, const DecodeError& error,
                                       const std::shared_ptr<PeerConnection>& peer) override
    {
        record(QStringLiteral("failToDecode"), peer,
               [&](PeerEvent& e) { e.type = type; e.decodeError = QString::fromUtf8(error.what()); });
    }
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer) override
    {
        std::erase(peers, peer);
        record(QStringLiteral("cancel"), peer);
    }
    void listenerStateDidChange(const SocketListenerState& state) override { listenerStates.push_back(state); }

private:
    void record(const QString& kind, const std::shared_ptr<PeerConnection>& peer,
                const std::function<void(PeerEvent&)>& fill = {})
    {
        PeerEvent& e = events.emplace_back();
        e.kind = kind;
        e.peer = peer.get();
        e.user = peer->user();
        if (fill)
            fill(e);
    }
};

// `caller` calls 127.0.0.1:port expecting the user `calledKey` there.
inline std::shared_ptr<PeerConnection> call(const Identity& caller, quint16 port, const QByteArray& calledKey,
                                            PeerConnectionDelegate* delegate)
{
    return PeerConnection::connect(*caller.keys, QStringLiteral("127.0.0.1"), port, calledKey, delegate);
}

}  // namespace vortan::test

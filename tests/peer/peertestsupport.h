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
    // Called after each recorded event.
    std::function<void(const PeerEvent&)> onEvent;

    QStringList kinds() const
    {
        QStringList out;
        for (const PeerEvent& event : events)
            out.append(event.kind);
        return out;
    }
    int count(const QString& kind) const
    {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [&](const PeerEvent& event) { return event.kind == kind; }));
    }
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
        record(event(QStringLiteral("ready"), peer));
    }
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer) override
    {
        record(event(QStringLiteral("listRequest"), peer));
    }
    void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer) override
    {
        PeerEvent e = event(QStringLiteral("list"), peer);
        e.files = files;
        record(std::move(e));
    }
    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override
    {
        PeerEvent e = event(QStringLiteral("want"), peer);
        e.blocks = blocks;
        e.fileID = fileID;
        record(std::move(e));
    }
    void peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override
    {
        PeerEvent e = event(QStringLiteral("data"), peer);
        e.data = data;
        e.block = block;
        e.fileID = fileID;
        record(std::move(e));
    }
    void peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer) override
    {
        PeerEvent e = event(QStringLiteral("fail"), peer);
        e.error = error;
        record(std::move(e));
    }
    void peerConnectionDidFailToDecode(MessageType type, const DecodeError& error,
                                       const std::shared_ptr<PeerConnection>& peer) override
    {
        PeerEvent e = event(QStringLiteral("failToDecode"), peer);
        e.type = type;
        e.decodeError = QString::fromUtf8(error.what());
        record(std::move(e));
    }
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer) override
    {
        std::erase(peers, peer);
        record(event(QStringLiteral("cancel"), peer));
    }
    void listenerStateDidChange(const SocketListenerState& state) override { listenerStates.push_back(state); }

private:
    static PeerEvent event(const QString& kind, const std::shared_ptr<PeerConnection>& peer)
    {
        PeerEvent e;
        e.kind = kind;
        e.peer = peer.get();
        e.user = peer->user();
        return e;
    }
    void record(PeerEvent recorded)
    {
        events.push_back(std::move(recorded));
        if (onEvent)
            onEvent(events.back());
    }
};

}  // namespace vortan::test

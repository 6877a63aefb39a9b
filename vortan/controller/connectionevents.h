#pragma once

#include "vortan/listener/listenerdelegate.h"

namespace vortan {

class Catalogue;
class DirectPath;
class Downloads;
class Listening;
class Peers;
class SendLoops;
class UserDirectory;

// What the listener and every connection report, handed to the collaborator
// that owns it. A message of a connection counts only once the connection
// is admitted (its user known and it the user's one connection); anything
// else of it is dropped here.
class ConnectionEvents final : public ListenerDelegate {
public:
    ConnectionEvents(Peers& peers, Catalogue& catalogue, Downloads& downloads, SendLoops& sending,
                     Listening& listening, UserDirectory& directory, DirectPath& directPath);

    // No report reaches the collaborators from here on.
    void close() { expireWeakReferences(); }

    void listenerStateDidChange(const SocketListenerState& state) override;
    void peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidAuthenticate(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                      const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidFailToDecode(MessageType type, const DecodeError& error,
                                       const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer) override;
    void peerConnectionDidReceiveHints(const QList<Endpoint>& hints, const std::shared_ptr<PeerConnection>& peer) override;

private:
    bool admitted(const std::shared_ptr<PeerConnection>& peer);

    Peers& m_peers;
    Catalogue& m_catalogue;
    Downloads& m_downloads;
    SendLoops& m_sending;
    Listening& m_listening;
    UserDirectory& m_directory;
    DirectPath& m_directPath;
};

}  // namespace vortan

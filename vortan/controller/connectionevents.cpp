#include "vortan/controller/connectionevents.h"

#include "vortan/controller/directpath.h"

#include "vortan/controller/catalogue.h"
#include "vortan/controller/downloads.h"
#include "vortan/controller/listening.h"
#include "vortan/controller/peers.h"
#include "vortan/controller/sendloops.h"
#include "vortan/controller/userdirectory.h"
#include "vortan/peer/peerconnection.h"

namespace vortan {

ConnectionEvents::ConnectionEvents(Peers& peers, Catalogue& catalogue, Downloads& downloads, SendLoops& sending,
                                   Listening& listening, UserDirectory& directory, DirectPath& directPath)
    : m_peers(peers), m_catalogue(catalogue), m_downloads(downloads), m_sending(sending), m_listening(listening),
      m_directory(directory), m_directPath(directPath)
{
}

void ConnectionEvents::peerConnectionDidReceiveHints(const QList<Endpoint>& hints,
                                                     const std::shared_ptr<PeerConnection>& peer)
{
    if (admitted(peer))
        m_directPath.hintsReceived(hints, peer);
}

bool ConnectionEvents::admitted(const std::shared_ptr<PeerConnection>& peer)
{
    return peer->user() && m_peers.admit(peer);
}

void ConnectionEvents::listenerStateDidChange(const SocketListenerState& state)
{
    m_listening.listenerStateDidChange(state);
}

void ConnectionEvents::peerConnectionDidBecomeReady(const std::shared_ptr<PeerConnection>& peer)
{
    m_peers.becameReady(peer);
}

void ConnectionEvents::peerConnectionDidAuthenticate(const std::shared_ptr<PeerConnection>& peer)
{
    admitted(peer);
}

void ConnectionEvents::peerConnectionDidReceiveListRequest(const std::shared_ptr<PeerConnection>& peer)
{
    if (admitted(peer))
        m_catalogue.listRequested(peer);
}

void ConnectionEvents::peerConnectionDidReceiveList(const QList<File>& files, const std::shared_ptr<PeerConnection>& peer)
{
    // The catalogue admits the connection as it merges the list.
    m_catalogue.listReceived(files, peer);
}

void ConnectionEvents::peerConnectionDidReceiveWant(const BlockSet& blocks, const QUuid& fileID,
                                                    const std::shared_ptr<PeerConnection>& peer)
{
    if (admitted(peer))
        m_sending.wanted(blocks, fileID, peer);
}

void ConnectionEvents::peerConnectionDidReceiveData(const QByteArray& data, std::int64_t block, const QUuid& fileID,
                                                    const std::shared_ptr<PeerConnection>& peer)
{
    if (admitted(peer))
        m_downloads.received(data, block, fileID, peer);
}

void ConnectionEvents::peerConnectionDidFail(const NetworkError& error, const std::shared_ptr<PeerConnection>& peer)
{
    m_sending.connectionEnded();
    m_peers.failed(error, peer);
}

void ConnectionEvents::peerConnectionDidFailToDecode(MessageType, const DecodeError& error,
                                                     const std::shared_ptr<PeerConnection>& peer)
{
    if (!admitted(peer))
        return;
    const QString message = QString::fromUtf8(error.what());
    m_directory.modifyUser(*peer->user(), [&](User& u) { u.error = VortanError::other(message); });
}

void ConnectionEvents::peerConnectionDidCancel(const std::shared_ptr<PeerConnection>& peer)
{
    m_sending.connectionEnded();
    m_peers.cancelled(peer);
}

}  // namespace vortan

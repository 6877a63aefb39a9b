#include "vortan/peer/peerconnection.h"

#include "vortan/peer/hints.h"

#include "vortan/connection/networkerrors.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"
#include "vortan/peer/messages.h"
#include "vortan/framer/framer.h"
#include "vortan/plist/value.h"
#include "vortan/records/coding.h"

#include <QCoreApplication>
#include <QStringList>
#include <QMetaObject>
#include <QTcpSocket>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <string>
#include <limits>

namespace vortan {

// A list payload turned into records, or the decoder's error.
struct PeerConnection::DecodedList {
    std::uint64_t generation = 0;
    std::optional<DecodeError> error;
    QList<File> files;
    QString description;  // for the log line
    qsizetype entries = 0;
    QStringList refusals;  // one line per entry that could not be decoded
};

std::shared_ptr<PeerConnection> PeerConnection::accepted(KeyHelper& keys, QTcpSocket* socket,
                                                         PeerConnectionDelegate* delegate,
                                                         HandshakeGate::Ticket ticket, Clock* clock)
{
    auto connection = std::make_unique<Connection>(keys, socket, std::move(ticket));
    if (clock)
        connection->setClock(*clock);
    auto peer = std::make_shared<PeerConnection>(Private{}, keys, std::move(connection), std::nullopt, delegate);
    peer->installStateHandler();
    peer->m_connection->start();
    return peer;
}

std::shared_ptr<PeerConnection> PeerConnection::connect(KeyHelper& keys, const QString& host, quint16 port,
                                                        QByteArray userKey, PeerConnectionDelegate* delegate,
                                                        Clock* clock, quint16 localPort)
{
    auto connection = std::make_unique<Connection>(keys, host, port);
    connection->setLocalPort(localPort);
    if (clock)
        connection->setClock(*clock);
    auto peer = std::make_shared<PeerConnection>(Private{}, keys, std::move(connection), std::move(userKey), delegate);
    peer->installStateHandler();
    peer->m_connection->start();
    return peer;
}

std::shared_ptr<PeerConnection> PeerConnection::connectThroughTor(KeyHelper& keys, const QString& socksPath,
                                                                  const QString& onion, quint16 port, QByteArray userKey,
                                                                  PeerConnectionDelegate* delegate, Clock* clock)
{
    auto connection = std::make_unique<Connection>(keys, onion, port, socksPath);
    if (clock)
        connection->setClock(*clock);
    auto peer = std::make_shared<PeerConnection>(Private{}, keys, std::move(connection), std::move(userKey), delegate);
    peer->installStateHandler();
    peer->m_connection->start();
    return peer;
}

PeerConnection::PeerConnection(Private, KeyHelper& keys, std::unique_ptr<Connection> connection,
                               std::optional<QByteArray> user, PeerConnectionDelegate* delegate)
    : m_keys(keys), m_connection(std::move(connection)), m_user(std::move(user)), m_delegate(delegate)
{
}

PeerConnection::~PeerConnection()
{
    logDebug(lcPeer(), QStringLiteral("PeerConnection deinit"));
}

void PeerConnection::installStateHandler()
{
    // The handler owns this object until the connection is cancelled.
    m_connection->setStateHandler(
        [self = shared_from_this()](const ConnectionState& state) { self->stateChanged(state); });
}

void PeerConnection::stateChanged(const ConnectionState& state)
{
    switch (state.kind) {
    case ConnectionState::Kind::setup:
        logDebug(lcPeer(), QStringLiteral("setup"));
        return;
    case ConnectionState::Kind::preparing:
        logDebug(lcPeer(), state.name());
        return;
    case ConnectionState::Kind::ready:
        becameReady();
        return;
    case ConnectionState::Kind::failed: {
        const NetworkError error = state.error.value_or(NetworkError::posix(EIO));
        logInfo(lcPeer(), QStringLiteral("failed with ") + describe(error));
        m_connection->cancel();
        if (PeerConnectionDelegate* delegate = m_delegate.get())
            delegate->peerConnectionDidFail(error, shared_from_this());
        return;
    }
    case ConnectionState::Kind::cancelled: {
        logDebug(lcPeer(), state.name());
        // Keep this object for the rest of the call: dropping the handler
        // releases the reference the connection held.
        const std::shared_ptr<PeerConnection> self = shared_from_this();
        m_connection->setStateHandler({});
        m_connection->setMessageHandler({});
        // Like the connection's own undelivered messages, what waits here
        // is no longer wanted.
        ++m_listGeneration;
        m_decodingList = false;
        m_backlog.clear();
        if (PeerConnectionDelegate* delegate = m_delegate.get())
            delegate->peerConnectionDidCancel(self);
        return;
    }
    }
}

void PeerConnection::becameReady()
{
    logInfo(lcPeer(), m_connection->description() + QStringLiteral(" established"));
    // The framer recorded who completed the handshake under this pair of
    // endpoints just before it made the connection ready.
    const std::optional<StorageKey>& endpoints = m_connection->endpoints();
    std::optional<QByteArray> key = endpoints ? m_keys.peerKey(*endpoints) : std::nullopt;
    if (!key) {
        // Without the entry nobody can say who is talking: refuse the peer.
        logWarning(lcPeer(), QStringLiteral("no peer key for ") + m_connection->description());
        m_connection->abort(NetworkError::posix(ECONNABORTED));
        return;
    }
    m_user = std::move(key);
    m_connection->setMessageHandler(
        [this](MessageType type, QByteArray payload) { received(type, std::move(payload)); });
    if (PeerConnectionDelegate* delegate = m_delegate.get())
        delegate->peerConnectionDidBecomeReady(shared_from_this());
}

void PeerConnection::received(MessageType type, QByteArray payload)
{
    if (!m_authenticated) {
        m_authenticated = true;
        if (PeerConnectionDelegate* delegate = m_delegate.get())
            delegate->peerConnectionDidAuthenticate(shared_from_this());
    }
    if (m_decodingList) {
        m_backlog.push_back(Inbound{type, std::move(payload)});
        return;
    }
    dispatch(type, std::move(payload));
}

void PeerConnection::dispatch(MessageType type, QByteArray payload)
{
    switch (type) {
    case MessageType::listRequest:
        logDebug(lcPeer(), QStringLiteral("received list request from ") + m_connection->remoteDescription());
        if (PeerConnectionDelegate* delegate = m_delegate.get())
            delegate->peerConnectionDidReceiveListRequest(shared_from_this());
        return;
    case MessageType::list:
        if (payload.size() >= kBackgroundListBytes)
            decodeListInBackground(std::move(payload));
        else
            receivedList(payload);
        return;
    case MessageType::want:
        receivedWant(payload);
        return;
    case MessageType::data:
        receivedData(std::move(payload));
        return;
    case MessageType::hints:
        // Only our own peers send it, and only through Tor: elsewhere it is
        // no message of the protocol.
        if (m_connection && m_connection->throughTor()) {
            receivedHints(payload);
            return;
        }
        break;
    case MessageType::invalid:
        break;
    }
    logWarning(lcPeer(), QStringLiteral("received invalid message"));
}

namespace {

// Decodes a record of a message, turning every refusal into a DecodeError.
template <typename T> std::optional<T> decodePayload(const QByteArray& payload, std::optional<DecodeError>& error)
{
    try {
        return fromBytes<T>(payload);
    } catch (const DecodeError& e) {
        error = e;
    } catch (const plist::FormatError& e) {
        error = DecodeError(QString::fromUtf8(e.what()));
    }
    return std::nullopt;
}

}  // namespace

namespace {

// How a list entry that cannot be decoded is named in the log: by its id
// when that much can be read.
QString entryName(const plist::Value& entry, std::size_t index)
{
    if (const plist::Dictionary* dict = entry.as<plist::Dictionary>()) {
        if (const plist::Value* id = plist::find(*dict, "id")) {
            try {
                return idText(uuidFromPlist(*id));
            } catch (const DecodeError&) {
            }
        }
    }
    return QStringLiteral("number %1").arg(index);
}

}  // namespace

PeerConnection::DecodedList PeerConnection::decodeList(const QByteArray& payload, const QByteArray& user)
{
    // Entry by entry: one entry that cannot be decoded costs only itself.
    DecodedList list;
    std::optional<plist::Value> root;
    try {
        root = plistFromBytes(payload);
    } catch (const DecodeError& e) {
        list.error = e;
    } catch (const plist::FormatError& e) {
        list.error = DecodeError(QString::fromUtf8(e.what()));
    }
    if (!root)
        return list;
    const plist::Array* items = root->as<plist::Array>();
    if (!items) {
        list.error = DecodeError(QStringLiteral("A list message holds no array"));
        return list;
    }
    list.entries = qsizetype(items->size());
    QList<FileProxy> proxies;
    proxies.reserve(list.entries);
    for (std::size_t i = 0; i < items->size(); ++i) {
        try {
            proxies.append(fromPlist<FileProxy>((*items)[i]));
        } catch (const DecodeError& e) {
            list.refusals.append(QStringLiteral("Refused list entry %1: %2").arg(entryName((*items)[i], i), QString::fromUtf8(e.what())));
        }
    }
    list.files.reserve(proxies.size());
    for (FileProxy& proxy : proxies) {
        // Only the receiving user chooses where a download goes.
        proxy.file.location.reset();
        list.files.append(File(proxy.file, proxy.id, user));
    }
    list.description = describe(proxies);
    return list;
}

void PeerConnection::receivedList(const QByteArray& payload)
{
    reportList(decodeList(payload, m_user.value_or(QByteArray())));
}

void PeerConnection::decodeListInBackground(QByteArray payload)
{
    m_decodingList = true;
    const std::uint64_t generation = m_listGeneration;
    // The decoder is pure; the records it makes are handed back whole.
    QThreadPool::globalInstance()->start([weak = weak_from_this(), payload = std::move(payload),
                                          user = m_user.value_or(QByteArray()), generation] {
        DecodedList list = decodeList(payload, user);
        list.generation = generation;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, list = std::move(list)]() mutable {
                if (const std::shared_ptr<PeerConnection> self = weak.lock())
                    self->listDecoded(std::move(list));
            },
            Qt::QueuedConnection);
    });
}

void PeerConnection::listDecoded(DecodedList list)
{
    if (list.generation != m_listGeneration || !m_decodingList)
        return;
    m_decodingList = false;
    // The delegate may cancel or release this connection.
    const std::shared_ptr<PeerConnection> self = shared_from_this();
    const std::uint64_t generation = m_listGeneration;
    reportList(std::move(list));
    while (!m_decodingList && !m_backlog.empty() && generation == m_listGeneration) {
        Inbound next = std::move(m_backlog.front());
        m_backlog.pop_front();
        dispatch(next.type, std::move(next.payload));
    }
}

void PeerConnection::reportList(DecodedList list)
{
    if (list.error) {
        if (PeerConnectionDelegate* delegate = m_delegate.get())
            delegate->peerConnectionDidFailToDecode(MessageType::list, *list.error, shared_from_this());
        return;
    }
    constexpr qsizetype kLoggedRefusals = 10;
    for (qsizetype i = 0; i < std::min(kLoggedRefusals, list.refusals.size()); ++i)
        logWarning(lcPeer(), list.refusals[i]);
    if (list.refusals.size() > kLoggedRefusals)
        logWarning(lcPeer(), QStringLiteral("Refused %1 more list entries from %2")
                                 .arg(list.refusals.size() - kLoggedRefusals)
                                 .arg(m_connection->remoteDescription()));
    // A list none of whose entries could be read says nothing; passed on,
    // it would read as the end of an answer.
    if (list.files.isEmpty() && list.entries > 0)
        return;
    logDebug(lcPeer(), QStringLiteral("received files: ") + list.description);
    if (PeerConnectionDelegate* delegate = m_delegate.get())
        delegate->peerConnectionDidReceiveList(list.files, shared_from_this());
}

void PeerConnection::receivedWant(const QByteArray& payload)
{
    std::optional<DecodeError> error;
    std::optional<WantMessage> want = decodePayload<WantMessage>(payload, error);
    if (!want) {
        if (PeerConnectionDelegate* delegate = m_delegate.get())
            delegate->peerConnectionDidFailToDecode(MessageType::want, *error, shared_from_this());
        return;
    }
    logDebug(lcTransfer(), QStringLiteral("received want: ") + want->blocks.toString() + QStringLiteral(", id: ")
            + idText(want->fileID));
    if (PeerConnectionDelegate* delegate = m_delegate.get())
        delegate->peerConnectionDidReceiveWant(want->blocks, want->fileID, shared_from_this());
}

void PeerConnection::sendHints(const QList<Endpoint>& endpoints)
{
    if (!m_connection || !m_connection->throughTor())
        return;
    logDebug(lcPeer(), QStringLiteral("send hints: %1 endpoints").arg(std::min(endpoints.size(), Hints::kMax)));
    m_connection->send(MessageType::hints, Hints::encode(endpoints));
}

void PeerConnection::receivedHints(const QByteArray& payload)
{
    Hints hints;
    try {
        hints = Hints::decode(payload);
    } catch (const DecodeError& e) {
        logWarning(lcPeer(), QStringLiteral("Dropped hints from %1: %2").arg(m_connection->remoteDescription(), QString::fromUtf8(e.what())));
        return;
    }
    if (hints.ignored > 0)
        logInfo(lcPeer(), QStringLiteral("Ignored %1 of the hints from %2").arg(hints.ignored).arg(m_connection->remoteDescription()));
    if (PeerConnectionDelegate* delegate = m_delegate.get())
        delegate->peerConnectionDidReceiveHints(hints.endpoints, shared_from_this());
}

void PeerConnection::receivedData(QByteArray payload)
{
    const qsizetype size = payload.size();
    std::optional<messages::DataMessage> message = messages::decodeData(std::move(payload));
    if (!message) {
        logWarning(lcPeer(), QStringLiteral("received data message too short: %1 bytes").arg(size));
        return;
    }
    logDebug(lcTransfer(), QStringLiteral("received data: %1, block: %2, id: %3")
                .arg(message->data.size())
                .arg(message->block)
                .arg(idText(message->fileID)));
    if (PeerConnectionDelegate* delegate = m_delegate.get())
        delegate->peerConnectionDidReceiveData(message->data, message->block, message->fileID, shared_from_this());
}

void PeerConnection::sendListRequest()
{
    if (!m_connection)
        return;
    logDebug(lcPeer(), QStringLiteral("send list request"));
    m_connection->send(MessageType::listRequest, messages::kListRequestPayload);
}

void PeerConnection::sendList(const QList<File>& files)
{
    if (!m_connection)
        return;
    QList<FileProxy> proxies;
    proxies.reserve(files.size());
    for (const File& file : files) {
        FileProxy proxy{file.id(), file.file};
        proxy.file.location.reset();
        proxies.append(std::move(proxy));
    }
    const QByteArray payload = toBytes(proxies);
    // The peer would fail the connection on a larger frame: refuse it here,
    // like a list that cannot be encoded, so the caller can split it.
    if (payload.size() > Framer::kMaxPayloadLength)
        throw plist::FormatError("a list of " + std::to_string(proxies.size()) + " files encodes to "
                                 + std::to_string(payload.size()) + " bytes, more than one message can carry");
    logDebug(lcPeer(), QStringLiteral("send files: ") + describe(proxies));
    m_connection->send(MessageType::list, payload);
}

void PeerConnection::sendWant(const BlockSet& blocks, const QUuid& fileID)
{
    if (!m_connection)
        return;
    logDebug(lcTransfer(), QStringLiteral("send want: ") + blocks.toString() + QStringLiteral(", id: ") + idText(fileID));
    const QByteArray payload = toBytes(WantMessage{fileID, blocks});
    m_connection->send(MessageType::want, payload);
}

void PeerConnection::sendData(QByteArrayView data, std::int64_t block, const QUuid& fileID,
                              SendCompletion completion)
{
    if (!m_connection || block < std::numeric_limits<std::int32_t>::min()
        || block > std::numeric_limits<std::int32_t>::max()) {
        if (m_connection)
            logWarning(lcTransfer(), QStringLiteral("cannot send block %1: the index does not fit the message").arg(block));
        if (completion) {
            const NetworkError error = NetworkError::posix(m_connection ? EOVERFLOW : ENOTCONN);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [completion = std::move(completion), error] { completion(error); },
                Qt::QueuedConnection);
        }
        return;
    }
    logDebug(lcTransfer(), QStringLiteral("send data: %1, block: %2, id: %3").arg(data.size()).arg(block).arg(idText(fileID)));
    m_connection->send(MessageType::data, messages::encodeDataHeader(static_cast<std::int32_t>(block), fileID), data,
                       std::move(completion));
}

}  // namespace vortan

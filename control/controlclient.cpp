#include "control/controlclient.h"

#include "control/peercred.h"
#include "control/socketpath.h"
#include "control/wire.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

#include <unistd.h>

namespace brenvo::control {

namespace {

using Status = ClientResult::Status;

ClientResult failed(const QString& why)
{
    return {Status::Failed, {}, why};
}

int remaining(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(deadline.remainingTime(), 0));
}

}  // namespace

ControlClient::ControlClient(const QString& supportDir)
    : m_path(controlSocketPath(supportDir))
{
}

ClientResult ControlClient::send(const Request& request, std::chrono::milliseconds timeout) const
{
    if (const QString problem = checkRequest(request); !problem.isEmpty())
        return failed(problem);
    const QByteArray payload = encodeRequest(request);
    if (payload.size() > kMaxPayload)
        return failed(QStringLiteral("the request is longer than %1 bytes").arg(kMaxPayload));

    const QDeadlineTimer deadline(timeout);
    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (!socket.waitForConnected(remaining(deadline))) {
        switch (socket.error()) {
        case QLocalSocket::ServerNotFoundError:
        case QLocalSocket::ConnectionRefusedError:
            return {Status::NoInstance, {}, QStringLiteral("no instance is running")};
        case QLocalSocket::SocketTimeoutError:
            return failed(QStringLiteral("the running instance did not accept within %1 ms").arg(timeout.count()));
        default:
            return failed(QStringLiteral("cannot connect to %1: %2").arg(m_path, socket.errorString()));
        }
    }
    if (peerUid(socket.socketDescriptor()) != ::geteuid())
        return failed(QStringLiteral("%1 belongs to another user").arg(m_path));

    socket.write(encodeFrame(payload));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(remaining(deadline)))
            return failed(QStringLiteral("cannot send the request: %1").arg(socket.errorString()));
    }
    FrameReader reader;
    for (;;) {
        reader.append(socket.readAll());
        switch (reader.next()) {
        case FrameReader::Status::Frame: {
            const AnswerDecoding decoded = decodeAnswer(reader.payload());
            if (!decoded.answer)
                return failed(QStringLiteral("broken answer: %1").arg(decoded.error));
            return {Status::Answered, *decoded.answer, {}};
        }
        case FrameReader::Status::UnsupportedVersion:
        case FrameReader::Status::Malformed:
            return failed(QStringLiteral("broken answer: %1").arg(reader.error()));
        case FrameReader::Status::NeedMore:
            break;
        }
        if (deadline.hasExpired())
            return failed(QStringLiteral("no answer within %1 ms").arg(timeout.count()));
        if (socket.state() != QLocalSocket::ConnectedState && socket.bytesAvailable() == 0)
            return failed(QStringLiteral("the running instance closed the connection without an answer"));
        socket.waitForReadyRead(remaining(deadline));
    }
}

}  // namespace brenvo::control

#pragma once

#include "control/remote.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// The JSON members of the typed requests and answers (see messages.h for the
// frame's object around them). Used by messages.cpp only.
namespace brenvo::control::coding {

// The "type" of a request.
QString typeName(const RemoteRequest& request);

// The members of request, "type" included.
QJsonObject encodeRemoteRequest(const RemoteRequest& request);
// Decodes the members of an untrusted request of a known type; nothing when
// the type is not one of the remote requests (error left empty) or a member
// is missing, of the wrong kind or out of bounds (error says which).
std::optional<RemoteRequest> decodeRemoteRequest(const QString& type, const QJsonObject& object, QString& error);

// The members of an answer, "type" and "kind" included.
QJsonObject encodeAnswer(const Answer& answer);
std::optional<Answer> decodeAnswer(const QJsonObject& object, QString& error);

}  // namespace brenvo::control::coding

#pragma once

#include "control/remote.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace brenvo::control {

// The payload of a frame is one JSON object with a "type":
//   {"type":"open", "urls":[string…], "cards":[absolute path…]}
//       hands brenvo:// URLs and card files to the running program
//   {"type":"card"|"import"|"users"|"files"|"share"|"pause"|"resume"|"remove", …}
//       a typed command for the running instance (remote.h, remotecoding.cpp)
//   {"type":"answer", "kind":"done"|"error"|"card"|…, …}
//       the one answer to each request
// Unknown members are ignored, so later versions may add some; an unknown
// type is answered with an error and the connection stays usable.

// Bounds of the members of a request, checked on both sides. An answer is
// bounded by the frame.
inline constexpr qsizetype kMaxListEntries = 1024;
inline constexpr qsizetype kMaxEntryLength = 4096;

struct OpenRequest {
    QStringList urls;   // brenvo:// URLs as given on the command line
    QStringList cards;  // absolute paths of card files
    bool operator==(const OpenRequest&) const = default;
};

using Request = std::variant<OpenRequest, RemoteRequest>;

// Encoding never fails on values within the bounds above; the caller checks
// the frame size of what it builds (an answer may be too long).
QByteArray encodeRequest(const Request& request);
QByteArray encodeAnswer(const Answer& answer);

// Decodes and checks untrusted payloads. A payload that is no JSON object
// leaves error set and garbled() true: the stream is not to be trusted further.
struct RequestDecoding {
    std::optional<Request> request;
    QString error;
    bool garbled = false;
};
RequestDecoding decodeRequest(const QByteArray& payload);
struct AnswerDecoding {
    std::optional<Answer> answer;
    QString error;
};
AnswerDecoding decodeAnswer(const QByteArray& payload);

// Why request breaks the bounds above; empty when it is fine.
QString checkRequest(const Request& request);

// The request's "type", for lines about it.
QString requestType(const Request& request);

}  // namespace brenvo::control

#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace brenvo::control {

// The payload of a frame is one JSON object with a "type":
//   {"type":"open", "urls":[string…], "cards":[absolute path…]}
//       hands brenvo:// URLs and card files to the running program
//   {"type":"command", "name":string, "args":[string…]}
//       runs one command of the running instance, as brenvo-cli would
//   {"type":"answer", "ok":bool, "error":string, "status":int, "output":string}
//       the one answer to each request ("error" only when not ok,
//       "status" and "output" only for commands)
// Unknown members are ignored, so later versions may add some; an unknown
// type is answered with an error and the connection stays usable.

// Bounds of the members, checked on both sides.
inline constexpr qsizetype kMaxListEntries = 1024;
inline constexpr qsizetype kMaxEntryLength = 4096;
inline constexpr qsizetype kMaxCommandName = 64;

struct OpenRequest {
    QStringList urls;   // brenvo:// URLs as given on the command line
    QStringList cards;  // absolute paths of card files
    bool operator==(const OpenRequest&) const = default;
};

struct CommandRequest {
    QString name;  // lower-case letters, digits and '-'
    QStringList args;
    bool operator==(const CommandRequest&) const = default;
};

using Request = std::variant<OpenRequest, CommandRequest>;

struct Answer {
    bool ok = false;
    QString error;   // why not, when !ok
    int status = 0;  // a command's exit status
    QString output;  // a command's standard output
    bool operator==(const Answer&) const = default;

    static Answer success() { return Answer{true, {}, 0, {}}; }
    static Answer failure(const QString& why) { return Answer{false, why, 0, {}}; }
};

// Encoding never fails on values within the bounds above; the caller checks
// the frame size of what it builds (an answer's output may be too long).
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

}  // namespace brenvo::control

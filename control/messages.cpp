#include "control/messages.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

#include <cmath>
#include <limits>

namespace brenvo::control {

namespace {

using namespace Qt::Literals::StringLiterals;

QJsonArray toArray(const QStringList& list)
{
    return QJsonArray::fromStringList(list);
}

// A member that must be a list of bounded strings; absent is an empty list.
std::optional<QStringList> stringList(const QJsonObject& object, const QString& key, QString& error)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined())
        return QStringList();
    if (!value.isArray() || value.toArray().size() > kMaxListEntries) {
        error = u"\"%1\" is not a list of at most %2 entries"_s.arg(key).arg(kMaxListEntries);
        return std::nullopt;
    }
    QStringList list;
    for (const QJsonValue& entry : value.toArray()) {
        if (!entry.isString() || entry.toString().size() > kMaxEntryLength) {
            error = u"an entry of \"%1\" is not a string of at most %2 characters"_s.arg(key).arg(kMaxEntryLength);
            return std::nullopt;
        }
        list.append(entry.toString());
    }
    return list;
}

QString checkOpen(const OpenRequest& open)
{
    if (open.urls.size() > kMaxListEntries || open.cards.size() > kMaxListEntries)
        return u"too many URLs or card files"_s;
    for (const QString& text : open.urls) {
        const QUrl url(text, QUrl::StrictMode);
        if (text.size() > kMaxEntryLength || !url.isValid() || url.scheme() != u"brenvo"_s)
            return u"not a brenvo URL: %1"_s.arg(text.left(80));
    }
    for (const QString& path : open.cards) {
        if (path.size() > kMaxEntryLength || !path.startsWith(u'/') || path.contains(QChar(0)))
            return u"not an absolute path: %1"_s.arg(path.left(80));
    }
    return {};
}

QString checkCommand(const CommandRequest& command)
{
    static const QRegularExpression name(u"^[a-z0-9][a-z0-9-]*$"_s);
    if (command.name.size() > kMaxCommandName || !name.match(command.name).hasMatch())
        return u"not a command name: %1"_s.arg(command.name.left(80));
    if (command.args.size() > kMaxListEntries)
        return u"too many arguments"_s;
    for (const QString& arg : command.args) {
        if (arg.size() > kMaxEntryLength)
            return u"an argument is longer than %1 characters"_s.arg(kMaxEntryLength);
    }
    return {};
}

std::optional<QJsonObject> parseObject(const QByteArray& payload, QString& error)
{
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(payload, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) {
        error = parse.error != QJsonParseError::NoError
            ? u"not JSON: %1 at %2"_s.arg(parse.errorString()).arg(parse.offset)
            : u"not a JSON object"_s;
        return std::nullopt;
    }
    return document.object();
}

}  // namespace

QByteArray encodeRequest(const Request& request)
{
    QJsonObject object;
    if (const auto* open = std::get_if<OpenRequest>(&request)) {
        object.insert(u"type"_s, u"open"_s);
        object.insert(u"urls"_s, toArray(open->urls));
        object.insert(u"cards"_s, toArray(open->cards));
    } else {
        const auto& command = std::get<CommandRequest>(request);
        object.insert(u"type"_s, u"command"_s);
        object.insert(u"name"_s, command.name);
        object.insert(u"args"_s, toArray(command.args));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray encodeAnswer(const Answer& answer)
{
    QJsonObject object{{u"type"_s, u"answer"_s}, {u"ok"_s, answer.ok}};
    if (!answer.ok)
        object.insert(u"error"_s, answer.error);
    if (answer.status != 0 || !answer.output.isEmpty()) {
        object.insert(u"status"_s, answer.status);
        object.insert(u"output"_s, answer.output);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString checkRequest(const Request& request)
{
    if (const auto* open = std::get_if<OpenRequest>(&request))
        return checkOpen(*open);
    return checkCommand(std::get<CommandRequest>(request));
}

RequestDecoding decodeRequest(const QByteArray& payload)
{
    RequestDecoding result;
    const std::optional<QJsonObject> object = parseObject(payload, result.error);
    if (!object) {
        result.garbled = true;
        return result;
    }
    const QString type = object->value(u"type"_s).toString();
    Request request;
    if (type == u"open"_s) {
        auto urls = stringList(*object, u"urls"_s, result.error);
        auto cards = urls ? stringList(*object, u"cards"_s, result.error) : std::nullopt;
        if (!cards)
            return result;
        request = OpenRequest{*urls, *cards};
    } else if (type == u"command"_s) {
        const QJsonValue name = object->value(u"name"_s);
        auto args = stringList(*object, u"args"_s, result.error);
        if (!args)
            return result;
        if (!name.isString()) {
            result.error = u"a command without a name"_s;
            return result;
        }
        request = CommandRequest{name.toString(), *args};
    } else {
        result.error = u"unknown request type \"%1\""_s.arg(type.left(40));
        return result;
    }
    result.error = checkRequest(request);
    if (result.error.isEmpty())
        result.request = std::move(request);
    return result;
}

AnswerDecoding decodeAnswer(const QByteArray& payload)
{
    AnswerDecoding result;
    const std::optional<QJsonObject> object = parseObject(payload, result.error);
    if (!object)
        return result;
    const QJsonValue ok = object->value(u"ok"_s);
    const QJsonValue error = object->value(u"error"_s);
    const QJsonValue status = object->value(u"status"_s);
    const QJsonValue output = object->value(u"output"_s);
    const double number = status.toDouble(0);
    if (object->value(u"type"_s).toString() != u"answer"_s || !ok.isBool()
        || !(error.isUndefined() || error.isString()) || !(output.isUndefined() || output.isString())
        || !(status.isUndefined() || status.isDouble()) || number != std::trunc(number)
        || std::abs(number) > std::numeric_limits<int>::max()) {
        result.error = u"not an answer"_s;
        return result;
    }
    // "error" means something only when the request failed.
    result.answer = Answer{ok.toBool(), ok.toBool() ? QString() : error.toString(), int(number), output.toString()};
    return result;
}

}  // namespace brenvo::control

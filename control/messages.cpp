#include "control/messages.h"

#include "control/remotecoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>


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
        object = coding::encodeRemoteRequest(std::get<RemoteRequest>(request));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray encodeAnswer(const Answer& answer)
{
    return QJsonDocument(coding::encodeAnswer(answer)).toJson(QJsonDocument::Compact);
}

QString checkRequest(const Request& request)
{
    if (const auto* open = std::get_if<OpenRequest>(&request))
        return checkOpen(*open);
    // The bounds are those the other side decodes with.
    const RemoteRequest& remote = std::get<RemoteRequest>(request);
    QString error;
    coding::decodeRemoteRequest(coding::typeName(remote), coding::encodeRemoteRequest(remote), error);
    return error;
}

QString requestType(const Request& request)
{
    if (std::holds_alternative<OpenRequest>(request))
        return u"open"_s;
    return coding::typeName(std::get<RemoteRequest>(request));
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
    if (type == u"open"_s) {
        auto urls = stringList(*object, u"urls"_s, result.error);
        auto cards = urls ? stringList(*object, u"cards"_s, result.error) : std::nullopt;
        if (!cards)
            return result;
        const OpenRequest open{*urls, *cards};
        result.error = checkOpen(open);
        if (result.error.isEmpty())
            result.request = open;
        return result;
    }
    if (std::optional<RemoteRequest> remote = coding::decodeRemoteRequest(type, *object, result.error))
        result.request = std::move(*remote);
    else if (result.error.isEmpty())
        result.error = u"unknown request type \"%1\""_s.arg(type.left(40));
    return result;
}

AnswerDecoding decodeAnswer(const QByteArray& payload)
{
    AnswerDecoding result;
    if (const std::optional<QJsonObject> object = parseObject(payload, result.error))
        result.answer = coding::decodeAnswer(*object, result.error);
    return result;
}

}  // namespace brenvo::control

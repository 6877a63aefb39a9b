#include "control/remotecoding.h"

#include "control/messages.h"
#include "control/wire.h"

#include "vortan/usercard.h"

#include <QJsonArray>
#include <QUrl>

#include <climits>
#include <cmath>

namespace brenvo::control::coding {

namespace {

using namespace Qt::Literals::StringLiterals;
using vortan::FileRow;
using vortan::User;
using vortan::VortanError;

// Integers travel as JSON numbers: exact up to 2^53.
constexpr double kMaxInteger = 9007199254740992.0;
constexpr qsizetype kKeySize = 32;
// An answer is bounded by its frame alone; a request by the bounds of messages.h.
constexpr qsizetype kUnbounded = kMaxPayload;

enum RowFlag { kDownload = 1, kPaused = 2, kUnavailable = 4 };

// Reads untrusted members; the first problem is kept and everything read
// after it is a default value.
class Reader {
public:
    Reader(QString& error, qsizetype maxEntries, qsizetype maxString)
        : m_error(error), m_maxEntries(maxEntries), m_maxString(maxString)
    {
    }

    bool ok() const { return m_error.isEmpty(); }
    void fail(const QString& why)
    {
        if (ok())
            m_error = why;
    }

    QString string(const QJsonValue& value, const QString& what)
    {
        if (!value.isString() || value.toString().size() > m_maxString) {
            fail(u"%1 is not a string of at most %2 characters"_s.arg(what).arg(m_maxString));
            return {};
        }
        return value.toString();
    }
    std::optional<QString> optionalString(const QJsonValue& value, const QString& what)
    {
        if (value.isUndefined() || value.isNull())
            return std::nullopt;
        return string(value, what);
    }
    qint64 integer(const QJsonValue& value, const QString& what, double min, double max)
    {
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || number != std::trunc(number) || number < min || number > max) {
            fail(u"%1 is not a whole number from %2 to %3"_s.arg(what).arg(min, 0, 'f', 0).arg(max, 0, 'f', 0));
            return 0;
        }
        return qint64(number);
    }
    bool boolean(const QJsonValue& value, const QString& what)
    {
        if (!value.isBool())
            fail(u"%1 is not true or false"_s.arg(what));
        return value.toBool();
    }
    QJsonArray array(const QJsonValue& value, const QString& what, qsizetype size = -1)
    {
        const qsizetype count = value.toArray().size();
        if (!value.isArray() || count > m_maxEntries || (size >= 0 && count != size)) {
            fail(size >= 0 ? u"%1 is not a list of %2 entries"_s.arg(what).arg(size)
                           : u"%1 is not a list of at most %2 entries"_s.arg(what).arg(m_maxEntries));
            return {};
        }
        return value.toArray();
    }
    QByteArray key(const QJsonValue& value, const QString& what)
    {
        const auto decoded = QByteArray::fromBase64Encoding(string(value, what).toLatin1(),
                                                            QByteArray::AbortOnBase64DecodingErrors);
        if (ok() && (!decoded || decoded.decoded.size() != kKeySize))
            fail(u"%1 is not a key"_s.arg(what));
        return ok() ? *decoded : QByteArray();
    }
    QUuid uuid(const QJsonValue& value, const QString& what)
    {
        const QUuid id = QUuid::fromString(string(value, what));
        if (ok() && id.isNull())
            fail(u"%1 is not a record id"_s.arg(what));
        return id;
    }
    QString path(const QJsonValue& value, const QString& what)
    {
        const QString text = string(value, what);
        if (ok() && (!text.startsWith(u'/') || text.contains(QChar(0))))
            fail(u"%1 is not an absolute path"_s.arg(what));
        return text;
    }

    template <typename T, typename Read>
    QList<T> list(const QJsonValue& value, const QString& what, Read read)
    {
        QList<T> result;
        for (const QJsonValue& entry : array(value, what)) {
            if (!ok())
                break;
            result.append(read(entry));
        }
        return result;
    }

    User user(const QJsonValue& value)
    {
        const QJsonObject object = value.toObject();
        if (!value.isObject())
            fail(u"a user is not an object"_s);
        User user;
        user.key = key(object.value(u"key"_s), u"a user's key"_s);
        user.name = string(object.value(u"name"_s), u"a user's name"_s);
        user.address = optionalString(object.value(u"address"_s), u"a user's address"_s);
        if (const QJsonValue port = object.value(u"port"_s); !port.isUndefined() && !port.isNull())
            user.port = std::uint16_t(integer(port, u"a user's port"_s, 0, 65535));
        return user;
    }
    QList<User> users(const QJsonValue& value) { return list<User>(value, u"the users"_s, [this](auto& v) { return user(v); }); }

    std::optional<VortanError> error(const QJsonValue& value)
    {
        if (value.isNull() || value.isUndefined())
            return std::nullopt;
        const QJsonArray fields = array(value, u"an error"_s);
        const QString kind = fields.at(0).toString();
        if (kind == u"n"_s && fields.size() == 4) {
            const auto type = vortan::NetworkError::Kind(integer(fields.at(1), u"an error's kind"_s, 0, 2));
            const int code = int(integer(fields.at(2), u"an error's code"_s, INT_MIN, INT_MAX));
            return VortanError::network({type, code, string(fields.at(3), u"an error's text"_s)});
        }
        if (kind == u"o"_s && fields.size() == 3) {
            vortan::OtherError other{string(fields.at(1), u"an error's description"_s), std::nullopt};
            if (!fields.at(2).isNull())
                other.posixCode = int(integer(fields.at(2), u"an error's code"_s, INT_MIN, INT_MAX));
            return VortanError::other(std::move(other));
        }
        fail(u"not an error"_s);
        return std::nullopt;
    }

    FileRow row(const QJsonValue& value)
    {
        const QJsonArray fields = array(value, u"a record"_s, 11);
        FileRow row;
        row.id = uuid(fields.at(0), u"a record's id"_s);
        row.name = string(fields.at(1), u"a record's name"_s);
        row.length = integer(fields.at(2), u"a record's length"_s, 0, kMaxInteger);
        row.numberOfBlocks = integer(fields.at(3), u"a record's block count"_s, 0, kMaxInteger);
        row.blockCount = integer(fields.at(4), u"a record's blocks done"_s, 0, kMaxInteger);
        row.bytesDone = integer(fields.at(5), u"a record's bytes done"_s, 0, kMaxInteger);
        const qint64 flags = integer(fields.at(6), u"a record's flags"_s, 0, 7);
        row.download = flags & kDownload;
        row.paused = flags & kPaused;
        row.unavailable = flags & kUnavailable;
        row.status = FileRow::Status(integer(fields.at(7), u"a record's status"_s, 0, int(FileRow::Status::failed)));
        row.user = key(fields.at(8), u"a record's user"_s);
        if (const std::optional<QString> location = optionalString(fields.at(9), u"a record's location"_s)) {
            const QUrl url(*location, QUrl::StrictMode);
            if (!url.isValid())
                fail(u"a record's location is not a URL"_s);
            row.location = url;
        }
        row.error = error(fields.at(10));
        return row;
    }
    QList<FileRow> rows(const QJsonValue& value, const QString& what)
    {
        return list<FileRow>(value, what, [this](auto& v) { return row(v); });
    }
    QList<QUuid> ids(const QJsonValue& value)
    {
        return list<QUuid>(value, u"the ids"_s, [this](auto& v) { return uuid(v, u"an id"_s); });
    }

private:
    QString& m_error;
    qsizetype m_maxEntries;
    qsizetype m_maxString;
};

QString keyText(const QByteArray& key)
{
    return QString::fromLatin1(key.toBase64());
}

QJsonValue userValue(const User& user)
{
    QJsonObject object{{u"key"_s, keyText(user.key)}, {u"name"_s, user.name}};
    if (user.address)
        object.insert(u"address"_s, *user.address);
    if (user.port)
        object.insert(u"port"_s, int(*user.port));
    return object;
}

QJsonArray usersValue(const QList<User>& users)
{
    QJsonArray array;
    for (const User& user : users)
        array.append(userValue(user));
    return array;
}

QJsonValue errorValue(const std::optional<VortanError>& error)
{
    if (!error)
        return QJsonValue::Null;
    if (const vortan::NetworkError* network = error->networkError())
        return QJsonArray{u"n"_s, int(network->kind), network->code, network->text};
    const vortan::OtherError* other = error->otherError();
    return QJsonArray{u"o"_s, other->description, other->posixCode ? QJsonValue(*other->posixCode) : QJsonValue::Null};
}

QJsonArray rowsValue(const QList<FileRow>& rows)
{
    QJsonArray array;
    for (const FileRow& row : rows) {
        const int flags = (row.download ? kDownload : 0) | (row.paused ? kPaused : 0) | (row.unavailable ? kUnavailable : 0);
        array.append(QJsonArray{row.id.toString(QUuid::WithoutBraces), row.name, double(row.length),
                                double(row.numberOfBlocks), double(row.blockCount), double(row.bytesDone), flags,
                                int(row.status), keyText(row.user),
                                row.location ? QJsonValue(row.location->toString(QUrl::FullyEncoded)) : QJsonValue::Null,
                                errorValue(row.error)});
    }
    return array;
}

QJsonArray idsValue(const QList<QUuid>& ids)
{
    QJsonArray array;
    for (const QUuid& id : ids)
        array.append(id.toString(QUuid::WithoutBraces));
    return array;
}

template <typename... F>
struct Visitor : F... {
    using F::operator()...;
};

}  // namespace

QString typeName(const RemoteRequest& request)
{
    static const QString names[] = {u"card"_s,  u"import"_s, u"users"_s,  u"files"_s,
                                    u"share"_s, u"pause"_s,  u"resume"_s, u"remove"_s};
    static_assert(std::size(names) == std::variant_size_v<RemoteRequest>);
    return names[request.index()];
}

QJsonObject encodeRemoteRequest(const RemoteRequest& request)
{
    QJsonObject object{{u"type"_s, typeName(request)}};
    std::visit(Visitor{
                   [&](const CardRequest& card) {
                       if (card.name)
                           object.insert(u"name"_s, *card.name);
                       if (card.address)
                           object.insert(u"address"_s, *card.address);
                       if (card.port)
                           object.insert(u"port"_s, int(*card.port));
                   },
                   [&](const ImportRequest& import) { object.insert(u"cards"_s, usersValue(import.cards)); },
                   [](const UsersRequest&) {},
                   [](const FilesRequest&) {},
                   [&](const ShareRequest& share) {
                       object.insert(u"paths"_s, QJsonArray::fromStringList(share.paths));
                       QJsonArray users;
                       for (const QByteArray& key : share.users)
                           users.append(keyText(key));
                       object.insert(u"users"_s, users);
                   },
                   [&](const PauseRequest& pause) { object.insert(u"ids"_s, idsValue(pause.ids)); },
                   [&](const ResumeRequest& resume) {
                       object.insert(u"ids"_s, idsValue(resume.ids));
                       if (resume.directory)
                           object.insert(u"directory"_s, *resume.directory);
                   },
                   [&](const RemoveRequest& remove) { object.insert(u"ids"_s, idsValue(remove.ids)); },
               },
               request);
    return object;
}

std::optional<RemoteRequest> decodeRemoteRequest(const QString& type, const QJsonObject& object, QString& error)
{
    Reader in(error, kMaxListEntries, kMaxEntryLength);
    const auto member = [&](const char16_t* name) { return object.value(QString::fromUtf16(name)); };
    RemoteRequest request;
    if (type == u"card"_s) {
        CardRequest card;
        card.name = in.optionalString(member(u"name"), u"the name"_s);
        card.address = in.optionalString(member(u"address"), u"the address"_s);
        if (const QJsonValue port = member(u"port"); !port.isUndefined())
            card.port = std::uint16_t(in.integer(port, u"the port"_s, 0, 65535));
        request = card;
    } else if (type == u"import"_s) {
        // Whatever a card file may hold travels.
        Reader cards(error, kMaxListEntries, vortan::kMaxCardSize);
        request = ImportRequest{cards.users(member(u"cards"))};
    } else if (type == u"users"_s) {
        request = UsersRequest{};
    } else if (type == u"files"_s) {
        request = FilesRequest{};
    } else if (type == u"share"_s) {
        ShareRequest share;
        share.paths = in.list<QString>(member(u"paths"), u"the paths"_s, [&](auto& v) { return in.path(v, u"a path"_s); });
        share.users = in.list<QByteArray>(member(u"users"), u"the users"_s, [&](auto& v) { return in.key(v, u"a user"_s); });
        request = share;
    } else if (type == u"pause"_s) {
        request = PauseRequest{in.ids(member(u"ids"))};
    } else if (type == u"resume"_s) {
        ResumeRequest resume{in.ids(member(u"ids")), std::nullopt};
        if (const QJsonValue directory = member(u"directory"); !directory.isUndefined())
            resume.directory = in.path(directory, u"the directory"_s);
        request = resume;
    } else if (type == u"remove"_s) {
        request = RemoveRequest{in.ids(member(u"ids"))};
    } else {
        return std::nullopt;
    }
    if (!in.ok())
        return std::nullopt;
    return request;
}

QJsonObject encodeAnswer(const Answer& answer)
{
    QJsonObject object{{u"type"_s, u"answer"_s}};
    std::visit(Visitor{
                   [&](const DoneAnswer&) { object.insert(u"kind"_s, u"done"_s); },
                   [&](const ErrorAnswer& error) {
                       object.insert(u"kind"_s, u"error"_s);
                       object.insert(u"error"_s, int(error.kind));
                       object.insert(u"subject"_s, error.subject);
                       object.insert(u"detail"_s, error.detail);
                   },
                   [&](const CardAnswer& card) {
                       object.insert(u"kind"_s, u"card"_s);
                       object.insert(u"me"_s, userValue(card.me));
                   },
                   [&](const ImportAnswer& import) {
                       object.insert(u"kind"_s, u"import"_s);
                       QJsonArray entries;
                       for (const ImportAnswer::Entry& entry : import.entries)
                           entries.append(entry.own ? QJsonValue(true) : entry.known ? userValue(*entry.known) : QJsonValue::Null);
                       object.insert(u"entries"_s, entries);
                   },
                   [&](const UsersAnswer& users) {
                       object.insert(u"kind"_s, u"users"_s);
                       object.insert(u"users"_s, usersValue(users.users));
                   },
                   [&](const FilesAnswer& files) {
                       object.insert(u"kind"_s, u"files"_s);
                       object.insert(u"rows"_s, rowsValue(files.rows));
                       object.insert(u"users"_s, usersValue(files.users));
                   },
                   [&](const ShareAnswer& share) {
                       object.insert(u"kind"_s, u"share"_s);
                       object.insert(u"already"_s, rowsValue(share.already));
                       object.insert(u"added"_s, rowsValue(share.added));
                       object.insert(u"users"_s, usersValue(share.users));
                   },
                   [&](const RecordsAnswer& records) {
                       object.insert(u"kind"_s, u"records"_s);
                       object.insert(u"rows"_s, rowsValue(records.rows));
                       object.insert(u"heldOffersProblem"_s, records.heldOffersProblem);
                   },
               },
               answer);
    return object;
}

std::optional<Answer> decodeAnswer(const QJsonObject& object, QString& error)
{
    Reader in(error, kUnbounded, kUnbounded);
    const auto member = [&](const char16_t* name) { return object.value(QString::fromUtf16(name)); };
    const QString kind = member(u"kind").toString();
    Answer answer;
    if (object.value(u"type"_s).toString() != u"answer"_s) {
        in.fail(u"not an answer"_s);
    } else if (kind == u"done"_s) {
        answer = DoneAnswer{};
    } else if (kind == u"error"_s) {
        const auto type = ErrorAnswer::Kind(in.integer(member(u"error"), u"the error"_s, 0, int(ErrorAnswer::Kind::failed)));
        answer = ErrorAnswer{type, in.string(member(u"subject"), u"the subject"_s), in.string(member(u"detail"), u"the detail"_s)};
    } else if (kind == u"card"_s) {
        answer = CardAnswer{in.user(member(u"me"))};
    } else if (kind == u"import"_s) {
        ImportAnswer import;
        import.entries = in.list<ImportAnswer::Entry>(member(u"entries"), u"the entries"_s, [&](const QJsonValue& v) {
            if (v.isBool() && v.toBool())
                return ImportAnswer::Entry{true, std::nullopt};
            if (v.isNull())
                return ImportAnswer::Entry{};
            return ImportAnswer::Entry{false, in.user(v)};
        });
        answer = import;
    } else if (kind == u"users"_s) {
        answer = UsersAnswer{in.users(member(u"users"))};
    } else if (kind == u"files"_s) {
        answer = FilesAnswer{in.rows(member(u"rows"), u"the records"_s), in.users(member(u"users"))};
    } else if (kind == u"share"_s) {
        answer = ShareAnswer{in.rows(member(u"already"), u"the records offered before"_s),
                             in.rows(member(u"added"), u"the new records"_s), in.users(member(u"users"))};
    } else if (kind == u"records"_s) {
        answer = RecordsAnswer{in.rows(member(u"rows"), u"the records"_s),
                               in.string(member(u"heldOffersProblem"), u"the held offers' problem"_s)};
    } else {
        in.fail(u"an answer of unknown kind \"%1\""_s.arg(kind.left(40)));
    }
    if (!in.ok())
        return std::nullopt;
    return answer;
}

}  // namespace brenvo::control::coding

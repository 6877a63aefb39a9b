#include "vortan/records/coding.h"

#include <limits>

namespace vortan {

namespace {

using plist::Array;
using plist::Dictionary;
using plist::Value;

constexpr qsizetype kUserKeySize = 32;

[[noreturn]] void fail(const char* record, const QString& what, const char* key = nullptr)
{
    throw DecodeError(QStringLiteral("%1: %2").arg(QLatin1String(record), what),
                      key ? QString::fromLatin1(key) : QString());
}

const Dictionary& dictionary(const Value& value, const char* record)
{
    const Dictionary* dict = value.as<Dictionary>();
    if (!dict)
        fail(record, QStringLiteral("not a dictionary"));
    return *dict;
}

const Array& array(const Value& value, const char* record)
{
    const Array* items = value.as<Array>();
    if (!items)
        fail(record, QStringLiteral("not an array"));
    return *items;
}

const Value& required(const Dictionary& dict, const char* key, const char* record)
{
    const Value* value = plist::find(dict, key);
    if (!value)
        fail(record, QStringLiteral("missing key \"%1\"").arg(QLatin1String(key)), key);
    return *value;
}

// Runs decode(value) and turns a failure inside a nested value into a
// DecodeError that names the key holding it.
template <typename F> auto nested(const char* record, const char* key, F&& decode)
{
    try {
        return decode();
    } catch (const DecodeError& error) {
        fail(record, QStringLiteral("key \"%1\": %2").arg(QLatin1String(key), QString::fromUtf8(error.what())), key);
    }
}

std::int64_t integer(const Dictionary& dict, const char* key, const char* record)
{
    const std::int64_t* number = required(dict, key, record).as<std::int64_t>();
    if (!number)
        fail(record, QStringLiteral("key \"%1\" is not an integer").arg(QLatin1String(key)), key);
    return *number;
}

bool boolean(const Dictionary& dict, const char* key, const char* record)
{
    const bool* flag = required(dict, key, record).as<bool>();
    if (!flag)
        fail(record, QStringLiteral("key \"%1\" is not a boolean").arg(QLatin1String(key)), key);
    return *flag;
}

QString string(const Value& value, const char* key, const char* record)
{
    const std::string* text = value.as<std::string>();
    if (!text)
        fail(record, QStringLiteral("key \"%1\" is not a string").arg(QLatin1String(key)), key);
    return QString::fromStdString(*text);
}

QByteArray userKey(const Dictionary& dict, const char* key, const char* record)
{
    QByteArray bytes = nested(record, key, [&] { return bytesFromPlist(required(dict, key, record)); });
    if (bytes.size() != kUserKeySize)
        fail(record, QStringLiteral("key \"%1\" holds %2 bytes, not 32").arg(QLatin1String(key)).arg(bytes.size()), key);
    return bytes;
}

QUuid uuid(const Dictionary& dict, const char* key, const char* record)
{
    return nested(record, key, [&] { return uuidFromPlist(required(dict, key, record)); });
}

bool isHex(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

template <typename T> Value listToPlist(const QList<T>& items)
{
    Array out;
    out.reserve(std::size_t(items.size()));
    for (const T& item : items)
        out.push_back(toPlist(item));
    return out;
}

template <typename T> QList<T> listFromPlist(const Value& value, const char* record)
{
    const Array& items = array(value, record);
    QList<T> out;
    out.reserve(qsizetype(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        try {
            out.append(fromPlist<T>(items[i]));
        } catch (const DecodeError& error) {
            throw DecodeError(QStringLiteral("%1 item %2: %3").arg(QLatin1String(record)).arg(i).arg(
                                  QString::fromUtf8(error.what())),
                              error.key());
        }
    }
    return out;
}

}  // namespace

DecodeError::DecodeError(const QString& message, QString key)
    : std::runtime_error(message.toStdString()), m_key(std::move(key))
{
}

// ---- standard forms

Value uuidToPlist(const QUuid& id)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    const QByteArray raw = id.toRfc4122();
    std::string text;
    text.reserve(36);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text.push_back('-');
        text.push_back(kHex[(std::uint8_t(raw[i]) >> 4) & 0xf]);
        text.push_back(kHex[std::uint8_t(raw[i]) & 0xf]);
    }
    return text;
}

QUuid uuidFromPlist(const Value& value)
{
    const std::string* text = value.as<std::string>();
    if (!text)
        fail("UUID", QStringLiteral("not a string"));
    const QString s = QString::fromStdString(*text);
    bool canonical = s.size() == 36;
    for (qsizetype i = 0; canonical && i < s.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        canonical = dash ? s[i] == u'-' : isHex(s[i]);
    }
    if (!canonical)
        fail("UUID", QStringLiteral("not a canonical UUID string"));
    return QUuid::fromString(s);
}

Value bytesToPlist(const QByteArray& bytes)
{
    const auto* start = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    return plist::Data{std::vector<std::uint8_t>(start, start + bytes.size())};
}

QByteArray bytesFromPlist(const Value& value)
{
    const plist::Data* data = value.as<plist::Data>();
    if (!data)
        fail("bytes", QStringLiteral("not a data object"));
    return QByteArray(reinterpret_cast<const char*>(data->bytes.data()), qsizetype(data->bytes.size()));
}

Value urlToPlist(const QUrl& url)
{
    Dictionary dict;
    dict.emplace_back("relative", Value(url.toEncoded(QUrl::FullyEncoded).toStdString()));
    return dict;
}

QUrl urlFromPlist(const Value& value)
{
    const Dictionary& dict = dictionary(value, "URL");
    QUrl url(string(required(dict, "relative", "URL"), "relative", "URL"), QUrl::StrictMode);
    if (const Value* base = plist::find(dict, "base")) {
        const QUrl baseUrl = nested("URL", "base", [&] { return urlFromPlist(*base); });
        url = baseUrl.resolved(url);
    }
    if (!url.isValid() || url.isEmpty())
        fail("URL", QStringLiteral("not a valid URL"), "relative");
    return url;
}

Value portToPlist(std::uint16_t port)
{
    return std::int64_t{port};
}

std::uint16_t portFromPlist(const Value& value)
{
    const std::int64_t* number = value.as<std::int64_t>();
    if (!number)
        fail("port", QStringLiteral("not an integer"));
    if (*number < 0 || *number > 65535)
        fail("port", QStringLiteral("%1 is not a port number").arg(*number));
    return std::uint16_t(*number);
}

Value blockSetToPlist(const BlockSet& blocks)
{
    Array runs;
    runs.reserve(blocks.runs().size());
    for (const auto& run : blocks.runs()) {
        Dictionary entry;
        entry.reserve(2);
        entry.emplace_back("location", Value(run.first));
        entry.emplace_back("length", Value(run.length));
        runs.emplace_back(std::move(entry));
    }
    Dictionary dict;
    dict.emplace_back("indexes", Value(std::move(runs)));
    return dict;
}

BlockSet blockSetFromPlist(const Value& value)
{
    const Dictionary& dict = dictionary(value, "block set");
    const Array& entries = array(required(dict, "indexes", "block set"), "block set indexes");
    std::vector<BlockSet::Run> runs;
    runs.reserve(entries.size());
    for (const Value& entry : entries) {
        const Dictionary& run = dictionary(entry, "block run");
        const std::int64_t first = integer(run, "location", "block run");
        const std::int64_t length = integer(run, "length", "block run");
        if (first < 0 || length < 0 || length > std::numeric_limits<std::int64_t>::max() - first)
            fail("block run", QStringLiteral("location %1 length %2 is out of range").arg(first).arg(length));
        runs.push_back({first, length});
    }
    return BlockSet::fromRuns(std::move(runs));
}

// ---- records

Value toPlist(const File2& file)
{
    Dictionary dict;
    dict.reserve(4);
    dict.emplace_back("name", Value(file.name().toStdString()));
    if (file.location)
        dict.emplace_back("location", urlToPlist(*file.location));
    dict.emplace_back("length", Value(file.length()));
    dict.emplace_back("numberOfBlocks", Value(file.numberOfBlocks()));
    return dict;
}

template <> File2 fromPlist<File2>(const Value& value)
{
    const char* record = "File2";
    const Dictionary& dict = dictionary(value, record);
    QString name = string(required(dict, "name", record), "name", record);
    std::optional<QUrl> location;
    if (const Value* stored = plist::find(dict, "location")) {
        location = nested(record, "location", [&] { return urlFromPlist(*stored); });
        if (!location->isLocalFile())
            fail(record, QStringLiteral("location is not a file URL"), "location");
    }
    const std::int64_t length = integer(dict, "length", record);
    const std::int64_t numberOfBlocks = integer(dict, "numberOfBlocks", record);
    if (length < 0)
        fail(record, QStringLiteral("negative length %1").arg(length), "length");
    if (numberOfBlocks != numberOfBlocksFor(length))
        fail(record, QStringLiteral("numberOfBlocks %1 does not follow from length %2").arg(numberOfBlocks).arg(length),
             "numberOfBlocks");
    return File2(std::move(name), std::move(location), length);
}

Value toPlist(const FileProxy& proxy)
{
    Dictionary dict;
    dict.reserve(2);
    dict.emplace_back("id", uuidToPlist(proxy.id));
    dict.emplace_back("file", toPlist(proxy.file));
    return dict;
}

template <> FileProxy fromPlist<FileProxy>(const Value& value)
{
    const char* record = "FileProxy";
    const Dictionary& dict = dictionary(value, record);
    FileProxy proxy;
    proxy.id = uuid(dict, "id", record);
    proxy.file = nested(record, "file", [&] { return fromPlist<File2>(required(dict, "file", record)); });
    return proxy;
}

Value toPlist(const File& file)
{
    Dictionary dict;
    dict.reserve(7);
    dict.emplace_back("id", uuidToPlist(file.id()));
    dict.emplace_back("file", toPlist(file.file));
    dict.emplace_back("download", Value(file.download));
    dict.emplace_back("user", bytesToPlist(file.user));
    dict.emplace_back("blocks", blockSetToPlist(file.blocks));
    dict.emplace_back("paused", Value(file.paused));
    dict.emplace_back("unavailable", Value(file.unavailable));
    return dict;
}

template <> File fromPlist<File>(const Value& value)
{
    const char* record = "File";
    const Dictionary& dict = dictionary(value, record);
    const QUuid id = uuid(dict, "id", record);
    File2 file2 = nested(record, "file", [&] { return fromPlist<File2>(required(dict, "file", record)); });
    const bool download = boolean(dict, "download", record);
    QByteArray user = userKey(dict, "user", record);
    BlockSet blocks = nested(record, "blocks", [&] { return blockSetFromPlist(required(dict, "blocks", record)); });
    const bool paused = boolean(dict, "paused", record);
    const bool unavailable = boolean(dict, "unavailable", record);
    if (!blocks.allBelow(file2.numberOfBlocks()))
        fail(record, QStringLiteral("block %1 beyond the file's %2 blocks").arg(*blocks.last()).arg(file2.numberOfBlocks()),
             "blocks");

    File file(std::move(file2), id, std::move(user));
    file.download = download;
    file.blocks = std::move(blocks);
    file.paused = paused;
    file.unavailable = unavailable;
    return file;
}

Value toPlist(const User& user)
{
    Dictionary dict;
    dict.reserve(4);
    dict.emplace_back("key", bytesToPlist(user.key));
    dict.emplace_back("name", Value(user.name.toStdString()));
    if (user.address)
        dict.emplace_back("address", Value(user.address->toStdString()));
    if (user.port)
        dict.emplace_back("port", portToPlist(*user.port));
    return dict;
}

template <> User fromPlist<User>(const Value& value)
{
    const char* record = "User";
    const Dictionary& dict = dictionary(value, record);
    QByteArray key = userKey(dict, "key", record);
    QString name = string(required(dict, "name", record), "name", record);
    std::optional<QString> address;
    if (const Value* stored = plist::find(dict, "address"))
        address = string(*stored, "address", record);
    std::optional<std::uint16_t> port;
    if (const Value* stored = plist::find(dict, "port"))
        port = nested(record, "port", [&] { return portFromPlist(*stored); });
    return User(std::move(name), std::move(address), port, std::move(key));
}

Value toPlist(const WantMessage& want)
{
    Dictionary dict;
    dict.reserve(2);
    dict.emplace_back("fileID", uuidToPlist(want.fileID));
    dict.emplace_back("blocks", blockSetToPlist(want.blocks));
    return dict;
}

template <> WantMessage fromPlist<WantMessage>(const Value& value)
{
    const char* record = "WantMessage";
    const Dictionary& dict = dictionary(value, record);
    WantMessage want;
    want.fileID = uuid(dict, "fileID", record);
    want.blocks = nested(record, "blocks", [&] { return blockSetFromPlist(required(dict, "blocks", record)); });
    return want;
}

// ---- lists and maps

Value toPlist(const QList<FileProxy>& proxies)
{
    return listToPlist(proxies);
}

Value toPlist(const QList<File>& files)
{
    return listToPlist(files);
}

Value toPlist(const QList<User>& users)
{
    return listToPlist(users);
}

template <> QList<FileProxy> fromPlist<QList<FileProxy>>(const Value& value)
{
    return listFromPlist<FileProxy>(value, "FileProxy list");
}

template <> QList<File> fromPlist<QList<File>>(const Value& value)
{
    return listFromPlist<File>(value, "File list");
}

template <> QList<User> fromPlist<QList<User>>(const Value& value)
{
    return listFromPlist<User>(value, "User list");
}

Value toPlist(const UuidListsByKey& map)
{
    Array out;
    out.reserve(std::size_t(map.size()) * 2);
    for (auto it = map.begin(); it != map.end(); ++it) {
        out.push_back(bytesToPlist(it.key()));
        Array ids;
        ids.reserve(std::size_t(it.value().size()));
        for (const QUuid& id : it.value())
            ids.push_back(uuidToPlist(id));
        out.emplace_back(std::move(ids));
    }
    return out;
}

template <> UuidListsByKey fromPlist<UuidListsByKey>(const Value& value)
{
    const char* record = "UUID lists by key";
    const Array& items = array(value, record);
    if (items.size() % 2 != 0)
        fail(record, QStringLiteral("a key without a value"));
    UuidListsByKey map;
    for (std::size_t i = 0; i < items.size(); i += 2) {
        QByteArray key = bytesFromPlist(items[i]);
        if (key.size() != kUserKeySize)
            fail(record, QStringLiteral("a key of %1 bytes, not 32").arg(key.size()));
        const Array& ids = array(items[i + 1], record);
        QList<QUuid> decoded;
        decoded.reserve(qsizetype(ids.size()));
        for (const Value& id : ids)
            decoded.append(uuidFromPlist(id));
        // A key given twice keeps the ids of both entries.
        map[key].append(decoded);
    }
    return map;
}

// ---- bytes

QByteArray plistToBytes(const Value& value)
{
    const std::vector<std::uint8_t> bytes = plist::write(value);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

Value plistFromBytes(const QByteArray& bytes)
{
    try {
        return plist::read(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
    } catch (const plist::FormatError& error) {
        throw DecodeError(QStringLiteral("malformed property list: %1").arg(QString::fromUtf8(error.what())));
    }
}

}  // namespace vortan

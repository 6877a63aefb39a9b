#include "app/update/updates.h"

#include "app/update/xmlpropertylist.h"

#include <vortan/propertylist.h>

#include <QCoreApplication>
#include <QVariantList>
#include <QVariantMap>

using vortan::decodeBinaryPropertyList;

// Not translated: the release list's problems are details for the log and the alert, as the server wrote it.
namespace brenvo {
namespace {

// The list is a dictionary of an array of dictionaries; a little room for
// whatever else the server adds.
constexpr int kMaxDepth = 16;

struct Invalid {
    QString what;
};

const QVariant& member(const QVariantMap& dict, const QString& key, int typeId, const QString& where)
{
    const auto it = dict.constFind(key);
    if (it == dict.constEnd())
        throw Invalid{QStringLiteral("%1 has no “%2”").arg(where, key)};
    if (it->typeId() != typeId)
        throw Invalid{QStringLiteral("“%2” of %1 has the wrong type").arg(where, key)};
    return *it;
}

Updates fromValue(const QVariant& top)
{
    if (top.typeId() != QMetaType::QVariantMap)
        throw Invalid{QStringLiteral("the list is not a dictionary")};
    const QVariantList items =
        member(top.toMap(), QStringLiteral("items"), QMetaType::QVariantList, QStringLiteral("the list")).toList();
    Updates updates;
    updates.items.reserve(items.size());
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString where = QStringLiteral("item %1").arg(i + 1);
        if (items[i].typeId() != QMetaType::QVariantMap)
            throw Invalid{where + QStringLiteral(" is not a dictionary")};
        const QVariantMap dict = items[i].toMap();
        UpdateItem item;
        item.version = member(dict, QStringLiteral("version"), QMetaType::LongLong, where).toLongLong();
        item.versionString = member(dict, QStringLiteral("versionString"), QMetaType::QString, where).toString();
        item.minimumOS = member(dict, QStringLiteral("minimumOS"), QMetaType::QString, where).toString();
        item.url = member(dict, QStringLiteral("url"), QMetaType::QString, where).toString();
        updates.items.append(std::move(item));
    }
    return updates;
}

QString undecodable(const QString& why)
{
    return QCoreApplication::translate("brenvo::UpdaterController", "The list of updates could not be read (%1).")
        .arg(why);
}

}  // namespace

QString updatesTooLargeError()
{
    return undecodable(QStringLiteral("larger than %1 bytes").arg(kMaxUpdatesListSize));
}

UpdatesDecoding decodeUpdates(const QByteArray& bytes)
{
    UpdatesDecoding result;
    auto fail = [&result](const QString& why) {
        result.error = undecodable(why);
        return result;
    };
    if (bytes.size() > kMaxUpdatesListSize) {
        result.error = updatesTooLargeError();
        return result;
    }
    QString error;
    const QVariant top = bytes.startsWith("bplist") ? decodeBinaryPropertyList(bytes, kMaxDepth, &error)
                                                    : decodeXmlPropertyList(bytes, kMaxUpdatesListSize, kMaxDepth, &error);
    if (!top.isValid())
        return fail(error);
    try {
        result.updates = fromValue(top);
    } catch (const Invalid& e) {
        return fail(e.what);
    }
    return result;
}

}  // namespace brenvo

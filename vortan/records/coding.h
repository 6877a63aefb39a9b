#pragma once

// Property-list coding of the records, used alike by the stored files, the
// user cards and the messages between peers.
//
// Every record is a dictionary whose keys are written in a fixed order:
//   File2        "name", "location" (optional), "length", "numberOfBlocks"
//   FileProxy    "id", "file"
//   File         "id", "file", "download", "user", "blocks", "paused", "unavailable"
//   User         "key", "name", "address" (optional), "port" (optional)
//   WantMessage  "fileID", "blocks"
// Optional keys are written only when present. Decoding needs every required
// key, ignores unknown ones and does not depend on the order; fields that
// are not coded take their defaults (a File's wantBlocks, sending, error and
// a new closed TransferBuffer; a User's state and error).
//
// Standard forms of the values inside:
//   UUID       its canonical 36-character string, written upper-case, read in
//              either case
//   bytes      a data object (user keys are exactly 32 bytes)
//   URL        {"relative": string, "base": URL} ("base" only when there is one);
//              a local path is a file:// URL
//   block set  {"indexes": [{"location": first, "length": count}, ...]}, one
//              entry per maximal run, ascending
//   port       an integer 0 ... 65535
//   UuidListsByKey  an array alternating key (data) and value (array of UUIDs)
//
// Decoding also refuses what the types cannot express: a negative length, a
// numberOfBlocks that does not follow from the length, negative or
// overflowing block runs, a File's blocks beyond its numberOfBlocks, keys
// that are not 32 bytes. Every refusal is a DecodeError, and nothing is
// returned half-built.

#include "vortan/plist/value.h"
#include "vortan/records/blockset.h"
#include "vortan/records/file.h"
#include "vortan/file2.h"
#include "vortan/user.h"
#include "vortan/records/wantmessage.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <stdexcept>

namespace vortan {

// A property list that is malformed or does not hold the expected record.
class DecodeError : public std::runtime_error {
public:
    explicit DecodeError(const QString& message, QString key = {});
    // The key at fault when one is; empty otherwise.
    const QString& key() const { return m_key; }

private:
    QString m_key;
};

// Lists of record ids keyed by a user's 32-byte key (the deleted records).
// Ordered by key so that its coding is stable.
using UuidListsByKey = QMap<QByteArray, QList<QUuid>>;

// The standard forms.
plist::Value uuidToPlist(const QUuid& id);
QUuid uuidFromPlist(const plist::Value& value);
plist::Value bytesToPlist(const QByteArray& bytes);
QByteArray bytesFromPlist(const plist::Value& value);
plist::Value urlToPlist(const QUrl& url);
QUrl urlFromPlist(const plist::Value& value);
plist::Value portToPlist(std::uint16_t port);
std::uint16_t portFromPlist(const plist::Value& value);
plist::Value blockSetToPlist(const BlockSet& blocks);
BlockSet blockSetFromPlist(const plist::Value& value);

plist::Value toPlist(const File2& file);
plist::Value toPlist(const FileProxy& proxy);
plist::Value toPlist(const File& file);
plist::Value toPlist(const User& user);
plist::Value toPlist(const WantMessage& want);
plist::Value toPlist(const QList<FileProxy>& proxies);
plist::Value toPlist(const QList<File>& files);
plist::Value toPlist(const QList<User>& users);
plist::Value toPlist(const UuidListsByKey& map);

// Defined for File2, FileProxy, File, User, WantMessage, QList<FileProxy>,
// QList<File>, QList<User> and UuidListsByKey. Throws DecodeError.
template <typename T> T fromPlist(const plist::Value& value);

template <> File2 fromPlist<File2>(const plist::Value& value);
template <> FileProxy fromPlist<FileProxy>(const plist::Value& value);
template <> File fromPlist<File>(const plist::Value& value);
template <> User fromPlist<User>(const plist::Value& value);
template <> WantMessage fromPlist<WantMessage>(const plist::Value& value);
template <> QList<FileProxy> fromPlist<QList<FileProxy>>(const plist::Value& value);
template <> QList<File> fromPlist<QList<File>>(const plist::Value& value);
template <> QList<User> fromPlist<QList<User>>(const plist::Value& value);
template <> UuidListsByKey fromPlist<UuidListsByKey>(const plist::Value& value);

// A binary property list ("bplist00") and back. plistFromBytes throws
// DecodeError for malformed input.
QByteArray plistToBytes(const plist::Value& value);
plist::Value plistFromBytes(const QByteArray& bytes);

template <typename T> QByteArray toBytes(const T& record)
{
    return plistToBytes(toPlist(record));
}

template <typename T> T fromBytes(const QByteArray& bytes)
{
    return fromPlist<T>(plistFromBytes(bytes));
}

}  // namespace vortan

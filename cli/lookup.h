#pragma once

#include "vortan/filerow.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

namespace brenvo::cli {

// The user a person means by `query`: a name (exactly, else ignoring case;
// both after Unicode normalisation to NFC, case by full case folding)
// or the beginning of a fingerprint (at least four hex digits, spaces
// optional). Throws CliError when no user or more than one matches.
QByteArray findUserKey(const QList<vortan::User>& users, const QString& query);

// The record a person means by `query`: its id or the beginning of it (in
// either case, braces optional). Throws CliError when no record or more than
// one matches.
QUuid findRecordId(const QList<vortan::FileRow>& files, const QString& query);

// How a user appears in messages: the name, or the fingerprint's first group
// when the key belongs to nobody listed.
QString userLabel(const QList<vortan::User>& users, const QByteArray& key);

// A record id as it is printed and typed: lower case, no braces.
QString idString(const QUuid& id);

}  // namespace brenvo::cli

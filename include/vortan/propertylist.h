#pragma once

#include "vortan/vortan_export.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace vortan {

// Decodes a binary property list ("bplist00") received from outside, with
// the library's bounded reader: nesting deeper than maxDepth (at most 64),
// reference cycles, sets, UIDs and anything malformed are refused.
//
// Dictionaries become QVariantMap, arrays QVariantList, integers qint64,
// reals double, strings QString, data QByteArray, dates a UTC QDateTime
// (to the millisecond) and booleans bool. On failure the result is an
// invalid QVariant and *error (when given) says why.
VORTAN_EXPORT QVariant decodeBinaryPropertyList(const QByteArray& bytes, int maxDepth, QString* error);

}  // namespace vortan

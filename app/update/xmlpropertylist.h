#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace brenvo {

// Decodes an XML property list (<plist version="1.0">…</plist>) received
// from outside. Bounded: at most maxBytes of input and maxDepth levels of
// nested arrays and dictionaries, walked without recursion. Dictionaries
// become QVariantMap (a key given twice is refused), arrays QVariantList,
// <integer> qint64, <real> double, <string> QString, <true/>/<false/> bool,
// <date> a UTC QDateTime and <data> QByteArray.
//
// On failure returns an invalid QVariant and says why in *error.
QVariant decodeXmlPropertyList(const QByteArray& bytes, qsizetype maxBytes, int maxDepth, QString* error);

}  // namespace brenvo

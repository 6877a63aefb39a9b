#pragma once

#include "vortan/vortan_export.h"

#include <QChar>
#include <QString>

namespace vortan {

// Whether c reorders the text around it when shown: the embeddings,
// overrides and isolates (U+202A-U+202E, U+2066-U+2069) and the marks (U+200E,
// U+200F, U+061C). In a received name they make "invoice\u202egpj.exe" read
// as "invoiceexe.jpg", and a person's name read as someone else's.
VORTAN_EXPORT bool isBidiControl(QChar c);
// text without its bidirectional controls.
VORTAN_EXPORT QString withoutBidiControls(const QString& text);

}  // namespace vortan

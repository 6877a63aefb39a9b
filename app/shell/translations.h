#pragma once

#include <QString>

class QCoreApplication;

namespace brenvo {

// Speaks the session's language: the first of the languages the person reads
// (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG) that Brenvo has a catalogue for
// (:/i18n/brenvo_LANG.qm) is installed, with Qt's own catalogue for it so
// that standard buttons and dialogs match. English, or a language before any
// catalogued one, stays in the program's own English texts. Numbers, sizes
// and times then follow that language too, where it is not the one the
// session's locale already formats in. Returns the language installed ("de"),
// or an empty text.
QString installTranslations(QCoreApplication& app);

}  // namespace brenvo

#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QCoreApplication;

namespace brenvo {

// Speaks the session's language: the first of the languages the person reads
// (LANGUAGE, then LC_ALL, LC_MESSAGES, LANG) that Brenvo has a catalogue for
// (:/i18n/brenvo_LANG.qm) is installed, with Qt's own catalogue for it so
// that standard buttons and dialogs match. English, or a language before any
// catalogued one, stays in the program's own English texts. Numbers, sizes
// and times then follow that language too (see formatsFor). Returns the
// language installed ("de"), or an empty text.
QString installTranslations(QCoreApplication& app);

// The first of `languages` (most wanted first: "de-DE", "en") whose
// catalogue `load` takes; none where English, or no language, comes before
// one that has a catalogue.
std::optional<QLocale> firstCatalogued(const QStringList& languages, const std::function<bool(const QLocale&)>& load);

// The locale numbers, sizes and times are written in once `language` is
// the one shown: none where the session's own formats (LC_ALL, else
// LC_NUMERIC and LC_TIME, else LANG) are already in that language, so that
// its region's ways stay ("fr_CA"). With LANGUAGE=fr alone, or with a "C"
// or English LANG, that is French. `environment` reads a variable.
std::optional<QLocale> formatsFor(const QLocale& language,
                                  const std::function<QString(const char*)>& environment);

}  // namespace brenvo

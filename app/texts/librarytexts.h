#pragma once

#include "vortan/errors.h"

#include <QCoreApplication>
#include <QString>

namespace brenvo {

// The library writes its reasons in English, for the logs. Those that reach
// the window (the router's answer, why a connection or a file failed) are
// matched here against the forms the library gives them and shown in the
// person's language; the parts they quote (names, paths, the system's or
// the gateway's words) stay as they came, and a text of unknown form is
// shown as it is.
QString libraryText(const QString& english);

// An error in words: the POSIX errors people meet in the program's own
// words, the library's descriptions through libraryText.
QString errorText(const vortan::VortanError& error);

// The translation context of these texts.
class LibraryTexts {
    Q_DECLARE_TR_FUNCTIONS(LibraryTexts)
};

}  // namespace brenvo

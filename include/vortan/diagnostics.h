#pragma once

#include "vortan/vortan_export.h"

#include <QString>
#include <QtGlobal>

#include <functional>

namespace vortan {

// The library's diagnostic lines go through Qt logging categories named
// "vortan.<layer>" (framer, connection, peer, listener, keys, controller,
// transfer, portmapping): lines about each message and block at debug level,
// off by default; state changes at info; failures at warning. Every event is
// one line: control characters are shown as \xNN.
//
// Without a sink, the lines go to Qt's message handler (standard error, or
// the journal).

// Receives each enabled line with its level and category name.
using LogSink = std::function<void(QtMsgType type, const char* category, const QString& line)>;

// Installs a sink (an empty one restores Qt's handler) and returns the
// previous one. Call it from the main thread.
VORTAN_EXPORT LogSink setLogSink(LogSink sink);

// Turns the debug lines of every category on or off.
VORTAN_EXPORT void setDebugDiagnostics(bool on);

}  // namespace vortan

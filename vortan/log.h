#pragma once

#include "vortan/diagnostics.h"

#include <QLoggingCategory>
#include <QString>

namespace vortan {

Q_DECLARE_LOGGING_CATEGORY(lcFramer)
Q_DECLARE_LOGGING_CATEGORY(lcConnection)
Q_DECLARE_LOGGING_CATEGORY(lcPeer)
Q_DECLARE_LOGGING_CATEGORY(lcListener)
Q_DECLARE_LOGGING_CATEGORY(lcKeys)
Q_DECLARE_LOGGING_CATEGORY(lcController)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcPortMapping)

// Every diagnostic line of the library goes through here: one line per
// event, dropped unless its category is enabled at its level.
void logLine(const QLoggingCategory& category, QtMsgType type, const QString& line);

inline void logDebug(const QLoggingCategory& category, const QString& line)
{
    if (category.isDebugEnabled())
        logLine(category, QtDebugMsg, line);
}
inline void logInfo(const QLoggingCategory& category, const QString& line)
{
    logLine(category, QtInfoMsg, line);
}
inline void logWarning(const QLoggingCategory& category, const QString& line)
{
    logLine(category, QtWarningMsg, line);
}

}  // namespace vortan

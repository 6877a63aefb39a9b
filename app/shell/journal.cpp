#include "app/shell/journal.h"

#include "vortan/diagnostics.h"

#include <syslog.h>
#include <unistd.h>

using vortan::setLogSink;

namespace brenvo {

namespace {
int priority(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return LOG_DEBUG;
    case QtInfoMsg: return LOG_INFO;
    case QtWarningMsg: return LOG_WARNING;
    case QtCriticalMsg: return LOG_ERR;
    case QtFatalMsg: return LOG_CRIT;
    }
    return LOG_INFO;
}
}  // namespace

void logToJournalUnlessTerminal()
{
    if (isatty(STDERR_FILENO))
        return;
    openlog("brenvo", LOG_PID, LOG_USER);
    setLogSink([](QtMsgType type, const char* category, const QString& line) {
        syslog(priority(type), "%s: %s", category, line.toUtf8().constData());
    });
}

}  // namespace brenvo

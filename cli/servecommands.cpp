#include "cli/servecommands.h"

#include "cli/arguments.h"
#include "cli/clierror.h"
#include "cli/commands.h"
#include "control/controlserver.h"
#include "vortan/controller.h"

#include <QDir>
#include <QPointer>

namespace brenvo::cli {

namespace {

using control::Answer;
using control::CommandRequest;

// The requester's working directory is not ours: every path must be whole.
QString relativePath(const Invocation& inv)
{
    QStringList paths;
    if (inv.command == QLatin1String("import") || inv.command == QLatin1String("share"))
        paths = inv.operands;
    if (!inv.resumeTo.isEmpty())
        paths.append(inv.resumeTo);
    if (!inv.output.isEmpty() && inv.output != QLatin1String("-"))
        paths.append(inv.output);
    for (const QString& path : std::as_const(paths)) {
        if (QDir::isRelativePath(path))
            return path;
    }
    return {};
}

Answer usage(const QString& message)
{
    return Answer{false, QStringLiteral("brenvo-cli: %1\n").arg(message), kExitUsage, {}};
}

Answer carryOut(vortan::Controller& controller, const CommandRequest& request)
{
    if (!isOneShotCommand(request.name))
        return usage(QStringLiteral("\"%1\" is not carried out by a running instance").arg(request.name));
    Invocation inv;
    try {
        inv = parseArguments(QStringList{QStringLiteral("brenvo-cli"), request.name} + request.args);
    } catch (const CliError& e) {
        return usage(e.message());
    }
    // Options of the requester's own process have no meaning here.
    const GlobalOptions defaults;
    if (inv.help || inv.version || inv.global.dataDir != defaults.dataDir || inv.global.logFile != defaults.logFile
        || inv.global.verbose || inv.global.keyStore != defaults.keyStore) {
        return usage(QStringLiteral("a request names options of the requesting process"));
    }
    if (const QString path = relativePath(inv); !path.isEmpty())
        return usage(QStringLiteral("a request names the relative path %1").arg(path.left(200)));

    const CommandOutput output = executeCommand(controller, inv);
    return Answer{output.err.isEmpty(), output.err, output.status, QString::fromUtf8(output.out)};
}

}  // namespace

void serveCommands(control::ControlServer& server, vortan::Controller& controller)
{
    QPointer<vortan::Controller> alive(&controller);
    server.setCommandHandler([alive](const CommandRequest& request) {
        if (!alive)
            return Answer::failure(QStringLiteral("the instance is ending"));
        return carryOut(*alive, request);
    });
}

}  // namespace brenvo::cli

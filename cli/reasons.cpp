#include "cli/reasons.h"

#include "cli/text.h"

#include <netdb.h>

#include <cerrno>

namespace brenvo::cli {
namespace {

// "Connection refused" -> "connection refused", as it reads inside a line.
QString inLine(const QString& text)
{
    if (text.size() > 1 && text[0].isUpper() && text[1].isLower())
        return text[0].toLower() + text.mid(1);
    return text;
}

QString systemText(const vortan::VortanError& error)
{
    const vortan::NetworkError* network = error.networkError();
    if (network && network->kind == vortan::NetworkError::Kind::dns)
        return inLine(QString::fromLocal8Bit(::gai_strerror(network->code)));
    return inLine(printable(error.localizedDescription()));
}

}  // namespace

QString failureText(const QString& name, const vortan::ConnectFailure& failure, const QDateTime& now)
{
    using Reason = vortan::ConnectFailure::Reason;
    const QString who = printable(name);
    QString text;
    switch (failure.reason) {
    case Reason::unreachable: {
        QString host = printable(failure.host);
        if (host.contains(QLatin1Char(':')))
            host = QLatin1Char('[') + host + QLatin1Char(']');
        text = failure.triedTor ? QStringLiteral("%1 is not reachable directly or through Tor (last tried: %2:%3)").arg(who, host).arg(failure.port)
                                : QStringLiteral("%1 is offline or unreachable at %2:%3").arg(who, host).arg(failure.port);
        if (failure.error)
            text += QStringLiteral(" (%1)").arg(systemText(*failure.error));
        break;
    }
    case Reason::notAccepted:
        text = QStringLiteral("%1 did not accept the connection: has %1 imported your card?").arg(who);
        break;
    case Reason::noAddress:
        text = QStringLiteral("%1's card has no address: ask %1 for a new card").arg(who);
        break;
    }
    if (failure.retryAt) {
        const qint64 seconds = std::max<qint64>(1, (now.msecsTo(*failure.retryAt) + 999) / 1000);
        text += QStringLiteral(" \u2014 trying again in %1 s").arg(seconds);
    }
    return text;
}

QString listenFailureText(std::optional<std::uint16_t> port, const vortan::VortanError& error)
{
    const vortan::NetworkError* network = error.networkError();
    const QString advice = QStringLiteral("choose another port with 'brenvo-cli card --port P', or run with --no-listen");
    if (network && network->kind == vortan::NetworkError::Kind::posix && network->code == EADDRINUSE) {
        return port ? QStringLiteral("Port %1 is in use by another program: %2").arg(*port).arg(advice)
                    : QStringLiteral("The port is in use by another program: %1").arg(advice);
    }
    return QStringLiteral("Cannot listen on %1 (%2): %3")
        .arg(port ? QStringLiteral("port %1").arg(*port) : QStringLiteral("the port"), systemText(error), advice);
}

}  // namespace brenvo::cli

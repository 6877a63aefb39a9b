#include "app/shell/reasontext.h"

#include "app/cards/cardfiles.h"
#include "app/texts/librarytexts.h"

#include <cerrno>

using vortan::ConnectFailure;
using vortan::NetworkError;
using vortan::OtherError;
using vortan::User;
using vortan::VortanError;

namespace brenvo {

namespace {

// host:port as a person types it, IPv6 in brackets; the port is a name, not
// a quantity, so no digit grouping.
QString endpoint(const QString& host, std::uint16_t port)
{
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

// "trying again in 40 s" under a minute (moving on every second), "trying
// again at 21:05" beyond (until it comes within the minute).
QString retryText(const QDateTime& at, const QDateTime& now, const QLocale& locale,
                  std::optional<QDateTime>* changesAt)
{
    const qint64 left = now.msecsTo(at);
    if (left <= 0)
        return ReasonTexts::tr("trying again now");
    if (left <= 60'000) {
        const qint64 seconds = (left + 999) / 1000;
        // Next change: when the rounded-up count drops by one.
        *changesAt = at.addMSecs(-(seconds - 1) * 1000);
        return ReasonTexts::tr("trying again in %1 s").arg(locale.toString(seconds));
    }
    *changesAt = at.addMSecs(-60'000);
    return ReasonTexts::tr("trying again at %1").arg(locale.toString(at.toLocalTime().time(), QLocale::ShortFormat));
}

QString systemText(const std::optional<VortanError>& error)
{
    return error ? errorText(*error).simplified() : QString();
}

}  // namespace

ReasonText connectFailureText(const QString& name, const ConnectFailure& failure, const QDateTime& now,
                              const QLocale& locale)
{
    ReasonText result;
    switch (failure.reason) {
    case ConnectFailure::Reason::unreachable:
        if (failure.triedTor) {
            result.text = ReasonTexts::tr("%1 is not reachable directly or through Tor").arg(name);
            result.brief = ReasonTexts::tr("Not reachable");
            break;
        }
        result.text = ReasonTexts::tr("%1 is offline or unreachable at %2").arg(name, endpoint(failure.host, failure.port));
        result.brief = ReasonTexts::tr("Offline or unreachable");
        break;
    case ConnectFailure::Reason::notAccepted:
        result.text = ReasonTexts::tr("%1 did not accept the connection: has %1 imported your card?").arg(name);
        result.brief = ReasonTexts::tr("Did not accept the connection");
        break;
    case ConnectFailure::Reason::noAddress:
        result.text = ReasonTexts::tr("%1's card has no address: ask %1 for a new card").arg(name);
        result.brief = ReasonTexts::tr("No address on the card");
        break;
    }
    result.detail = systemText(failure.error);
    if (failure.retryAt)
        result.text = ReasonTexts::tr("%1 — %2").arg(result.text, retryText(*failure.retryAt, now, locale, &result.changesAt));
    return result;
}

std::optional<ReasonText> userReason(const User& user, const QDateTime& now)
{
    if (user.state == User::State::connected)
        return user.error ? std::optional<ReasonText>(ReasonText{errorText(*user.error), {}, {}, {}}) : std::nullopt;
    if (user.failure)
        return connectFailureText(displayName(user.name), *user.failure, now);
    if (!user.error)
        return std::nullopt;
    ReasonText reason;
    if (user.error->isNetwork()) {
        // A connection that was up went down; automatic connection calls again.
        reason.text = ReasonTexts::tr("The connection to %1 was lost").arg(displayName(user.name));
        reason.brief = ReasonTexts::tr("Connection lost");
        reason.detail = errorText(*user.error);
    } else {
        reason.text = errorText(*user.error);
    }
    return reason;
}

bool isPortTaken(const VortanError& error)
{
    if (const NetworkError* network = error.networkError())
        return network->kind == NetworkError::Kind::posix && network->code == EADDRINUSE;
    if (const OtherError* other = error.otherError())
        return other->posixCode == EADDRINUSE;
    return false;
}

QString listenerFailureText(std::uint16_t port, const VortanError& error)
{
    if (isPortTaken(error))
        return ReasonTexts::tr("Port %1 is in use by another program: choose another port in Settings")
            .arg(QString::number(port));
    return ReasonTexts::tr("Brenvo cannot accept connections on port %1: %2")
        .arg(QString::number(port), systemText(error));
}

}  // namespace brenvo

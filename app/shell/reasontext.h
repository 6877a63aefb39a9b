#pragma once

#include "vortan/connectfailure.h"
#include "vortan/errors.h"
#include "vortan/user.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

namespace brenvo {

// A failed connection in words the person can act on.
struct ReasonText {
    // "Bob is offline or unreachable at 10.0.0.7:54322 — trying again in 40 s"
    QString text;
    // Without the name, for a line under it: "Offline or unreachable".
    QString brief;
    // The system's own words ("Connection refused"), for a tooltip; empty
    // when there are none.
    QString detail;
    // When text reads differently (the countdown moves on); absent when it
    // stays as it is.
    std::optional<QDateTime> changesAt;

    // The text with the system's words on a line of their own.
    QString withDetail() const { return detail.isEmpty() ? text : text + QLatin1Char('\n') + detail; }

    friend bool operator==(const ReasonText&, const ReasonText&) = default;
};

// The reason a connection to name failed, as of now (UTC). Names, hosts and
// system texts are the outside's words: shown as plain text.
ReasonText connectFailureText(const QString& name, const vortan::ConnectFailure& failure, const QDateTime& now,
                              const QLocale& locale = QLocale());

// Why a user is not connected, as of now (UTC): how the last call failed,
// else a connection that was lost (with the system's words as detail), else
// the user's last error; nothing while connected or when nothing went wrong.
std::optional<ReasonText> userReason(const vortan::User& user, const QDateTime& now);

// Whether error is "address already in use": another program has the port.
bool isPortTaken(const vortan::VortanError& error);

// Why the listener on port failed, with what to do about it:
// "Port 54322 is in use by another program: choose another port in Settings".
QString listenerFailureText(std::uint16_t port, const vortan::VortanError& error);

// The translation context of these texts.
class ReasonTexts {
    Q_DECLARE_TR_FUNCTIONS(ReasonTexts)
};

}  // namespace brenvo

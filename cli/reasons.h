#pragma once

#include "vortan/connectfailure.h"
#include "vortan/errors.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace brenvo::cli {

// Why a call to `name` failed, in terms the user can act on, the system's
// own text where it helps and when the next call comes:
// "Bob is offline or unreachable at 10.0.0.7:54322 (connection refused) — trying again in 40 s",
// "Bob did not accept the connection: has Bob imported your card?",
// "Bob's card has no address: ask Bob for a new card".
QString failureText(const QString& name, const vortan::ConnectFailure& failure, const QDateTime& now);

// Why this run cannot listen: "Port 54322 is in use by another program:
// choose another port with 'brenvo-cli card --port P', or run with --no-listen".
QString listenFailureText(std::optional<std::uint16_t> port, const vortan::VortanError& error);

}  // namespace brenvo::cli

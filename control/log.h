#pragma once

#include <QLoggingCategory>

namespace brenvo::control {

// Every line of the local control socket: refused peers, broken messages,
// timeouts. Warnings are on by default.
Q_DECLARE_LOGGING_CATEGORY(lcControl)

}  // namespace brenvo::control

#include "control/log.h"

namespace brenvo::control {

Q_LOGGING_CATEGORY(lcControl, "brenvo.control", QtInfoMsg)

}  // namespace brenvo::control

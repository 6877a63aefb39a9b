#pragma once

#include <QString>

namespace brenvo {

// The usual short description of an HTTP status code ("not found"), or of
// its class for codes without one ("client error").
QString httpStatusText(int status);

}  // namespace brenvo

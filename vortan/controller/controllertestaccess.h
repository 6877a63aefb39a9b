#pragma once

#include "vortan/controller.h"
#include "vortan/controller/controller_p.h"

namespace vortan {

// Lets tests reach the engine behind a Controller: its working catalogue,
// its connections, its internal steps and the delegate callbacks.
class ControllerTestAccess {
public:
    static ControllerPrivate& engine(Controller& controller) { return *controller.d; }
    static const ControllerPrivate& engine(const Controller& controller) { return *controller.d; }
};

}  // namespace vortan

#pragma once

#include "vortan/controller.h"
#include "vortan/controller/controller_p.h"
#include "vortan/controller/controllerseams.h"

#include <memory>

namespace vortan {

// Lets tests reach the engine behind a Controller: its working catalogue,
// its connections, its internal steps and the delegate callbacks.
class ControllerTestAccess {
public:
    // A controller with parts of its environment replaced.
    static std::unique_ptr<Controller> make(ControllerOptions options, ControllerSeams seams)
    {
        return std::unique_ptr<Controller>(
            new Controller(std::make_unique<ControllerPrivate>(std::move(options), seams), nullptr));
    }

    static ControllerPrivate& engine(Controller& controller) { return *controller.d; }
    static const ControllerPrivate& engine(const Controller& controller) { return *controller.d; }
};

}  // namespace vortan

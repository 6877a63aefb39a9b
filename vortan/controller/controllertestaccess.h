#pragma once

#include "vortan/controller.h"
#include "vortan/controller/controller_p.h"
#include "vortan/controller/controllerseams.h"

#include <memory>

namespace vortan {

// Lets tests reach the engine behind a Controller: its collaborators, its
// working records and the reports of the connection layer.
class ControllerTestAccess {
public:
    // A controller with parts of its environment replaced.
    static std::unique_ptr<Controller> make(ControllerOptions options, ControllerSeams seams)
    {
        return std::unique_ptr<Controller>(
            new Controller(std::make_unique<ControllerPrivate>(std::move(options), seams), nullptr));
    }

    explicit ControllerTestAccess(Controller& controller) : m_engine(*controller.d) {}

    ControllerPrivate& engine() { return m_engine; }
    Store& store() { return m_engine.store(); }
    FileTable& fileTable() { return m_engine.files(); }
    Catalogue& catalogue() { return m_engine.catalogue(); }
    Downloads& downloads() { return m_engine.downloads(); }
    SendLoops& sending() { return m_engine.sending(); }
    Peers& peers() { return m_engine.peers(); }
    Listening& listening() { return m_engine.listening(); }
    ActivityHold& activity() { return m_engine.activity(); }
    ConnectionEvents& events() { return m_engine.events(); }

    // Every working record (ahead of fileRows() by at most one publication), copied.
    QList<File> files() const { return QList<File>(m_engine.files().begin(), m_engine.files().end()); }

private:
    ControllerPrivate& m_engine;
};

}  // namespace vortan

#pragma once

#include "control/remote.h"

namespace vortan {
class Controller;
}

namespace brenvo::control {

class ControlServer;

// Carries out the remote requests on a started controller, through its
// public API only, and answers them with values. The process that owns the
// support directory serves them on its control socket (serve()); brenvo-cli
// runs them on its own controller when no such process is there. Each
// request writes the stored files before it is answered, runs on the main
// thread and returns without waiting on the network. Never throws.
class RemoteCommands {
public:
    explicit RemoteCommands(vortan::Controller& controller) : m_controller(controller) {}

    Answer handle(const RemoteRequest& request);

    // Answers the remote requests that reach server from now on. The
    // controller must be started; a request that comes after it is gone is
    // refused.
    static void serve(ControlServer& server, vortan::Controller& controller);

private:
    Answer handleOne(const CardRequest& request);
    Answer handleOne(const ImportRequest& request);
    Answer handleOne(const UsersRequest& request);
    Answer handleOne(const FilesRequest& request);
    Answer handleOne(const ShareRequest& request);
    Answer handleOne(const PauseRequest& request);
    Answer handleOne(const ResumeRequest& request);
    Answer handleOne(const RemoveRequest& request);

    QList<vortan::FileRow> rowsOf(const QList<QUuid>& ids) const;
    QString updateHeldOffers(const QList<QUuid>& ids, bool held);
    void save();

    vortan::Controller& m_controller;
};

}  // namespace brenvo::control

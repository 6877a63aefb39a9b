#pragma once

// The one-shot commands of brenvo-cli, carried out by the process that owns
// the support directory (`brenvo-cli run`, the desktop program) for a
// brenvo-cli started while it runs. Links only libvortan's public API,
// brenvo_control and Qt Core (target brenvo_cli_commands).

namespace brenvo::control {
class ControlServer;
}
namespace vortan {
class Controller;
}

namespace brenvo::cli {

// Answers the command requests that reach server (card, import, users,
// files, share, pause, resume, remove) by carrying them out on controller,
// with the output, error lines and exit status brenvo-cli would have had.
// Call once, after controller.start() succeeded and before or after
// server.listen(); both must outlive the server's last request (the handler
// is replaced when the server is given another one). Each request runs on
// the main thread and returns without waiting on the network.
void serveCommands(brenvo::control::ControlServer& server, vortan::Controller& controller);

}  // namespace brenvo::cli

// Sends one "open" request to the running instance of the support directory
// given as the only argument and prints what came of it. Exit status: 0
// answered, 3 no instance, 4 failed.

#include "control/controlclient.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace brenvo::control;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 2)
        return 2;
    const ClientResult result = ControlClient(app.arguments().at(1)).send(OpenRequest{});
    const auto* refused = std::get_if<ErrorAnswer>(&result.answer);
    QTextStream(stdout) << (result.error.isEmpty() && refused ? refused->detail : result.error) << Qt::endl;
    switch (result.status) {
    case ClientResult::Status::Answered: return 0;
    case ClientResult::Status::NoInstance: return 3;
    case ClientResult::Status::Failed: return 4;
    }
    return 4;
}

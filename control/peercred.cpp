#include "control/peercred.h"

#include <sys/socket.h>

namespace brenvo::control {

std::optional<uid_t> peerUid(qintptr descriptor)
{
    if (descriptor < 0)
        return std::nullopt;
    struct ucred credentials {};
    socklen_t size = sizeof credentials;
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials)
        return std::nullopt;
    return credentials.uid;
}

}  // namespace brenvo::control

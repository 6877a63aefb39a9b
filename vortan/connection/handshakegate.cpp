#include "vortan/connection/handshakegate.h"

#include <algorithm>

namespace vortan {

int HandshakeGate::waitingFrom(const QString& address) const
{
    return int(std::count_if(m_state->waiting.cbegin(), m_state->waiting.cend(),
                             [&](const Waiting& w) { return w.address == address; }));
}

HandshakeGate::Ticket HandshakeGate::enter(const QString& address, std::function<void()> close,
                                           const ClosedHandler& onClosed)
{
    State& state = *m_state;
    // Taken out of the list before it is closed: closing gives its ticket
    // back, which then finds nothing to remove.
    const auto makeRoom = [&](std::list<Waiting>::iterator oldest, bool addressFull) {
        Waiting gone = std::move(*oldest);
        state.waiting.erase(oldest);
        if (onClosed)
            onClosed(gone.address, addressFull);
        if (gone.close)
            gone.close();
    };
    if (waitingFrom(address) >= state.perAddressLimit) {
        makeRoom(std::find_if(state.waiting.begin(), state.waiting.end(),
                              [&](const Waiting& w) { return w.address == address; }),
                 true);
    } else if (int(state.waiting.size()) >= state.limit) {
        makeRoom(state.waiting.begin(), false);
    }
    const std::uint64_t serial = state.nextSerial++;
    state.waiting.push_back(Waiting{serial, address, std::move(close)});
    return Ticket(m_state, serial);
}

}  // namespace vortan

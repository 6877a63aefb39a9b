#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>

namespace vortan {

// Bounds the accepted connections that wait for their handshake (until the
// peer's first authenticated frame), so that silent or hostile peers cannot
// hold an unbounded number of descriptors nor lock everybody else out.
//
// A connection takes a ticket when it is accepted and gives it back when it
// is authenticated or ends. At most kDefaultPerAddressLimit tickets are out
// for one remote address and kDefaultLimit in all; a new connection beyond
// either limit makes room by closing the oldest waiting one (of its address,
// else of all): a flood then only ever displaces itself, and an honest peer,
// whose handshake takes one round trip, gets through.
class HandshakeGate {
    struct Waiting {
        std::uint64_t serial;
        QString address;
        std::function<void()> close;
    };
    struct State {
        State(int limit, int perAddressLimit) : limit(limit), perAddressLimit(perAddressLimit) {}
        int limit;
        int perAddressLimit;
        std::uint64_t nextSerial = 0;
        std::list<Waiting> waiting;  // oldest first
    };

public:
    static constexpr int kDefaultLimit = 32;
    static constexpr int kDefaultPerAddressLimit = 4;

    // A place among the waiting connections; leaves the gate when destroyed
    // or reset. Safe to outlive the gate.
    class Ticket {
    public:
        Ticket() = default;
        ~Ticket() { reset(); }
        Ticket(Ticket&& other) noexcept = default;
        Ticket& operator=(Ticket&& other) noexcept
        {
            if (this != &other) {
                reset();
                m_state = std::move(other.m_state);
                m_serial = other.m_serial;
            }
            return *this;
        }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

        explicit operator bool() const { return !m_state.expired(); }
        void reset()
        {
            if (const std::shared_ptr<State> state = m_state.lock())
                state->waiting.remove_if([&](const Waiting& w) { return w.serial == m_serial; });
            m_state.reset();
        }

    private:
        friend class HandshakeGate;
        Ticket(const std::shared_ptr<State>& state, std::uint64_t serial) : m_state(state), m_serial(serial) {}
        std::weak_ptr<State> m_state;
        std::uint64_t m_serial = 0;
    };

    // What enter() closed to make room: the address of that connection.
    using ClosedHandler = std::function<void(const QString& address, bool addressFull)>;

    explicit HandshakeGate(int limit = kDefaultLimit, int perAddressLimit = kDefaultPerAddressLimit)
        : m_state(std::make_shared<State>(limit, perAddressLimit))
    {
    }

    // A ticket for a connection from address. close() is called, at most
    // once and only from a later enter(), when that connection must go to
    // make room; onClosed (if given) hears about each connection closed so.
    Ticket enter(const QString& address, std::function<void()> close, const ClosedHandler& onClosed = {});

    int waiting() const { return int(m_state->waiting.size()); }
    int waitingFrom(const QString& address) const;
    int limit() const { return m_state->limit; }
    int perAddressLimit() const { return m_state->perAddressLimit; }

private:
    std::shared_ptr<State> m_state;
};

}  // namespace vortan

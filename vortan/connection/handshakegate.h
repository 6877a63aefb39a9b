#pragma once

#include <memory>

namespace vortan {

// Bounds how many accepted connections may wait for their handshake at once,
// so that silent or hostile peers cannot hold an unbounded number of
// descriptors. A connection takes a ticket when it is accepted and gives it
// back when it becomes ready or ends; when no ticket is left the accepted
// connection is closed at once.
class HandshakeGate {
public:
    static constexpr int kDefaultLimit = 32;

    // A place among the waiting connections; leaves the gate when destroyed
    // or reset. Safe to outlive the gate.
    class Ticket {
    public:
        Ticket() = default;
        ~Ticket() { reset(); }
        Ticket(Ticket&&) noexcept = default;
        Ticket& operator=(Ticket&& other) noexcept
        {
            if (this != &other) {
                reset();
                m_count = std::move(other.m_count);
            }
            return *this;
        }
        Ticket(const Ticket&) = delete;
        Ticket& operator=(const Ticket&) = delete;

        explicit operator bool() const { return m_count != nullptr; }
        void reset()
        {
            if (m_count) {
                --*m_count;
                m_count.reset();
            }
        }

    private:
        friend class HandshakeGate;
        explicit Ticket(std::shared_ptr<int> count) : m_count(std::move(count)) { ++*m_count; }
        std::shared_ptr<int> m_count;
    };

    explicit HandshakeGate(int limit = kDefaultLimit) : m_limit(limit) {}

    // A ticket, or an empty one when the limit is reached.
    Ticket tryEnter() { return *m_count < m_limit ? Ticket(m_count) : Ticket(); }

    int waiting() const { return *m_count; }
    int limit() const { return m_limit; }

private:
    int m_limit;
    std::shared_ptr<int> m_count = std::make_shared<int>(0);
};

}  // namespace vortan

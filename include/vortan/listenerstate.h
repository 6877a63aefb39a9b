#pragma once

#include "vortan/errors.h"

#include <optional>

namespace vortan {

// The state of the controller's listener, published by the controller
// (which names it Controller::ListenerState).
class ListenerState {
public:
    enum class Kind { failed, stopped, ready };

    static ListenerState failed(VortanError error) { return ListenerState(Kind::failed, std::move(error)); }
    static ListenerState stopped() { return ListenerState(Kind::stopped, std::nullopt); }
    static ListenerState ready() { return ListenerState(Kind::ready, std::nullopt); }

    Kind kind() const { return m_kind; }
    // The failure; present only for failed.
    const std::optional<VortanError>& error() const { return m_error; }

    friend bool operator==(const ListenerState&, const ListenerState&) = default;

private:
    ListenerState(Kind kind, std::optional<VortanError> error) : m_kind(kind), m_error(std::move(error)) {}

    Kind m_kind;
    std::optional<VortanError> m_error;
};

}  // namespace vortan

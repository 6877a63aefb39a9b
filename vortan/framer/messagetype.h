#pragma once

#include <cstdint>

namespace vortan {

// The kind of an application message; travels as a signed 32-bit value at the
// start of every frame's plaintext.
enum class MessageType : std::int32_t {
    invalid = 0,
    listRequest = 1,
    list = 2,
    want = 3,
    data = 4,
    // Beyond the four every peer knows: sent only on connections through
    // Tor, where both ends are ours (one that does not know it logs it as
    // invalid and goes on).
    hints = 5,
};

// Every value outside the known range, negative ones included, is `invalid`.
constexpr MessageType messageTypeFromRaw(std::int32_t raw)
{
    return raw >= 0 && raw <= static_cast<std::int32_t>(MessageType::hints) ? static_cast<MessageType>(raw)
                                                                            : MessageType::invalid;
}

constexpr std::int32_t rawValue(MessageType type) { return static_cast<std::int32_t>(type); }

}  // namespace vortan

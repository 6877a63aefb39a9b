#pragma once

// Assembles binary property lists object by object, so that tests can build
// inputs no ordinary writer produces: wrong sizes, bad references, cycles,
// 3-byte offsets, hostile trailers.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace vortan::plist::test {

using Bytes = std::vector<std::uint8_t>;

// Widths beyond 8 bytes (hostile sizes) get leading zeros.
inline void appendBigEndian(Bytes& out, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = width; i-- > 0;)
        out.push_back(i < 8 ? static_cast<std::uint8_t>(value >> (8 * i)) : 0);
}

// A marker with its count: in the low nibble, or 0xF and an integer object.
inline Bytes countedMarker(std::uint8_t type, std::uint64_t count)
{
    Bytes out;
    if (count < 15) {
        out.push_back(static_cast<std::uint8_t>(type | count));
    } else {
        out.push_back(type | 0x0F);
        out.push_back(0x13);
        appendBigEndian(out, count, 8);
    }
    return out;
}

class Builder {
public:
    std::size_t refSize = 1;
    std::optional<std::size_t> offsetSize;  // default: the fewest bytes for the offsets
    // Trailer overrides.
    std::optional<std::uint64_t> objectCount;
    std::optional<std::uint64_t> tableOffset;

    // Appends one object's raw bytes; returns its index.
    std::uint64_t add(Bytes object)
    {
        m_objects.push_back(std::move(object));
        return m_objects.size() - 1;
    }

    // Encoders of whole objects.
    static Bytes ascii(const std::string& s)
    {
        Bytes out = countedMarker(0x50, s.size());
        out.insert(out.end(), s.begin(), s.end());
        return out;
    }
    static Bytes utf16(std::initializer_list<std::uint16_t> units)
    {
        Bytes out = countedMarker(0x60, units.size());
        for (const std::uint16_t u : units)
            appendBigEndian(out, u, 2);
        return out;
    }
    // An integer object of 2^log2Width bytes; value16High is the high half of a 16-byte one.
    static Bytes integer(unsigned log2Width, std::uint64_t value, std::uint64_t value16High = 0)
    {
        Bytes out{static_cast<std::uint8_t>(0x10 | log2Width)};
        if (log2Width == 4) {
            appendBigEndian(out, value16High, 8);
            appendBigEndian(out, value, 8);
        } else {
            appendBigEndian(out, value, std::size_t{1} << log2Width);
        }
        return out;
    }
    Bytes array(std::initializer_list<std::uint64_t> refs) const { return array(std::vector<std::uint64_t>(refs)); }
    Bytes array(const std::vector<std::uint64_t>& refs) const
    {
        Bytes out = countedMarker(0xA0, refs.size());
        for (const std::uint64_t r : refs)
            appendBigEndian(out, r, refSize);
        return out;
    }
    Bytes dictionary(std::initializer_list<std::uint64_t> keys, std::initializer_list<std::uint64_t> values) const
    {
        Bytes out = countedMarker(0xD0, keys.size());
        for (const std::uint64_t r : keys)
            appendBigEndian(out, r, refSize);
        for (const std::uint64_t r : values)
            appendBigEndian(out, r, refSize);
        return out;
    }

    // The whole file; offsets[i] overrides object i's offset.
    Bytes build(std::uint64_t top = 0, const std::vector<std::pair<std::size_t, std::uint64_t>>& offsets = {}) const
    {
        Bytes out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<std::uint64_t> table;
        for (const Bytes& object : m_objects) {
            table.push_back(out.size());
            out.insert(out.end(), object.begin(), object.end());
        }
        for (const auto& [index, offset] : offsets)
            table[index] = offset;
        const std::uint64_t tableStart = out.size();
        std::size_t width = 1;
        while (width < 8 && (tableStart >> (8 * width)) != 0)
            ++width;
        width = offsetSize.value_or(width);
        for (const std::uint64_t offset : table)
            appendBigEndian(out, offset, width);
        out.insert(out.end(), 6, 0);
        out.push_back(static_cast<std::uint8_t>(width));
        out.push_back(static_cast<std::uint8_t>(refSize));
        appendBigEndian(out, objectCount.value_or(m_objects.size()), 8);
        appendBigEndian(out, top, 8);
        appendBigEndian(out, tableOffset.value_or(tableStart), 8);
        return out;
    }

private:
    std::vector<Bytes> m_objects;
};

}  // namespace vortan::plist::test

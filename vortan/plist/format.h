#pragma once

// Layout of the binary property-list format shared by the reader and the
// writer. A file is the 8-byte magic, the objects, a table with the offset of
// every object, and a 32-byte trailer. Every number is big-endian.

#include <cstddef>
#include <cstdint>

namespace vortan::plist::format {

inline constexpr char kMagic[] = "bplist00";
inline constexpr std::size_t kMagicSize = 8;
inline constexpr std::size_t kTrailerSize = 32;

// Trailer: 5 unused bytes, sort version, offset size, reference size, then
// three 8-byte numbers: object count, top object, offset of the offset table.
inline constexpr std::size_t kTrailerOffsetSize = 6;
inline constexpr std::size_t kTrailerRefSize = 7;
inline constexpr std::size_t kTrailerObjectCount = 8;
inline constexpr std::size_t kTrailerTopObject = 16;
inline constexpr std::size_t kTrailerTableOffset = 24;

// The high nibble of an object's first byte is its type; the low nibble is
// a size (a power of two for numbers, a count for the others, 0xF meaning
// that an integer object holding the count follows).
inline constexpr std::uint8_t kSimple = 0x00;  // 0x08 false, 0x09 true, 0x00 null, 0x0F fill
inline constexpr std::uint8_t kFalse = 0x08;
inline constexpr std::uint8_t kTrue = 0x09;
inline constexpr std::uint8_t kInteger = 0x10;
inline constexpr std::uint8_t kReal = 0x20;
inline constexpr std::uint8_t kDate = 0x30;  // always 0x33: an 8-byte real
inline constexpr std::uint8_t kData = 0x40;
inline constexpr std::uint8_t kAscii = 0x50;
inline constexpr std::uint8_t kUtf16 = 0x60;
inline constexpr std::uint8_t kUid = 0x80;
inline constexpr std::uint8_t kArray = 0xA0;
inline constexpr std::uint8_t kOrderedSet = 0xB0;
inline constexpr std::uint8_t kSet = 0xC0;
inline constexpr std::uint8_t kDictionary = 0xD0;
inline constexpr std::uint8_t kLongCount = 0x0F;

// Bytes needed for offsets or references up to value, the way the standard
// writers choose them: 1, 2, 4 or 8.
constexpr std::size_t widthFor(std::uint64_t value)
{
    if (value < (std::uint64_t{1} << 8))
        return 1;
    if (value < (std::uint64_t{1} << 16))
        return 2;
    if (value < (std::uint64_t{1} << 32))
        return 4;
    return 8;
}

}  // namespace vortan::plist::format

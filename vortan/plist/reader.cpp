// Reader of binary property lists. The input is untrusted: every offset,
// count and reference is checked against the bytes actually present before
// it is used, containers are walked with an explicit stack, and the memory
// of the decoded value is budgeted against the input's size.

#include "vortan/plist/format.h"
#include "vortan/plist/value.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <string>

namespace vortan::plist {
namespace {

namespace f = format;

// Bound on the memory of the decoded value (see value.h).
constexpr std::uint64_t kDecodedAllowance = std::uint64_t{1} << 20;
constexpr std::uint64_t kDecodedPerInputByte = 64;

// Dictionaries up to this size are checked for repeated keys pairwise.
constexpr std::size_t kPairwiseKeyCheck = 16;

[[noreturn]] void fail(const std::string& what)
{
    throw FormatError("property list: " + what);
}

std::string objectName(std::uint64_t index)
{
    return "object " + std::to_string(index);
}

std::string hexByte(std::uint8_t byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4] + digits[byte & 0x0F];
}

std::uint64_t readUnsigned(const std::uint8_t* p, std::size_t width)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
        value = (value << 8) | p[i];
    return value;
}

// The head of one object: its type, the count its size field gives and where
// its body starts. The body is known to lie inside the object area.
struct Object {
    std::uint8_t type;
    std::uint8_t size;  // low nibble of the marker
    std::uint64_t count;
    const std::uint8_t* body;

    bool isContainer() const { return type == f::kArray || type == f::kDictionary; }
};

// Appends the UTF-8 form of the code point.
void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

bool isHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

class Reader {
public:
    Reader(const std::uint8_t* bytes, std::size_t size, const ReadLimits& limits);
    Value run();

private:
    // A container being decoded; its children are filled in order.
    struct Frame {
        std::uint64_t index;
        const std::uint8_t* refs;  // value references (after the keys for a dictionary)
        std::uint64_t count;
        std::uint64_t next;
        bool dictionary;
        Value value;
    };

    Object object(std::uint64_t index) const;
    std::uint64_t reference(const std::uint8_t* refs, std::uint64_t i) const;
    void open(std::uint64_t index, const Object& head);
    void place(Frame& frame, Value&& child);
    Value scalar(std::uint64_t index, const Object& head);
    std::string string(std::uint64_t index, const Object& head);
    void checkKeysUnique(std::uint64_t index, const Dictionary& dict) const;
    void charge(std::uint64_t bytes);

    const std::uint8_t* m_bytes;
    std::size_t m_size;
    ReadLimits m_limits;
    std::size_t m_offsetSize = 0;
    std::size_t m_refSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_topObject = 0;
    std::uint64_t m_tableOffset = 0;  // the object area is [kMagicSize, m_tableOffset)
    std::uint64_t m_budget = 0;
    std::vector<std::uint8_t> m_onPath;  // per object: a container being decoded
    std::vector<Frame> m_frames;
};

Reader::Reader(const std::uint8_t* bytes, std::size_t size, const ReadLimits& limits)
    : m_bytes(bytes), m_size(size), m_limits(limits)
{
    // Magic, at least one one-byte object, a one-byte offset, the trailer.
    if (size < f::kMagicSize + 2 + f::kTrailerSize)
        fail("too short for a binary property list (" + std::to_string(size) + " bytes)");
    if (std::memcmp(bytes, f::kMagic, f::kMagicSize) != 0)
        fail("not a binary property list (bad header)");

    const std::uint8_t* trailer = bytes + size - f::kTrailerSize;
    m_offsetSize = trailer[f::kTrailerOffsetSize];
    m_refSize = trailer[f::kTrailerRefSize];
    m_objectCount = readUnsigned(trailer + f::kTrailerObjectCount, 8);
    m_topObject = readUnsigned(trailer + f::kTrailerTopObject, 8);
    m_tableOffset = readUnsigned(trailer + f::kTrailerTableOffset, 8);

    if (m_offsetSize < 1 || m_offsetSize > 8)
        fail("offset size " + std::to_string(m_offsetSize) + " out of range 1...8");
    if (m_refSize < 1 || m_refSize > 8)
        fail("reference size " + std::to_string(m_refSize) + " out of range 1...8");
    if (m_objectCount == 0)
        fail("no objects");
    const std::uint64_t trailerStart = size - f::kTrailerSize;
    if (m_tableOffset <= f::kMagicSize || m_tableOffset > trailerStart)
        fail("offset table at " + std::to_string(m_tableOffset) + " outside the input");
    if (m_objectCount > (trailerStart - m_tableOffset) / m_offsetSize)
        fail("object count " + std::to_string(m_objectCount) + " larger than the offset table holds");
    if (m_topObject >= m_objectCount)
        fail("top object " + std::to_string(m_topObject) + " out of range");

    const std::uint64_t perByte = std::min<std::uint64_t>(size, std::numeric_limits<std::uint64_t>::max() /
                                                                     kDecodedPerInputByte - kDecodedAllowance);
    m_budget = kDecodedAllowance + perByte * kDecodedPerInputByte;
}

Object Reader::object(std::uint64_t index) const
{
    const std::uint64_t offset = readUnsigned(m_bytes + m_tableOffset + index * m_offsetSize, m_offsetSize);
    if (offset < f::kMagicSize || offset >= m_tableOffset)
        fail(objectName(index) + " at offset " + std::to_string(offset) + " outside the object area");

    const std::uint8_t* p = m_bytes + offset;
    const std::uint8_t* const end = m_bytes + m_tableOffset;
    const std::uint8_t marker = *p++;
    Object head{static_cast<std::uint8_t>(marker & 0xF0), static_cast<std::uint8_t>(marker & 0x0F), 0, p};
    auto need = [&](std::uint64_t bytes) {
        if (bytes > static_cast<std::uint64_t>(end - p))
            fail(objectName(index) + " is truncated");
    };

    std::uint64_t unit = 0;  // body bytes per counted element
    switch (head.type) {
    case f::kSimple:
        if (marker == f::kFalse || marker == f::kTrue)
            return head;
        if (marker == 0x00)
            fail(objectName(index) + ": null is not supported");
        if (marker == 0x0F)
            fail(objectName(index) + ": fill byte is not an object");
        fail(objectName(index) + ": unknown object type " + hexByte(marker));
    case f::kInteger:
        if (head.size > 4)
            fail(objectName(index) + ": integer of " + std::to_string(std::uint64_t{1} << head.size) +
                 " bytes is outside signed 64 bits");
        need(std::uint64_t{1} << head.size);
        return head;
    case f::kReal:
        if (head.size != 2 && head.size != 3)
            fail(objectName(index) + ": real of " + std::to_string(std::uint64_t{1} << head.size) +
                 " bytes is not supported");
        need(std::uint64_t{1} << head.size);
        return head;
    case f::kDate:
        if (head.size != 3)
            fail(objectName(index) + ": date is not an 8-byte real");
        need(8);
        return head;
    case f::kData:
    case f::kAscii:
        unit = 1;
        break;
    case f::kUtf16:
        unit = 2;
        break;
    case f::kArray:
        unit = m_refSize;
        break;
    case f::kDictionary:
        unit = 2 * m_refSize;
        break;
    case f::kUid:
        fail(objectName(index) + ": UIDs are not supported");
    case f::kOrderedSet:
    case f::kSet:
        fail(objectName(index) + ": sets are not supported");
    default:
        fail(objectName(index) + ": unknown object type " + hexByte(marker));
    }

    head.count = head.size;
    if (head.size == f::kLongCount) {
        need(1);
        const std::uint8_t countMarker = *p++;
        const std::uint8_t width = countMarker & 0x0F;
        if ((countMarker & 0xF0) != f::kInteger || width > 3)
            fail(objectName(index) + ": bad count");
        need(std::uint64_t{1} << width);
        head.count = readUnsigned(p, std::size_t{1} << width);
        if (width == 3 && head.count > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            fail(objectName(index) + ": negative count");
        p += std::size_t{1} << width;
        head.body = p;
    }
    if (head.count > static_cast<std::uint64_t>(end - p) / unit)
        fail(objectName(index) + " is truncated (" + std::to_string(head.count) +
             " elements claimed)");
    return head;
}

std::uint64_t Reader::reference(const std::uint8_t* refs, std::uint64_t i) const
{
    const std::uint64_t target = readUnsigned(refs + i * m_refSize, m_refSize);
    if (target >= m_objectCount)
        fail("reference to " + objectName(target) + " out of range");
    return target;
}

void Reader::charge(std::uint64_t bytes)
{
    if (bytes > m_budget)
        fail("decoded value too large for an input of " + std::to_string(m_size) +
             " bytes (shared objects expand beyond the bound)");
    m_budget -= bytes;
}

void Reader::open(std::uint64_t index, const Object& head)
{
    if (m_onPath.empty())
        m_onPath.assign(m_objectCount, 0);
    if (m_onPath[index])
        fail("reference cycle through " + objectName(index));
    if (m_frames.size() >= m_limits.maxDepth)
        fail("nesting deeper than " + std::to_string(m_limits.maxDepth) + " levels");

    const bool dictionary = head.type == f::kDictionary;
    Frame frame{index, head.body, head.count, 0, dictionary, Value()};
    if (dictionary) {
        charge(head.count * sizeof(Dictionary::value_type));
        Dictionary dict;
        dict.reserve(head.count);
        for (std::uint64_t i = 0; i < head.count; ++i) {
            const std::uint64_t keyIndex = reference(head.body, i);
            const Object key = object(keyIndex);
            if (key.type != f::kAscii && key.type != f::kUtf16)
                fail(objectName(index) + ": dictionary key " + objectName(keyIndex) + " is not a string");
            dict.emplace_back(string(keyIndex, key), Value());
        }
        checkKeysUnique(index, dict);
        frame.refs = head.body + head.count * m_refSize;
        frame.value = Value(std::move(dict));
    } else {
        charge(head.count * sizeof(Value));
        Array array;
        array.reserve(head.count);
        frame.value = Value(std::move(array));
    }
    m_onPath[index] = 1;
    m_frames.push_back(std::move(frame));
}

void Reader::place(Frame& frame, Value&& child)
{
    if (frame.dictionary)
        (*frame.value.as<Dictionary>())[frame.next].second = std::move(child);
    else
        frame.value.as<Array>()->push_back(std::move(child));
    ++frame.next;
}

Value Reader::run()
{
    charge(sizeof(Value));
    const Object top = object(m_topObject);
    if (!top.isContainer())
        return scalar(m_topObject, top);

    m_frames.reserve(std::min<std::size_t>(m_limits.maxDepth, 1024));
    open(m_topObject, top);
    for (;;) {
        Frame& frame = m_frames.back();
        if (frame.next < frame.count) {
            const std::uint64_t childIndex = reference(frame.refs, frame.next);
            const Object child = object(childIndex);
            if (child.isContainer())
                open(childIndex, child);  // invalidates frame
            else
                place(frame, scalar(childIndex, child));
            continue;
        }
        m_onPath[frame.index] = 0;
        Value done = std::move(frame.value);
        m_frames.pop_back();
        if (m_frames.empty())
            return done;
        place(m_frames.back(), std::move(done));
    }
}

Value Reader::scalar(std::uint64_t index, const Object& head)
{
    const std::uint8_t* body = head.body;
    switch (head.type) {
    case f::kSimple:
        return Value(head.size == (f::kTrue & 0x0F));
    case f::kInteger: {
        const std::size_t width = std::size_t{1} << head.size;
        if (width < 8)  // 1, 2 and 4 bytes are unsigned
            return Value(static_cast<std::int64_t>(readUnsigned(body, width)));
        if (width == 8)
            return Value(static_cast<std::int64_t>(readUnsigned(body, 8)));
        // 16 bytes, signed: accepted when the high half only extends the sign.
        const std::uint64_t high = readUnsigned(body, 8);
        const std::uint64_t low = readUnsigned(body + 8, 8);
        const std::uint64_t extension = (low >> 63) ? ~std::uint64_t{0} : 0;
        if (high != extension)
            fail(objectName(index) + ": integer outside signed 64 bits");
        return Value(static_cast<std::int64_t>(low));
    }
    case f::kReal:
        if (head.size == 2)
            return Value(static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(readUnsigned(body, 4)))));
        return Value(std::bit_cast<double>(readUnsigned(body, 8)));
    case f::kDate:
        return Value(Date{std::bit_cast<double>(readUnsigned(body, 8))});
    case f::kData:
        charge(head.count);
        return Value(Data{std::vector<std::uint8_t>(body, body + head.count)});
    case f::kAscii:
    case f::kUtf16:
        return Value(string(index, head));
    default:
        fail(objectName(index) + ": unexpected object");  // containers never get here
    }
}

std::string Reader::string(std::uint64_t index, const Object& head)
{
    const std::uint8_t* body = head.body;
    if (head.type == f::kAscii) {
        for (std::uint64_t i = 0; i < head.count; ++i) {
            if (body[i] >= 0x80)
                fail(objectName(index) + ": byte above 127 in an ASCII string");
        }
        charge(head.count);
        return std::string(reinterpret_cast<const char*>(body), head.count);
    }

    // UTF-16BE: check the surrogate pairs and measure the UTF-8 form first,
    // so that exactly the needed memory is charged and allocated.
    auto unit = [body](std::uint64_t i) -> char32_t { return (char32_t{body[2 * i]} << 8) | body[2 * i + 1]; };
    std::uint64_t utf8Size = 0;
    for (std::uint64_t i = 0; i < head.count; ++i) {
        const char32_t u = unit(i);
        if (isHighSurrogate(u)) {
            if (i + 1 == head.count || !isLowSurrogate(unit(i + 1)))
                fail(objectName(index) + ": unpaired surrogate in a UTF-16 string");
            utf8Size += 4;
            ++i;
        } else if (isLowSurrogate(u)) {
            fail(objectName(index) + ": unpaired surrogate in a UTF-16 string");
        } else {
            utf8Size += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
        }
    }
    charge(utf8Size);
    std::string out;
    out.reserve(utf8Size);
    for (std::uint64_t i = 0; i < head.count; ++i) {
        const char32_t u = unit(i);
        if (isHighSurrogate(u)) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

void Reader::checkKeysUnique(std::uint64_t index, const Dictionary& dict) const
{
    auto repeated = [index]() { fail(objectName(index) + ": the same key appears twice"); };
    if (dict.size() <= kPairwiseKeyCheck) {
        for (std::size_t i = 0; i < dict.size(); ++i) {
            for (std::size_t j = i + 1; j < dict.size(); ++j) {
                if (dict[i].first == dict[j].first)
                    repeated();
            }
        }
        return;
    }
    std::vector<std::string_view> keys;
    keys.reserve(dict.size());
    for (const auto& entry : dict)
        keys.emplace_back(entry.first);
    std::sort(keys.begin(), keys.end());
    const auto twice = std::adjacent_find(keys.begin(), keys.end());
    if (twice != keys.end())
        repeated();
}

}  // namespace

Value read(const std::uint8_t* bytes, std::size_t size, const ReadLimits& limits)
{
    if (bytes == nullptr && size != 0)
        fail("no input");
    return Reader(bytes, size, limits).run();
}

}  // namespace vortan::plist

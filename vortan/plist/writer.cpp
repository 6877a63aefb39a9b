// Writer of binary property lists, in linear time and without recursion.
//
// Objects are numbered breadth first: when a container is written, its
// children are the next unnumbered objects, so its references are known
// without any lookup. A first pass counts the objects (which fixes the
// reference size) and checks the nesting depth.

#include "vortan/plist/format.h"
#include "vortan/plist/value.h"

#include <bit>
#include <string>

namespace vortan::plist {
namespace {

namespace f = format;

[[noreturn]] void fail(const std::string& what)
{
    throw FormatError("property list: cannot write " + what);
}

bool isContainer(const Value& value)
{
    return value.is<Array>() || value.is<Dictionary>();
}

class Writer {
public:
    std::vector<std::uint8_t> run(const Value& root);

private:
    // One object to write: a value, or a dictionary key.
    struct Pending {
        const Value* value;
        const std::string* key;
    };

    static std::uint64_t countObjects(const Value& root);
    void putUnsigned(std::uint64_t value, std::size_t width);
    void putCount(std::uint8_t type, std::uint64_t count);
    void putInteger(std::int64_t value);
    void putReal(std::uint8_t marker, double value);
    void putString(const std::string& s);
    void putReference(std::uint64_t index) { putUnsigned(index, m_refSize); }
    void putValue(const Value& value);

    std::vector<std::uint8_t> m_out;
    std::vector<Pending> m_queue;
    std::size_t m_refSize = 1;
    std::vector<std::uint8_t> m_utf16;  // scratch for one string
};

std::uint64_t Writer::countObjects(const Value& root)
{
    const std::size_t maxDepth = ReadLimits{}.maxDepth;
    struct Item {
        const Value* value;
        std::size_t depth;
    };
    std::uint64_t count = 1;
    std::vector<Item> stack{{&root, 1}};
    while (!stack.empty()) {
        const Item item = stack.back();
        stack.pop_back();
        if (!isContainer(*item.value))
            continue;
        if (item.depth > maxDepth)
            fail("nesting deeper than " + std::to_string(maxDepth) + " levels");
        if (const Array* array = item.value->as<Array>()) {
            count += array->size();
            for (const Value& child : *array) {
                if (isContainer(child))
                    stack.push_back({&child, item.depth + 1});
            }
        } else {
            const Dictionary& dict = *item.value->as<Dictionary>();
            count += 2 * dict.size();
            for (const auto& entry : dict) {
                if (isContainer(entry.second))
                    stack.push_back({&entry.second, item.depth + 1});
            }
        }
    }
    return count;
}

std::vector<std::uint8_t> Writer::run(const Value& root)
{
    const std::uint64_t objectCount = countObjects(root);
    m_refSize = f::widthFor(objectCount);

    std::vector<std::uint64_t> offsets;
    offsets.reserve(objectCount);
    m_queue.reserve(objectCount);
    m_out.assign(f::kMagic, f::kMagic + f::kMagicSize);

    m_queue.push_back({&root, nullptr});
    for (std::size_t i = 0; i < m_queue.size(); ++i) {
        offsets.push_back(m_out.size());
        const Pending item = m_queue[i];
        if (item.key)
            putString(*item.key);
        else
            putValue(*item.value);
    }

    const std::uint64_t tableOffset = m_out.size();
    const std::size_t offsetSize = f::widthFor(tableOffset);
    m_out.reserve(m_out.size() + offsets.size() * offsetSize + f::kTrailerSize);
    for (const std::uint64_t offset : offsets)
        putUnsigned(offset, offsetSize);

    m_out.insert(m_out.end(), 6, 0);  // unused bytes and sort version
    m_out.push_back(static_cast<std::uint8_t>(offsetSize));
    m_out.push_back(static_cast<std::uint8_t>(m_refSize));
    putUnsigned(objectCount, 8);
    putUnsigned(0, 8);  // the top object is written first
    putUnsigned(tableOffset, 8);
    return std::move(m_out);
}

void Writer::putUnsigned(std::uint64_t value, std::size_t width)
{
    std::uint8_t bytes[8];
    for (std::size_t i = 0; i < width; ++i)
        bytes[i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
    m_out.insert(m_out.end(), bytes, bytes + width);
}

void Writer::putCount(std::uint8_t type, std::uint64_t count)
{
    if (count < f::kLongCount) {
        m_out.push_back(static_cast<std::uint8_t>(type | count));
        return;
    }
    m_out.push_back(type | f::kLongCount);
    putInteger(static_cast<std::int64_t>(count));
}

void Writer::putInteger(std::int64_t value)
{
    // Non-negative values take the fewest bytes among 1, 2, 4 and 8 (the
    // narrow forms are unsigned); negative values always take 8.
    const auto bits = static_cast<std::uint64_t>(value);
    std::size_t width = 8;
    if (value >= 0)
        width = f::widthFor(bits);
    m_out.push_back(static_cast<std::uint8_t>(f::kInteger | std::countr_zero(width)));
    putUnsigned(bits, width);
}

void Writer::putReal(std::uint8_t marker, double value)
{
    m_out.push_back(marker);
    putUnsigned(std::bit_cast<std::uint64_t>(value), 8);
}

void Writer::putString(const std::string& s)
{
    bool ascii = true;
    for (const char c : s) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        putCount(f::kAscii, s.size());
        m_out.insert(m_out.end(), s.begin(), s.end());
        return;
    }

    // UTF-8 to UTF-16BE, refusing anything that is not well-formed UTF-8
    // (overlong forms, surrogates, values beyond U+10FFFF, cut sequences).
    m_utf16.clear();
    auto unit = [this](char32_t u) {
        m_utf16.push_back(static_cast<std::uint8_t>(u >> 8));
        m_utf16.push_back(static_cast<std::uint8_t>(u));
    };
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n;) {
        const auto lead = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        char32_t c = 0;
        char32_t min = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, c = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, c = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, c = lead & 0x07, min = 0x10000;
        } else {
            fail("a string that is not UTF-8");
        }
        if (n - i - 1 < extra)
            fail("a string that is not UTF-8");
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(s[i + k]);
            if ((next & 0xC0) != 0x80)
                fail("a string that is not UTF-8");
            c = (c << 6) | (next & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            fail("a string that is not UTF-8");
        i += extra + 1;
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    putCount(f::kUtf16, m_utf16.size() / 2);
    m_out.insert(m_out.end(), m_utf16.begin(), m_utf16.end());
}

void Writer::putValue(const Value& value)
{
    struct Visitor {
        Writer& w;
        void operator()(bool b) const { w.m_out.push_back(b ? f::kTrue : f::kFalse); }
        void operator()(std::int64_t i) const { w.putInteger(i); }
        void operator()(double d) const { w.putReal(f::kReal | 3, d); }
        void operator()(const std::string& s) const { w.putString(s); }
        void operator()(const Data& d) const
        {
            w.putCount(f::kData, d.bytes.size());
            w.m_out.insert(w.m_out.end(), d.bytes.begin(), d.bytes.end());
        }
        void operator()(const Date& d) const { w.putReal(f::kDate | 3, d.seconds); }
        void operator()(const Array& array) const
        {
            w.putCount(f::kArray, array.size());
            for (const Value& child : array) {
                w.putReference(w.m_queue.size());
                w.m_queue.push_back({&child, nullptr});
            }
        }
        void operator()(const Dictionary& dict) const
        {
            w.putCount(f::kDictionary, dict.size());
            for (const auto& entry : dict) {
                w.putReference(w.m_queue.size());
                w.m_queue.push_back({nullptr, &entry.first});
            }
            for (const auto& entry : dict) {
                w.putReference(w.m_queue.size());
                w.m_queue.push_back({&entry.second, nullptr});
            }
        }
    };
    std::visit(Visitor{*this}, value.storage());
}

}  // namespace

std::vector<std::uint8_t> write(const Value& value)
{
    return Writer().run(value);
}

}  // namespace vortan::plist

#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace vortan::plist {

class Value;

using Array = std::vector<Value>;
// Keys keep their insertion order: the writer emits them in this order.
using Dictionary = std::vector<std::pair<std::string, Value>>;

struct Data {
    std::vector<std::uint8_t> bytes;
    friend bool operator==(const Data&, const Data&) = default;
};

// Seconds since 2001-01-01 00:00:00 UTC, as the format stores dates.
struct Date {
    double seconds = 0;
    friend bool operator==(const Date&, const Date&) = default;
};

// One property-list object. Strings are UTF-8.
class Value {
public:
    using Storage = std::variant<bool, std::int64_t, double, std::string, Data, Date, Array, Dictionary>;

    Value() : m_storage(false) {}
    Value(bool b) : m_storage(b) {}
    Value(int i) : m_storage(std::int64_t{i}) {}
    Value(std::int64_t i) : m_storage(i) {}
    // qint64 is long long, a type distinct from std::int64_t (long) here.
    template <typename T>
        requires(std::is_same_v<T, long long> && !std::is_same_v<long long, std::int64_t>)
    Value(T i) : m_storage(std::int64_t{i}) {}
    Value(double d) : m_storage(d) {}
    Value(const char* s) : m_storage(std::string(s)) {}
    Value(std::string s) : m_storage(std::move(s)) {}
    Value(Data d) : m_storage(std::move(d)) {}
    Value(Date d) : m_storage(d) {}
    Value(Array a) : m_storage(std::move(a)) {}
    Value(Dictionary d) : m_storage(std::move(d)) {}

    const Storage& storage() const { return m_storage; }
    Storage& storage() { return m_storage; }

    template <typename T> bool is() const { return std::holds_alternative<T>(m_storage); }
    // nullptr when the value holds another type.
    template <typename T> const T* as() const { return std::get_if<T>(&m_storage); }
    template <typename T> T* as() { return std::get_if<T>(&m_storage); }

    friend bool operator==(const Value&, const Value&) = default;

private:
    Storage m_storage;
};

// The first entry of a dictionary with this key, or nullptr.
inline const Value* find(const Dictionary& dict, std::string_view key)
{
    for (const auto& [k, v] : dict) {
        if (k == key)
            return &v;
    }
    return nullptr;
}

// Malformed, hostile or unsupported input, or a value that cannot be written.
class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ReadLimits {
    // Deepest nesting of arrays and dictionaries accepted; the top level is
    // depth 1. Copying, comparing and destroying a Value recurse through its
    // nesting, so keep this modest.
    std::size_t maxDepth = 64;
};

// Parses a binary property list ("bplist00"). Never recursive; rejects
// everything it cannot prove well formed with a FormatError.
//
// Accepted: dictionaries with string keys (each key once), arrays, ASCII and
// UTF-16 strings, integers of 1, 2, 4, 8 and 16 bytes whose value fits in
// signed 64 bits, reals of 4 and 8 bytes, booleans, data and dates; offsets
// and references of 1 to 8 bytes. Refused: null, fill, UIDs, sets, reference
// cycles, nesting deeper than limits.maxDepth.
//
// An object referenced from several places (files written by other tools
// share equal strings, numbers and sometimes whole containers) is decoded
// once per reference. So that a small input cannot expand into a huge
// value, the decoded value may take at most 1 MiB plus 64 bytes per input
// byte of memory (counting each element and each string or data byte);
// an input without shared containers never comes near that bound.
Value read(const std::uint8_t* bytes, std::size_t size, const ReadLimits& limits = {});
inline Value read(const std::vector<std::uint8_t>& bytes, const ReadLimits& limits = {})
{
    return read(bytes.data(), bytes.size(), limits);
}

// Writes a binary property list in linear time: ASCII strings as ASCII,
// other strings as UTF-16, integers in the fewest bytes (negative ones in
// 8), reals in 8 bytes. Equal strings and data are not merged, so the output
// depends only on the value. Throws FormatError for a string that is not
// valid UTF-8 and for nesting deeper than ReadLimits{}.maxDepth, so that
// everything written can be read back with the default limits.
std::vector<std::uint8_t> write(const Value& value);

}  // namespace vortan::plist

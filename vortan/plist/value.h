#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
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
    // Deepest nesting of arrays and dictionaries accepted; the top level is depth 1.
    std::size_t maxDepth = 64;
};

// Parses a binary property list ("bplist00"). Never recursive; rejects
// everything it cannot prove well formed with a FormatError.
Value read(const std::uint8_t* bytes, std::size_t size, const ReadLimits& limits = {});
inline Value read(const std::vector<std::uint8_t>& bytes, const ReadLimits& limits = {})
{
    return read(bytes.data(), bytes.size(), limits);
}

// Writes a binary property list in linear time. Equal strings and data are
// not merged, so the output depends only on the value.
std::vector<std::uint8_t> write(const Value& value);

}  // namespace vortan::plist

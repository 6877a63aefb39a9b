// Reads arbitrary bytes as a binary property list. Whatever is accepted must
// write back without error, read back to the same value, and write to the
// same bytes again.

#include "vortan/plist/value.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace vortan::plist;

namespace {

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Like ==, but reals compare by their bits so that NaN equals itself.
bool same(const Value& a, const Value& b)
{
    if (a.storage().index() != b.storage().index())
        return false;
    if (const double* d = a.as<double>())
        return sameBits(*d, *b.as<double>());
    if (const Date* d = a.as<Date>())
        return sameBits(d->seconds, b.as<Date>()->seconds);
    if (const Array* x = a.as<Array>()) {
        const Array& y = *b.as<Array>();
        if (x->size() != y.size())
            return false;
        for (std::size_t i = 0; i < x->size(); ++i) {
            if (!same((*x)[i], y[i]))
                return false;
        }
        return true;
    }
    if (const Dictionary* x = a.as<Dictionary>()) {
        const Dictionary& y = *b.as<Dictionary>();
        if (x->size() != y.size())
            return false;
        for (std::size_t i = 0; i < x->size(); ++i) {
            if ((*x)[i].first != y[i].first || !same((*x)[i].second, y[i].second))
                return false;
        }
        return true;
    }
    return a == b;
}

[[noreturn]] void failure(const char* what)
{
    std::fprintf(stderr, "plist round trip: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Value value;
    try {
        value = read(data, size);
    } catch (const FormatError&) {
        return 0;
    }
    std::vector<std::uint8_t> bytes;
    Value back;
    try {
        bytes = write(value);
        back = read(bytes);
    } catch (const FormatError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        failure("an accepted value did not write and read back");
    }
    if (!same(value, back))
        failure("the value changed");
    if (write(back) != bytes)
        failure("the bytes changed");
    return 0;
}

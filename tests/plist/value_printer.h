#pragma once

// Readable failure messages for plist::Value in tests.

#include "vortan/plist/value.h"

#include <cstdio>
#include <ostream>
#include <string>

namespace vortan::plist {

inline void printValue(const Value& value, std::string& out)
{
    constexpr std::size_t kMaxChars = 4000;
    if (out.size() > kMaxChars)
        return;
    if (const bool* b = value.as<bool>()) {
        out += *b ? "true" : "false";
    } else if (const std::int64_t* i = value.as<std::int64_t>()) {
        out += std::to_string(*i);
    } else if (const double* d = value.as<double>()) {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", *d);
        out += text;
    } else if (const std::string* s = value.as<std::string>()) {
        out += '"' + *s + '"';
    } else if (const Data* data = value.as<Data>()) {
        out += "<" + std::to_string(data->bytes.size()) + " bytes>";
    } else if (const Date* date = value.as<Date>()) {
        char text[48];
        std::snprintf(text, sizeof text, "date(%.17g)", date->seconds);
        out += text;
    } else if (const Array* array = value.as<Array>()) {
        out += '[';
        for (const Value& v : *array) {
            printValue(v, out);
            out += ", ";
        }
        out += ']';
    } else if (const Dictionary* dict = value.as<Dictionary>()) {
        out += '{';
        for (const auto& [k, v] : *dict) {
            out += '"' + k + "\": ";
            printValue(v, out);
            out += ", ";
        }
        out += '}';
    }
}

inline void PrintTo(const Value& value, std::ostream* os)
{
    std::string out;
    printValue(value, out);
    *os << out;
}

}  // namespace vortan::plist

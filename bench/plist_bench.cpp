// Prints how long the property-list codec takes for a list of 100,000
// dictionaries shaped like transfer records (the catalogue's stored file).

#include "vortan/plist/value.h"

#include <chrono>
#include <cstdio>
#include <string>

using namespace vortan::plist;

namespace {

Value transferRecords(std::int64_t count)
{
    Array list;
    list.reserve(static_cast<std::size_t>(count));
    for (std::int64_t i = 0; i < count; ++i) {
        Dictionary file{{"name", "holiday photo " + std::to_string(i) + ".jpg"},
                        {"location", Dictionary{{"relative", "file:///home/someone/Pictures/holiday%20photo%20" +
                                                                 std::to_string(i) + ".jpg"}}},
                        {"length", i * 131072 + 17},
                        {"numberOfBlocks", i + 1}};
        Array runs{Dictionary{{"location", 0}, {"length", i / 2}}, Dictionary{{"location", i}, {"length", 1}}};
        list.push_back(Dictionary{{"id", "E621E1F8-C36C-495A-93FC-" + std::to_string(100000000000 + i)},
                                  {"file", std::move(file)},
                                  {"download", i % 2 == 0},
                                  {"user", Data{std::vector<std::uint8_t>(32, static_cast<std::uint8_t>(i))}},
                                  {"blocks", Dictionary{{"indexes", std::move(runs)}}},
                                  {"paused", false},
                                  {"unavailable", false}});
    }
    return Value(std::move(list));
}

double millisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main()
{
    const std::int64_t count = 100000;
    const Value value = transferRecords(count);

    double writeMs = 1e300;
    double readMs = 1e300;
    std::size_t size = 0;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        const std::vector<std::uint8_t> bytes = write(value);
        writeMs = std::min(writeMs, millisecondsSince(start));
        size = bytes.size();

        start = std::chrono::steady_clock::now();
        const Value back = read(bytes);
        readMs = std::min(readMs, millisecondsSince(start));
        if (!(back == value)) {
            std::fprintf(stderr, "round trip changed the value\n");
            return 1;
        }
    }
    std::printf("plist: %lld transfer-record dictionaries, %zu bytes\n", static_cast<long long>(count), size);
    std::printf("plist: write %.1f ms, read %.1f ms (best of 3)\n", writeMs, readMs);
    return 0;
}

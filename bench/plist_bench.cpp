// Prints how long the property-list codec takes for a list of 100,000
// dictionaries shaped like transfer records (the catalogue's stored file).

#include "vortan/plist/value.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
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

// Wall-clock and processor time, so that a busy machine shows in the figures.
struct Stopwatch {
    std::chrono::steady_clock::time_point wall = std::chrono::steady_clock::now();
    std::clock_t cpu = std::clock();

    double wallMs() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count();
    }
    double cpuMs() const { return 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC; }
};

}  // namespace

int main()
{
    const std::int64_t count = 100000;
    const Value value = transferRecords(count);

    double writeMs = 1e300, writeCpuMs = 1e300, readMs = 1e300, readCpuMs = 1e300;
    std::size_t size = 0;
    for (int round = 0; round < 3; ++round) {
        Stopwatch writing;
        const std::vector<std::uint8_t> bytes = write(value);
        writeMs = std::min(writeMs, writing.wallMs());
        writeCpuMs = std::min(writeCpuMs, writing.cpuMs());
        size = bytes.size();

        Stopwatch reading;
        const Value back = read(bytes);
        readMs = std::min(readMs, reading.wallMs());
        readCpuMs = std::min(readCpuMs, reading.cpuMs());
        if (!(back == value)) {
            std::fprintf(stderr, "round trip changed the value\n");
            return 1;
        }
    }
    std::printf("plist: %lld transfer-record dictionaries, %zu bytes\n", static_cast<long long>(count), size);
    std::printf("plist: write %.1f ms (processor %.1f ms), read %.1f ms (processor %.1f ms), best of 3\n", writeMs,
                writeCpuMs, readMs, readCpuMs);
    return 0;
}

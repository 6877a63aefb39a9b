// Reads a binary property list and decodes it as every record type and as
// arrays of them. Refusals are typed errors; anything else is a bug. What
// decodes must code again and decode to the same record.

#include "vortan/records/coding.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <type_traits>

using namespace vortan;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

template <typename T> void roundTrip(const plist::Value& value)
{
    T record;
    try {
        record = fromPlist<T>(value);
    } catch (const DecodeError&) {
        return;
    }
    // Whatever we accept, we must be able to store and read back.
    T again;
    try {
        again = fromBytes<T>(toBytes(record));
    } catch (const DecodeError&) {
        std::abort();
    }
    if constexpr (std::is_same_v<T, File>) {
        check(again.id() == record.id() && again.file == record.file && again.blocks == record.blocks &&
              again.user == record.user && again.download == record.download && again.paused == record.paused &&
              again.unavailable == record.unavailable);
    } else if constexpr (std::is_same_v<T, QList<File>>) {
        check(again.size() == record.size());
    } else {
        check(again == record);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    plist::Value value;
    try {
        value = plist::read(data, size);
    } catch (const plist::FormatError&) {
        return 0;
    }
    roundTrip<File2>(value);
    roundTrip<FileProxy>(value);
    roundTrip<File>(value);
    roundTrip<User>(value);
    roundTrip<WantMessage>(value);
    roundTrip<QList<FileProxy>>(value);
    roundTrip<QList<File>>(value);
    roundTrip<QList<User>>(value);
    roundTrip<UuidListsByKey>(value);
    return 0;
}

#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace brenvo::cli {

// Text from a card, a peer or a stored file made safe to print: control and
// format characters (escape sequences, tabs, line breaks, bidirectional
// overrides) become "?", so that it can neither steer the terminal nor break
// a tab-separated line.
QString printable(const QString& text);

// "0 B", "1023 B", "1.0 KiB", "5.0 MiB", "1.00 GiB".
QString formatSize(std::int64_t bytes);

// Binary megabytes per second, the unit of formatSize: "412.3 MiB/s".
QString formatRate(double bytesPerSecond);

// A time left: "0:07", "12:34", "3:02:10" ("--:--" past 99 hours).
QString formatDuration(std::int64_t seconds);

// A byte count with an optional K, M or G suffix (binary multiples, also
// written KiB, MiB, GiB): "1048577", "64M", "1GiB". Nothing for anything
// else, negative values and overflow.
std::optional<std::int64_t> parseSize(const QString& text);

// Writes UTF-8 text to standard output or standard error at once (no
// buffering between lines).
void writeOut(const QString& text);
void writeErr(const QString& text);
void writeBytes(int fd, const QByteArray& bytes);

}  // namespace brenvo::cli

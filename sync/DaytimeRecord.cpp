// Daytime record parsing and clock setting.
//
// A NIST record reads "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *". Only the first seven runs
// of ASCII digits matter (day number, year, month, day, hour, minute, second); punctuation, field
// widths and everything after the seventh number are ignored.
#include "sync/DaytimeRecord.h"

#include <array>
#include <cstdint>

#include "platform/Clock.h"
#include "platform/Seam.h"

namespace orvane {
namespace {

constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Each run of digits is read whole, modulo 2^32, and taken as a signed 32-bit value.
std::int32_t ReadNumber(std::string_view text, std::size_t& pos) {
    std::uint32_t value = 0;
    while (pos < text.size() && IsDigit(static_cast<unsigned char>(text[pos]))) {
        value = value * 10u + static_cast<std::uint32_t>(text[pos] - '0');
        ++pos;
    }
    return static_cast<std::int32_t>(value);
}

WORD Low16(std::int32_t value) { return static_cast<WORD>(static_cast<std::uint32_t>(value) & 0xFFFFu); }

}  // namespace

std::optional<SYSTEMTIME> ParseDaytimeRecord(std::string_view line) {
    std::array<std::int32_t, 7> numbers{};
    std::size_t found = 0;
    std::size_t pos = 0;
    // Trimming white space and turning every other non-digit into a blank does not change which
    // runs of digits a line holds, so the runs are read straight from the line.
    while (found < numbers.size() && pos < line.size()) {
        if (IsDigit(static_cast<unsigned char>(line[pos]))) {
            numbers[found++] = ReadNumber(line, pos);
        } else {
            ++pos;
        }
    }
    if (found < numbers.size()) return std::nullopt;

    // Two-digit years: up to 50 are this century, above 50 the last. A number of 1000 or more is
    // already a full year; adding a century to it would put the clock 1900 years ahead.
    const std::int32_t y = numbers[1];
    std::int32_t year;
    if (y >= 1000) {
        year = y;
    } else if (y <= 50) {
        year = y + 2000;
    } else {
        year = y + 1900;
    }

    SYSTEMTIME time{};
    time.wYear = Low16(year);
    time.wMonth = Low16(numbers[2]);
    time.wDayOfWeek = 0;
    time.wDay = Low16(numbers[3]);
    time.wHour = Low16(numbers[4]);
    time.wMinute = Low16(numbers[5]);
    time.wSecond = Low16(numbers[6]);
    time.wMilliseconds = 0;
    return time;
}

bool SetClockFromRecord(std::string_view line) {
    const std::optional<SYSTEMTIME> time = ParseDaytimeRecord(line);
    if (!time) return false;
    return Seam<IClock>::Get().SetSystemTime(*time);
}

}  // namespace orvane

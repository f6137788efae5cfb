// libFuzzer target: the daytime record parser, and setting the clock, over any line a server may send.
//
// Besides the sanitizers' own checks, every input is held against what the parser promises: a line
// is accepted exactly when it holds seven runs of ASCII digits, the time fields are those runs cut to
// 16 bits, and the clock is asked once and set only to a real date and time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "doubles/FakeClock.h"
#include "platform/Seam.h"
#include "sync/DaytimeRecord.h"

namespace {

using orvane::SYSTEMTIME;
using orvane::WORD;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The first seven runs of digits, each taken modulo 2^32 as the parser takes them.
std::vector<std::uint32_t> DigitRuns(std::string_view line) {
    std::vector<std::uint32_t> runs;
    bool inRun = false;
    for (const char c : line) {
        if (!IsDigit(c)) {
            inRun = false;
            continue;
        }
        if (!inRun) {
            if (runs.size() == 7) break;
            runs.push_back(0);
            inRun = true;
        }
        runs.back() = runs.back() * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return runs;
}

[[noreturn]] void Fail(const char* what, std::string_view line) {
    std::fprintf(stderr, "%s for a line of %zu bytes\n", what, line.size());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::optional<SYSTEMTIME> time = orvane::ParseDaytimeRecord(line);
    const std::vector<std::uint32_t> runs = DigitRuns(line);

    if (time.has_value() != (runs.size() == 7)) Fail("accepted without seven numbers, or rejected with them", line);
    if (time) {
        const auto low16 = [](std::uint32_t value) { return static_cast<WORD>(value & 0xFFFFu); };
        if (time->wMonth != low16(runs[2]) || time->wDay != low16(runs[3]) || time->wHour != low16(runs[4]) ||
            time->wMinute != low16(runs[5]) || time->wSecond != low16(runs[6])) {
            Fail("time fields differ from the line's numbers", line);
        }
        if (time->wDayOfWeek != 0 || time->wMilliseconds != 0) Fail("day of week or milliseconds set", line);
        // Two-digit years: up to 50 this century, above it the last.
        if (runs[1] <= 99 && time->wYear != (runs[1] <= 50 ? 2000 : 1900) + runs[1]) Fail("wrong century", line);
    }

    orvane::test::FakeClock clock;
    const orvane::ScopedSeam<orvane::IClock> seam(clock);
    const bool set = orvane::SetClockFromRecord(line);
    if (clock.requests.size() != (time ? 1u : 0u)) Fail("the clock was asked without a record, or more than once", line);
    if (set != (time && orvane::test::IsRealDateTime(*time))) Fail("the clock's answer was not passed on", line);
    return 0;
}

// Benchmark of parsing daytime records and setting the clock from them, per line.
//
// The clock is a FakeClock: a benchmark must never set the machine's clock, and the platform call
// would be measured instead of the parser.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "platform/Seam.h"
#include "sync/DaytimeRecord.h"
#include "tests/doubles/FakeClock.h"

namespace orvane {

namespace {

const std::string kRecord = "60495 24-07-04 16:20:01 50 0 0  45.6 UTC(NIST) * ";

void BM_ParseDaytimeRecord(benchmark::State& state, const std::string& line) {
    for (auto _ : state) {
        auto time = ParseDaytimeRecord(line);
        benchmark::DoNotOptimize(time);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(line.size()));
}
// A NIST record, as the daytime service sends it.
BENCHMARK_CAPTURE(BM_ParseDaytimeRecord, nist_record, kRecord);
// The empty line that comes before it in every reply.
BENCHMARK_CAPTURE(BM_ParseDaytimeRecord, empty_line, std::string());
// A line of text without a number, read to its end before it is rejected.
BENCHMARK_CAPTURE(BM_ParseDaytimeRecord, text_line, std::string("Content-Type: text/plain; charset=us-ascii"));
// A line of 10000 digits: one run, read whole, then rejected.
BENCHMARK_CAPTURE(BM_ParseDaytimeRecord, long_digit_run, std::string(10000, '7'));

void BM_SetClockFromRecord(benchmark::State& state) {
    test::FakeClock clock;
    const ScopedSeam<IClock> seam(clock);
    for (auto _ : state) {
        clock.set.clear();
        clock.requests.clear();
        benchmark::DoNotOptimize(SetClockFromRecord(kRecord));
    }
    if (clock.set.size() != 1) state.SkipWithError("the record did not set the clock");
}
BENCHMARK(BM_SetClockFromRecord);

}  // namespace
}  // namespace orvane

BENCHMARK_MAIN();

// Benchmark of choosing the server URL: the store's reads from the registry file, as Set Clock makes them.
//
// Every store operation opens the key chain afresh and every registry call reads the file afresh, so
// one URL costs about ten reads and parses of the file. Runs against a file in a temporary folder,
// never the user's own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "config/ServerList.h"
#include "config/SettingsStore.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/RegistryFile.h"
#include "tests/linux/TempDir.h"

namespace orvane {
namespace {

void Save(int radioButton, int urlIndex, const std::string& url) {
    AppSettings().WriteInt("Configuration", "RadioButton", radioButton);
    AppSettings().WriteInt("Configuration", "URLIndex", urlIndex);
    AppSettings().WriteString("Configuration", "URL", url);
}

void BM_GetServerUrl_ListedServer(benchmark::State& state) {
    Save(0, 4, "http://own.example:13");
    for (auto _ : state) {
        std::string url = GetServerUrl();
        benchmark::DoNotOptimize(url);
    }
    if (GetServerUrl() != LoadResourceString(IDS_SERVER_FIRST + 4)) state.SkipWithError("not list entry 4");
}
BENCHMARK(BM_GetServerUrl_ListedServer);

void BM_GetServerUrl_OwnUrl(benchmark::State& state) {
    Save(1, 0, "http://own.example:13");
    for (auto _ : state) {
        std::string url = GetServerUrl();
        benchmark::DoNotOptimize(url);
    }
    if (GetServerUrl() != "http://own.example:13") state.SkipWithError("the own URL did not read back");
}
BENCHMARK(BM_GetServerUrl_OwnUrl);

// What pressing OK in the Configure dialog costs: three locked, synced file replacements.
void BM_SaveConfiguration(benchmark::State& state) {
    int index = 0;
    for (auto _ : state) Save(1, ++index % 7, "http://own.example:13");
}
BENCHMARK(BM_SaveConfiguration)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace orvane

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // The list entries come from the program's own string table, and the settings from the registry
    // file, as in the program.
    orvane::CLinkedResources resources;
    orvane::CFileRegistry registry;
    const orvane::ScopedSeam<orvane::IResources> resourcesSeam(resources);
    const orvane::ScopedSeam<orvane::IRegistry> registrySeam(registry);
    if (!resources.LoadString(IDS_SERVER_FIRST)) {
        std::fprintf(stderr, "The string table has no server list.\n");
        return 1;
    }
    const orvane::test::TempDir dir;
    orvane::regfile::SetRegistryFilePathForTesting(dir / "orvane/registry.reg");
    orvane::AppSettings().SetKeyNames("Quintarro", "orvane");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    orvane::regfile::SetRegistryFilePathForTesting("");
    return 0;
}

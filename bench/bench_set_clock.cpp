// Benchmark of Set Clock's own cost: the whole operation against a daytime server on 127.0.0.1,
// beside a bare socket read of the same reply from the same server, measured in the same run.
//
// The difference between the two is what the program adds to the network: the Internet library,
// the line reader, the parser and, for a press of the button, the settings file, the string table
// and the local time text. The clock is a FakeClock and the windows are an in-memory double: the
// machine's clock is never set, and Qt's drawing is not Set Clock's.
//
// At the end the program prints the medians of the repetitions and their ratios.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/AppNames.h"
#include "config/SettingsStore.h"
#include "net/UrlAccess.h"
#include "platform/Clock.h"
#include "platform/Seam.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/RegistryFile.h"
#include "res/resource.h"
#include "sync/DaytimeRecord.h"
#include "tests/doubles/FakeClock.h"
#include "tests/doubles/FakeHelp.h"
#include "tests/doubles/FakeMessageBox.h"
#include "tests/doubles/FakeWindows.h"
#include "tests/linux/NoProxy.h"
#include "tests/linux/TempDir.h"
#include "tools/daytimed/DaytimeServer.h"
#include "ui/OrvaneDlg.h"

namespace orvane {

namespace {

using daytimed::DaytimeServer;
using daytimed::Scenario;

const std::string kRecord = "60495 24-07-04 16:20:01 50 0 0  45.6 UTC(NIST) *";
constexpr DWORD kSetClockFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_TRANSFER_ASCII;
constexpr int kRepetitions = 5;

DaytimeServer* g_server = nullptr;

// What the server sends for each connection, taken with nothing but the system's socket calls:
// connect, send a request as the program does, read to the end, close. (The server closes without
// reading the request, as daytime servers do; without one it would wait for it first.)
void BM_BareSocketRead(benchmark::State& state) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(g_server->Port());
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string expected = daytimed::ScenarioReply(Scenario::Nist, kRecord);
    std::size_t received = 0;
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            state.SkipWithError("cannot connect");
            break;
        }
        static constexpr char kRequest[] = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL);
        char buffer[4096];
        received = 0;
        for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) received += static_cast<std::size_t>(got);
        ::close(fd);
    }
    if (received != expected.size()) state.SkipWithError("the reply was not read whole");
}
BENCHMARK(BM_BareSocketRead)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

// The operation as the task names it: open the URL through the program's internet session, read
// lines until one sets the clock, close the stream.
void BM_SetClock_OpenReadParse(benchmark::State& state) {
    test::FakeClock clock;
    const ScopedSeam<IClock> clockSeam(clock);
    CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_DONT_CACHE);
    const std::string url = g_server->Url();
    for (auto _ : state) {
        std::unique_ptr<CUrlStream> stream = session.OpenUrl(url, 1, kSetClockFlags);
        std::string line;
        while (stream->ReadLine(line)) {
            if (SetClockFromRecord(line)) break;
        }
        stream->CloseStream();
    }
    if (clock.set.size() != static_cast<std::size_t>(state.iterations())) state.SkipWithError("a record did not set the clock");
}
BENCHMARK(BM_SetClock_OpenReadParse)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

// A press of the main window's button: COrvaneDlg::OnSetClock through the window's dispatch, with
// the URL from the settings file, the status text from the string table and the local time text.
void BM_SetClock_ButtonPress(benchmark::State& state) {
    test::FakeClock clock;
    test::FakeWindows windows;
    test::FakeMessageBox boxes;
    test::FakeHelp help;
    test::FakeCursor cursor;
    const ScopedSeam<IClock> clockSeam(clock);
    const ScopedSeam<IWindows> windowsSeam(windows);
    const ScopedSeam<IMessageBox> boxesSeam(boxes);
    const ScopedSeam<IHelp> helpSeam(help);
    const ScopedSeam<ICursor> cursorSeam(cursor);
    AppSettings().WriteInt("Configuration", "RadioButton", 1);
    AppSettings().WriteString("Configuration", "URL", g_server->Url());

    windows.templates[IDD_MAIN] = {0, RECT{0, 0, 300, 120},
                                   {{IDC_SET_CLOCK, WS_TABSTOP}, {IDOK, WS_TABSTOP}, {IDC_STATUS, 0}}};
    std::string status;
    windows.onModalLoop = [&](HWND main) {
        const LPARAM button = reinterpret_cast<LPARAM>(windows.GetDlgItem(main, IDC_SET_CLOCK));
        for (auto _ : state) windows.Send(main, WM_COMMAND, MAKEWPARAM(IDC_SET_CLOCK, BN_CLICKED), button);
        status = windows.GetWindowText(windows.GetDlgItem(main, IDC_STATUS));
        windows.Send(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    COrvaneDlg dlg;
    dlg.DoModal();
    if (!boxes.boxes.empty()) state.SkipWithError(("a failure was reported: " + boxes.boxes[0].text).c_str());
    if (clock.set.size() != static_cast<std::size_t>(state.iterations()) || status.rfind("Set computer's clock to ", 0) != 0) {
        state.SkipWithError(("the clock was not set every time; status: " + status).c_str());
    }
}
BENCHMARK(BM_SetClock_ButtonPress)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);

// Shows the runs as the console does, and keeps each benchmark's time per iteration of every
// repetition for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
public:
    CollectingReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred || run.iterations <= 0) continue;
            // With --benchmark_report_aggregates_only only the statistics arrive; their median is
            // the one wanted, per iteration as for a single run.
            const double perIteration = run.real_accumulated_time / static_cast<double>(run.iterations);
            if (run.run_type == Run::RT_Iteration) {
                seconds[run.run_name.function_name].push_back(perIteration);
            } else if (run.aggregate_name == "median") {
                medians[run.run_name.function_name] = perIteration;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double Median(const std::string& name) const {
        if (const auto median = medians.find(name); median != medians.end()) return median->second;
        const auto found = seconds.find(name);
        if (found == seconds.end() || found->second.empty()) return 0;
        std::vector<double> values = found->second;
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    }

    std::map<std::string, std::vector<double>> seconds;
    std::map<std::string, double> medians;
};

}  // namespace
}  // namespace orvane

int main(int argc, char** argv) {
    using namespace orvane;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    test::ClearProxyEnvironment();

    // The real services below the windows that Set Clock goes through; the clock and the windows
    // are each benchmark's doubles.
    CCurlInternet internet;
    CFileRegistry registry;
    CLinkedResources resources;
    CLinuxLocalTime localTime;
    const ScopedSeam<IInternet> internetSeam(internet);
    const ScopedSeam<IRegistry> registrySeam(registry);
    const ScopedSeam<IResources> resourcesSeam(resources);
    const ScopedSeam<ILocalTime> localTimeSeam(localTime);

    const test::TempDir dir;
    regfile::SetRegistryFilePathForTesting(dir / "orvane/registry.reg");
    SetAppNames(DeriveAppNames("/opt/orvane/orvane"));
    AppSettings().SetKeyNames("Quintarro", "orvane");
    DaytimeServer server(Scenario::Nist, 0, kRecord);
    g_server = &server;

    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    g_server = nullptr;
    regfile::SetRegistryFilePathForTesting("");

    const double bare = reporter.Median("BM_BareSocketRead");
    if (bare > 0) {
        std::printf("\nMedians of the repetitions, against the bare socket read (%.1f us):\n", bare * 1e6);
        for (const char* name : {"BM_SetClock_OpenReadParse", "BM_SetClock_ButtonPress"}) {
            const double whole = reporter.Median(name);
            if (whole <= 0) continue;
            std::printf("  %-26s %8.1f us  ratio %5.2f  the program's own work %7.1f us\n", name, whole * 1e6, whole / bare,
                        (whole - bare) * 1e6);
        }
    }
    return 0;
}

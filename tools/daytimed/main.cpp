// orvane-daytimed: serves the daytime service on 127.0.0.1, the real time for people or every test
// scenario at once for test programs that cannot start a server themselves (Windows builds under Wine).
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "tools/daytimed/DaytimeServer.h"

namespace {

using orvane::daytimed::DaytimeServer;
using orvane::daytimed::Scenario;

int Usage() {
    std::fprintf(stderr,
                 "usage: orvane-daytimed --port N [--scenario NAME]\n"
                 "       orvane-daytimed --ports-file FILE\n"
                 "  --port N         serve on 127.0.0.1:N (0: any free port, which is printed)\n"
                 "  --scenario NAME  what to answer with --port; the default, nist, is the current UTC time\n"
                 "  --ports-file F   serve every scenario on a port of its own and write \"scenario port\"\n"
                 "                   lines to F once all are listening\n"
                 "scenarios:");
    for (const Scenario scenario : orvane::daytimed::AllScenarios()) {
        std::fprintf(stderr, " %s", std::string(orvane::daytimed::ScenarioName(scenario)).c_str());
    }
    std::fprintf(stderr, "\nStops on SIGINT or SIGTERM.\n");
    return 2;
}

// Written beside its final name and renamed over it, so that a reader waiting for the file never
// sees half of it.
bool WritePortsFile(const std::string& path, const std::vector<std::unique_ptr<DaytimeServer>>& servers) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) return false;
    for (const auto& server : servers) {
        std::fprintf(file, "%s %u\n", std::string(orvane::daytimed::ScenarioName(server->GetScenario())).c_str(),
                     static_cast<unsigned>(server->Port()));
    }
    const bool written = std::fflush(file) == 0;
    return std::fclose(file) == 0 && written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    long port = -1;
    std::string portsFile;
    Scenario scenario = Scenario::Nist;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        if (arg == "--port") {
            char* end = nullptr;
            port = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) return Usage();
        } else if (arg == "--ports-file") {
            portsFile = value;
        } else if (arg == "--scenario") {
            const auto named = orvane::daytimed::ScenarioFromName(value);
            if (!named) return Usage();
            scenario = *named;
        } else {
            return Usage();
        }
    }
    if ((port < 0) == portsFile.empty()) return Usage();

    // The servers' threads inherit this mask, so the signals reach only the sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::vector<std::unique_ptr<DaytimeServer>> servers;
    try {
        if (port >= 0) {
            servers.push_back(std::make_unique<DaytimeServer>(scenario, static_cast<std::uint16_t>(port)));
            std::printf("%s http://127.0.0.1:%u\n", std::string(orvane::daytimed::ScenarioName(scenario)).c_str(),
                        static_cast<unsigned>(servers.back()->Port()));
            std::fflush(stdout);
        } else {
            for (const Scenario each : orvane::daytimed::AllScenarios()) {
                servers.push_back(std::make_unique<DaytimeServer>(each));
            }
            if (!WritePortsFile(portsFile, servers)) {
                std::perror(portsFile.c_str());
                return 1;
            }
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "orvane-daytimed: %s\n", failure.what());
        return 1;
    }

    int received = 0;
    sigwait(&stopSignals, &received);
    return 0;
}

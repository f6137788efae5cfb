// What the Windows tests share: the daytime servers that the harness started on the Linux side.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace orvane::test {

// The ports of `orvane-daytimed --ports-file`, one "scenario port" line each, from the file named by
// ORVANE_DAYTIME_PORTS_FILE. A Linux path is reached through Wine's drive Z:, the host's root.
inline std::map<std::string, int> DaytimePorts() {
    std::map<std::string, int> ports;
    const char* path = std::getenv("ORVANE_DAYTIME_PORTS_FILE");
    if (!path || !*path) return ports;
    std::string file = path;
    if (file.front() == '/') file = "Z:" + file;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name;
        int port = 0;
        if (fields >> name >> port) ports[name] = port;
    }
    return ports;
}

// "http://127.0.0.1:<port>" for the daytime scenario `name`, or nullopt when no server runs it.
inline std::optional<std::string> DaytimeUrl(const std::string& name) {
    static const std::map<std::string, int> ports = DaytimePorts();
    const auto found = ports.find(name);
    if (found == ports.end()) return std::nullopt;
    return "http://127.0.0.1:" + std::to_string(found->second);
}

// Whether the harness runs the tests in a network namespace of their own (scripts/wine-test.sh as
// root), where a name lookup cannot leave the machine.
inline bool PrivateNetwork() {
    const char* flag = std::getenv("ORVANE_PRIVATE_NETWORK");
    return flag && std::string(flag) == "1";
}

}  // namespace orvane::test

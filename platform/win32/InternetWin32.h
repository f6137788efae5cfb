// What the Windows Internet layer lets its tests reach: the time-outs of a URL.
#pragma once

#include <chrono>

namespace orvane::inet {

// How long a URL may take: as long as the Linux layer allows, so that a server that trickles or
// stalls ends in the same failure (ERROR_INTERNET_TIMEOUT) on both.
struct Timeouts {
    std::chrono::milliseconds connect{30000};  // until the connection stands
    std::chrono::seconds stall{30};            // without a single byte arriving
    std::chrono::milliseconds total{60000};    // for the whole reply, from the open to the last read
};

// The time-outs that the next InternetOpenUrl uses. Tests shorten them so that a stalled server is
// given up in a second instead of half a minute; the program never changes them.
Timeouts CurrentTimeouts();
void SetTimeouts(const Timeouts& timeouts);

}  // namespace orvane::inet

// How long the platform's Internet library lets a URL take, the same on every platform, so that a
// server that trickles or stalls ends in the same failure (ERROR_INTERNET_TIMEOUT) everywhere.
#pragma once

#include <chrono>
#include <mutex>

namespace orvane::inet {

struct Timeouts {
    std::chrono::milliseconds connect{30000};  // until the connection stands
    std::chrono::seconds stall{30};            // without a single byte arriving (whole seconds: libcurl)
    std::chrono::milliseconds total{60000};    // for the whole reply, from the open to the last read
};

namespace detail {
inline std::mutex& TimeoutsMutex() {
    static std::mutex mutex;
    return mutex;
}
inline Timeouts& TimeoutsInForce() {
    static Timeouts timeouts;
    return timeouts;
}
}  // namespace detail

// The time-outs that the next InternetOpenUrl uses. Tests shorten them so that a stalled server is
// given up in a second instead of half a minute; the program never changes them.
inline Timeouts CurrentTimeouts() {
    std::lock_guard<std::mutex> lock(detail::TimeoutsMutex());
    return detail::TimeoutsInForce();
}

inline void SetTimeouts(const Timeouts& timeouts) {
    std::lock_guard<std::mutex> lock(detail::TimeoutsMutex());
    detail::TimeoutsInForce() = timeouts;
}

}  // namespace orvane::inet

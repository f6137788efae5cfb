// What a test program without a platform layer does when code asks for a real platform service.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace orvane::test {

[[noreturn]] inline void Unavailable(const char* service) {
    std::fprintf(stderr, "This test uses no platform %s: install a double with ScopedSeam.\n", service);
    std::abort();
}

}  // namespace orvane::test

// Stand-in for the platform's clock service in tests that install a double instead.
#include "platform/Clock.h"

#include "stubs/Unavailable.h"

namespace orvane {
IClock& IClock::Native() { test::Unavailable("IClock"); }
}  // namespace orvane

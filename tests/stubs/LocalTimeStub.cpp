// Stand-in for the platform's localtime service in tests that install a double instead.
#include "platform/LocalTime.h"

#include "stubs/Unavailable.h"

namespace orvane {
ILocalTime& ILocalTime::Native() { test::Unavailable("ILocalTime"); }
}  // namespace orvane

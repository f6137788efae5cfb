// Stand-in for the platform's process service in tests that install a double instead.
#include "platform/Process.h"

#include "stubs/Unavailable.h"

namespace orvane {
IProcess& IProcess::Native() { test::Unavailable("IProcess"); }
}  // namespace orvane

// Stand-in for the platform's windows service in tests that install a double instead.
#include "platform/Window.h"

#include "stubs/Unavailable.h"

namespace orvane {
IWindows& IWindows::Native() { test::Unavailable("IWindows"); }
}  // namespace orvane

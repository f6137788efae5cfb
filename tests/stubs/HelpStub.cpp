// Stand-in for the platform's help service in tests that install a double instead.
#include "platform/Help.h"

#include "stubs/Unavailable.h"

namespace orvane {
IHelp& IHelp::Native() { test::Unavailable("IHelp"); }
}  // namespace orvane

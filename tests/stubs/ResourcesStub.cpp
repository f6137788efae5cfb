// Stand-in for the platform's resources service in tests that install a double instead.
#include "platform/Resources.h"

#include "stubs/Unavailable.h"

namespace orvane {
IResources& IResources::Native() { test::Unavailable("IResources"); }
}  // namespace orvane

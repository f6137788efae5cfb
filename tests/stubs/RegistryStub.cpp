// Stand-in for the platform's registry service in tests that install a double instead.
#include "platform/Registry.h"

#include "stubs/Unavailable.h"

namespace orvane {
IRegistry& IRegistry::Native() { test::Unavailable("IRegistry"); }
}  // namespace orvane

// Stand-in for the platform's internet service in tests that install a double instead.
#include "platform/Internet.h"

#include "stubs/Unavailable.h"

namespace orvane {
IInternet& IInternet::Native() { test::Unavailable("IInternet"); }
}  // namespace orvane

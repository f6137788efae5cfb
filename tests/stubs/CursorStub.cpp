// Stand-in for the platform's cursor service in tests that install a double instead.
#include "platform/Cursor.h"

#include "stubs/Unavailable.h"

namespace orvane {
ICursor& ICursor::Native() { test::Unavailable("ICursor"); }
}  // namespace orvane

// Stand-in for the platform's messagebox service in tests that install a double instead.
#include "platform/MessageBox.h"

#include "stubs/Unavailable.h"

namespace orvane {
IMessageBox& IMessageBox::Native() { test::Unavailable("IMessageBox"); }
}  // namespace orvane

// The failure report: what the dispatch step of window messages does with an escaping failure.
#pragma once

#include "app/Failure.h"
#include "platform/Types.h"

namespace orvane {

// Reports `failure`, which escaped the handling of `message` for `hwnd`, and returns the result the
// message gives back to the platform.
LRESULT OnHandlerFailure(HWND hwnd, const CFailure& failure, UINT message, LPARAM lParam);

}  // namespace orvane

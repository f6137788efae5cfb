// What the Windows Internet layer lets its tests reach: the time-outs of a URL, which WinINet's
// connect and receive time-outs and a deadline of the layer's own enforce.
#pragma once

#include "platform/InternetTimeouts.h"

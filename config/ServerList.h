// The built-in list of daytime servers and the rule that picks the URL a clock update opens.
#pragma once

#include <cstdint>
#include <string>

// IDS_SERVER_FIRST and SERVER_COUNT: the list's entries are the strings IDS_SERVER_FIRST + 0 ..
// IDS_SERVER_FIRST + SERVER_COUNT - 1, in the order to which the stored "URLIndex" refers.
#include "res/resource.h"

namespace orvane {

// `index` when it names a list entry (0 .. SERVER_COUNT - 1), otherwise 0. A stored index comes out
// of the store unsigned; it is taken as signed here, so 4294967295 is -1 and gives 0.
std::int32_t ClampServerIndex(std::int32_t index);

// True when the settings choose a listed server ("RadioButton" is 0 or missing), false when they
// choose the user's own URL. One store read.
bool UseListedServer();

// The URL that a clock update opens: the chosen list entry, or the user's own URL exactly as stored
// (possibly empty). Reads the store afresh every time, exactly twice: "RadioButton", then
// "URLIndex" or "URL".
std::string GetServerUrl();

}  // namespace orvane

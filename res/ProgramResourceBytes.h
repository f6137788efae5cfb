// The compiled resources (the .res image of res/orvane.rc) linked into programs on systems whose
// executables cannot carry Windows resources.
#pragma once

#include <cstddef>

namespace orvane::res {

// The image's first byte; its length goes to `*size` when size is not null. The bytes live for the
// whole run of the program.
const unsigned char* ProgramResourceBytes(std::size_t* size);

}  // namespace orvane::res

// The texts that the program's string table must hold for failure reports, byte for byte.
#pragma once

#include "platform/Types.h"

namespace orvane::test {

struct ProgramText {
    UINT id;
    const char* text;
};

// The framework's own ids. From 0xF1A0 on, one text a file failure cause, in the causes' order;
// "%1" stands for the file's name, or for the 0xF006 text where the failure has none.
inline constexpr ProgramText kFailureTexts[] = {
    {0xF006, "an unnamed file"},
    {0xF020, "No error message is available."},
    {0xF023, "Out of memory."},
    {0xF108, "Internal application error."},
    {0xF109, "Command failed."},
    {0xF1A0, "No error occurred."},
    {0xF1A1, "An unknown error occurred while accessing %1."},
    {0xF1A2, "%1 was not found."},
    {0xF1A3, "%1 contains an invalid path."},
    {0xF1A4, "%1 could not be opened because there are too many open files."},
    {0xF1A5, "Access to %1 was denied."},
    {0xF1A6, "An invalid file handle was associated with %1."},
    {0xF1A7, "%1 could not be removed because it is the current directory."},
    {0xF1A8, "%1 could not be created because the directory is full."},
    {0xF1A9, "Seek failed on %1"},
    {0xF1AA, "A hardware I/O error was reported while accessing %1."},
    {0xF1AB, "A sharing violation occurred while accessing %1."},
    {0xF1AC, "A locking violation occurred while accessing %1."},
    {0xF1AD, "Disk full while accessing %1."},
    {0xF1AE, "An attempt was made to access %1 past its end."},
};

}  // namespace orvane::test

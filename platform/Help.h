// The help engine: opens and closes the help file that lies beside the executable.
#pragma once

#include <string>

#include "platform/Types.h"

namespace orvane {

class IHelp {
public:
    virtual ~IHelp() = default;

    // `command` is HELP_FINDER (open the file's contents and index, on behalf of `owner`) or
    // HELP_QUIT (close the viewer if it is open); `data` is 0 for both. Answers false when the
    // engine refused: the file is missing or unreadable, or the command is unknown. HELP_QUIT with
    // no viewer open succeeds.
    virtual bool WinHelp(HWND owner, const std::string& helpFilePath, UINT command, DWORD data) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IHelp";
};

}  // namespace orvane

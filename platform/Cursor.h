// The wait cursor shown while the program works on the user-interface thread.
#pragma once

namespace orvane {

class ICursor {
public:
    virtual ~ICursor() = default;

    // Calls nest: the wait cursor shows from the first BeginWait until the matching last EndWait.
    // Every BeginWait must be paired with exactly one EndWait (use CWaitCursor).
    virtual void BeginWait() = 0;
    virtual void EndWait() = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "ICursor";
};

}  // namespace orvane

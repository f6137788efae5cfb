// The system clock, set in UTC, and the system's own automatic time synchronisation.
#pragma once

#include "platform/Types.h"

namespace orvane {

// What the system's own automatic time synchronisation (an NTP service) is doing about the clock
// that SetSystemTime would set.
enum class AutomaticSync {
    Off,               // none runs, or the program sets the clock itself and none stands in its way
    OnSynchronised,    // one runs and keeps the clock right: setting it from a whole second would be worse
    OnUnsynchronised,  // one runs but has not set the clock, and refuses others' changes while it runs
};

// What SetSystemTimeSuspendingSync did.
struct SuspendedSetOutcome {
    bool clockSet = false;  // the clock was set to the requested instant
    bool syncOn = true;     // automatic synchronisation runs again, as it did before the call
};

class IClock {
public:
    virtual ~IClock() = default;

    // Sets the system clock to the UTC instant in `time` and answers true, or answers false and
    // leaves the clock alone. Refuses fields that do not form a real date and time (month outside
    // 1..12, a day past the end of its month, hour above 23, minute or second above 59, a year the
    // platform cannot hold) without normalising them into a neighbouring date, and refuses a caller
    // that lacks the right to set the clock. wDayOfWeek is ignored; wMilliseconds must be 0..999.
    // Where automatic synchronisation is on, the system may refuse this: see below.
    virtual bool SetSystemTime(const SYSTEMTIME& time) = 0;

    // Reads, without changing anything or asking the user, whether automatic synchronisation stands
    // between SetSystemTime and the clock. Off where there is no such service, where it cannot be
    // read, and where SetSystemTime sets the clock itself (Windows; a Linux process with the right
    // to set the clock): SetSystemTime then behaves as it always did. Asked once per Set Clock, on
    // the user-interface thread, before the time server is asked; may block for a few seconds.
    virtual AutomaticSync AutomaticSyncState() = 0;

    // For AutomaticSync::OnUnsynchronised: turns automatic synchronisation off, sets the clock as
    // SetSystemTime does (the same fields refused), and turns synchronisation on again. The last
    // step is taken whatever happened before it (the user refusing or cancelling the system's
    // password prompt, a refusal, a time-out) unless the first step was refused outright, which
    // leaves synchronisation as it was. Synchronisation is off only between the first step's answer
    // and the last step. The system may ask the user for a password at each step; the call blocks
    // until they are answered or its time-out passes. Where there is no automatic synchronisation
    // it is SetSystemTime, with syncOn true.
    virtual SuspendedSetOutcome SetSystemTimeSuspendingSync(const SYSTEMTIME& time) = 0;

    // The name under which a missing service is reported (platform/Seam.h).
    static constexpr char kServiceName[] = "IClock";
};

}  // namespace orvane

// A clock that records what it was asked to set and refuses what a real platform clock refuses.
#pragma once

#include <vector>

#include "platform/Clock.h"

namespace orvane::test {

// Whether `t` names a real date and time the way the platform clocks check it.
inline bool IsRealDateTime(const SYSTEMTIME& t) {
    if (t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1) return false;
    const bool leap = (t.wYear % 4 == 0 && t.wYear % 100 != 0) || t.wYear % 400 == 0;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int days = kDays[t.wMonth - 1] + (t.wMonth == 2 && leap ? 1 : 0);
    return t.wDay <= days && t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 59 && t.wMilliseconds <= 999 &&
           t.wYear >= 1601 && t.wYear <= 30827;
}

class FakeClock : public IClock {
public:
    bool SetSystemTime(const SYSTEMTIME& time) override {
        requests.push_back(time);
        if (!allow || !IsRealDateTime(time)) return false;
        set.push_back(time);
        return true;
    }

    AutomaticSync AutomaticSyncState() override { return sync; }
    SuspendedSetOutcome SetSystemTimeSuspendingSync(const SYSTEMTIME& time) override {
        suspended.push_back(time);
        return {SetSystemTime(time), syncComesBack};
    }

    bool allow = true;                 // false: refuses every request, as for a user without the right
    AutomaticSync sync = AutomaticSync::Off;
    bool syncComesBack = true;         // false: turning synchronisation on again fails
    std::vector<SYSTEMTIME> requests;  // every request, refused or not
    std::vector<SYSTEMTIME> set;       // the requests that set the clock
    std::vector<SYSTEMTIME> suspended; // the requests made with synchronisation suspended
};

}  // namespace orvane::test

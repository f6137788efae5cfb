// Tests of the Linux clock layer: which fields it accepts, the epoch arithmetic, and refusal of a
// caller without the right to set the clock. The real clock is only ever asked from a child
// process that has dropped to an unprivileged user.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "doubles/SystemTimes.h"
#include "linux/TempDir.h"
#include "linux/UnprivilegedChild.h"
#include "platform/Clock.h"
#include "platform/Seam.h"
#include "platform/linux/ClockFields.h"
#include "platform/linux/ClockHardware.h"
#include "platform/linux/PlatformServices.h"

namespace orvane {
namespace {

using test::Utc;

std::string Show(const SYSTEMTIME& t) {
    char text[80];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%03u (day of week %u)", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

struct FieldsCase {
    SYSTEMTIME time;
    const char* why;
};

TEST(IsSettableClockTime, RefusesFieldsThatNameNoInstantWithoutNormalising) {
    const FieldsCase cases[] = {
        {Utc(2007, 0, 7), "month 0"},
        {Utc(2007, 13, 7), "month 13"},
        {Utc(2007, 65535, 7), "month 65535"},
        {Utc(2007, 12, 0), "day 0"},
        {Utc(2007, 1, 32), "32 January"},
        {Utc(2007, 2, 30), "30 February"},
        {Utc(2008, 2, 30), "30 February of a leap year"},
        {Utc(2007, 2, 29), "29 February 2007, not a leap year"},
        {Utc(2100, 2, 29), "29 February 2100: a century not divisible by 400"},
        {Utc(1900, 2, 29), "29 February 1900: neither a leap year nor in range"},
        {Utc(2007, 4, 31), "31 April"},
        {Utc(2007, 6, 31), "31 June"},
        {Utc(2007, 9, 31), "31 September"},
        {Utc(2007, 11, 31), "31 November"},
        {Utc(2007, 12, 7, 24, 0, 0), "hour 24"},
        {Utc(2007, 12, 7, 14, 60, 0), "minute 60"},
        {Utc(2007, 12, 7, 14, 39, 60), "second 60 (a leap second cannot be set)"},
        {Utc(2007, 12, 7, 14, 39, 10, 1000), "millisecond 1000"},
        {Utc(2007, 12, 7, 65535, 65535, 65535, 65535), "every time field at its largest"},
        {Utc(1969, 12, 31, 23, 59, 59, 999), "the last instant before the epoch"},
        {Utc(1951, 1, 1), "1951, the parser's earliest year"},
        {Utc(0, 1, 1), "year 0"},
        {Utc(kLastClockYear + 1, 1, 1), "the first year the kernel may refuse"},
        {Utc(3907, 12, 7), "3907, a four-digit year run through the century rule"},
        {Utc(56341, 7, 12), "56341 (taken to 16 bits)"},
        {Utc(65535, 12, 31), "year 65535"},
    };
    for (const FieldsCase& c : cases) {
        EXPECT_FALSE(IsSettableClockTime(c.time)) << c.why << ": " << Show(c.time) << " was accepted";
    }
}

TEST(IsSettableClockTime, AcceptsEveryRealInstantInRange) {
    SYSTEMTIME friday = Utc(2007, 12, 7, 14, 39, 10);
    friday.wDayOfWeek = 5;
    SYSTEMTIME wrongWeekday = Utc(2007, 12, 7, 14, 39, 10);
    wrongWeekday.wDayOfWeek = 65535;
    const FieldsCase cases[] = {
        {Utc(1970, 1, 1), "the epoch"},
        {Utc(kLastClockYear, 12, 31, 23, 59, 59, 999), "the last instant of the last year"},
        {Utc(2007, 12, 7, 14, 39, 10), "the daytime record's example"},
        {Utc(2008, 2, 29), "29 February 2008"},
        {Utc(2000, 2, 29, 23, 59, 59), "29 February 2000: a century divisible by 400"},
        {Utc(2007, 2, 28, 23, 59, 59, 999), "the end of February in a common year"},
        {Utc(2007, 4, 30), "30 April"},
        {Utc(2007, 12, 31, 23, 59, 59), "New Year's Eve"},
        {Utc(2038, 1, 19, 3, 14, 8), "the first second after a 32-bit time_t"},
        {Utc(2050, 1, 1), "2050, the parser's latest year"},
        {friday, "the right day of the week"},
        {wrongWeekday, "any day of the week: the field is ignored"},
    };
    for (const FieldsCase& c : cases) {
        EXPECT_TRUE(IsSettableClockTime(c.time)) << c.why << ": " << Show(c.time) << " was refused";
    }
}

struct EpochCase {
    SYSTEMTIME time;
    std::int64_t seconds;
};

TEST(SecondsSinceEpoch, CountsKnownInstants) {
    const EpochCase cases[] = {
        {Utc(1970, 1, 1), 0},
        {Utc(1972, 2, 29, 12, 0, 0), 68212800},
        {Utc(1972, 12, 31, 23, 59, 59), 94694399},
        {Utc(1999, 12, 31, 23, 59, 59), 946684799},
        {Utc(2000, 2, 29), 951782400},
        {Utc(2000, 3, 1), 951868800},
        {Utc(2007, 12, 7, 14, 39, 10, 999), 1197038350},
        {Utc(2024, 2, 29, 23, 59, 59), 1709251199},
        {Utc(2038, 1, 19, 3, 14, 7), 2147483647},
        {Utc(2038, 1, 19, 3, 14, 8), 2147483648},
        {Utc(2100, 2, 28), 4107456000},
        {Utc(2100, 3, 1), 4107542400},
        {Utc(2106, 2, 7, 6, 28, 16), 4294967296},
        {Utc(kLastClockYear, 12, 31, 23, 59, 59), 8267875199},
    };
    for (const EpochCase& c : cases) {
        EXPECT_EQ(SecondsSinceEpoch(c.time), c.seconds) << Show(c.time);
    }
}

// Walks every day number of every month in and just around the range, and holds the layer to the
// C library's own UTC calendar: a day is accepted exactly when timegm keeps it as it is, and its
// second count is the one timegm gives.
TEST(IsSettableClockTime, AgreesWithTheCLibraryCalendarOnEveryDay) {
    int mismatches = 0;
    for (int year = kFirstClockYear - 1; year <= kLastClockYear + 1 && mismatches < 10; ++year) {
        for (int month = 0; month <= 13; ++month) {
            for (int day = 0; day <= 32; ++day) {
                const SYSTEMTIME time = Utc(year, month, day, 23, 59, 59);
                std::tm fields{};
                fields.tm_year = year - 1900;
                fields.tm_mon = month - 1;
                fields.tm_mday = day;
                fields.tm_hour = 23;
                fields.tm_min = 59;
                fields.tm_sec = 59;
                const std::time_t expected = timegm(&fields);
                const bool real = fields.tm_year == year - 1900 && fields.tm_mon == month - 1 && fields.tm_mday == day;
                const bool inRange = year >= kFirstClockYear && year <= kLastClockYear;
                const bool accepted = IsSettableClockTime(time);
                if (accepted != (real && inRange)) {
                    ADD_FAILURE() << Show(time) << (accepted ? " was accepted" : " was refused");
                    ++mismatches;
                } else if (accepted && SecondsSinceEpoch(time) != expected) {
                    ADD_FAILURE() << Show(time) << " gave " << SecondsSinceEpoch(time) << ", timegm " << expected;
                    ++mismatches;
                }
            }
        }
    }
}

// The child answers 1 when the clock reported success, 0 for a refusal.
int SetRealClockAsUnprivilegedChild(const SYSTEMTIME& time) {
    return test::RunUnprivileged([&time] {
        // The request that the clock passes on to systemd-timedated must not reach a real one,
        // which could grant it.
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvane-test/no-bus-here", 1);
        return CLinuxClock().SetSystemTime(time) ? 1 : 0;
    });
}

TEST(LinuxClock, RefusesACallerWithoutTheRightToSetTheClock) {
    const SYSTEMTIME time = Utc(2007, 12, 7, 14, 39, 10, 250);
    EXPECT_EQ(SetRealClockAsUnprivilegedChild(time), 0)
        << "1: the clock reported success; " << test::kChildKeptItsRights << ": the child kept its rights";
}

// ---- The hardware clock -------------------------------------------------------------------------

// Records what the hardware clock was set to; `present` false stands for a machine without one.
class FakeHardwareClock : public IHardwareClock {
public:
    bool SetTime(const std::tm& fields) override {
        if (!present) return false;
        set.push_back(fields);
        return true;
    }
    bool present = true;
    std::vector<std::tm> set;
};

std::string Show(const std::tm& t) {
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec);
    return text;
}

// Puts TZ in place for one test and restores the zone that was there.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST(HardwareClock, KeepsUtcUnlessTheAdjtimeFileSaysLocal) {
    // Three hours east of Greenwich, with no summer time, so that local and UTC differ in the hour.
    ScopedTimeZone zone("ORV-3");
    test::TempDir folder;
    const std::int64_t seconds = 1197038350;  // 2007-12-07 14:39:10 UTC
    const struct {
        const char* why;
        std::optional<std::string> adjtime;  // nullopt: no file
        const char* expected;
    } cases[] = {
        {"no adjtime file", std::nullopt, "2007-12-07 14:39:10"},
        {"UTC", "0.000000 1197038000 0.000000\n1197038000\nUTC\n", "2007-12-07 14:39:10"},
        {"LOCAL", "0.000000 1197038000 0.000000\n1197038000\nLOCAL\n", "2007-12-07 17:39:10"},
        {"LOCAL with CR LF and no last line feed", "0.0 0 0.0\r\n0\r\nLOCAL", "2007-12-07 17:39:10"},
        {"LOCAL on the wrong line", "LOCAL\n0\nUTC\n", "2007-12-07 14:39:10"},
        {"only two lines", "0.0 0 0.0\n0\n", "2007-12-07 14:39:10"},
        {"lower case", "0.0 0 0.0\n0\nlocal\n", "2007-12-07 14:39:10"},
    };
    for (const auto& c : cases) {
        const std::string path = folder.Path() + "/adjtime";
        std::remove(path.c_str());
        if (c.adjtime) std::ofstream(path, std::ios::binary) << *c.adjtime;
        FakeHardwareClock rtc;
        EXPECT_TRUE(SetHardwareClock(seconds, rtc, path)) << c.why;
        ASSERT_EQ(rtc.set.size(), 1u) << c.why;
        EXPECT_EQ(Show(rtc.set[0]), c.expected) << c.why;
    }
}

TEST(HardwareClock, AMissingOrRefusingRtcIsFalseAndNothingElse) {
    test::TempDir folder;
    const std::string adjtime = folder.Path() + "/adjtime";
    FakeHardwareClock absent;
    absent.present = false;
    EXPECT_FALSE(SetHardwareClock(1197038350, absent, adjtime));
    // The real device class on paths that are no RTC: missing, and a plain file (whose ioctl fails).
    const std::string plain = folder.Path() + "/rtc-that-is-a-file";
    std::ofstream(plain) << "not a device";
    for (const std::string& path : {folder.Path() + "/no-rtc-here", plain}) {
        CRtcDevice device(path);
        EXPECT_FALSE(SetHardwareClock(1197038350, device, adjtime)) << path;
    }
    std::ifstream file(plain);
    std::string text;
    std::getline(file, text);
    EXPECT_EQ(text, "not a device") << "the plain file was written to";
}

TEST(HardwareClock, IsNotTouchedWhenTheSystemClockWasNotSet) {
    // Without the right to set the clock the hardware clock stays as it was; the child answers 2
    // when its double was asked.
    const int result = test::RunUnprivileged([] {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/orvane-test/no-bus-here", 1);
        FakeHardwareClock rtc;
        ScopedSeam<IHardwareClock> seam{rtc};
        const bool set = CLinuxClock().SetSystemTime(Utc(2007, 12, 7, 14, 39, 10, 250));
        return !rtc.set.empty() ? 2 : (set ? 1 : 0);
    });
    EXPECT_EQ(result, 0) << "1: the clock reported success; 2: the hardware clock was set; "
                         << test::kChildKeptItsRights << ": the child kept its rights";
}

}  // namespace
}  // namespace orvane

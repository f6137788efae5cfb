// Tests of the daytime record parser and of setting the clock from a record.
#include <gtest/gtest.h>

#include <string>

#include "doubles/FakeClock.h"
#include "doubles/SystemTimes.h"
#include "platform/Seam.h"
#include "sync/DaytimeRecord.h"

namespace orvane {
namespace {

// Utc leaves wDayOfWeek and wMilliseconds 0, so that they are checked too.
using test::Utc;

std::string Show(const SYSTEMTIME& t) {
    char text[96];
    std::snprintf(text, sizeof text, "%u-%u-%u %u:%u:%u.%u dow %u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  t.wSecond, t.wMilliseconds, t.wDayOfWeek);
    return text;
}

bool Same(const SYSTEMTIME& a, const SYSTEMTIME& b) { return Show(a) == Show(b); }

const char kRecord[] = "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *";

struct Accepted {
    std::string line;
    SYSTEMTIME expected;
};

TEST(ParseDaytimeRecord, AcceptsLinesWithSevenNumbers) {
    const Accepted cases[] = {
        {kRecord, Utc(2007, 12, 7, 14, 39, 10)},
        {std::string(kRecord) + "\r", Utc(2007, 12, 7, 14, 39, 10)},
        {"\t  54441 07-12-07 14:39:10  \n", Utc(2007, 12, 7, 14, 39, 10)},
        {"1 50-01-01 00:00:00", Utc(2050, 1, 1, 0, 0, 0)},
        {"1 51-01-01 00:00:00", Utc(1951, 1, 1, 0, 0, 0)},
        {"1 00-01-01 00:00:00", Utc(2000, 1, 1, 0, 0, 0)},
        {"1 99-12-31 23:59:59", Utc(1999, 12, 31, 23, 59, 59)},
        {"+54441 07-12-07 14:39:10", Utc(2007, 12, 7, 14, 39, 10)},
        {"54441 07-12-07 14:39:10abc99", Utc(2007, 12, 7, 14, 39, 10)},
        {"Server 2 54441 07-12-07 14:39:10", Utc(54441, 7, 12, 7, 14, 39)},
        {"\xC3\xA9" "1\xFF" "2 3 4 5 6 7", Utc(2002, 3, 4, 5, 6, 7)},
        // Runs are read whole, modulo 2^32, as signed values, then cut to 16 bits per field.
        {"1 4294967346-01-01 00:00:00", Utc(2050, 1, 1, 0, 0, 0)},
        {"1 4294967295-01-01 00:00:00", Utc(1999, 1, 1, 0, 0, 0)},
        {"1 07-65548-01 00:00:00", Utc(2007, 12, 1, 0, 0, 0)},
        {"1 07-00000000000000000012-01 00:00:00", Utc(2007, 12, 1, 0, 0, 0)},
    };
    for (const Accepted& c : cases) {
        const std::optional<SYSTEMTIME> parsed = ParseDaytimeRecord(c.line);
        ASSERT_TRUE(parsed.has_value()) << "line: " << c.line;
        EXPECT_TRUE(Same(*parsed, c.expected)) << "line: " << c.line << "\n got " << Show(*parsed) << "\n want "
                                               << Show(c.expected);
    }
}

TEST(ParseDaytimeRecord, FullYearsAreNotShiftedByACentury) {
    // A four-digit year is already complete: 2007 must not become 3907.
    const std::optional<SYSTEMTIME> parsed = ParseDaytimeRecord("54441 2007-12-07 14:39:10");
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->wYear, 2007);
    EXPECT_EQ(ParseDaytimeRecord("1 1000-01-01 00:00:00")->wYear, 1000);
    EXPECT_EQ(ParseDaytimeRecord("1 999-01-01 00:00:00")->wYear, 2899) << "below 1000 the century rule stands";
}

TEST(ParseDaytimeRecord, RejectsLinesWithoutSevenNumbers) {
    const std::string cases[] = {
        "",
        " \t \t ",
        "UTC(NIST) *",
        "54441 07-12-07 14:39",
        "2007-12-07 14:39:10",
        "-----",
        std::string("1 2 3\0 4 5 6", 11),
    };
    for (const std::string& line : cases) {
        EXPECT_FALSE(ParseDaytimeRecord(line).has_value()) << "line: \"" << line << "\"";
    }
}

TEST(ParseDaytimeRecord, ReadsAVeryLongLineWithoutTrouble) {
    std::string line(100000, '9');
    line += " 07-12-07 14:39:10";
    EXPECT_TRUE(ParseDaytimeRecord(line).has_value());
    EXPECT_FALSE(ParseDaytimeRecord(std::string(100000, 'x')).has_value());
}

class SetClockFromRecordTest : public ::testing::Test {
protected:
    test::FakeClock clock;
    ScopedSeam<IClock> seam{clock};
};

TEST_F(SetClockFromRecordTest, SetsTheClockInUtcFromAnAcceptedLine) {
    EXPECT_TRUE(SetClockFromRecord(kRecord));
    ASSERT_EQ(clock.set.size(), 1u);
    EXPECT_TRUE(Same(clock.set[0], Utc(2007, 12, 7, 14, 39, 10))) << Show(clock.set[0]);
}

TEST_F(SetClockFromRecordTest, RejectedLinesNeverReachTheClock) {
    EXPECT_FALSE(SetClockFromRecord("UTC(NIST) *"));
    EXPECT_FALSE(SetClockFromRecord(""));
    EXPECT_TRUE(clock.requests.empty());
}

TEST_F(SetClockFromRecordTest, FieldsThePlatformRefusesLeaveTheClockUnchanged) {
    const char* refused[] = {
        "54441 07-13-07 14:39:10",
        "54441 07-02-30 14:39:10",
        "54441 07-12-07 24:00:00",
        "Server 2 54441 07-12-07 14:39:10",
    };
    for (const char* line : refused) {
        EXPECT_FALSE(SetClockFromRecord(line)) << line;
    }
    EXPECT_EQ(clock.requests.size(), 4u);
    EXPECT_TRUE(clock.set.empty());
}

TEST_F(SetClockFromRecordTest, AClockThatRefusesTheCallerGivesFalse) {
    clock.allow = false;
    EXPECT_FALSE(SetClockFromRecord(kRecord));
    EXPECT_EQ(clock.requests.size(), 1u);
}

}  // namespace
}  // namespace orvane

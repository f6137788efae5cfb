// Tests of the Linux local-time text: the time zone, the user's locale and dates on both sides of
// the 32-bit range. A German locale is compiled into a temporary folder so that the text shows
// the whole year and a form that differs from the "C" locale's.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <limits>
#include <regex>
#include <string>

#include "platform/LocalTime.h"
#include "platform/linux/LocalTimeText.h"
#include "platform/linux/PlatformServices.h"

extern char** environ;

namespace orvane {
namespace {

const char kGerman[] = "de_DE.UTF-8";

void UseTimeZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

class LocalTimeText : public testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/orvane-locales-XXXXXX";
        if (mkdtemp(pattern) == nullptr) return;
        folder_ = pattern;
        const std::string target = folder_ + "/" + kGerman;
        const char* argv[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", target.c_str(), nullptr};
        pid_t pid = 0;
        if (posix_spawnp(&pid, "localedef", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) return;
        int status = 0;
        waitpid(pid, &status, 0);
        // localedef exits with 1 for mere warnings about the locale's source.
        compiled_ = WIFEXITED(status) && WEXITSTATUS(status) <= 1 && std::filesystem::exists(target + "/LC_TIME");
        setenv("LOCPATH", folder_.c_str(), 1);
    }

    static void TearDownTestSuite() {
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    void SetUp() override {
        ASSERT_TRUE(compiled_) << "localedef could not compile " << kGerman << " into " << folder_;
        ASSERT_NE(std::setlocale(LC_TIME, kGerman), nullptr) << "LOCPATH=" << folder_;
    }

    void TearDown() override { std::setlocale(LC_TIME, "C"); }

    static inline std::string folder_;
    static inline bool compiled_ = false;
};

struct ZoneCase {
    const char* zone;
    std::time_t instant;
    const char* expected;
};

TEST_F(LocalTimeText, WritesTheInstantInTheLocalZone) {
    const ZoneCase cases[] = {
        {"UTC0", 0, "01.01.1970 00:00:00"},
        {"UTC0", 1197038350, "07.12.2007 14:39:10"},
        {"MST7", 1197038350, "07.12.2007 07:39:10"},      // seven hours behind UTC
        {"JST-9", 1197038350, "07.12.2007 23:39:10"},     // nine hours ahead
        {"NZST-12", 1197038350, "08.12.2007 02:39:10"},   // already the next day
        {"UTC0", 2147483647, "19.01.2038 03:14:07"},
        {"UTC0", 2147483648, "19.01.2038 03:14:08"},      // past a 32-bit count of seconds
        {"UTC0", 8267875199, "31.12.2231 23:59:59"},
        {"UTC0", -1, "31.12.1969 23:59:59"},
        {"UTC0", -568080000, "01.01.1952 00:00:00"},
        {"MST7", 0, "31.12.1969 17:00:00"},               // a local date before 1970
    };
    for (const ZoneCase& c : cases) {
        UseTimeZone(c.zone);
        EXPECT_EQ(LocalDateTimeText(c.instant), c.expected) << "TZ=" << c.zone << ", instant " << c.instant;
    }
}

TEST_F(LocalTimeText, IsEmptyForAnInstantNoCalendarHolds) {
    UseTimeZone("UTC0");
    const std::time_t instant = std::numeric_limits<std::time_t>::max();
    EXPECT_EQ(LocalDateTimeText(instant), "") << "instant " << instant;
}

TEST_F(LocalTimeText, FollowsTheLocaleInForce) {
    UseTimeZone("UTC0");
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ(LocalDateTimeText(1197038350), "12/07/07 14:39:10");
}

// The service must take the user's locale from the environment by itself: the test leaves the
// process in the "C" locale and names German only in LC_ALL.
TEST_F(LocalTimeText, ServiceWritesTheClockNowInTheUsersLocale) {
    std::setlocale(LC_TIME, "C");
    setenv("LC_ALL", kGerman, 1);
    UseTimeZone("JST-9");
    const std::time_t before = std::time(nullptr);
    const std::string text = CLinuxLocalTime().CurrentDateTimeText();
    const std::time_t after = std::time(nullptr);
    unsetenv("LC_ALL");

    EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d\d\.\d\d\.\d{4} \d\d:\d\d:\d\d)"))) << "got \"" << text << "\"";
    bool withinTheCall = false;
    for (std::time_t second = before; second <= after && !withinTheCall; ++second) {
        withinTheCall = text == LocalDateTimeText(second);
    }
    EXPECT_TRUE(withinTheCall) << "got \"" << text << "\", the clock read " << LocalDateTimeText(before) << " before and "
                               << LocalDateTimeText(after) << " after";
}

}  // namespace
}  // namespace orvane

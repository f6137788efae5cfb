// Tests of the seam itself: a service that nobody installed stops the program with its name and is
// never replaced by a real one; installations nest and come off in order.
#include "platform/Seam.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "doubles/FakeClock.h"
#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "platform/Help.h"
#include "platform/Internet.h"
#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/Window.h"
#include "sync/DaytimeRecord.h"

namespace orvane {
namespace {

const char kRecord[] = "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *";

template <class Service>
void Ask() {
    Seam<Service>::Get();
}

struct MissingCase {
    const char* service;
    std::function<void()> ask;
    bool installed;
};

TEST(SeamDeathTest, AServiceThatNobodyInstalledStopsTheProgramWithItsName) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const MissingCase cases[] = {
        {"IClock", Ask<IClock>, Seam<IClock>::IsInstalled()},
        {"ICursor", Ask<ICursor>, Seam<ICursor>::IsInstalled()},
        {"IHelp", Ask<IHelp>, Seam<IHelp>::IsInstalled()},
        {"IInternet", Ask<IInternet>, Seam<IInternet>::IsInstalled()},
        {"ILocalTime", Ask<ILocalTime>, Seam<ILocalTime>::IsInstalled()},
        {"IMessageBox", Ask<IMessageBox>, Seam<IMessageBox>::IsInstalled()},
        {"IProcess", Ask<IProcess>, Seam<IProcess>::IsInstalled()},
        {"IRegistry", Ask<IRegistry>, Seam<IRegistry>::IsInstalled()},
        {"IResources", Ask<IResources>, Seam<IResources>::IsInstalled()},
        {"IWindows", Ask<IWindows>, Seam<IWindows>::IsInstalled()},
    };
    for (const MissingCase& c : cases) {
        EXPECT_FALSE(c.installed) << c.service << ": installed before anyone installed it";
        EXPECT_DEATH(c.ask(), std::string("the ") + c.service + " service was asked for, but none is installed")
            << c.service;
    }
}

TEST(SeamDeathTest, SetClockWithoutAClockStopsBeforeAnythingIsSet) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A forgotten clock double must never fall through to the machine's clock (the tests run as root).
    EXPECT_DEATH(SetClockFromRecord(kRecord), "the IClock service was asked for, but none is installed");
}

TEST(Seam, InstallationsNestAndComeOffInOrder) {
    test::FakeClock outer;
    test::FakeClock inner;
    {
        const ScopedSeam<IClock> first(outer);
        EXPECT_EQ(&Seam<IClock>::Get(), &outer);
        {
            const ScopedSeam<IClock> second(inner);
            EXPECT_EQ(&Seam<IClock>::Get(), &inner);
            EXPECT_TRUE(SetClockFromRecord(kRecord));
        }
        EXPECT_EQ(&Seam<IClock>::Get(), &outer);
    }
    EXPECT_FALSE(Seam<IClock>::IsInstalled());
    EXPECT_TRUE(outer.requests.empty());
    EXPECT_EQ(inner.set.size(), 1u);
}

}  // namespace
}  // namespace orvane

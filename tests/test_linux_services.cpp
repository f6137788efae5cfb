// Tests of the Linux program's start-up wiring: CLinuxServices installs the real implementation of
// every service and takes each away again when it goes; a double installed over it wins while it lives.
#include "platform/linux/Services.h"

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

#include "QtTestApplication.h"
#include "doubles/FakeClock.h"

namespace orvane {
namespace {

struct ServiceCase {
    const char* service;
    std::function<bool()> installed;
    std::function<bool()> isReal;  // whether the installed service is the platform's own
};

template <class Service, class Real>
ServiceCase Case(const char* name) {
    return {name, [] { return Seam<Service>::IsInstalled(); },
            [] { return dynamic_cast<Real*>(&Seam<Service>::Get()) != nullptr; }};
}

const ServiceCase kServices[] = {
    Case<IClock, CLinuxClock>("IClock"),
    Case<ILocalTime, CLinuxLocalTime>("ILocalTime"),
    Case<IRegistry, CFileRegistry>("IRegistry"),
    Case<IInternet, CCurlInternet>("IInternet"),
    Case<IResources, CLinkedResources>("IResources"),
    Case<IProcess, CLinuxProcess>("IProcess"),
    Case<ICursor, CQtCursor>("ICursor"),
    Case<IHelp, CQtHelp>("IHelp"),
    Case<IMessageBox, CQtMessageBox>("IMessageBox"),
    Case<IWindows, qt::CQtWindows>("IWindows"),
};

TEST(LinuxServices, InstallEveryServiceAndTakeThemAwayWhenTheyGo) {
    test::TestApplication();
    for (const ServiceCase& c : kServices) EXPECT_FALSE(c.installed()) << c.service << " before";
    {
        const CLinuxServices services;
        for (const ServiceCase& c : kServices) {
            ASSERT_TRUE(c.installed()) << c.service;
            EXPECT_TRUE(c.isReal()) << c.service;
        }
    }
    for (const ServiceCase& c : kServices) EXPECT_FALSE(c.installed()) << c.service << " after";
}

TEST(LinuxServices, ADoubleInstalledOverThemWinsAndTheRealOneComesBack) {
    test::TestApplication();
    const CLinuxServices services;
    test::FakeClock clock;
    {
        const ScopedSeam<IClock> seam(clock);
        EXPECT_EQ(&Seam<IClock>::Get(), &clock);
        for (const ServiceCase& c : kServices) {
            if (std::string_view(c.service) != "IClock") {
                EXPECT_TRUE(c.isReal()) << c.service;
            }
        }
    }
    EXPECT_NE(dynamic_cast<CLinuxClock*>(&Seam<IClock>::Get()), nullptr);
}

}  // namespace
}  // namespace orvane

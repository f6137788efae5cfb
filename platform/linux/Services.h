// Where the Linux program chooses its services: the entry point builds one CLinuxServices, which
// owns the real implementation of every platform service and installs each in its seam for as long
// as it lives.
//
//     portable core (app/ ui/ sync/ net/ config/) ──> platform/*.h <── platform/linux (implements)
//                                                          ^
//                              main.cpp: CLinuxServices ───┘ (builds the platform's objects, installs them)
//
// Build it after the QApplication and destroy it before: the windows, boxes and the help viewer are
// Qt objects. A test installs single real services itself (platform/linux/PlatformServices.h,
// platform/linux/QtServices.h) with ScopedSeam, beside the doubles it uses.
#pragma once

#include "platform/Seam.h"
#include "platform/linux/ClockHardware.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/QtServices.h"
#include "platform/linux/WindowsQt.h"

namespace orvane {

class CLinuxServices {
public:
    CLinuxServices() = default;
    CLinuxServices(const CLinuxServices&) = delete;
    CLinuxServices& operator=(const CLinuxServices&) = delete;

private:
    // The services first, their installations after them: the seams are emptied before the
    // objects they name are destroyed.
    CLinuxClock clock_;
    CRtcDevice hardwareClock_;
    CLinuxLocalTime localTime_;
    CFileRegistry registry_;
    CCurlInternet internet_;
    CLinkedResources resources_;
    CLinuxProcess process_;
    CQtCursor cursor_;
    CQtHelp help_;
    CQtMessageBox messageBox_;
    qt::CQtWindows windows_{qt::ProgramResources()};

    ScopedSeam<IClock> clockSeam_{clock_};
    ScopedSeam<IHardwareClock> hardwareClockSeam_{hardwareClock_};
    ScopedSeam<ILocalTime> localTimeSeam_{localTime_};
    ScopedSeam<IRegistry> registrySeam_{registry_};
    ScopedSeam<IInternet> internetSeam_{internet_};
    ScopedSeam<IResources> resourcesSeam_{resources_};
    ScopedSeam<IProcess> processSeam_{process_};
    ScopedSeam<ICursor> cursorSeam_{cursor_};
    ScopedSeam<IHelp> helpSeam_{help_};
    ScopedSeam<IMessageBox> messageBoxSeam_{messageBox_};
    ScopedSeam<IWindows> windowsSeam_{windows_};
};

}  // namespace orvane

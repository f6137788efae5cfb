// The one Qt application object of a test program that drives real Qt windows (offscreen in CTest).
#pragma once

#include <QApplication>

namespace orvane::test {

inline QApplication& TestApplication() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    static int argc = 1;
    static char name[] = "orvane-tests";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the process: widgets of a failed test may still refer to it at exit.
    static auto* application = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return *application;
}

}  // namespace orvane::test

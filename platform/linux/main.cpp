// The Linux program's entry point: Qt for the windows, the platform's services, then the program's
// own start-up.
#include <QApplication>

#include "app/Application.h"
#include "platform/linux/Services.h"

int main(int argc, char* argv[]) {
    // Qt takes its own options (such as -platform) from the command line; the program reads none.
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const orvane::CLinuxServices services;
    return orvane::RunApplication();
}

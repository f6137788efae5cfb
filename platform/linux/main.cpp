// The Linux program's entry point: Qt for the windows, then the program's own start-up.
#include <QApplication>

#include "app/Application.h"

int main(int argc, char* argv[]) {
    // Qt takes its own options (such as -platform) from the command line; the program reads none.
    QApplication qtApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    return orvane::RunApplication();
}

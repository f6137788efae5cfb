// orvane-startup-probe: starts a program on an X display, measures how long it takes until its main
// window is mapped and how much memory it uses, then closes the window as a window manager's close
// box would and waits for the program to end:
//     orvane-startup-probe [--title TITLE] [--timeout SECONDS] program [arguments...]
// Prints one line: "startup_ms=... hwm_at_map_kib=... peak_rss_kib=... close_ms=... exit=...".
//
// The program needs no change for this: the window is found by its title among the windows mapped
// on the root, and WM_DELETE_WINDOW is what every X client is asked to close with.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A field of /proc/<pid>/status in KiB, or -1.
long StatusKib(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

std::string WindowTitle(Display* display, Window window) {
    char* name = nullptr;
    if (!XFetchName(display, window, &name) || !name) return {};
    std::string title = name;
    XFree(name);
    return title;
}

// The window's pid as _NET_WM_PID says; 0 when it says nothing.
pid_t WindowPid(Display* display, Window window) {
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", True);
    if (pidAtom == None) return 0;
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) ==
            Success &&
        data) {
        if (format == 32 && count == 1) pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    return pid;
}

int Usage() {
    std::fprintf(stderr, "usage: orvane-startup-probe [--title TITLE] [--timeout SECONDS] program [arguments...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "Orvane";
    int timeoutSeconds = 30;
    int first = 1;
    while (first + 1 < argc && argv[first][0] == '-') {
        if (std::strcmp(argv[first], "--title") == 0) {
            title = argv[first + 1];
        } else if (std::strcmp(argv[first], "--timeout") == 0) {
            timeoutSeconds = std::atoi(argv[first + 1]);
        } else {
            return Usage();
        }
        first += 2;
    }
    if (first >= argc) return Usage();

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "orvane-startup-probe: cannot open the display %s\n", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "(DISPLAY unset)");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    // Without a window manager a top-level window is mapped straight on the root, which reports it.
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t program = fork();
    if (program == 0) {
        close(ConnectionNumber(display));
        execvp(argv[first], argv + first);
        std::perror(argv[first]);
        _exit(127);
    }
    if (program < 0) {
        std::perror("fork");
        return 1;
    }

    Window mainWindow = None;
    double startupMs = 0;
    long hwmAtMap = -1;
    while (mainWindow == None) {
        if (MillisecondsSince(start) > timeoutSeconds * 1000.0) break;
        if (XPending(display) == 0) {
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            poll(&fd, 1, 50);
            if (waitpid(program, nullptr, WNOHANG) == program) {
                std::fprintf(stderr, "orvane-startup-probe: the program ended before its window was mapped\n");
                return 1;
            }
            continue;
        }
        XEvent event;
        XNextEvent(display, &event);
        if (event.type != MapNotify) continue;
        const Window window = event.xmap.window;
        if (WindowTitle(display, window) != title) continue;
        const pid_t owner = WindowPid(display, window);
        if (owner != 0 && owner != program) continue;
        startupMs = MillisecondsSince(start);
        hwmAtMap = StatusKib(program, "VmHWM");
        mainWindow = window;
    }
    if (mainWindow == None) {
        std::fprintf(stderr, "orvane-startup-probe: no window titled \"%s\" within %d s\n", title.c_str(), timeoutSeconds);
        kill(program, SIGKILL);
        waitpid(program, nullptr, 0);
        return 1;
    }

    // As a window manager's close box: a WM_DELETE_WINDOW message of the WM_PROTOCOLS kind.
    XEvent close{};
    close.xclient.type = ClientMessage;
    close.xclient.window = mainWindow;
    close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    close.xclient.format = 32;
    close.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    close.xclient.data.l[1] = CurrentTime;
    const Clock::time_point closing = Clock::now();
    XSendEvent(display, mainWindow, False, NoEventMask, &close);
    XFlush(display);

    int status = 0;
    rusage usage{};
    pid_t ended = 0;
    while ((ended = wait4(program, &status, WNOHANG, &usage)) == 0) {
        if (MillisecondsSince(closing) > timeoutSeconds * 1000.0) {
            std::fprintf(stderr, "orvane-startup-probe: the program did not end when its window was closed\n");
            kill(program, SIGKILL);
            waitpid(program, nullptr, 0);
            return 1;
        }
        usleep(1000);
    }
    const double closeMs = MillisecondsSince(closing);
    XCloseDisplay(display);
    std::printf("startup_ms=%.1f hwm_at_map_kib=%ld peak_rss_kib=%ld close_ms=%.1f exit=%d\n", startupMs, hwmAtMap,
                usage.ru_maxrss, closeMs, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
    return 0;
}

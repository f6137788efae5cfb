// How the program reaches a platform service: through the object that the program's entry point (or
// a test) has installed.
//
// The portable code knows only the interfaces in platform/*.h. Each platform implements them in its
// own folder, and the program's entry point builds those implementations and installs them
// (platform/linux/Services.h, platform/win32/Services.h) before anything asks for a service. A test
// installs the doubles it uses, or the real service it means to drive, with `ScopedSeam`, which puts
// the previous one back when it goes out of scope.
//
// `Seam<S>::Get()` is asked on the user-interface thread. Asking for a service that nobody has
// installed is a fault of the program's (or the test's) start-up: it names the service on stderr
// and aborts, and never falls back to a real service of the machine.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace orvane {

template <class Service>
class Seam {
public:
    // Every service interface names itself in `kServiceName` ("IClock", ...).
    static Service& Get() {
        if (current_ == nullptr) NotInstalled();
        return *current_;
    }

    // Puts `service` in place (null leaves none) and returns what was there. The caller keeps
    // ownership and must keep the object alive while it is installed.
    static Service* Replace(Service* service) {
        Service* previous = current_;
        current_ = service;
        return previous;
    }

    static bool IsInstalled() { return current_ != nullptr; }

private:
    [[noreturn]] static void NotInstalled() {
        std::fprintf(stderr,
                     "Orvane: the %s service was asked for, but none is installed. The program's entry "
                     "point installs the platform's services; a test installs a double or the real "
                     "service with ScopedSeam.\n",
                     Service::kServiceName);
        std::fflush(stderr);
        std::abort();
    }

    static inline Service* current_ = nullptr;
};

template <class Service>
class ScopedSeam {
public:
    explicit ScopedSeam(Service& service) : previous_(Seam<Service>::Replace(&service)) {}
    ~ScopedSeam() { Seam<Service>::Replace(previous_); }
    ScopedSeam(const ScopedSeam&) = delete;
    ScopedSeam& operator=(const ScopedSeam&) = delete;

private:
    Service* previous_;
};

}  // namespace orvane

// How the program reaches a platform service: the platform's own implementation, unless a test
// has put a double in its place.
//
// Every service interface `S` declares `static S& Native();`, which each platform defines in its own
// folder. The program asks `Seam<S>::Get()` on the user-interface thread; tests swap in a double
// with `ScopedSeam`, which puts the previous one back when it goes out of scope.
#pragma once

namespace orvane {

template <class Service>
class Seam {
public:
    static Service& Get() { return current_ ? *current_ : Service::Native(); }

    // Puts `service` in place (null restores the native one) and returns what was there. The caller
    // keeps ownership and must keep the object alive while it is installed.
    static Service* Replace(Service* service) {
        Service* previous = current_;
        current_ = service;
        return previous;
    }

private:
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

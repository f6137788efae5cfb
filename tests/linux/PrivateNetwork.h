// Runs test work in a network namespace of its own, where a name lookup cannot leave the machine.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <functional>

namespace orvane::test {

// Runs `work` with the calling thread in a new network namespace in which no interface is up, so
// a resolver's query has nowhere to go and fails at once; then puts the thread back. Threads that
// `work` starts (libcurl's resolver among them) inherit the namespace. Answers false, without
// running `work`, when the thread may not have one (it needs CAP_SYS_ADMIN), or could not come
// back: in a user namespace that does not own the machine's network namespace, it may leave it but
// not enter it again, and every later connection of the thread would fail.
inline bool InPrivateNetwork(const std::function<void()>& work) {
    const int original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (original < 0) return false;
    if (::setns(original, CLONE_NEWNET) != 0 || ::unshare(CLONE_NEWNET) != 0) {
        ::close(original);
        return false;
    }
    struct Restore {
        int fd;
        ~Restore() {
            ::setns(fd, CLONE_NEWNET);
            ::close(fd);
        }
    } restore{original};
    work();
    return true;
}

}  // namespace orvane::test

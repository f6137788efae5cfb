// Runs test code in a child process that has no right to set the clock, so that a fault in the
// code under test cannot reach the real clock of the machine (tests run as root in CI).
#pragma once

#include <errno.h>
#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace orvane::test {

// Exit codes of the child that do not come from the body.
inline constexpr int kChildKeptItsRights = 125;  // it could not give up root or still holds a capability
inline constexpr int kChildDied = -1;            // it ended by a signal, or could not be started

// True when the effective capability set of this process is empty.
inline bool HoldsNoCapability() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) == 0) return line.find_first_not_of("0 \t", 7) == std::string::npos;
    }
    return false;
}

// Forks at once. The child becomes user and group 65534 (nobody) when it is root, makes sure it
// holds no capability at all, then waits for Release() and exits with body()'s result. Gives the
// parent time to start what the child will talk to without forking a process that runs threads.
class UnprivilegedChild {
public:
    template <class Body>
    explicit UnprivilegedChild(Body body) {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::fflush(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[1]);
            if (getuid() == 0 || geteuid() == 0) {
                if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(kChildKeptItsRights);
            }
            if (!HoldsNoCapability()) _exit(kChildKeptItsRights);
            char go = 0;
            while (read(fds[0], &go, 1) < 0 && errno == EINTR) {
            }
            _exit(body());
        }
        close(fds[0]);
        release_ = fds[1];
        if (pid_ < 0) Release();
    }

    ~UnprivilegedChild() { Wait(); }
    UnprivilegedChild(const UnprivilegedChild&) = delete;
    UnprivilegedChild& operator=(const UnprivilegedChild&) = delete;

    void Release() {
        if (release_ < 0) return;
        const char go = 1;
        while (write(release_, &go, 1) < 0 && errno == EINTR) {
        }
        close(release_);
        release_ = -1;
    }

    // Releases the child if need be and answers its exit code, or kChildDied.
    int Wait() {
        Release();
        if (pid_ == 0) return exitCode_;
        if (pid_ < 0) return kChildDied;
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0) {
            if (errno != EINTR) {
                status = -1;
                break;
            }
        }
        pid_ = 0;
        exitCode_ = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : kChildDied;
        return exitCode_;
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    int exitCode_ = kChildDied;
};

// Runs `body` in an unprivileged child and answers its exit code (see UnprivilegedChild).
template <class Body>
int RunUnprivileged(Body body) {
    UnprivilegedChild child(body);
    return child.Wait();
}

}  // namespace orvane::test

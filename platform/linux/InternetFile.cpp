// File URLs on Linux: the file opened with the C library, its failure in Windows' terms.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SystemError.h"
#include "platform/linux/InternetLinux.h"

namespace orvane::inet {

std::FILE* OpenLocalFile(const std::string& path, bool /*binary*/, DWORD* error) {
    // Only a regular file is read. Opening a FIFO would wait for a writer and reading a device may
    // never end, either of which would hold the program for ever; so the open does not block, and
    // anything but a regular file is refused as Windows refuses a folder: access denied. (The C
    // library would open a folder too and fail only at the first read.) POSIX makes no difference
    // between text and binary mode.
    int failure = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    std::FILE* file = nullptr;
    if (fd < 0) {
        failure = errno;
    } else {
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
            failure = S_ISDIR(status.st_mode) ? EISDIR : EACCES;
            ::close(fd);
        } else {
            const int flags = ::fcntl(fd, F_GETFL);
            if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
            file = ::fdopen(fd, "r");
            if (!file) {
                failure = errno;
                ::close(fd);
            }
        }
    }
    if (!file && error) *error = static_cast<DWORD>(WindowsErrorFromErrno(failure));
    return file;
}

}  // namespace orvane::inet

// File URLs on Linux: the file opened with the C library, its failure in Windows' terms.
#include <sys/stat.h>

#include <cerrno>

#include "platform/SystemError.h"
#include "platform/linux/InternetLinux.h"

namespace orvane::inet {

std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error) {
    std::FILE* file = std::fopen(path.c_str(), binary ? "rb" : "r");
    int failure = file ? 0 : errno;
    struct stat info {};
    if (file && ::fstat(::fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        file = nullptr;
        failure = EISDIR;
    }
    if (!file && error) *error = static_cast<DWORD>(WindowsErrorFromErrno(failure));
    return file;
}

}  // namespace orvane::inet

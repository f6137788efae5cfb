// Keeping the per-user registry file: loading it, locking out rival writers, replacing it atomically
// and keeping a damaged file aside.
#include "platform/linux/RegistryFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <utility>

namespace orvane::regfile {

namespace {

// A writer's temporary copy is named <file><kTemporaryInfix> and six letters or digits of mkstemp's.
// The infix keeps the name apart from anything a person would call a copy of the file
// ("registry.reg.backup"), since copies left by killed writers are removed by name.
constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kTemporaryUniqueLength = 6;

// Why a file that is there could not be read.
LONG ReadErrorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EWOULDBLOCK:
        return ERROR_SHARING_VIOLATION;  // another program holds a lease on the file
    case ENOMEM:
        return ERROR_OUTOFMEMORY;
    default:
        return ERROR_CANTREAD;
    }
}

LONG ErrorFromErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOMEM:
        return ERROR_OUTOFMEMORY;
    default:
        return ERROR_CANTWRITE;
    }
}

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;

    int Get() const { return m_fd; }
    // Closes now and says whether the close succeeded; a late write error can show up only here.
    bool Close() {
        const int fd = std::exchange(m_fd, -1);
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Root that writes another user's settings (started with that user's HOME, as `sudo -E` does) must
// leave nothing of root's in that user's folders: a ~/.config of root's breaks the user's other
// programs, and a settings file of root's is one the user can no longer read. So what root creates in
// a folder of someone else's takes that folder's owner and group. `fd` is what was just created in
// `folder`; `links` is the number of names it has by our own doing. A file with more names may be
// someone else's that a link put in our way, and keeps its owner.
void GiveToFolderOwner(int fd, const std::string& folder, nlink_t links) {
    if (fd < 0 || ::geteuid() != 0) return;
    struct stat where {};
    struct stat made {};
    if (::stat(folder.c_str(), &where) != 0 || where.st_uid == 0) return;
    if (::fstat(fd, &made) != 0 || made.st_uid != 0) return;
    if (!S_ISDIR(made.st_mode) && (!S_ISREG(made.st_mode) || made.st_nlink != links)) return;
    // Should it fail, the file stays root's and still works.
    static_cast<void>(::fchown(fd, where.st_uid, where.st_gid));
}

// Creates `directory` and whatever is missing above it, each owner-only.
LONG MakeDirectories(const std::string& directory) {
    for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string part = directory.substr(0, slash);
        struct stat info {};
        if (::stat(part.c_str(), &info) != 0) {
            if (::mkdir(part.c_str(), 0700) == 0) {
                // O_NOFOLLOW: what is given away is the folder just made, not one a link points to.
                const CFileDescriptor made(::open(part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                GiveToFolderOwner(made.Get(), DirectoryOf(part), 1);
            } else if (errno != EEXIST) {
                return ErrorFromErrno(errno);
            }
        }
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    if (::stat(directory.c_str(), &info) != 0) return ErrorFromErrno(errno);
    return S_ISDIR(info.st_mode) ? ERROR_SUCCESS : ERROR_CANTWRITE;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

// Keeps the damaged file under a new name while it still stands at `path`, so that a reader never
// finds the path empty. A hard link does that; where links are not supported the file is moved
// instead, just before the new one takes its place.
LONG KeepDamagedFile(const std::string& path, const std::string& directory) {
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = path + ".damaged-" + stamp;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string backup = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        // The backup is the damaged file itself under a second name (or, moved, its only one).
        const auto giveAway = [&](nlink_t links) {
            const CFileDescriptor kept(::open(backup.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            GiveToFolderOwner(kept.Get(), directory, links);
            return ERROR_SUCCESS;
        };
        if (::link(path.c_str(), backup.c_str()) == 0) return giveAway(2);
        if (errno == EEXIST) continue;
        if (errno == ENOENT) return ERROR_SUCCESS;  // nothing left to keep
        if (::access(backup.c_str(), F_OK) == 0) continue;
        if (::rename(path.c_str(), backup.c_str()) == 0) return giveAway(1);
        return ErrorFromErrno(errno);
    }
    return ERROR_CANTWRITE;
}

bool IsTemporaryName(std::string_view name, std::string_view fileName) {
    if (name.size() != fileName.size() + kTemporaryInfix.size() + kTemporaryUniqueLength ||
        name.substr(0, fileName.size()) != fileName ||
        name.substr(fileName.size(), kTemporaryInfix.size()) != kTemporaryInfix) {
        return false;
    }
    for (const char c : name.substr(fileName.size() + kTemporaryInfix.size())) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

// Removes the temporary copies of `path` that writers killed before their rename left behind. A
// writer makes its copy only while holding the lock, so to the holder of the lock every copy it
// finds is a dead writer's. Failures are ignored: a copy left now is removed by a later write.
void RemoveLeftoverTemporaries(const std::string& directory, const std::string& path) {
    const std::string_view fileName = std::string_view(path).substr(path.find_last_of('/') + 1);
    // Root's copies in someone else's folder belong to the folder's owner (GiveToFolderOwner).
    struct stat where {};
    const uid_t folderOwner = ::stat(directory.c_str(), &where) == 0 ? where.st_uid : ::geteuid();
    DIR* folder = ::opendir(directory.c_str());
    if (folder == nullptr) return;
    while (const dirent* entry = ::readdir(folder)) {
        if (!IsTemporaryName(entry->d_name, fileName)) continue;
        // mkstemp makes a plain file of this user's; anything else of that name is not ours.
        struct stat info {};
        if (::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            (info.st_uid == ::geteuid() || (::geteuid() == 0 && info.st_uid == folderOwner))) {
            ::unlinkat(::dirfd(folder), entry->d_name, 0);
        }
    }
    ::closedir(folder);
}

void SyncDirectory(const std::string& directory) {
    const CFileDescriptor fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) ::fsync(fd.Get());
}

std::mutex& PathOverrideMutex() {
    static std::mutex mutex;
    return mutex;
}

std::string& PathOverride() {
    static std::string path;
    return path;
}

FileReadCalls& ReadCallsOverride() {
    static FileReadCalls calls;
    return calls;
}

// The calls that read the file: the system's, or what a test put in their place.
FileReadCalls ReadCalls() {
    FileReadCalls calls;
    {
        const std::lock_guard<std::mutex> guard(PathOverrideMutex());
        calls = ReadCallsOverride();
    }
    if (calls.open == nullptr) calls.open = [](const char* path, int flags) { return ::open(path, flags); };
    if (calls.read == nullptr) calls.read = ::read;
    return calls;
}

Snapshot Unreadable(int error) {
    Snapshot snapshot;
    snapshot.state = FileState::Unreadable;
    snapshot.error = ReadErrorFromErrno(error);
    return snapshot;
}

}  // namespace

CRegistryFile::CRegistryFile(std::string path) : m_strPath(std::move(path)) {}

Snapshot CRegistryFile::Load() const {
    Snapshot snapshot;
    if (m_strPath.empty()) return snapshot;
    const FileReadCalls calls = ReadCalls();
    // O_NONBLOCK: nothing may stall the program. A FIFO put where the file belongs is then no file,
    // and another program's lease on the file makes the open fail with EWOULDBLOCK instead of waiting
    // until that program gives the lease up.
    const CFileDescriptor fd(calls.open(m_strPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) return errno == ENOENT || errno == ENOTDIR ? snapshot : Unreadable(errno);
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0) return Unreadable(errno);
    snapshot.state = FileState::Damaged;
    if (!S_ISREG(info.st_mode) || static_cast<std::size_t>(info.st_size) > kMaxFileSize) return snapshot;

    // Read one byte past the size so that a file that grew since fstat is still read whole, up to the limit.
    std::string text(static_cast<std::size_t>(info.st_size) + 1, '\0');
    std::size_t length = 0;
    while (length <= kMaxFileSize) {
        if (length == text.size()) text.resize(std::min(text.size() * 2, kMaxFileSize + 1));
        const ssize_t got = calls.read(fd.Get(), text.data() + length, text.size() - length);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Unreadable(errno);
        if (got == 0) break;
        length += static_cast<std::size_t>(got);
    }
    if (length > kMaxFileSize) return snapshot;
    text.resize(length);

    ParseResult parsed = Parse(text);
    if (!parsed.isRegistryFile) return snapshot;
    snapshot.top = std::move(parsed.top);
    snapshot.state = parsed.skippedLines == 0 ? FileState::Sound : FileState::Damaged;
    return snapshot;
}

LONG CRegistryFile::Update(const std::function<LONG(Key& top)>& change) const {
    if (m_strPath.empty() || m_strPath.back() == '/') return ERROR_CANTWRITE;
    // A file that is there but cannot be read just now (no right to it, a failing disk or network
    // file system, another program's lease) still holds the user's settings; writing would replace
    // them with the little that this change adds. The write fails instead, before anything is
    // created beside the file.
    if (const Snapshot before = Load(); before.state == FileState::Unreadable) return before.error;
    const std::string directory = DirectoryOf(m_strPath);
    if (const LONG error = MakeDirectories(directory); error != ERROR_SUCCESS) return error;

    // flock locks belong to the open file, so threads of one process exclude each other as well as
    // other processes do. The lock file stays; removing it would let two writers lock different files.
    const std::string lockPath = m_strPath + ".lock";
    const CFileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock.Get() < 0) return ErrorFromErrno(errno);
    GiveToFolderOwner(lock.Get(), directory, 1);
    while (::flock(lock.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return ErrorFromErrno(errno);
    }

    Snapshot snapshot = Load();
    if (snapshot.state == FileState::Unreadable) return snapshot.error;
    if (const LONG error = change(snapshot.top); error != ERROR_SUCCESS) return error;
    const std::string text = Format(snapshot.top);
    if (text.size() > kMaxFileSize) return ERROR_CANTWRITE;

    RemoveLeftoverTemporaries(directory, m_strPath);
    std::string temporary = m_strPath + std::string(kTemporaryInfix) + std::string(kTemporaryUniqueLength, 'X');
    CFileDescriptor file(::mkstemp(temporary.data()));
    if (file.Get() < 0) return ErrorFromErrno(errno);
    const auto discard = [&](int error) {
        ::unlink(temporary.c_str());
        return ErrorFromErrno(error);
    };
    GiveToFolderOwner(file.Get(), directory, 1);
    if (::fchmod(file.Get(), 0600) != 0 || !WriteAll(file.Get(), text) || ::fsync(file.Get()) != 0) {
        const int error = errno;
        file.Close();
        return discard(error);
    }
    if (!file.Close()) return discard(errno);

    if (snapshot.state == FileState::Damaged) {
        if (const LONG error = KeepDamagedFile(m_strPath, directory); error != ERROR_SUCCESS) {
            ::unlink(temporary.c_str());
            return error;
        }
    }
    if (::rename(temporary.c_str(), m_strPath.c_str()) != 0) return discard(errno);
    SyncDirectory(directory);
    return ERROR_SUCCESS;
}

std::string RegistryFilePath() {
    {
        const std::lock_guard<std::mutex> guard(PathOverrideMutex());
        if (!PathOverride().empty()) return PathOverride();
    }
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* user = ::getpwuid(::getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        // With no home at all there is nowhere to keep settings: reads give defaults, writes fail.
        if (home == nullptr || home[0] != '/') return std::string();
        base = std::string(home) + "/.config";
    }
    return base + "/orvane/registry.reg";
}

void SetRegistryFilePathForTesting(const std::string& path) {
    const std::lock_guard<std::mutex> guard(PathOverrideMutex());
    PathOverride() = path;
}

void SetFileReadCallsForTesting(const FileReadCalls& calls) {
    const std::lock_guard<std::mutex> guard(PathOverrideMutex());
    ReadCallsOverride() = calls;
}

}  // namespace orvane::regfile

// Keeping the per-user registry file: loading it, locking out rival writers, replacing it atomically
// and keeping a damaged file aside.
#include "platform/linux/RegistryFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace orvane::regfile {

namespace {

// A writer's temporary copy is named <file><kTemporaryInfix> and six random letters or digits.
// The infix keeps the name apart from anything a person would call a copy of the file
// ("registry.reg.backup"), since copies left by killed writers are removed by name.
constexpr std::string_view kTemporaryInfix = ".tmp-";
constexpr std::size_t kTemporaryUniqueLength = 6;

// How long a writer waits for the lock that another running copy holds. A copy stopped in a
// debugger, or a network file system's lock that hangs, must not freeze the window.
constexpr auto kLockWait = std::chrono::seconds(2);

// Outcomes of a walk along the path that no errno names.
constexpr int kUnsafeStep = -2;  // a user's link or folder led into someone else's folder
constexpr int kDangling = -3;    // a link in the path leads nowhere: media not mounted, say

// Why a file that is there could not be read.
LONG ReadErrorFromErrno(int error) {
    switch (error) {
    case kUnsafeStep:
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
    case kUnsafeStep:
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
    CFileDescriptor(CFileDescriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    CFileDescriptor& operator=(CFileDescriptor&& other) noexcept {
        if (this != &other) {
            if (m_fd >= 0) ::close(m_fd);
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }

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

std::string NameOf(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::atomic<StepHook>& StepHookSlot() {
    static std::atomic<StepHook> hook{nullptr};
    return hook;
}

void Step(const std::string& name) {
    if (const StepHook hook = StepHookSlot().load()) hook(name.c_str());
}

constexpr uid_t kNoUser = static_cast<uid_t>(-1);

// A folder held open while the program works in it. The descriptor is an O_PATH one: enough for the
// *at calls and fstat, and it needs no right to list the folder.
struct Folder {
    CFileDescriptor fd{-1};
    struct stat info {};
    uid_t user = kNoUser;  // the user whose folders or links the way here went through, if any
};

// The walk trusts links and folders the way systemd's chase() does with CHASE_SAFE, so that a user
// who owns one step of the path cannot send root into a system folder or another user's. Once the
// way has gone through a user's folder or link, it may pass through root's folders (an absolute
// link of hers starts at /) but enters no other user's, and it creates and ends only in her own.
bool MayEnter(uid_t& user, const struct stat& node) {
    if (node.st_uid == 0) return true;
    if (user != kNoUser && node.st_uid != user) return false;
    user = node.st_uid;
    return true;
}

bool MayWorkIn(const Folder& folder) { return folder.user == kNoUser || folder.info.st_uid == folder.user; }

// The calling thread's file-system identity, lent to the owner of the folders that root works in.
//
// Root that reads or writes another user's settings (started with her HOME, as `sudo -E` does) does
// it as she would: with her user and group for every file-system check, and no supplementary group.
// The kernel then refuses what she could not do herself (a folder of root's swapped in on the way, a
// root-only file that a link of hers names), and what root makes there is hers from the start: a
// ~/.config of root's would break her other programs. This is how Linux's NFS server serves each
// request. The identity is the thread's own: setfsuid() and setfsgid() change only the calling thread,
// and so does the raw setgroups system call (glibc's setgroups() changes every thread of the process).
// Taking a non-root file-system user also drops the file capabilities (CAP_DAC_OVERRIDE, CAP_CHOWN,
// ...) from the thread's effective set until it is given back.
class CFileIdentity {
public:
    CFileIdentity() = default;
    ~CFileIdentity() { GiveBack(); }
    CFileIdentity(const CFileIdentity&) = delete;
    CFileIdentity& operator=(const CFileIdentity&) = delete;

    // Takes `user`'s identity when the thread works as root; a thread that works as anyone else is
    // held by the kernel already. Answers 0, or an errno value when the identity could not be taken:
    // the work must then stop, and the thread gets its own back when the object goes.
    int Take(uid_t user) {
        if (m_taken || user == 0 || user == kNoUser || CurrentUser() != 0) return m_taken && user != m_user ? EPERM : 0;
        const int count = ::getgroups(0, nullptr);
        m_groups.resize(static_cast<std::size_t>(std::max(count, 0)));
        if (count < 0 || ::getgroups(count, m_groups.data()) != count) return errno != 0 ? errno : EPERM;
        m_group = static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1)));
        const gid_t group = PrimaryGroupOf(user);
        m_taken = true;
        m_user = user;
        if (::syscall(SYS_setgroups, 0, nullptr) != 0) return errno;
        ::setfsgid(group);
        ::setfsuid(user);
        // Both calls answer the old value whatever happens; asking again tells whether they took.
        if (CurrentUser() != user || static_cast<gid_t>(::setfsgid(static_cast<gid_t>(-1))) != group) return EPERM;
        return 0;
    }

    // The user who owns what the thread creates now.
    uid_t Owner() const { return m_taken ? m_user : ::geteuid(); }

private:
    static uid_t CurrentUser() { return static_cast<uid_t>(::setfsuid(static_cast<uid_t>(-1))); }

    // Her group from the user database; a user without an entry gets the group with no rights.
    static gid_t PrimaryGroupOf(uid_t user) {
        passwd entry {};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) return found->pw_gid;
        return kNoGroup;
    }

    void GiveBack() {
        if (!m_taken) return;
        m_taken = false;
        ::setfsuid(0);
        ::setfsgid(m_group);
        ::syscall(SYS_setgroups, m_groups.size(), m_groups.data());
    }

    static constexpr gid_t kNoGroup = 65534;
    bool m_taken = false;
    uid_t m_user = kNoUser;
    gid_t m_group = 0;
    std::vector<gid_t> m_groups;
};

// One resolution of the settings file's path, its folders and its name: the identity it works with
// and what is left of its budgets. The kernel follows at most 40 links in one path, and so does the
// walk, counting the links at the file's name with the folders' own. Each step costs the walk two
// system calls where it costs the kernel next to nothing, so the steps are counted too: 40 links of
// PATH_MAX bytes each ("x/../x/..") would make some 80,000 of them, about a second on the window's
// thread for every read, where a real settings path takes a few dozen.
struct Resolution {
    CFileIdentity identity;
    int linksLeft = 40;
    int stepsLeft = 1024;
};

// Steps on to `node` from the way that reached `user`: MayEnter's rule, and once the way is a user's,
// her identity for the rest of it. Answers 0, kUnsafeStep or an errno value.
int Enter(Resolution& resolution, uid_t& user, const struct stat& node) {
    if (!MayEnter(user, node)) return kUnsafeStep;
    return user == kNoUser ? 0 : resolution.identity.Take(user);
}

enum class Walking {
    Existing,        // every folder must be there
    Creating,        // missing folders of the path itself (not of a link's target) are made
    IntoLinkTarget,  // the path is a link's target: a missing folder means the link leads nowhere
};

// Walks `path` one component at a time from the folder `at` holds (from / for an absolute path, from
// the working folder when `at` holds none), never naming a folder twice: every step is an openat()
// relative to the folder held last, and a link is read and followed from there. On success `at`
// holds the folder the path names. Answers 0 or an errno value, kUnsafeStep, or kDangling.
int Walk(const std::string& path, Walking walking, Folder& at, Resolution& resolution) {
    struct Part {
        std::string name;
        bool fromLink;
    };
    std::deque<Part> todo;
    const auto push = [&todo](const std::string& text, bool fromLink) {
        std::deque<Part> parts;
        std::size_t begin = 0;
        while (begin <= text.size()) {
            const std::size_t slash = std::min(text.find('/', begin), text.size());
            if (slash > begin) parts.push_back({text.substr(begin, slash - begin), fromLink});
            begin = slash + 1;
        }
        todo.insert(todo.begin(), parts.begin(), parts.end());
    };
    const auto toRoot = [&at](const char* where) {
        Folder root;
        root.fd = CFileDescriptor(::open(where, O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (root.fd.Get() < 0 || ::fstat(root.fd.Get(), &root.info) != 0) return errno;
        root.user = at.user;
        at = std::move(root);
        return 0;
    };
    if (!path.empty() && path[0] == '/') {
        if (const int error = toRoot("/"); error != 0) return error;
    } else if (at.fd.Get() < 0) {
        if (const int error = toRoot("."); error != 0) return error;
    }
    const bool create = walking == Walking::Creating;
    push(path, walking == Walking::IntoLinkTarget);
    while (!todo.empty()) {
        const Part part = todo.front();
        todo.pop_front();
        if (part.name == ".") continue;
        if (--resolution.stepsLeft < 0) return ELOOP;
        Folder next;
        next.fd = CFileDescriptor(::openat(at.fd.Get(), part.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (next.fd.Get() < 0 && errno == ENOENT && create && !part.fromLink) {
            if (!MayWorkIn(at)) return kUnsafeStep;
            // Made with the identity of the folder's owner: whatever is found at the name next is
            // walked into as she would, so a folder of root's swapped in meanwhile stays shut.
            if (::mkdirat(at.fd.Get(), part.name.c_str(), 0700) == 0) {
                Step(part.name);
            } else if (errno != EEXIST) {
                return errno;
            }
            next.fd = CFileDescriptor(::openat(at.fd.Get(), part.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        }
        if (next.fd.Get() < 0) return (errno == ENOENT || errno == ENOTDIR) && part.fromLink ? kDangling : errno;
        Step(part.name);
        if (::fstat(next.fd.Get(), &next.info) != 0) return errno;
        next.user = at.user;
        if (const int error = Enter(resolution, next.user, next.info); error != 0) return error;
        if (S_ISLNK(next.info.st_mode)) {
            at.user = next.user;
            if (--resolution.linksLeft < 0) return ELOOP;
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(next.fd.Get(), "", target, sizeof target);
            if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return length < 0 ? errno : ENAMETOOLONG;
            const std::string text(target, static_cast<std::size_t>(length));
            if (text[0] == '/') {
                if (const int error = toRoot("/"); error != 0) return error;
            }
            push(text, true);
            continue;
        }
        if (!S_ISDIR(next.info.st_mode)) return part.fromLink ? kDangling : ENOTDIR;
        at = std::move(next);
    }
    return MayWorkIn(at) ? 0 : kUnsafeStep;
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

// Keeps the damaged file under a new name while it still stands at `name`, so that a reader never
// finds the path empty. A hard link does that; where links are not supported the file is moved
// instead, just before the new one takes its place. The backup keeps the damaged file's owner: root
// cannot tell a file of its own left there from a system file that a user linked in its place.
LONG KeepDamagedFile(const Folder& folder, const std::string& name) {
    char stamp[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm utc {};
    ::gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = name + ".damaged-" + stamp;
    const int fd = folder.fd.Get();
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string backup = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (::linkat(fd, name.c_str(), fd, backup.c_str(), 0) == 0) {
            Step(backup);
            return ERROR_SUCCESS;
        }
        if (errno == EEXIST) continue;
        if (errno == ENOENT) return ERROR_SUCCESS;  // nothing left to keep
        struct stat info {};
        if (::fstatat(fd, backup.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) continue;
        if (::renameat(fd, name.c_str(), fd, backup.c_str()) == 0) return ERROR_SUCCESS;
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

// Removes the temporary copies of `fileName` that writers killed before their rename left behind. A
// writer makes its copy only while holding the lock, so to the holder of the lock every copy it
// finds is a dead writer's. Failures are ignored: a copy left now is removed by a later write.
void RemoveLeftoverTemporaries(const Folder& folder, const std::string& fileName, uid_t owner) {
    const int fd = ::openat(folder.fd.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (listing == nullptr) {
        if (fd >= 0) ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(listing)) {
        if (!IsTemporaryName(entry->d_name, fileName)) continue;
        // A copy is a plain file of the user whose identity writes; anything else of that name is not ours.
        struct stat info {};
        if (::fstatat(::dirfd(listing), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            info.st_uid == owner) {
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
        }
    }
    ::closedir(listing);
}

// Makes a new temporary copy's name beside `fileName` and creates it with O_EXCL, so that the file
// opened is surely the one just made. Answers the descriptor, or -1 with errno.
int CreateTemporary(const Folder& folder, const std::string& fileName, std::string& temporary) {
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 random{std::random_device{}() ^
                                        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count())};
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = fileName + std::string(kTemporaryInfix);
        for (std::size_t i = 0; i < kTemporaryUniqueLength; ++i) temporary += kLetters[random() % (sizeof kLetters - 1)];
        const int fd = ::openat(folder.fd.Get(), temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

void SyncFolder(const Folder& folder) {
    const CFileDescriptor fd(::openat(folder.fd.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Get() >= 0) ::fsync(fd.Get());
}

// A lock file, by device and inode.
using FileId = std::pair<dev_t, ino_t>;

// What this process's writers do with each lock file, guarded by `mutex`.
struct LockUsers {
    std::mutex mutex;
    std::condition_variable changed;
    std::set<FileId> working;  // a writer of this process has its turn at the lock file
    std::set<FileId> waiting;  // a thread of this process waits in flock() for it
};

LockUsers& Users() {
    static LockUsers users;
    return users;
}

// A writer's turn at a lock file among the writers of this process, held for its whole write. One
// at a time takes its turn, so that at most one thread of the process ever waits in flock() for a
// lock file; and while a wait that was given up still goes on (another copy has held the lock for
// long, stopped in a debugger, say), no turn is given: every write fails at once instead of leaving
// one more thread and descriptor behind.
class CLockTurn {
public:
    CLockTurn(FileId file, std::chrono::steady_clock::time_point deadline) : m_file(file) {
        LockUsers& users = Users();
        std::unique_lock<std::mutex> guard(users.mutex);
        if (users.changed.wait_until(guard, deadline, [&] { return users.working.count(file) == 0; }) && users.waiting.count(file) == 0) {
            m_held = users.working.insert(file).second;
        }
    }
    ~CLockTurn() {
        if (!m_held) return;
        const std::lock_guard<std::mutex> guard(Users().mutex);
        Users().working.erase(m_file);
        Users().changed.notify_all();
    }
    CLockTurn(const CLockTurn&) = delete;
    CLockTurn& operator=(const CLockTurn&) = delete;

    bool Held() const { return m_held; }

private:
    FileId m_file;
    bool m_held = false;
};

// Takes the lock on `fd`, the lock file `file`, waiting until `deadline` while another copy holds it.
// The wait is a blocking flock() on a thread of its own, so that waiting writers queue in the kernel
// as they would without a limit (polling with LOCK_NB lets a busy writer take the lock back again and
// again before a waiter looks). The thread waits on a second descriptor of the same open file, which
// holds the same lock. A wait given up goes on until the lock comes free, then lets go at once: its
// descriptor is by then the last one of that open file. The caller holds its turn (CLockTurn).
LONG TakeLock(int fd, FileId file, std::chrono::steady_clock::time_point deadline) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return ERROR_SUCCESS;
    if (errno != EWOULDBLOCK && errno != EINTR) return ErrorFromErrno(errno);
    struct Wait {
        bool done = false;
        int error = 0;
    };
    const auto wait = std::make_shared<Wait>();
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0) return ErrorFromErrno(errno);
    LockUsers& users = Users();
    std::unique_lock<std::mutex> guard(users.mutex);
    try {
        std::thread([wait, copy, file] {
            int error = 0;
            while (::flock(copy, LOCK_EX) != 0) {
                if (errno == EINTR) continue;
                error = errno;
                break;
            }
            // Closing the second descriptor leaves the lock to the first, or drops a lock given up.
            ::close(copy);
            const std::lock_guard<std::mutex> ended(Users().mutex);
            Users().waiting.erase(file);
            wait->done = true;
            wait->error = error;
            Users().changed.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        ::close(copy);
        return ERROR_OUTOFMEMORY;
    }
    users.waiting.insert(file);
    if (!users.changed.wait_until(guard, deadline, [&] { return wait->done; })) return ERROR_SHARING_VIOLATION;
    return wait->error == 0 ? ERROR_SUCCESS : ErrorFromErrno(wait->error);
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
    if (calls.open == nullptr) calls.open = [](int folder, const char* name, int flags) { return ::openat(folder, name, flags); };
    if (calls.read == nullptr) calls.read = ::read;
    return calls;
}

Snapshot Unreadable(int error) {
    Snapshot snapshot;
    snapshot.state = FileState::Unreadable;
    snapshot.error = ReadErrorFromErrno(error);
    return snapshot;
}

// Reads the file `name` in the folder `start` holds. A link there is followed the way the folders
// were, and only to a plain file: nothing else is ever opened, so that a link to a device cannot
// make root open it. The links at the name draw on the same budget and owner rule as the folders'.
Snapshot LoadIn(const Folder& start, std::string name, Resolution& resolution) {
    const FileReadCalls calls = ReadCalls();
    Folder at;
    at.fd = CFileDescriptor(::fcntl(start.fd.Get(), F_DUPFD_CLOEXEC, 0));
    at.info = start.info;
    at.user = start.user;
    if (at.fd.Get() < 0) return Unreadable(errno);
    Snapshot snapshot;
    CFileDescriptor fd(-1);
    struct stat info {};
    bool followed = false;
    for (int vanished = 0;;) {
        const CFileDescriptor found(::openat(at.fd.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        // A link that leads nowhere (media not mounted, say) may still stand for the settings: it
        // reads as unreadable, so that no write puts a new file in its place.
        if (found.Get() < 0) return errno != ENOENT && errno != ENOTDIR ? Unreadable(errno) : followed ? Unreadable(kDangling) : snapshot;
        Step(name);
        if (::fstat(found.Get(), &info) != 0) return Unreadable(errno);
        if (S_ISLNK(info.st_mode)) {
            if (const int error = Enter(resolution, at.user, info); error != 0) return Unreadable(error);
            followed = true;
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(found.Get(), "", target, sizeof target);
            if (--resolution.linksLeft < 0 || length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return Unreadable(length < 0 ? errno : ELOOP);
            const std::string text(target, static_cast<std::size_t>(length));
            const std::size_t slash = text.find_last_of('/');
            name = slash == std::string::npos ? text : text.substr(slash + 1);
            if (name.empty()) name = ".";
            if (slash != std::string::npos) {
                if (const int error = Walk(text.substr(0, slash + 1), Walking::IntoLinkTarget, at, resolution); error != 0) return Unreadable(error);
            }
            continue;
        }
        if (!MayWorkIn(at)) return Unreadable(kUnsafeStep);
        snapshot.state = FileState::Damaged;
        if (!S_ISREG(info.st_mode)) return snapshot;
        // O_NONBLOCK: nothing may stall the program. Another program's lease on the file makes the
        // open fail with EWOULDBLOCK instead of waiting until that program gives the lease up, and
        // a FIFO put in the file's place since it was looked at is then no file.
        fd = CFileDescriptor(calls.open(at.fd.Get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
        if (fd.Get() >= 0) break;
        // Moved aside or replaced by a link since it was looked at: look again.
        if ((errno != ENOENT && errno != ELOOP) || ++vanished > 3) return Unreadable(errno);
        snapshot.state = FileState::Missing;
    }
    if (::fstat(fd.Get(), &info) != 0) return Unreadable(errno);
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

}  // namespace

CRegistryFile::CRegistryFile(std::string path) : m_strPath(std::move(path)) {}

Snapshot CRegistryFile::Load() const {
    if (m_strPath.empty()) return Snapshot();
    Resolution resolution;
    Folder folder;
    const int error = Walk(DirectoryOf(m_strPath), Walking::Existing, folder, resolution);
    if (error == ENOENT || error == ENOTDIR) return Snapshot();
    if (error != 0) return Unreadable(error);
    return LoadIn(folder, NameOf(m_strPath), resolution);
}

LONG CRegistryFile::Update(const std::function<LONG(Key& top)>& change) const {
    if (m_strPath.empty() || m_strPath.back() == '/') return ERROR_CANTWRITE;
    // A file that is there but cannot be read just now (no right to it, a failing disk or network
    // file system, another program's lease) still holds the user's settings; writing would replace
    // them with the little that this change adds. The write fails instead, before anything is
    // created beside the file.
    if (const Snapshot before = Load(); before.state == FileState::Unreadable) return before.error;
    const std::string name = NameOf(m_strPath);
    // Everything from here on, the lock, the temporary copy, the backup and the rename included, is
    // done with the identity that the walk took in a user's folders.
    Resolution resolution;
    Folder folder;
    if (const int error = Walk(DirectoryOf(m_strPath), Walking::Creating, folder, resolution); error != 0) return ErrorFromErrno(error);

    // flock locks belong to the open file, so threads of one process exclude each other as well as
    // other processes do. The lock file stays; removing it would let two writers lock different files.
    // Nothing is written to it, and flock needs no more than a read-only descriptor.
    const std::string lockName = name + ".lock";
    CFileDescriptor lock(::openat(folder.fd.Get(), lockName.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC, 0600));
    if (lock.Get() < 0) return ErrorFromErrno(errno);
    Step(lockName);
    struct stat lockInfo {};
    if (::fstat(lock.Get(), &lockInfo) != 0) return ErrorFromErrno(errno);
    const FileId lockId{lockInfo.st_dev, lockInfo.st_ino};
    const auto deadline = std::chrono::steady_clock::now() + kLockWait;
    const CLockTurn turn(lockId, deadline);
    if (!turn.Held()) return ERROR_SHARING_VIOLATION;
    if (const LONG error = TakeLock(lock.Get(), lockId, deadline); error != ERROR_SUCCESS) return error;

    Snapshot snapshot = LoadIn(folder, name, resolution);
    if (snapshot.state == FileState::Unreadable) return snapshot.error;
    if (const LONG error = change(snapshot.top); error != ERROR_SUCCESS) return error;
    const std::string text = Format(snapshot.top);
    if (text.size() > kMaxFileSize) return ERROR_CANTWRITE;

    RemoveLeftoverTemporaries(folder, name, resolution.identity.Owner());
    std::string temporary;
    CFileDescriptor file(CreateTemporary(folder, name, temporary));
    if (file.Get() < 0) return ErrorFromErrno(errno);
    Step(temporary);
    const auto discard = [&](int error) {
        ::unlinkat(folder.fd.Get(), temporary.c_str(), 0);
        return ErrorFromErrno(error);
    };
    if (::fchmod(file.Get(), 0600) != 0 || !WriteAll(file.Get(), text) || ::fsync(file.Get()) != 0) {
        const int error = errno;
        file.Close();
        return discard(error);
    }
    if (!file.Close()) return discard(errno);

    if (snapshot.state == FileState::Damaged) {
        if (const LONG error = KeepDamagedFile(folder, name); error != ERROR_SUCCESS) {
            ::unlinkat(folder.fd.Get(), temporary.c_str(), 0);
            return error;
        }
    }
    if (::renameat(folder.fd.Get(), temporary.c_str(), folder.fd.Get(), name.c_str()) != 0) return discard(errno);
    SyncFolder(folder);
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

void SetStepHookForTesting(StepHook hook) { StepHookSlot().store(hook); }

void SetFileReadCallsForTesting(const FileReadCalls& calls) {
    const std::lock_guard<std::mutex> guard(PathOverrideMutex());
    ReadCallsOverride() = calls;
}

}  // namespace orvane::regfile

// The per-user registry file on Linux: the key tree kept in a file of registry export text
// (platform/linux/RegistryText.h).
//
// Nothing is cached: every read loads the file afresh, and every change is a read-modify-write under
// a lock shared with the other running copies of the program, written through a temporary file that
// replaces the old one in one rename.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <string>

#include "platform/linux/RegistryText.h"

namespace orvane::regfile {

enum class FileState {
    Missing,     // no file yet
    Sound,       // read and understood in full
    Unreadable,  // there, but it could not be opened or read just now: no right to it, a disk or
                 // network file system that fails, another program's lease, a link that leads
                 // nowhere or out of a user's folders into someone else's. It is left as it is.
    Damaged,     // read, but no registry file (or no plain file at all), too large, or with lines
                 // that were skipped
};

struct Snapshot {
    Key top;  // what could be read; empty when the file is missing, unreadable or not a registry file
    FileState state = FileState::Missing;
    LONG error = ERROR_SUCCESS;  // for an unreadable file, why: ERROR_ACCESS_DENIED,
                                 // ERROR_SHARING_VIOLATION (a lease), ERROR_CANTREAD (the disk)
};

class CRegistryFile {
public:
    explicit CRegistryFile(std::string path);

    // The file's content as it is now.
    Snapshot Load() const;

    // Runs `change` on the current content while holding the lock that serialises writers, and when
    // it answers ERROR_SUCCESS writes the result atomically. The folder (and any missing folder
    // above it) is created owner-only, as is the file. A damaged file is kept beside the new one as
    // <file>.damaged-<UTC time> instead of being lost. An unreadable file makes the write fail with
    // the snapshot's error before `change` runs, and nothing is created or changed; so does a path
    // whose links lead from a user's folder into someone else's (ERROR_ACCESS_DENIED). A lock that
    // another writer holds for more than about 2 seconds makes the write fail with
    // ERROR_SHARING_VIOLATION, and so does every write while this process still waits for that lock.
    // Answers `change`'s error, or the error that stopped the write (the old file then stays as it
    // was).
    //
    // Root whose path leads into a folder of another user's (started with her HOME, as `sudo -E`
    // does) loads and writes there with her file-system identity, on the calling thread only: what
    // she could not read or make, root does not either, what it makes is hers, and nothing ever
    // changes owner. The path's links, the file's name included, count against one budget of 40.
    LONG Update(const std::function<LONG(Key& top)>& change) const;

    const std::string& Path() const { return m_strPath; }

private:
    std::string m_strPath;
};

// $XDG_CONFIG_HOME/orvane/registry.reg, or ~/.config/orvane/registry.reg when XDG_CONFIG_HOME is
// unset or not absolute; the path that tests put in place instead, when they have.
std::string RegistryFilePath();

// Makes the native registry keep its tree in `path` (an empty path restores the user's own file).
// For tests and benchmarks, which must never touch the user's settings.
void SetRegistryFilePathForTesting(const std::string& path);

// The system calls through which the file is read; members left null are the system's own. Tests put
// failing ones in place to stand for a disk or a network file system that fails (EIO, ESTALE).
struct FileReadCalls {
    int (*open)(int folder, const char* name, int flags) = nullptr;  // as openat()
    ssize_t (*read)(int fd, void* buffer, std::size_t size) = nullptr;
};
void SetFileReadCallsForTesting(const FileReadCalls& calls);

// Called with a name each time the file's path has just been opened or created one step further: a
// folder or link on the way, the file itself, its lock, a temporary copy, a damaged file's backup.
// Tests move or relink names from it, at the very moment a user racing the program could. Null (the
// default) calls nothing.
using StepHook = void (*)(const char* name);
void SetStepHookForTesting(StepHook hook);

}  // namespace orvane::regfile

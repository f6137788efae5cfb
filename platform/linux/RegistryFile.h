// The per-user registry file on Linux: the key tree kept in a file of registry export text
// (platform/linux/RegistryText.h).
//
// Nothing is cached: every read loads the file afresh, and every change is a read-modify-write under
// a lock shared with the other running copies of the program, written through a temporary file that
// replaces the old one in one rename.
#pragma once

#include <functional>
#include <string>

#include "platform/linux/RegistryText.h"

namespace orvane::regfile {

enum class FileState {
    Missing,  // no file yet
    Sound,    // read and understood in full
    Damaged,  // unreadable, not a registry file, or with lines that were skipped
};

struct Snapshot {
    Key top;  // what could be read; empty when the file is missing or not a registry file
    FileState state = FileState::Missing;
};

class CRegistryFile {
public:
    explicit CRegistryFile(std::string path);

    // The file's content as it is now.
    Snapshot Load() const;

    // Runs `change` on the current content while holding the lock that serialises writers, and when
    // it answers ERROR_SUCCESS writes the result atomically. The folder (and any missing folder
    // above it) is created owner-only, as is the file. A damaged file is kept beside the new one as
    // <file>.damaged-<UTC time> instead of being lost. Answers `change`'s error, or the error that
    // stopped the write (the old file then stays as it was).
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

}  // namespace orvane::regfile

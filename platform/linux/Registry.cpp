// The registry on Linux: HKEY_CURRENT_USER kept in the per-user registry file.
#include "platform/linux/PlatformServices.h"

#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/linux/RegistryFile.h"

namespace orvane {

namespace {

using regfile::CRegistryFile;
using regfile::Key;
using regfile::KeyPath;

constexpr char kCurrentUser[] = "HKEY_CURRENT_USER";

// The tree as it is now. HKEY_CURRENT_USER\Software exists in every Windows profile before any
// program runs; here it exists whether or not the file has it, so that a new user's first write
// can create what lies below it. `missing` is what a key or value not found in the tree answers:
// ERROR_FILE_NOT_FOUND, or why the file could not be read just now, when it could not.
Key LoadTree(const CRegistryFile& file, LONG& missing) {
    regfile::Snapshot snapshot = file.Load();
    missing = snapshot.state == regfile::FileState::Unreadable ? snapshot.error : ERROR_FILE_NOT_FOUND;
    regfile::CreateKey(snapshot.top, {kCurrentUser, "Software"});
    return std::move(snapshot.top);
}

}  // namespace

std::optional<KeyPath> CFileRegistry::PathOf(HKEY key) {
    // The other predefined roots (HKEY_LOCAL_MACHINE, ...) are not kept here and are no handles.
    if (key == HKEY_CURRENT_USER) return KeyPath{kCurrentUser};
    const std::lock_guard<std::mutex> guard(m_mutex);
    const auto found = m_handles.find(key);
    if (found == m_handles.end()) return std::nullopt;
    return found->second;
}

HKEY CFileRegistry::NewHandle(KeyPath path) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    const HKEY handle = m_nextHandle;
    m_nextHandle += 4;
    m_handles.emplace(handle, std::move(path));
    return handle;
}

LONG CFileRegistry::RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD /*access*/, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = 0;
    std::optional<KeyPath> path = PathOf(key);
    if (!path) return ERROR_INVALID_HANDLE;
    // As on Windows, an empty subkey name opens the key itself once more.
    if (!subKey.empty()) {
        if (!regfile::IsValidKeyName(subKey)) return ERROR_FILE_NOT_FOUND;
        path->push_back(subKey);
    }
    const CRegistryFile file(regfile::RegistryFilePath());
    LONG missing = ERROR_FILE_NOT_FOUND;
    if (regfile::FindKey(LoadTree(file, missing), *path) == nullptr) return missing;
    *result = NewHandle(std::move(*path));
    return ERROR_SUCCESS;
}

LONG CFileRegistry::RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD /*access*/, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    *result = 0;
    std::optional<KeyPath> path = PathOf(key);
    if (!path) return ERROR_INVALID_HANDLE;
    if (!subKey.empty()) {
        if (!regfile::IsValidKeyName(subKey) || path->size() >= regfile::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
        path->push_back(subKey);
    }
    const CRegistryFile file(regfile::RegistryFilePath());
    // An existing key costs no write, so reading settings leaves the file alone once the path is there.
    // A file that cannot be read just now makes the write, and so the creation, fail.
    LONG missing = ERROR_FILE_NOT_FOUND;
    if (regfile::FindKey(LoadTree(file, missing), *path) == nullptr) {
        const LONG error = file.Update([&](Key& top) {
            regfile::CreateKey(top, *path);
            return ERROR_SUCCESS;
        });
        if (error != ERROR_SUCCESS) return error;
    }
    *result = NewHandle(std::move(*path));
    return ERROR_SUCCESS;
}

LONG CFileRegistry::RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, BYTE* data, DWORD* size) {
    if (data != nullptr && size == nullptr) return ERROR_INVALID_PARAMETER;
    const std::optional<KeyPath> path = PathOf(key);
    if (!path) return ERROR_INVALID_HANDLE;
    LONG missing = ERROR_FILE_NOT_FOUND;
    const Key top = LoadTree(CRegistryFile(regfile::RegistryFilePath()), missing);
    const Key* found = regfile::FindKey(top, *path);
    const regfile::Value* value = found != nullptr ? regfile::FindValue(*found, valueName) : nullptr;
    if (value == nullptr) return missing;

    // The file's size limit keeps every value far below 4 GiB.
    return AnswerValueQuery(value->type, value->data, type, data, size);
}

LONG CFileRegistry::RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const BYTE* data, DWORD size) {
    if ((data == nullptr && size != 0) || !regfile::IsValidValueName(valueName)) return ERROR_INVALID_PARAMETER;
    const std::optional<KeyPath> path = PathOf(key);
    if (!path) return ERROR_INVALID_HANDLE;
    regfile::Value value{valueName, type, std::vector<BYTE>(data, data + size)};
    // A key that vanished from the file since it was opened (the file was replaced by hand) is made
    // again: the handle still names it.
    return CRegistryFile(regfile::RegistryFilePath()).Update([&](Key& top) {
        regfile::SetValue(regfile::CreateKey(top, *path), std::move(value));
        return ERROR_SUCCESS;
    });
}

LONG CFileRegistry::RegCloseKey(HKEY key) {
    if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
    const std::lock_guard<std::mutex> guard(m_mutex);
    return m_handles.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace orvane

// A registry in memory that records every call, tracks open handles and can be told to refuse keys.
#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace orvane::test {

class FakeRegistry : public IRegistry {
public:
    struct StoredValue {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };

    struct Call {
        std::string operation;  // "open", "create", "query", "set", "close"
        std::string path;       // the key operated on, or opened or created
        std::string valueName;  // for "query" and "set"
        DWORD access = 0;       // for "open" and "create"
    };

    static constexpr char kCurrentUser[] = "HKEY_CURRENT_USER";
    static constexpr char kSoftware[] = "HKEY_CURRENT_USER\\Software";

    FakeRegistry() {
        keys[kCurrentUser];
        keys[kSoftware];
    }

    // Key paths are full ("HKEY_CURRENT_USER\\Software\\..."), spelled as the program spells them.
    std::map<std::string, std::map<std::string, StoredValue>> keys;
    std::set<std::string> refuseCreate;  // paths whose creation fails with ERROR_ACCESS_DENIED
    bool refuseSet = false;              // every RegSetValueEx fails with ERROR_ACCESS_DENIED
    std::function<void()> beforeQuery;   // runs at the start of every RegQueryValueEx
    std::vector<Call> calls;

    void Put(const std::string& path, const std::string& name, DWORD type, std::vector<BYTE> data) {
        keys[path][name] = StoredValue{type, std::move(data)};
    }

    const StoredValue* Find(const std::string& path, const std::string& name) const {
        const auto key = keys.find(path);
        if (key == keys.end()) return nullptr;
        const auto value = key->second.find(name);
        return value == key->second.end() ? nullptr : &value->second;
    }

    std::size_t OpenHandles() const { return handles_.size(); }

    std::vector<std::string> Operations() const {
        std::vector<std::string> result;
        for (const Call& call : calls) result.push_back(call.operation);
        return result;
    }

    LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) override {
        const std::string path = Child(key, subKey);
        calls.push_back({"open", path, "", access});
        *result = 0;
        if (path.empty()) return ERROR_INVALID_HANDLE;
        if (keys.count(path) == 0) return ERROR_FILE_NOT_FOUND;
        *result = NewHandle(path);
        return ERROR_SUCCESS;
    }

    LONG RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) override {
        const std::string path = Child(key, subKey);
        calls.push_back({"create", path, "", access});
        *result = 0;
        if (path.empty()) return ERROR_INVALID_HANDLE;
        if (refuseCreate.count(path) != 0) return ERROR_ACCESS_DENIED;
        keys[path];
        *result = NewHandle(path);
        return ERROR_SUCCESS;
    }

    LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, BYTE* data, DWORD* size) override {
        if (beforeQuery) beforeQuery();
        const auto handle = handles_.find(key);
        calls.push_back({"query", handle == handles_.end() ? "" : handle->second, valueName, 0});
        if (handle == handles_.end()) return ERROR_INVALID_HANDLE;
        const StoredValue* value = Find(handle->second, valueName);
        if (value == nullptr) return ERROR_FILE_NOT_FOUND;
        return AnswerValueQuery(value->type, value->data, type, data, size);
    }

    LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const BYTE* data, DWORD size) override {
        const auto handle = handles_.find(key);
        calls.push_back({"set", handle == handles_.end() ? "" : handle->second, valueName, 0});
        if (handle == handles_.end()) return ERROR_INVALID_HANDLE;
        if (refuseSet) return ERROR_ACCESS_DENIED;
        Put(handle->second, valueName, type, std::vector<BYTE>(data, data + size));
        return ERROR_SUCCESS;
    }

    LONG RegCloseKey(HKEY key) override {
        if (key == HKEY_CURRENT_USER) return ERROR_SUCCESS;
        const auto handle = handles_.find(key);
        calls.push_back({"close", handle == handles_.end() ? "" : handle->second, "", 0});
        if (handle == handles_.end()) return ERROR_INVALID_HANDLE;
        handles_.erase(handle);
        return ERROR_SUCCESS;
    }

private:
    std::string Child(HKEY key, const std::string& subKey) const {
        std::string parent;
        if (key == HKEY_CURRENT_USER) {
            parent = kCurrentUser;
        } else {
            const auto handle = handles_.find(key);
            if (handle == handles_.end()) return std::string();
            parent = handle->second;
        }
        return subKey.empty() ? parent : parent + "\\" + subKey;
    }

    HKEY NewHandle(const std::string& path) {
        const HKEY handle = next_++;
        handles_[handle] = path;
        return handle;
    }

    std::map<HKEY, std::string> handles_;
    HKEY next_ = 0x40;
};

}  // namespace orvane::test

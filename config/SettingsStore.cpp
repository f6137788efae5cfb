// The settings store over the platform registry.
#include "config/SettingsStore.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "platform/Seam.h"

namespace orvane {

namespace {

// Every key is opened for reading and writing alike; a key that refuses either is no key for us.
constexpr DWORD kKeyAccess = KEY_READ | KEY_WRITE;

// Closes the key it holds, also when a registry call throws on the way (out of memory).
class CKeyHolder {
public:
    explicit CKeyHolder(HKEY key) : m_key(key) {}
    ~CKeyHolder() {
        if (m_key != 0) Seam<IRegistry>::Get().RegCloseKey(m_key);
    }
    CKeyHolder(const CKeyHolder&) = delete;
    CKeyHolder& operator=(const CKeyHolder&) = delete;

    HKEY Get() const { return m_key; }
    HKEY Release() {
        const HKEY key = m_key;
        m_key = 0;
        return key;
    }

private:
    HKEY m_key;
};

// Creates or opens `name` below `parent`; 0 when that fails.
HKEY CreateSubKey(HKEY parent, const std::string& name) {
    HKEY key = 0;
    if (Seam<IRegistry>::Get().RegCreateKeyEx(parent, name, kKeyAccess, &key) != ERROR_SUCCESS) return 0;
    return key;
}

}  // namespace

void CSettingsStore::SetKeyNames(const std::string& makerKey, const std::string& applicationName) {
    m_strMakerKey = makerKey;
    m_strAppName = applicationName;
}

HKEY CSettingsStore::OpenAppKey() const {
    // Software belongs to the user's profile: it is opened, never created, so a profile without it
    // leaves the store empty instead of growing a tree of its own.
    HKEY software = 0;
    if (Seam<IRegistry>::Get().RegOpenKeyEx(HKEY_CURRENT_USER, "Software", kKeyAccess, &software) != ERROR_SUCCESS) {
        return 0;
    }
    const CKeyHolder softwareKey(software);
    const CKeyHolder makerKey(CreateSubKey(softwareKey.Get(), m_strMakerKey));
    if (makerKey.Get() == 0) return 0;
    return CreateSubKey(makerKey.Get(), m_strAppName);
}

HKEY CSettingsStore::OpenSectionKey(const std::string& section) const {
    const CKeyHolder appKey(OpenAppKey());
    if (appKey.Get() == 0) return 0;
    return CreateSubKey(appKey.Get(), section);
}

std::uint32_t CSettingsStore::GetInt(const std::string& section, const std::string& valueName,
                                     std::int32_t defaultValue) const {
    const auto fallback = static_cast<std::uint32_t>(defaultValue);
    const CKeyHolder key(OpenSectionKey(section));
    if (key.Get() == 0) return fallback;

    BYTE data[4] = {};
    DWORD size = sizeof data;
    const LONG result = Seam<IRegistry>::Get().RegQueryValueEx(key.Get(), valueName, nullptr, data, &size);
    // Data of fewer than 4 bytes holds no whole integer. The Windows call succeeds on it and leaves
    // the rest of the buffer as it was, which would make the answer depend on our buffer's old bytes;
    // the caller's default is the one answer that does not.
    if (result != ERROR_SUCCESS || size != sizeof data) return fallback;
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

std::string CSettingsStore::GetString(const std::string& section, const std::string& valueName,
                                      const std::string& defaultValue) const {
    const CKeyHolder key(OpenSectionKey(section));
    if (key.Get() == 0) return defaultValue;

    IRegistry& registry = Seam<IRegistry>::Get();
    DWORD size = 0;
    if (registry.RegQueryValueEx(key.Get(), valueName, nullptr, nullptr, &size) != ERROR_SUCCESS) return defaultValue;

    // One byte more than the data, zero, so that data without a terminating zero still ends. Another
    // copy may grow the value between the two queries; the second one then fails and the default stands.
    std::vector<BYTE> buffer(static_cast<std::size_t>(size) + 1, 0);
    if (registry.RegQueryValueEx(key.Get(), valueName, nullptr, buffer.data(), &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    const auto end = std::find(buffer.begin(), buffer.end(), BYTE{0});
    return std::string(buffer.begin(), end);
}

bool CSettingsStore::WriteInt(const std::string& section, const std::string& valueName, std::int32_t value) const {
    const CKeyHolder key(OpenSectionKey(section));
    if (key.Get() == 0) return false;

    const auto bits = static_cast<std::uint32_t>(value);
    const BYTE data[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8), static_cast<BYTE>(bits >> 16),
                          static_cast<BYTE>(bits >> 24)};
    return Seam<IRegistry>::Get().RegSetValueEx(key.Get(), valueName, REG_DWORD, data, sizeof data) == ERROR_SUCCESS;
}

bool CSettingsStore::WriteString(const std::string& section, const std::string& valueName,
                                 const std::string& text) const {
    // The size travels as a DWORD; a text that does not fit cannot be stored.
    if (text.size() >= std::numeric_limits<DWORD>::max()) return false;
    const CKeyHolder key(OpenSectionKey(section));
    if (key.Get() == 0) return false;

    // c_str() carries the terminating zero, which is part of a REG_SZ's data.
    const auto size = static_cast<DWORD>(text.size() + 1);
    return Seam<IRegistry>::Get().RegSetValueEx(key.Get(), valueName, REG_SZ,
                                                 reinterpret_cast<const BYTE*>(text.c_str()), size) == ERROR_SUCCESS;
}

CSettingsStore& AppSettings() {
    static CSettingsStore store;
    return store;
}

}  // namespace orvane

// The settings store: per-user integers and strings in the registry, addressed by section and value name.
//
// Values live under HKEY_CURRENT_USER\Software\<maker>\<application>\<section>. The store keeps no
// key open and no value cached: every operation opens the chain of keys afresh, does its one read or
// write and closes every key it opened, so several running copies always see each other's last
// write. Reads answer the caller's default when anything is missing; writes answer false when the
// value could not be stored. Only the user-interface thread uses the store.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Registry.h"

namespace orvane {

class CSettingsStore {
public:
    // Names the maker key ("Quintarro") and the application key. Start-up calls it once, before any
    // other operation; until then the store addresses keys with empty names.
    void SetKeyNames(const std::string& makerKey, const std::string& applicationName);

    // The 32-bit value stored under `valueName`, least significant byte first, whatever its type;
    // `defaultValue` (as unsigned) when the value is missing or its data is not exactly 4 bytes long.
    std::uint32_t GetInt(const std::string& section, const std::string& valueName, std::int32_t defaultValue) const;

    // The value's bytes up to its first zero byte, whatever its type; `defaultValue` when the value is
    // missing. A value with no data reads as the empty string.
    std::string GetString(const std::string& section, const std::string& valueName,
                          const std::string& defaultValue) const;

    // Stores a REG_DWORD (4 bytes) or a REG_SZ (the text and one zero byte), replacing a value of any
    // type. True when the value was stored.
    bool WriteInt(const std::string& section, const std::string& valueName, std::int32_t value) const;
    bool WriteString(const std::string& section, const std::string& valueName, const std::string& text) const;

private:
    // The application key, created with the maker key when missing; 0 when it cannot be had. The
    // caller closes the key it gets.
    HKEY OpenAppKey() const;
    // The section key below the application key, created when missing; 0 when it cannot be had.
    HKEY OpenSectionKey(const std::string& section) const;

    std::string m_strMakerKey;
    std::string m_strAppName;
};

// The process's one store. The application object names its keys at start-up.
CSettingsStore& AppSettings();

}  // namespace orvane

// The Linux implementations of the services below the windows: the clock, the local time, the
// registry file, libcurl, the linked resources and the process. Each is an object of its own, so
// that a test can build and install exactly the real services it drives (platform/Seam.h); the
// program installs them all through CLinuxServices (platform/linux/Services.h).
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Clock.h"
#include "platform/Internet.h"
#include "platform/LocalTime.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Resources.h"

namespace orvane {

// The machine's clock: clock_settime when the process may, else systemd-timedated, whose NTP and
// NTPSynchronized properties give the automatic synchronisation's state. Tests never install it in
// a process that may set the clock (test_timedated drives it as an unprivileged user).
class CLinuxClock final : public IClock {
public:
    bool SetSystemTime(const SYSTEMTIME& time) override;
    AutomaticSync AutomaticSyncState() override;
    SuspendedSetOutcome SetSystemTimeSuspendingSync(const SYSTEMTIME& time) override;
};

// The clock read now, written in the user's locale.
class CLinuxLocalTime final : public ILocalTime {
public:
    std::string CurrentDateTimeText() override;
};

// HKEY_CURRENT_USER kept in the per-user registry file. A handle names a key by its path; the key
// itself is looked up in the file at every use, so a handle stays valid while other copies of the
// program rewrite the file.
class CFileRegistry final : public IRegistry {
public:
    LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) override;
    LONG RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) override;
    LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, BYTE* data, DWORD* size) override;
    LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const BYTE* data, DWORD size) override;
    LONG RegCloseKey(HKEY key) override;

private:
    using KeyPath = std::vector<std::string>;
    std::optional<KeyPath> PathOf(HKEY key);
    HKEY NewHandle(KeyPath path);

    std::mutex m_mutex;
    std::unordered_map<HKEY, KeyPath> m_handles;
    // Counts up from well below the predefined roots (0x80000000 and above).
    HKEY m_nextHandle = 0x100;
};

// WinINet's calls over libcurl. Handles are the process's: one made through one object may be used
// and closed through another.
class CCurlInternet final : public IInternet {
public:
    HINTERNET InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                           const std::string* proxyBypass, DWORD flags, DWORD* error) override;
    HINTERNET InternetOpenUrl(HINTERNET sessionHandle, const std::string& url, const std::string* headers,
                              DWORD flags, DWORD context, DWORD* error) override;
    std::optional<DWORD> QueryHandleType(HINTERNET handle) override;
    bool InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) override;
    bool InternetCloseHandle(HINTERNET handle) override;
    std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error) override;
    std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error) override;
    std::optional<std::string> ErrorText(DWORD code) override;
    std::string LastResponseInfo() override;
    std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error) override;
};

// Strings from the compiled resources linked into the program.
class CLinkedResources final : public IResources {
public:
    std::optional<std::string> LoadString(UINT id) override;
};

// Facts about the running process.
class CLinuxProcess final : public IProcess {
public:
    std::string ModuleFileName() override;
    void SuppressSystemErrorBoxes() override;
};

}  // namespace orvane

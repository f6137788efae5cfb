// Where the Windows program chooses its services, and the services themselves.
//
// The Windows implementation of each platform service is an object of its own, so that a test can
// build and install exactly the real services it drives (ScopedSeam, platform/Seam.h). WinMain
// builds one CWin32Services, which owns them all and installs each in its seam for as long as it
// lives:
//
//     portable core (app/ ui/ sync/ net/ config/) ──> platform/*.h <── platform/win32 (implements)
//                                                          ^
//                           WinMain.cpp: CWin32Services ───┘ (builds the platform's objects, installs them)
//
// This header leaves <windows.h> out, so that it may be included before or without it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Clock.h"
#include "platform/Cursor.h"
#include "platform/Help.h"
#include "platform/Internet.h"
#include "platform/LocalTime.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Resources.h"
#include "platform/Seam.h"
#include "platform/Window.h"

namespace orvane {

// The system clock through SetSystemTime, with the privilege enabled that an administrator's token
// holds but has disabled. Windows' own time service does not refuse it, so there is no automatic
// synchronisation to suspend.
class CWin32Clock final : public IClock {
public:
    bool SetSystemTime(const SYSTEMTIME& time) override;
    AutomaticSync AutomaticSyncState() override { return AutomaticSync::Off; }
    SuspendedSetOutcome SetSystemTimeSuspendingSync(const SYSTEMTIME& time) override { return {SetSystemTime(time), true}; }
};

// The local date and time as VarBstrFromDate writes them in the user's locale.
class CWin32LocalTime final : public ILocalTime {
public:
    std::string CurrentDateTimeText() override;
};

// ADVAPI32's registry.
class CWin32Registry final : public IRegistry {
public:
    LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) override;
    LONG RegCreateKeyEx(HKEY key, const std::string& subKey, DWORD access, HKEY* result) override;
    LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, BYTE* data, DWORD* size) override;
    LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, const BYTE* data, DWORD size) override;
    LONG RegCloseKey(HKEY key) override;
};

// WININET.DLL in its asynchronous mode, each call bounded by the reply's deadline (Internet.cpp).
class CWin32Internet final : public IInternet {
public:
    HINTERNET InternetOpen(const std::string& agent, DWORD accessType, const std::string* proxy,
                           const std::string* proxyBypass, DWORD flags, DWORD* error) override;
    HINTERNET InternetOpenUrl(HINTERNET session, const std::string& url, const std::string* headers, DWORD flags,
                              DWORD context, DWORD* error) override;
    std::optional<DWORD> QueryHandleType(HINTERNET handle) override;
    bool InternetReadFile(HINTERNET handle, void* buffer, DWORD size, DWORD* read, DWORD* error) override;
    bool InternetCloseHandle(HINTERNET handle) override;
    std::optional<std::string> CanonicalizeUrl(const std::string& url, DWORD flags, DWORD* error) override;
    std::optional<CrackedUrl> CrackUrl(const std::string& url, DWORD* error) override;
    std::optional<std::string> ErrorText(DWORD code) override;
    std::string LastResponseInfo() override;
    std::FILE* OpenLocalFile(const std::string& path, bool binary, DWORD* error) override;
};

// LoadStringA from the executable's own resources.
class CWin32Resources final : public IResources {
public:
    std::optional<std::string> LoadString(UINT id) override;
};

// Facts about the running process (GetModuleFileNameA, SetErrorMode).
class CWin32Process final : public IProcess {
public:
    std::string ModuleFileName() override;
    void SuppressSystemErrorBoxes() override;
};

// The system's hourglass, and back to the cursor it replaced.
class CWin32Cursor final : public ICursor {
public:
    void BeginWait() override;
    void EndWait() override;
private:
    int depth_ = 0;
    void* previous_ = nullptr;  // the HCURSOR that the hourglass replaced
};

// MessageBoxA.
class CWin32MessageBox final : public IMessageBox {
public:
    int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override;
};

// Our own viewer of the help file, one window for the whole program.
class CWin32Help final : public IHelp {
public:
    CWin32Help();
    ~CWin32Help() override;
    CWin32Help(const CWin32Help&) = delete;
    CWin32Help& operator=(const CWin32Help&) = delete;

    bool WinHelp(HWND owner, const std::string& helpFilePath, UINT command, DWORD data) override;
private:
    class Viewer;
    std::unique_ptr<Viewer> viewer_;
};

// The real dialog manager (USER32) behind our own modal loop, with the dialogs built from the
// executable's templates. Its state (the dialogs' sinks, the modal loops, the open paints) is the
// process's: install one at a time.
class CWin32Windows final : public IWindows {
public:
    bool HasDialogTemplate(UINT templateId) override;
    HWND CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) override;
    LRESULT RunModalLoop(HWND dialog) override;
    void EndModalLoop(HWND dialog, LRESULT result) override;
    void DestroyWindow(HWND window) override;
    void ShowWindow(HWND window, bool show) override;
    bool IsWindowVisible(HWND window) override;
    bool IsIconic(HWND window) override;
    bool IsWindowEnabled(HWND window) override;
    void EnableWindow(HWND window, bool enable) override;
    RECT GetWindowRect(HWND window) override;
    RECT GetClientRect(HWND window) override;
    void MoveWindowTo(HWND window, int x, int y) override;
    RECT GetWorkArea() override;
    HWND GetActiveWindow() override;
    void SetActiveWindow(HWND window) override;
    HWND GetLastActivePopup(HWND window) override;
    HWND GetCapture() override;
    HWND GetParent(HWND window) override;
    DWORD GetWindowStyle(HWND window) override;
    std::string GetWindowText(HWND window) override;
    void SetWindowText(HWND window, const std::string& text) override;
    LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    HWND GetDlgItem(HWND dialog, int id) override;
    int GetDlgCtrlID(HWND control) override;
    HWND GetFirstChild(HWND dialog) override;
    HWND GetNextSibling(HWND control) override;
    void SetFocus(HWND control) override;
    HWND GetFocus() override;
    HICON LoadIcon(UINT iconId) override;
    int GetSystemMetrics(int index) override;
    HDC BeginPaint(HWND window) override;
    void EndPaint(HWND window, HDC dc) override;
    void DrawIcon(HDC dc, int x, int y, HICON icon) override;
    void ValidateRect(HWND window) override;
};

class CWin32Services {
public:
    CWin32Services() = default;
    CWin32Services(const CWin32Services&) = delete;
    CWin32Services& operator=(const CWin32Services&) = delete;

private:
    // The services first, their installations after them: the seams are emptied before the
    // objects they name are destroyed.
    CWin32Clock clock_;
    CWin32LocalTime localTime_;
    CWin32Registry registry_;
    CWin32Internet internet_;
    CWin32Resources resources_;
    CWin32Process process_;
    CWin32Cursor cursor_;
    CWin32Help help_;
    CWin32MessageBox messageBox_;
    CWin32Windows windows_;

    ScopedSeam<IClock> clockSeam_{clock_};
    ScopedSeam<ILocalTime> localTimeSeam_{localTime_};
    ScopedSeam<IRegistry> registrySeam_{registry_};
    ScopedSeam<IInternet> internetSeam_{internet_};
    ScopedSeam<IResources> resourcesSeam_{resources_};
    ScopedSeam<IProcess> processSeam_{process_};
    ScopedSeam<ICursor> cursorSeam_{cursor_};
    ScopedSeam<IHelp> helpSeam_{help_};
    ScopedSeam<IMessageBox> messageBoxSeam_{messageBox_};
    ScopedSeam<IWindows> windowsSeam_{windows_};
};

}  // namespace orvane

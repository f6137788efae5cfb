// Tests of the Windows program as a user starts it: orvane.exe in a process of its own under Wine,
// its main window found on the desktop and driven with the keyboard, and how the process ends.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Win32TestSupport.h"
#include "res/resource.h"

// After every orvane header: <windows.h> turns the names of their constants into macros.
#include "Win32Input.h"
#include "platform/win32/Win32.h"

namespace orvane {
namespace {

using test::SendKey;
using test::WindowText;

// How long a step of the program may take before the test gives up on it. It bounds a hang; it is
// not a measure of speed.
constexpr ::DWORD kPatience = 20000;

const char kCouldNotSetClock[] =
    "Could not set clock.  Make sure you are logged onto the Internet.  If so, press the Configure button.";

bool WaitFor(const std::function<bool()>& condition, ::DWORD patience = kPatience) {
    const ::ULONGLONG end = ::GetTickCount64() + patience;
    while (!condition()) {
        if (::GetTickCount64() > end) return false;
        ::Sleep(20);
    }
    return true;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string ClassName(::HWND window) {
    char name[128] = {};
    ::GetClassNameA(window, name, sizeof name);
    return name;
}

void Press(::WORD key, bool alt = false) {
    if (alt) SendKey(VK_MENU, true);
    SendKey(key, true);
    SendKey(key, false);
    if (alt) SendKey(VK_MENU, false);
}

BOOL CALLBACK AddWindow(::HWND window, ::LPARAM windows) {
    reinterpret_cast<std::vector<::HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<::HWND> TopLevelWindows() {
    std::vector<::HWND> windows;
    ::EnumWindows(&AddWindow, reinterpret_cast<::LPARAM>(&windows));
    return windows;
}

// The folder this test program was started from, with its trailing backslash.
std::wstring OwnFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// A copy of the built program and its help file under a name of its own, so that its settings key
// (named after the executable) is the test's and no one else's.
class ProgramCopy {
public:
    explicit ProgramCopy(const std::string& name) : name_(name) {
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"orvane-" + Widen(name) + L"-" + std::to_wstring(::GetCurrentProcessId());
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        const std::wstring built = OwnFolder() + L"..\\bin\\orvane";
        copied_ = ::CopyFileW((built + L".exe").c_str(), Exe().c_str(), FALSE) &&
                  ::CopyFileW((built + L".HLP").c_str(), HelpFile().c_str(), FALSE);
    }
    ~ProgramCopy() {
        ::DeleteFileW(Exe().c_str());
        ::DeleteFileW(HelpFile().c_str());
        ::RemoveDirectoryW(folder_.c_str());
        ::RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\Quintarro\\" + name_).c_str());
    }
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;

    bool Copied() const { return copied_; }
    std::wstring Exe() const { return folder_ + L"\\" + Widen(name_) + L".exe"; }
    std::wstring HelpFile() const { return folder_ + L"\\" + Widen(name_) + L".HLP"; }

    // The user's choice in Configure: their own URL.
    void UseUrl(const std::string& url) const {
        const std::string key = "Software\\Quintarro\\" + name_ + "\\Configuration";
        const ::DWORD radio = 1;
        ::RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "RadioButton", REG_DWORD, &radio, sizeof radio);
        ::RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), "URL", REG_SZ, url.c_str(),
                          static_cast<::DWORD>(url.size() + 1));
    }

private:
    std::string name_;
    std::wstring folder_;
    bool copied_ = false;
};

// The program running in a process of its own; a process still running at the end is ended.
class Running {
public:
    explicit Running(const std::wstring& exe) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + exe + L"\"";
        started_ = ::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &startup, &process_) != 0;
    }
    ~Running() {
        if (!started_) return;
        if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(process_.hProcess, 1);
        ::CloseHandle(process_.hThread);
        ::CloseHandle(process_.hProcess);
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    bool Started() const { return started_; }

    // A visible top-level window of the program's whose class and title are these ("" for any title),
    // other than `except`.
    ::HWND FindProgramWindow(const std::string& className, const std::string& title = "", ::HWND except = nullptr) const {
        for (const ::HWND window : TopLevelWindows()) {
            ::DWORD owner = 0;
            ::GetWindowThreadProcessId(window, &owner);
            if (owner != process_.dwProcessId || window == except || !::IsWindowVisible(window) ||
                ClassName(window) != className)
                continue;
            if (title.empty() || WindowText(window) == title) return window;
        }
        return nullptr;
    }

    ::HWND WaitForWindow(const std::string& className, const std::string& title = "", ::HWND except = nullptr) const {
        ::HWND window = nullptr;
        WaitFor([&] { return (window = FindProgramWindow(className, title, except)) != nullptr; });
        return window;
    }

    // The exit code once the process has ended, or nullopt when it runs on.
    std::optional<::DWORD> WaitForExit() const {
        if (::WaitForSingleObject(process_.hProcess, kPatience) != WAIT_OBJECT_0) return std::nullopt;
        ::DWORD code = 0;
        ::GetExitCodeProcess(process_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION process_{};
    bool started_ = false;
};

// Makes `window` the one that takes the keyboard, as the user's click on it would. The program's
// thread takes the activation in its own time; until it has, keys would still go to the window that
// had the focus before.
bool Activate(::HWND window) {
    const ::DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
    return WaitFor([window, thread] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (::GetForegroundWindow() != window) {
            ::SetForegroundWindow(window);
            return false;
        }
        return ::GetGUIThreadInfo(thread, &info) && info.hwndActive == window && info.hwndFocus &&
               (info.hwndFocus == window || ::IsChild(window, info.hwndFocus));
    });
}

std::string Status(::HWND main) { return WindowText(::GetDlgItem(main, IDC_STATUS)); }

// A click of the left mouse button in the middle of `window`, as the user's hand gives it.
void Click(::HWND window) {
    ::RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input[3] = {};
    for (INPUT& each : input) each.type = INPUT_MOUSE;
    input[0].mi.dx = static_cast<::LONG>((rect.left + rect.right) / 2 * 65535 / (width - 1));
    input[0].mi.dy = static_cast<::LONG>((rect.top + rect.bottom) / 2 * 65535 / (height - 1));
    input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(3, input, sizeof input[0]);
}

// A top-level window of another program on the desktop, as a user's desktop always has: this test
// program's own, run by a thread with a message loop of its own (Orvane is a process of its own).
class OtherProgramWindow {
public:
    OtherProgramWindow() {
        thread_ = std::thread([this] { Run(); });
        WaitFor([this] { return window_.load() != nullptr; });
    }
    ~OtherProgramWindow() {
        if (window_.load()) ::PostMessageW(window_.load(), WM_CLOSE, 0, 0);
        thread_.join();
    }
    OtherProgramWindow(const OtherProgramWindow&) = delete;
    OtherProgramWindow& operator=(const OtherProgramWindow&) = delete;

    ::HWND Window() const { return window_.load(); }

private:
    static ::LRESULT CALLBACK Proc(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
        if (message == WM_DESTROY) ::PostQuitMessage(0);
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    void Run() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &Proc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.hbrBackground = reinterpret_cast<::HBRUSH>(COLOR_WINDOW + 1);
        windowClass.lpszClassName = L"OrvaneTestOtherProgram";
        ::RegisterClassW(&windowClass);
        // Large and in the middle of the screen: wherever the dialogs open, it lies behind them.
        const ::HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Another program",
                                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 600, 450, nullptr, nullptr,
                                                windowClass.hInstance, nullptr);
        window_.store(window);
        if (!window) return;
        MSG msg{};
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::UnregisterClassW(windowClass.lpszClassName, windowClass.hInstance);
    }

    std::atomic<::HWND> window_{nullptr};
    std::thread thread_;
};

constexpr char kDialogClass[] = "#32770";

std::string DaytimeUrl(const std::string& scenario) {
    const std::optional<std::string> url = test::DaytimeUrl(scenario);
    if (!url) ADD_FAILURE() << "no daytime server for \"" << scenario << "\": run under scripts/wine-test.sh";
    return url.value_or("http://127.0.0.1:1");
}

TEST(ProgramTest, StartsCentredSetsTheClockAndExitsWithAltX) {
    ProgramCopy copy("OrvaneProgramClock");
    ASSERT_TRUE(copy.Copied()) << "the built program is missing beside the tests";
    copy.UseUrl(DaytimeUrl("nist"));
    Running program(copy.Exe());
    ASSERT_TRUE(program.Started());

    const ::HWND main = program.WaitForWindow(kDialogClass, "Orvane");
    ASSERT_NE(main, nullptr) << "no main window";
    EXPECT_EQ(Status(main), "");
    ::RECT window{}, work{};
    ::GetWindowRect(main, &window);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((window.left + window.right) - (work.left + work.right)), 2)
        << "window " << window.left << ".." << window.right << ", work area " << work.left << ".." << work.right;
    EXPECT_LE(std::abs((window.top + window.bottom) - (work.top + work.bottom)), 2)
        << "window " << window.top << ".." << window.bottom << ", work area " << work.top << ".." << work.bottom;

    // Wine sets its clock only to a time within half a second of the host's, which it never changes:
    // the press comes just after a UTC second begins, so that the record names that second.
    ASSERT_TRUE(Activate(main));
    std::string status;
    for (int attempt = 0; attempt < 3 && status.rfind("Set computer's clock to ", 0) != 0; ++attempt) {
        // Each attempt starts from an empty status line, so that its outcome is the text that appears.
        ::SendMessageA(::GetDlgItem(main, IDC_STATUS), WM_SETTEXT, 0, reinterpret_cast<::LPARAM>(""));
        WaitFor([] {
            ::SYSTEMTIME now{};
            ::GetSystemTime(&now);
            return now.wMilliseconds < 100;
        });
        Press('S', true);
        WaitFor([&] { return !(status = Status(main)).empty(); });
        EXPECT_TRUE(status.rfind("Set computer's clock to ", 0) == 0 || status == kCouldNotSetClock) << status;
    }
    EXPECT_EQ(status.rfind("Set computer's clock to ", 0), 0u) << status;

    Press('X', true);
    EXPECT_EQ(program.WaitForExit(), std::optional<::DWORD>(0));
}

TEST(ProgramTest, AServerThatCannotBeReachedIsReportedInABoxAndTheWindowGoesOn) {
    ProgramCopy copy("OrvaneProgramRefused");
    ASSERT_TRUE(copy.Copied());
    copy.UseUrl("http://127.0.0.1:1");
    Running program(copy.Exe());
    const ::HWND main = program.WaitForWindow(kDialogClass, "Orvane");
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(Activate(main));

    // Enter presses Set Clock, the default button; the report is a box of the program's own.
    Press(VK_RETURN);
    ::HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = program.FindProgramWindow(kDialogClass, "OrvaneProgramRefused")) != nullptr; }))
        << "no failure report";
    EXPECT_FALSE(::IsWindowEnabled(main)) << "the main window takes input under its box";
    ASSERT_TRUE(Activate(box));
    Press(VK_RETURN);
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(main) && !::IsWindow(box); }));
    EXPECT_EQ(Status(main), "") << "the failure ended Set Clock before any outcome";

    // Esc does nothing in the main window; the close box ends it as Exit does.
    ASSERT_TRUE(Activate(main));
    Press(VK_ESCAPE);
    ::SendMessageW(main, WM_NULL, 0, 0);  // the key has been handled once this returns
    EXPECT_TRUE(::IsWindowVisible(main));
    ::PostMessageW(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.WaitForExit(), std::optional<::DWORD>(0));
}

TEST(ProgramTest, HelpOpensTheFileBesideTheProgramOrSaysItFailed) {
    for (const bool helpFileThere : {true, false}) {
        SCOPED_TRACE(helpFileThere ? "with the help file" : "without the help file");
        ProgramCopy copy("OrvaneProgramHelp");
        ASSERT_TRUE(copy.Copied());
        if (!helpFileThere) ::DeleteFileW(copy.HelpFile().c_str());
        Running program(copy.Exe());
        const ::HWND main = program.WaitForWindow(kDialogClass, "Orvane");
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(Activate(main));

        Press('H', true);
        if (helpFileThere) {
            const ::HWND viewer = program.WaitForWindow("OrvaneHelpViewer");
            ASSERT_NE(viewer, nullptr) << "no help viewer";
            EXPECT_FALSE(WindowText(viewer).empty());
            EXPECT_TRUE(::IsWindowEnabled(main)) << "the viewer is no dialog of the main window's";
            // The viewer comes to the front as it opens; the user then clicks the main window.
            ASSERT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == viewer; }));
        } else {
            ::HWND box = nullptr;
            ASSERT_TRUE(WaitFor([&] { return (box = program.FindProgramWindow(kDialogClass, "OrvaneProgramHelp")) != nullptr; }));
            bool saysFailed = false;
            for (::HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
                saysFailed = saysFailed || WindowText(child) == "Failed to launch help.";
            }
            EXPECT_TRUE(saysFailed);
            ASSERT_TRUE(Activate(box));
            Press(VK_RETURN);
            ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(main); }));
        }

        ASSERT_TRUE(Activate(main));
        Press('X', true);
        EXPECT_EQ(program.WaitForExit(), std::optional<::DWORD>(0));
    }
}

TEST(ProgramTest, ClosingAboutOrConfigureKeepsTheMainWindowInFront) {
    // Another program's window stands on the desktop. However the About box or Configure is closed,
    // the main window, not that window, is in front afterwards: hiding the dialog while the main
    // window is still disabled must not hand the activation to another program.
    ProgramCopy copy("OrvaneProgramFront");
    ASSERT_TRUE(copy.Copied());
    OtherProgramWindow other;
    ASSERT_NE(other.Window(), nullptr);
    Running program(copy.Exe());
    const ::HWND main = program.WaitForWindow(kDialogClass, "Orvane");
    ASSERT_NE(main, nullptr);
    // The other program was in front last: it stands right behind the main window.
    ASSERT_TRUE(WaitFor([&] {
        if (::GetForegroundWindow() == other.Window()) return true;
        ::SetForegroundWindow(other.Window());
        return false;
    }));

    struct Way {
        const char* name;
        char opener;             // the main window's mnemonic that opens the dialog
        const char* caption;
        std::function<void(::HWND)> close;
    };
    const auto click = [](int id) {
        return [id](::HWND dialog) {
            // A click that comes before the button takes the mouse is lost: click again until the
            // dialog goes.
            for (int attempt = 0; attempt < 5 && ::IsWindow(dialog); ++attempt) {
                Click(::GetDlgItem(dialog, id));
                WaitFor([&] { return !::IsWindow(dialog); }, 1000);
            }
        };
    };
    const auto key = [](::WORD vk, bool alt = false) { return [vk, alt](::HWND) { Press(vk, alt); }; };
    const auto closeBox = [](::HWND dialog) { ::PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); };
    const Way ways[] = {
        {"About: the Close button", 'A', "Orvane", click(IDOK)},
        {"About: Enter", 'A', "Orvane", key(VK_RETURN)},
        {"About: Esc", 'A', "Orvane", key(VK_ESCAPE)},
        {"About: Alt+F4", 'A', "Orvane", key(VK_F4, true)},
        {"About: the close box", 'A', "Orvane", closeBox},
        {"Configure: the OK button", 'C', "Configure", click(IDOK)},
        {"Configure: the Cancel button", 'C', "Configure", click(IDCANCEL)},
        {"Configure: Enter", 'C', "Configure", key(VK_RETURN)},
        {"Configure: Esc", 'C', "Configure", key(VK_ESCAPE)},
        {"Configure: the close box", 'C', "Configure", closeBox},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ASSERT_TRUE(Activate(main));
        Press(static_cast<::WORD>(way.opener), true);
        const ::HWND dialog = program.WaitForWindow(kDialogClass, way.caption, main);
        ASSERT_NE(dialog, nullptr) << "the dialog did not open";
        ASSERT_TRUE(Activate(dialog));
        way.close(dialog);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(dialog); })) << "the dialog did not close";
        EXPECT_TRUE(::IsWindowEnabled(main));
        // Whatever the system does with the activation happens while the dialog goes; give it the
        // moment it takes, then look at what the user sees in front.
        WaitFor([&] { return ::GetForegroundWindow() == main; }, 2000);
        ::Sleep(200);
        EXPECT_EQ(::GetForegroundWindow(), main)
            << "in front: \"" << WindowText(::GetForegroundWindow()) << "\"";
    }

    ASSERT_TRUE(Activate(main));
    Press('X', true);
    EXPECT_EQ(program.WaitForExit(), std::optional<::DWORD>(0));
}

}  // namespace
}  // namespace orvane

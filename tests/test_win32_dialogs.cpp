// Tests of the program's windows on the real Windows dialog manager, under Wine: the keyboard tables,
// Configure's edge cases checked in the registry, Set Clock through WinINet against the daytime
// servers on 127.0.0.1, the failure reports, a main window without an Internet session, and the
// minimised window's icon. The user's keys are given with SendInput.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "Win32TestSupport.h"
#include "app/AppNames.h"
#include "app/Application.h"
#include "config/SettingsStore.h"
#include "net/InternetFailure.h"
#include "platform/Resources.h"
#include "doubles/FailingWindows.h"
#include "doubles/FakeClock.h"
#include "doubles/FakeHelp.h"
#include "doubles/FakeMessageBox.h"
#include "doubles/FakeRegistry.h"
#include "doubles/ForwardingWindows.h"
#include "doubles/SessionRefusingInternet.h"
#include "platform/Internet.h"
#include "platform/Seam.h"
#include "platform/win32/Services.h"
#include "res/resource.h"
#include "ui/ConfigureDlg.h"
#include "ui/OrvaneDlg.h"

namespace orvane {
namespace {
constexpr UINT kStopBox = MB_ICONSTOP;
constexpr UINT kExclamationBox = MB_ICONEXCLAMATION;
constexpr DWORD kSessionRefused = ERROR_INTERNET_INTERNAL_ERROR;
constexpr DWORD kCannotConnect = ERROR_INTERNET_CANNOT_CONNECT;
constexpr DWORD kNameNotResolved = ERROR_INTERNET_NAME_NOT_RESOLVED;
}  // namespace
}  // namespace orvane

// After every orvane header: <windows.h> turns the names of their constants into macros.
#include "Win32Input.h"
#include "platform/win32/Win32.h"

static ::HKEY WindowsCurrentUser() { return HKEY_CURRENT_USER; }

namespace orvane {
namespace {

using test::SendKey;
using test::WindowText;

// ---- Driving the windows ------------------------------------------------------------------------

// Steps that run one at a time from a timer while the windows' own modal loops run, nested ones
// included. A step answers false while what it waits for has not happened yet; it is then tried
// again at the next tick.
class Script {
public:
    explicit Script(std::deque<std::function<bool()>> steps) : steps_(std::move(steps)) {
        current_ = this;
        timer_ = ::SetTimer(nullptr, 0, 15, &Script::Tick);
    }
    ~Script() {
        ::KillTimer(nullptr, timer_);
        current_ = nullptr;
    }
    Script(const Script&) = delete;
    Script& operator=(const Script&) = delete;

    bool Finished() const { return steps_.empty(); }

private:
    static void CALLBACK Tick(::HWND, UINT, UINT_PTR, ::DWORD) {
        Script* self = current_;
        if (!self || self->steps_.empty() || self->busy_ > 8) return;
        // The step is taken off first: a step that opens a dialog runs on inside its modal loop,
        // and the ticks there run the steps after it.
        std::function<bool()> step = std::move(self->steps_.front());
        self->steps_.pop_front();
        ++self->busy_;
        const bool done = step();
        --self->busy_;
        if (!done) self->steps_.push_front(std::move(step));
    }

    static inline Script* current_ = nullptr;
    std::deque<std::function<bool()>> steps_;
    UINT_PTR timer_ = 0;
    int busy_ = 0;
};

// A step that presses `key` with the modifiers held (VK_SHIFT, VK_CONTROL, VK_MENU for Alt).
std::function<bool()> Press(WORD key, std::initializer_list<WORD> modifiers = {}) {
    return [key, modifiers] {
        for (const WORD modifier : modifiers) SendKey(modifier, true);
        SendKey(key, true);
        SendKey(key, false);
        for (const WORD modifier : modifiers) SendKey(modifier, false);
        return true;
    };
}

// A step that types `text` into the control with the focus, character by character.
std::function<bool()> Type(std::string text) {
    return [text] {
        for (const char c : text) {
            INPUT input[2] = {};
            for (INPUT& each : input) {
                each.type = INPUT_KEYBOARD;
                each.ki.wScan = static_cast<WORD>(static_cast<unsigned char>(c));
                each.ki.dwFlags = KEYEVENTF_UNICODE;
            }
            input[1].ki.dwFlags |= KEYEVENTF_KEYUP;
            ::SendInput(2, input, sizeof input[0]);
        }
        return true;
    };
}

// Waits until a window other than `other` is active and captioned `caption`, then records it.
std::function<bool()> WaitForActive(const std::string& caption, ::HWND* found, ::HWND other = nullptr) {
    return [caption, found, other] {
        ::HWND active = ::GetActiveWindow();
        if (!active || active == other || WindowText(active) != caption || !::IsWindowVisible(active)) return false;
        *found = active;
        return true;
    };
}

std::function<bool()> Do(std::function<void()> action) {
    return [action] {
        action();
        return true;
    };
}

int FocusId() { return ::GetDlgCtrlID(::GetFocus()); }

// ---- The registry that the settings store writes ------------------------------------------------

std::optional<::DWORD> StoredInt(const std::string& app, const char* name) {
    ::DWORD value = 0, size = sizeof value;
    const std::string key = "Software\\Quintarro\\" + app + "\\Configuration";
    if (::RegGetValueA(WindowsCurrentUser(), key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) != 0)
        return std::nullopt;
    return value;
}

std::optional<std::string> StoredString(const std::string& app, const char* name) {
    char value[2048] = {};
    ::DWORD size = sizeof value;
    const std::string key = "Software\\Quintarro\\" + app + "\\Configuration";
    if (::RegGetValueA(WindowsCurrentUser(), key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != 0)
        return std::nullopt;
    return std::string(value);
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A settings key of its own for every test, as a program of that name would have.
        app_ = std::string("OrvaneTest") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        SetAppNames(DeriveAppNames("C:\\Tests\\" + app_ + ".exe"));
        AppSettings().SetKeyNames("Quintarro", app_);
    }
    void TearDown() override {
        ::RegDeleteTreeA(WindowsCurrentUser(), ("Software\\Quintarro\\" + app_).c_str());
    }

    void Store(const char* name, std::int32_t value) { AppSettings().WriteInt("Configuration", name, value); }
    void Store(const char* name, const std::string& text) { AppSettings().WriteString("Configuration", name, text); }

    // Runs the main window as start-up does, with `steps` given by the user meanwhile.
    LRESULT RunMain(std::deque<std::function<bool()>> steps) {
        COrvaneDlg dlg;
        main_ = &dlg;
        App().m_pMainWnd = &dlg;
        Script script(std::move(steps));
        const LRESULT result = dlg.DoModal();
        App().m_pMainWnd = nullptr;
        main_ = nullptr;
        EXPECT_TRUE(script.Finished()) << "the window ended before every step ran";
        return result;
    }

    ::HWND MainWindow() const { return static_cast<::HWND>(main_ ? main_->m_hWnd : nullptr); }
    std::string Status() const { return WindowText(::GetDlgItem(MainWindow(), IDC_STATUS)); }

    // A step that waits until the main window is up and active.
    std::function<bool()> MainIsActive() {
        return [this] { return MainWindow() && ::IsWindowVisible(MainWindow()) && ::GetActiveWindow() == MainWindow(); };
    }

    std::string app_;
    COrvaneDlg* main_ = nullptr;
    test::FakeMessageBox boxes_;
    test::FakeHelp help_;
    test::FakeClock clock_;
    // The real dialog manager, registry, WinINet, string table, local time, cursor and process,
    // each installed by name; the boxes, the help engine and the clock are doubles.
    CWin32Windows windows_;
    CWin32Registry registry_;
    CWin32Internet internet_;
    CWin32Resources resources_;
    CWin32LocalTime localTime_;
    CWin32Cursor cursor_;
    CWin32Process process_;
    ScopedSeam<IMessageBox> boxesSeam_{boxes_};
    ScopedSeam<IHelp> helpSeam_{help_};
    ScopedSeam<IClock> clockSeam_{clock_};
    ScopedSeam<IWindows> windowsSeam_{windows_};
    ScopedSeam<IRegistry> registrySeam_{registry_};
    ScopedSeam<IInternet> internetSeam_{internet_};
    ScopedSeam<IResources> resourcesSeam_{resources_};
    ScopedSeam<ILocalTime> localTimeSeam_{localTime_};
    ScopedSeam<ICursor> cursorSeam_{cursor_};
    ScopedSeam<IProcess> processSeam_{process_};
};

std::string DaytimeUrl(const std::string& scenario) {
    const std::optional<std::string> url = test::DaytimeUrl(scenario);
    if (!url) ADD_FAILURE() << "no daytime server for \"" << scenario << "\": run under scripts/wine-test.sh";
    return url.value_or("http://127.0.0.1:1");
}

// ---- Main window: keyboard ----------------------------------------------------------------------

TEST_F(DialogTest, MainWindowKeyboardTable) {
    Store("RadioButton", 1);
    Store("URL", DaytimeUrl("nist"));
    std::string afterEnter, afterEsc;
    int focusAfterTab = 0, focusAfterShiftTab = 0;
    const LRESULT result = RunMain({
        MainIsActive(),
        Do([&] { EXPECT_EQ(FocusId(), IDC_SET_CLOCK) << "the first tab stop has the focus"; }),
        Do([&] {
            // The program's icon in the caption and the task switcher, in both sizes.
            EXPECT_NE(::SendMessageA(MainWindow(), WM_GETICON, ICON_BIG, 0), 0);
            EXPECT_NE(::SendMessageA(MainWindow(), WM_GETICON, ICON_SMALL, 0), 0);
        }),
        Press(VK_TAB),
        Do([&] { focusAfterTab = FocusId(); }),
        Press(VK_TAB, {VK_SHIFT}),
        Do([&] { focusAfterShiftTab = FocusId(); }),
        Press(VK_RETURN),  // the default button, Set Clock
        Do([&] { afterEnter = Status(); }),
        Press(VK_ESCAPE),  // nothing
        Do([&] { afterEsc = Status(); }),
        Press('X', {VK_MENU}),
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(focusAfterTab, IDC_CONFIGURE);
    EXPECT_EQ(focusAfterShiftTab, IDC_SET_CLOCK);
    EXPECT_EQ(afterEnter.rfind("Set computer's clock to ", 0), 0u) << afterEnter;
    EXPECT_EQ(afterEsc, afterEnter) << "Esc leaves the main window open and unchanged";
    EXPECT_EQ(clock_.set.size(), 1u);
}

TEST_F(DialogTest, AltF4EndsTheMainWindowAsExitDoes) {
    EXPECT_EQ(RunMain({MainIsActive(), Press(VK_F4, {VK_MENU})}), IDOK);
    EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(DialogTest, F1WithoutModifiersOpensTheHelpFinder) {
    RunMain({
        MainIsActive(),
        Press(VK_F1, {VK_SHIFT}),
        Press(VK_F1, {VK_CONTROL}),
        Press(VK_F1, {VK_MENU}),
        Press(VK_F1),
        Press('H', {VK_MENU}),
        Do([] {}),
        Press('X', {VK_MENU}),
    });
    // F1 and the Help button ask for the finder; Shift+F1, Ctrl+F1 and Alt+F1 ask for nothing;
    // closing asks the engine to quit.
    ASSERT_EQ(help_.requests.size(), 3u);
    EXPECT_EQ(help_.requests[0].command, HELP_FINDER);
    EXPECT_EQ(help_.requests[0].path, "C:\\Tests\\" + app_ + ".HLP");
    EXPECT_EQ(help_.requests[1].command, HELP_FINDER);
    EXPECT_EQ(help_.requests[2].command, HELP_QUIT);
}

TEST_F(DialogTest, AboutBoxClosesWithEscAndGivesTheMainWindowBack) {
    ::HWND about = nullptr;
    bool mainDisabledMeanwhile = false;
    RunMain({
        MainIsActive(),
        Press('A', {VK_MENU}),
        WaitForActive("Orvane", &about, nullptr),
        [&] { return about != MainWindow() || (about = nullptr, false); },
        Do([&] {
            mainDisabledMeanwhile = !::IsWindowEnabled(MainWindow());
            EXPECT_EQ(FocusId(), IDOK) << "Close has the focus";
        }),
        Press(VK_ESCAPE),
        MainIsActive(),  // active again
        Press('X', {VK_MENU}),
    });
    EXPECT_NE(about, nullptr);
    EXPECT_TRUE(mainDisabledMeanwhile);
    EXPECT_FALSE(::IsWindow(about)) << "the About box is destroyed";
}

TEST_F(DialogTest, AboutBoxOpensCentredOverTheMainWindowKeptInTheWorkAreaAndF1OpensTheHelp) {
    // Where the main window stands: in the middle of the work area, and partly off its top-left
    // corner, where a box centred over it would stick out.
    ::RECT work{};
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    for (const bool offScreen : {false, true}) {
        SCOPED_TRACE(offScreen ? "main window partly off the screen" : "main window centred");
        help_.requests.clear();
        ::HWND about = nullptr;
        ::RECT mainRect{}, aboutRect{};
        RunMain({
            MainIsActive(),
            Do([&] {
                if (offScreen) {
                    ::SetWindowPos(MainWindow(), nullptr, work.left - 200, work.top - 60, 0, 0,
                                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                }
                ::GetWindowRect(MainWindow(), &mainRect);
            }),
            Press('A', {VK_MENU}),
            WaitForActive("Orvane", &about, nullptr),
            [&] { return about != MainWindow() || (about = nullptr, false); },
            Do([&] { ::GetWindowRect(about, &aboutRect); }),
            Press(VK_F1, {VK_SHIFT}),
            Press(VK_F1, {VK_CONTROL}),
            Press(VK_F1),
            Press(VK_ESCAPE),
            MainIsActive(),
            Press('X', {VK_MENU}),
        });
        ASSERT_NE(about, nullptr);
        const LONG width = aboutRect.right - aboutRect.left;
        const LONG height = aboutRect.bottom - aboutRect.top;
        if (!offScreen) {
            EXPECT_LE(std::abs((aboutRect.left + aboutRect.right) - (mainRect.left + mainRect.right)), 2);
            EXPECT_LE(std::abs((aboutRect.top + aboutRect.bottom) - (mainRect.top + mainRect.bottom)), 2);
        } else {
            // Centred over the main window it would begin left of and above the work area: it is
            // moved to the work area's edge on both sides that stick out.
            ASSERT_LT((mainRect.left + mainRect.right) / 2 - width / 2, work.left) << "the case needs a box that sticks out";
            EXPECT_EQ(aboutRect.left, work.left);
            if ((mainRect.top + mainRect.bottom) / 2 - height / 2 < work.top) {
                EXPECT_EQ(aboutRect.top, work.top);
            }
        }
        // F1 asks for the finder, Shift+F1 and Ctrl+F1 for nothing; closing asks the engine to quit.
        ASSERT_EQ(help_.requests.size(), 2u) << "F1 in the About box asks for the help";
        EXPECT_EQ(help_.requests[0].command, HELP_FINDER);
        EXPECT_EQ(help_.requests[1].command, HELP_QUIT);
        EXPECT_EQ(help_.requests[0].path, "C:\\Tests\\" + app_ + ".HLP");
    }
}

// ---- Configure ----------------------------------------------------------------------------------

struct ConfigureSeen {
    bool existingOn = false;
    bool newOn = false;
    int selection = -2;
    std::string edit;
    int focus = 0;
};

// Runs Configure from the main window: reads what it shows, then gives `keys`.
ConfigureSeen RunConfigure(DialogTest& test, std::function<LRESULT(std::deque<std::function<bool()>>)> runMain,
                           std::deque<std::function<bool()>> keys) {
    (void)test;
    ConfigureSeen seen;
    static ::HWND dialog;
    dialog = nullptr;
    std::deque<std::function<bool()>> steps{
        Press('C', {VK_MENU}),
        WaitForActive("Configure", &dialog),
        Do([&seen] {
            seen.existingOn = ::IsDlgButtonChecked(dialog, IDC_EXISTING_URL) == BST_CHECKED;
            seen.newOn = ::IsDlgButtonChecked(dialog, IDC_NEW_URL_RADIO) == BST_CHECKED;
            seen.selection = static_cast<int>(::SendDlgItemMessageA(dialog, IDC_URL_LIST, CB_GETCURSEL, 0, 0));
            seen.edit = WindowText(::GetDlgItem(dialog, IDC_NEW_URL));
            seen.focus = FocusId();
        }),
    };
    for (auto& key : keys) steps.push_back(std::move(key));
    steps.push_back([] { return !::IsWindow(dialog); });
    steps.push_back(Press('X', {VK_MENU}));
    runMain(std::move(steps));
    return seen;
}

class ConfigureTest : public DialogTest {
protected:
    ConfigureSeen Configure(std::deque<std::function<bool()>> keys) {
        std::deque<std::function<bool()>> all{MainIsActive()};
        return RunConfigure(*this, [this, &all](std::deque<std::function<bool()>> steps) {
            for (auto& step : steps) all.push_back(std::move(step));
            return RunMain(std::move(all));
        }, std::move(keys));
    }
};

TEST_F(ConfigureTest, FirstUseShowsTheFirstServerAndOkStoresAllThree) {
    const ConfigureSeen seen = Configure({Press(VK_RETURN)});
    EXPECT_TRUE(seen.existingOn);
    EXPECT_FALSE(seen.newOn);
    EXPECT_EQ(seen.selection, 0);
    EXPECT_EQ(seen.edit, "");
    // The radio buttons are no tab stops, though checking one makes it one on Windows: the focus
    // starts in the list.
    EXPECT_EQ(seen.focus, IDC_URL_LIST);
    EXPECT_EQ(StoredInt(app_, "RadioButton").value_or(99), 0u);
    EXPECT_EQ(StoredInt(app_, "URLIndex").value_or(99), 0u);
    EXPECT_EQ(StoredString(app_, "URL").value_or("<missing>"), "");
}

TEST_F(ConfigureTest, TabGoesRoundTheListTheEditOkAndCancel) {
    std::vector<int> order;
    const auto note = [&order] { return Do([&order] { order.push_back(FocusId()); }); };
    Configure({note(), Press(VK_TAB), note(), Press(VK_TAB), note(), Press(VK_TAB), note(), Press(VK_TAB), note(),
               Press(VK_ESCAPE)});
    const std::vector<int> expected{IDC_URL_LIST, IDC_NEW_URL, IDOK, IDCANCEL, IDC_URL_LIST};
    EXPECT_EQ(order, expected);
}

TEST_F(ConfigureTest, StoredValuesOutOfRangeAreShownClampedAndStoredAsShown) {
    struct Case {
        std::int32_t radio;
        std::int32_t index;
        bool newOn;
        int selection;
        ::DWORD storedRadio;
        ::DWORD storedIndex;
    };
    const Case cases[] = {
        {0, 9, false, 0, 0, 0},
        {5, 6, true, 6, 1, 6},
        {0, -1, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        Store("RadioButton", c.radio);
        Store("URLIndex", c.index);
        Store("URL", std::string(" own url "));
        const ConfigureSeen seen = Configure({Press(VK_RETURN)});
        EXPECT_EQ(seen.newOn, c.newOn) << "RadioButton " << c.radio;
        EXPECT_EQ(seen.selection, c.selection) << "URLIndex " << c.index;
        EXPECT_EQ(seen.edit, " own url ");
        EXPECT_EQ(StoredInt(app_, "RadioButton").value_or(99), c.storedRadio) << "RadioButton " << c.radio;
        EXPECT_EQ(StoredInt(app_, "URLIndex").value_or(99), c.storedIndex) << "URLIndex " << c.index;
        EXPECT_EQ(StoredString(app_, "URL").value_or("<missing>"), " own url ") << "kept untrimmed";
    }
}

TEST_F(ConfigureTest, NewUrlMnemonicAndTypingAreStoredWithTheListSelection) {
    Store("URLIndex", 3);
    Configure({
        Press('N', {VK_MENU}),  // turns "New URL:" on and takes the focus there
        Press(VK_TAB),          // the list
        Press(VK_TAB),          // the edit
        Do([] { EXPECT_EQ(FocusId(), IDC_NEW_URL); }),
        Type("http://127.0.0.1:13"),
        Press(VK_RETURN),
    });
    EXPECT_EQ(StoredInt(app_, "RadioButton").value_or(99), 1u);
    EXPECT_EQ(StoredInt(app_, "URLIndex").value_or(99), 3u) << "the list's selection is stored too";
    EXPECT_EQ(StoredString(app_, "URL").value_or("<missing>"), "http://127.0.0.1:13");
}

TEST_F(ConfigureTest, CancelEscAndTheCloseBoxStoreNothing) {
    const std::deque<std::function<bool()>> ways[] = {
        {Press('N', {VK_MENU}), Press('C', {VK_MENU})},
        {Press('N', {VK_MENU}), Press(VK_ESCAPE)},
        {Press('N', {VK_MENU}), Press(VK_F4, {VK_MENU})},
    };
    int way = 0;
    for (const auto& keys : ways) {
        Configure(keys);
        EXPECT_FALSE(StoredInt(app_, "RadioButton").has_value()) << "way " << way;
        EXPECT_FALSE(StoredString(app_, "URL").has_value()) << "way " << way;
        ++way;
    }
}

TEST_F(ConfigureTest, F1AsksTheMainWindowForTheHelpButNotWithShiftOrCtrl) {
    ::HWND main = nullptr;
    std::size_t beforeF1 = 99;
    Configure({
        Do([&] { main = MainWindow(); }),
        Press(VK_F1, {VK_SHIFT}),
        Press(VK_F1, {VK_CONTROL}),
        Do([&] { beforeF1 = help_.requests.size(); }),
        Press(VK_F1),
        [&] { return !help_.requests.empty(); },
        Press(VK_ESCAPE),
    });
    EXPECT_EQ(beforeF1, 0u) << "Shift+F1 and Ctrl+F1 do nothing";
    ASSERT_EQ(help_.requests.size(), 2u);
    EXPECT_EQ(help_.requests[0].command, HELP_FINDER);
    EXPECT_EQ(help_.requests[0].owner, main) << "the help opens on behalf of the main window";
    EXPECT_EQ(help_.requests[1].command, HELP_QUIT);
}

TEST_F(ConfigureTest, AFailureWhileSavingIsReportedAndTheDialogStaysOpenWithNothingWritten) {
    for (const test::ExchangeFailure& failure : test::ExchangeFailures()) {
        SCOPED_TRACE(failure.what);
        boxes_.boxes.clear();
        ::RegDeleteTreeA(WindowsCurrentUser(), ("Software\\Quintarro\\" + app_).c_str());
        // Reading the edit's text on OK fails once; the second OK reads it.
        test::TextFailingWindows failing(windows_);
        failing.controlId = IDC_NEW_URL;
        ScopedSeam<IWindows> failingSeam{failing};
        ::HWND configure = nullptr;
        bool openAfterFailure = false, mainDisabledAfterFailure = false, storedAfterFailure = true;
        Configure({
            Do([&] {
                configure = ::GetActiveWindow();
                ::SendDlgItemMessageA(configure, IDC_URL_LIST, CB_SETCURSEL, 5, 0);
            }),
            Press(VK_TAB),  // the edit
            Type("http://127.0.0.1:1313"),
            Do([&] { failing.raise = failure.raise; }),
            Press(VK_RETURN),
            [&] { return !failing.raise; },  // OK has tried to read the edit
            Do([&] {
                openAfterFailure = ::IsWindow(configure) && ::IsWindowVisible(configure);
                mainDisabledAfterFailure = !::IsWindowEnabled(MainWindow());
                storedAfterFailure = StoredInt(app_, "RadioButton") || StoredInt(app_, "URLIndex") || StoredString(app_, "URL");
            }),
            Press(VK_RETURN),
        });
        EXPECT_TRUE(openAfterFailure) << "the dialog stays open";
        EXPECT_TRUE(mainDisabledAfterFailure) << "and keeps the main window disabled";
        EXPECT_FALSE(storedAfterFailure) << "nothing is written";
        if (failure.reported) {
            ASSERT_EQ(boxes_.boxes.size(), 1u);
            EXPECT_EQ(boxes_.boxes[0].text, *failure.reported);
            EXPECT_EQ(boxes_.boxes[0].type, kExclamationBox);
            EXPECT_EQ(boxes_.boxes[0].caption, app_);
            EXPECT_EQ(boxes_.boxes[0].owner, configure) << "the box stands over the dialog";
        } else {
            EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
        }
        EXPECT_EQ(StoredInt(app_, "URLIndex").value_or(99), 5u) << "the second OK stores";
        EXPECT_EQ(StoredString(app_, "URL").value_or("<missing>"), "http://127.0.0.1:1313");
    }
}

TEST_F(ConfigureTest, ARegistryThatRefusesTheWritesLetsOkCloseWithoutABox) {
    // A refused write is not a failure of the exchange: it goes unnoticed.
    test::FakeRegistry refusing;
    refusing.refuseSet = true;
    ScopedSeam<IRegistry> refusingSeam{refusing};
    Configure({Press(VK_RETURN)});
    EXPECT_TRUE(boxes_.boxes.empty()) << boxes_.boxes.front().text;
    std::vector<std::string> written;
    for (const test::FakeRegistry::Call& call : refusing.calls) {
        if (call.operation == "set") written.push_back(call.valueName);
    }
    const std::vector<std::string> expected{"RadioButton", "URLIndex", "URL"};
    EXPECT_EQ(written, expected) << "all three are tried, in this order";
    EXPECT_EQ(refusing.OpenHandles(), 0u);
}

// ---- Set Clock through WinINet ------------------------------------------------------------------

TEST_F(DialogTest, SetClockReadsTheDaytimeServerThroughWinInet) {
    struct Case {
        const char* scenario;
        bool allow;
        bool clockSet;
    };
    const Case cases[] = {
        {"nist", true, true},
        {"several-lines", true, true},
        {"http10", true, true},
        {"framed-long-line", true, true},  // a first line of 10000 bytes is read whole, then passed over
        {"empty", true, false},
        {"nist", false, false},  // a user who may not set the clock
        // A real daytime server sends on accept and closes without reading the request, so the
        // client's system resets the connection: a record that the clock refuses, then the reset,
        // ends in the advice on the status line, not in a failure report.
        {"close-unread", false, false},
        {"cut-record", true, false},  // the record cut in its seconds by the reset sets nothing
    };
    for (const Case& c : cases) {
        clock_ = test::FakeClock();
        clock_.allow = c.allow;
        Store("RadioButton", 1);
        Store("URL", DaytimeUrl(c.scenario));
        std::string status;
        RunMain({MainIsActive(), Press('S', {VK_MENU}), Do([&] { status = Status(); }), Press('X', {VK_MENU})});
        if (c.clockSet) {
            EXPECT_EQ(status.rfind("Set computer's clock to ", 0), 0u) << c.scenario << ": " << status;
            ASSERT_EQ(clock_.set.size(), 1u) << c.scenario;
            EXPECT_GE(clock_.set[0].wYear, 2024) << c.scenario;
        } else {
            EXPECT_EQ(status,
                      "Could not set clock.  Make sure you are logged onto the Internet.  If so, press the Configure "
                      "button.")
                << c.scenario;
        }
        EXPECT_TRUE(boxes_.boxes.empty()) << c.scenario << ": " << (boxes_.boxes.empty() ? "" : boxes_.boxes[0].text);
    }
}

TEST_F(DialogTest, SetClockSetsWinesClockToTheCurrentSecond) {
    // Wine's SetSystemTime takes only a time within half a second of the host's clock, which it never
    // changes: the press is made just after a UTC second begins, so the record names that second.
    CWin32Clock wineClock;
    ScopedSeam<IClock> realClock{wineClock};
    Store("RadioButton", 1);
    Store("URL", DaytimeUrl("nist"));
    std::string status;
    for (int attempt = 0; attempt < 3 && status.rfind("Set computer's clock to ", 0) != 0; ++attempt) {
        RunMain({
            MainIsActive(),
            [] {
                ::SYSTEMTIME now{};
                ::GetSystemTime(&now);
                return now.wMilliseconds < 100;
            },
            Press('S', {VK_MENU}),
            Do([&] { status = Status(); }),
            Press('X', {VK_MENU}),
        });
    }
    EXPECT_EQ(status.rfind("Set computer's clock to ", 0), 0u) << status;
}

TEST_F(DialogTest, NetworkFailuresAreReportedWithWinInetsText) {
    struct Case {
        std::string url;
        DWORD code;
    };
    std::vector<Case> cases = {{"http://127.0.0.1:1", kCannotConnect}};
    // The unknown host is looked up only where the query cannot leave the machine.
    if (test::PrivateNetwork()) cases.push_back({"http://orvane-test.invalid:13", kNameNotResolved});
    for (const Case& c : cases) {
        boxes_.boxes.clear();
        Store("RadioButton", 1);
        Store("URL", c.url);
        std::string status = "<unread>";
        RunMain({MainIsActive(), Press(VK_RETURN), Do([&] { status = Status(); }), Press('X', {VK_MENU})});
        ASSERT_EQ(boxes_.boxes.size(), 1u) << c.url;
        const std::string expected = internet_.ErrorText(c.code).value_or("<no text>");
        EXPECT_EQ(boxes_.boxes[0].text, expected) << c.url;
        EXPECT_EQ(boxes_.boxes[0].caption, app_);
        EXPECT_EQ(boxes_.boxes[0].type, kStopBox) << c.url;
        EXPECT_EQ(status, "") << c.url << ": the status line stays empty";
    }
}

TEST_F(DialogTest, AnUnknownHostIsReportedWithWinInetsText) {
    if (!test::PrivateNetwork()) GTEST_SKIP() << "outside a private network namespace the lookup would leave the machine";
    Store("RadioButton", 1);
    Store("URL", std::string("http://orvane-test.invalid:13"));
    RunMain({MainIsActive(), Press(VK_RETURN), Press('X', {VK_MENU})});
    ASSERT_EQ(boxes_.boxes.size(), 1u);
    EXPECT_EQ(boxes_.boxes[0].text, internet_.ErrorText(kNameNotResolved).value_or("<no text>"));
}

// ---- File URLs ----------------------------------------------------------------------------------

TEST_F(DialogTest, AFileUrlsFailureIsNamedByTheSystemsCodeForTheOpen) {
    char temp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "orvane-file-urls-" + std::to_string(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    const std::string existing = folder + "\\record.txt";
    const std::string held = folder + "\\held.txt";
    for (const std::string& path : {existing, held}) {
        const ::HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        ::DWORD written = 0;
        const std::string record = "\n59000 20-02-29 12:00:00 00 0 0 100.0 UTC(NIST) * \n";
        ::WriteFile(file, record.data(), static_cast<::DWORD>(record.size()), &written, nullptr);
        ::CloseHandle(file);
    }
    // Another program holds this one open and shares it with no one.
    const ::HANDLE holder = ::CreateFileA(held.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);

    struct Case {
        std::string path;
        int cause;  // -1: opened (Set Clock reads only HTTP replies, so nothing is shown)
        const char* what;
    };
    const Case cases[] = {
        {existing, -1, "an existing file"},
        {folder + "\\missing.txt", CFileFailure::fileNotFound, "a missing file"},
        {folder + "\\missing folder\\record.txt", CFileFailure::badPath, "a missing folder"},
        {folder, CFileFailure::accessDenied, "a folder"},
        {held, CFileFailure::sharingViolation, "a file that another program holds"},
    };
    for (const Case& c : cases) {
        boxes_.boxes.clear();
        std::string url = "file:///" + c.path;
        for (char& ch : url) {
            if (ch == '\\') ch = '/';
        }
        Store("RadioButton", 1);
        Store("URL", url);
        std::string status = "<unread>";
        RunMain({MainIsActive(), Press(VK_RETURN), Do([&] { status = Status(); }), Press('X', {VK_MENU})});
        EXPECT_EQ(status, "") << c.what;
        if (c.cause < 0) {
            EXPECT_TRUE(boxes_.boxes.empty()) << c.what << ": " << (boxes_.boxes.empty() ? "" : boxes_.boxes[0].text);
            continue;
        }
        ASSERT_EQ(boxes_.boxes.size(), 1u) << c.what << " (" << url << ")";
        // The cause's text with the path in place of "%1".
        const std::string text = LoadResourceString(kFileFailureTextFirst + static_cast<UINT>(c.cause));
        const std::size_t insert = text.find("%1");
        ASSERT_NE(insert, std::string::npos);
        const std::string& shown = boxes_.boxes[0].text;
        EXPECT_EQ(shown.rfind(text.substr(0, insert), 0), 0u) << c.what << ": " << shown;
        EXPECT_GE(shown.size(), text.size() - 2) << c.what << ": " << shown;
        EXPECT_EQ(shown.substr(shown.size() - (text.size() - insert - 2)), text.substr(insert + 2)) << c.what << ": " << shown;
        const std::string name = c.path.substr(c.path.find_last_of('\\') + 1);
        EXPECT_NE(shown.find(name), std::string::npos) << c.what << ": " << shown;
        EXPECT_EQ(boxes_.boxes[0].type, kStopBox) << c.what;
    }
    ::CloseHandle(holder);
    ::DeleteFileA(existing.c_str());
    ::DeleteFileA(held.c_str());
    ::RemoveDirectoryA(folder.c_str());
}

// ---- Without an Internet session ----------------------------------------------------------------

TEST_F(DialogTest, WithoutAnInternetSessionTheReportComesFirstAndSetClockDoesNothing) {
    test::SessionRefusingInternet refusing(internet_);
    ScopedSeam<IInternet> refusingSeam{refusing};
    test::FakeCursor cursor;
    ScopedSeam<ICursor> cursorSeam{cursor};
    Store("RadioButton", 1);
    Store("URL", DaytimeUrl("nist"));
    bool mainVisibleAtReport = true;
    boxes_.onShow = [&](const test::FakeMessageBox::Box&) {
        mainVisibleAtReport = MainWindow() && ::IsWindowVisible(MainWindow());
    };
    ::RECT window{};
    std::string status = "<unread>";
    int waitCursors = -1;
    ::HWND about = nullptr, configure = nullptr;
    const LRESULT result = RunMain({
        MainIsActive(),
        Do([&] { ::GetWindowRect(MainWindow(), &window); }),
        Press('S', {VK_MENU}),
        Press(VK_RETURN),  // the default button, Set Clock
        Do([&] {
            status = Status();
            waitCursors = cursor.begun;
        }),
        // The other buttons work as usual.
        Press('A', {VK_MENU}),
        [&] {
            const ::HWND active = ::GetActiveWindow();
            if (!active || active == MainWindow() || WindowText(active) != "Orvane" || !::IsWindowVisible(active)) return false;
            about = active;
            return true;
        },
        Press(VK_ESCAPE),
        MainIsActive(),
        Press('C', {VK_MENU}),
        WaitForActive("Configure", &configure),
        Press(VK_ESCAPE),
        MainIsActive(),
        Press('H', {VK_MENU}),
        [&] { return !help_.requests.empty(); },
        Press('X', {VK_MENU}),
    });
    EXPECT_EQ(result, IDOK) << "Exit ends the program as usual";
    EXPECT_EQ(refusing.opens, 1);
    ASSERT_EQ(boxes_.boxes.size(), 1u) << "the refusal is reported once";
    EXPECT_EQ(boxes_.boxes[0].text, internet_.ErrorText(kSessionRefused).value_or("<no text>"));
    EXPECT_EQ(boxes_.boxes[0].type, kStopBox);
    EXPECT_FALSE(mainVisibleAtReport) << "the report comes before the main window shows";
    // The failure stopped the placement: the window stands at its template's position, the screen's
    // top-left corner.
    EXPECT_EQ(window.left, 0);
    EXPECT_EQ(window.top, 0);
    EXPECT_EQ(status, "") << "Set Clock does nothing";
    EXPECT_EQ(waitCursors, 0) << "Set Clock shows no wait cursor";
    EXPECT_EQ(refusing.urlOpens, 0);
    EXPECT_TRUE(clock_.requests.empty());
    EXPECT_NE(about, nullptr);
    EXPECT_NE(configure, nullptr);
    ASSERT_EQ(help_.requests.size(), 2u);
    EXPECT_EQ(help_.requests[0].command, HELP_FINDER);
    EXPECT_EQ(help_.requests[1].command, HELP_QUIT);
}

// ---- The minimised window -----------------------------------------------------------------------

// The real windows, where a minimised window's client area has the size the test chooses and every
// icon drawn, and every background erased for one, is recorded.
class IconRecordingWindows : public test::ForwardingWindows {
public:
    using ForwardingWindows::ForwardingWindows;

    struct Drawn {
        int x;
        int y;
        HICON icon;
    };

    RECT GetClientRect(HWND window) override {
        if (real_.IsIconic(window)) return RECT{0, 0, iconicClient.cx, iconicClient.cy};
        return real_.GetClientRect(window);
    }
    void DrawIcon(HDC dc, int x, int y, HICON icon) override {
        drawn.push_back({x, y, icon});
        real_.DrawIcon(dc, x, y, icon);
    }
    LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_ICONERASEBKGND) erased.push_back(drawn.size());
        return real_.SendMessage(window, message, wParam, lParam);
    }

    ::SIZE iconicClient{36, 36};
    std::vector<Drawn> drawn;
    std::vector<std::size_t> erased;  // for each erase, how many icons had been drawn before it
};

TEST_F(DialogTest, TheMinimisedWindowDrawsTheProgramsIconCentredAndDragsIt) {
    IconRecordingWindows recording(windows_);
    ScopedSeam<IWindows> recordingSeam{recording};
    struct Case {
        ::SIZE client;
        int x;
        int y;
    };
    // A 32-pixel icon; each division truncates toward zero, so 30 pixels give 0, not -1.
    const Case cases[] = {
        {{36, 36}, 2, 2},
        {{35, 35}, 2, 2},
        {{30, 30}, 0, 0},
        {{30, 36}, 0, 2},
        {{20, 23}, -5, -4},
    };
    const ::HICON programIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
    bool paintedByTheSystem = false;
    bool paintedWhileRestored = true;
    ::HICON dragIcon = nullptr, bigIcon = nullptr;
    std::vector<std::vector<IconRecordingWindows::Drawn>> painted;
    std::deque<std::function<bool()>> steps{
        MainIsActive(),
        Do([&] {
            dragIcon = reinterpret_cast<::HICON>(::SendMessageA(MainWindow(), WM_QUERYDRAGICON, 0, 0));
            bigIcon = reinterpret_cast<::HICON>(::SendMessageA(MainWindow(), WM_GETICON, ICON_BIG, 0));
            ::ShowWindow(MainWindow(), SW_MINIMIZE);
        }),
        [&] { return ::IsIconic(MainWindow()) != FALSE; },
    };
    for (const Case& c : cases) {
        steps.push_back(Do([&, c] {
            recording.iconicClient = c.client;
            recording.drawn.clear();
            recording.erased.clear();
            ::RedrawWindow(MainWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
            // Where the system does not paint minimised windows, the program is asked as the
            // system would ask it.
            if (recording.drawn.empty()) {
                ::SendMessageA(MainWindow(), WM_PAINT, 0, 0);
            } else {
                paintedByTheSystem = true;
            }
            painted.push_back(recording.drawn);
            EXPECT_EQ(recording.erased, std::vector<std::size_t>{0}) << "the background is erased once, before the icon";
        }));
    }
    steps.push_back(Do([&] { ::ShowWindow(MainWindow(), SW_RESTORE); }));
    steps.push_back([&] { return !::IsIconic(MainWindow()); });
    steps.push_back(Do([&] {
        recording.drawn.clear();
        ::RedrawWindow(MainWindow(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        ::SendMessageA(MainWindow(), WM_PAINT, 0, 0);
        paintedWhileRestored = !recording.drawn.empty();
    }));
    steps.push_back(Press('X', {VK_MENU}));
    RunMain(std::move(steps));

    ASSERT_EQ(::GetSystemMetrics(SM_CXICON), 32);
    ASSERT_EQ(::GetSystemMetrics(SM_CYICON), 32);
    ASSERT_NE(programIcon, nullptr);
    EXPECT_EQ(dragIcon, programIcon) << "the minimised window is dragged with the program's icon";
    EXPECT_EQ(bigIcon, programIcon);
    ASSERT_EQ(painted.size(), std::size(cases));
    for (std::size_t i = 0; i < painted.size(); ++i) {
        const Case& c = cases[i];
        ASSERT_EQ(painted[i].size(), 1u) << "client " << c.client.cx << " by " << c.client.cy;
        EXPECT_EQ(painted[i][0].x, c.x) << "client " << c.client.cx << " by " << c.client.cy;
        EXPECT_EQ(painted[i][0].y, c.y) << "client " << c.client.cx << " by " << c.client.cy;
        EXPECT_EQ(painted[i][0].icon, programIcon);
    }
    EXPECT_FALSE(paintedWhileRestored) << "a window that is not minimised paints as a dialog does, without the icon";
    std::printf("[ note ] Wine %s the minimised window itself\n", paintedByTheSystem ? "paints" : "does not paint");
}

}  // namespace
}  // namespace orvane

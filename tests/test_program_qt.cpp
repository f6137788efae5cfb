// Tests of the whole Linux program: the real windows on Qt's offscreen platform, the real settings
// file, libcurl against a daytime server on 127.0.0.1, and a test double for the clock.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "QtTestApplication.h"
#include "app/AppNames.h"
#include "app/Application.h"
#include "config/ServerList.h"
#include "config/SettingsStore.h"
#include "doubles/FakeClock.h"
#include "doubles/FakeHelp.h"
#include "doubles/FailingWindows.h"
#include "doubles/FakeMessageBox.h"
#include "doubles/SessionRefusingInternet.h"
#include "linux/NoProxy.h"
#include "linux/PrivateNetwork.h"
#include "platform/Internet.h"
#include "platform/Seam.h"
#include "platform/linux/PlatformServices.h"
#include "platform/linux/QtServices.h"
#include "platform/linux/RegistryFile.h"
#include "platform/linux/WindowsQt.h"
#include "res/resource.h"
#include "tools/daytimed/DaytimeServer.h"
#include "ui/Wnd.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using daytimed::DaytimeServer;
using daytimed::Scenario;

const char kRecord[] = "54441 07-12-07 14:39:10 00 0 0 123.4 UTC(NIST) *";
const char kSection[] = "Configuration";
const char kAdvice[] =
    "Could not set clock.  Make sure you are logged onto the Internet.  If so, press the Configure button.";

// The program's windows, made once for the whole test program as the program makes them once, and
// never destroyed: a failed test's windows may still be around at exit.
qt::CQtWindows& ProgramWindows() {
    static auto* windows = new qt::CQtWindows(qt::ProgramResources());
    return *windows;
}
qt::CQtWindows& Qt() { return ProgramWindows(); }

// Runs `step` once the current event has been handled: inside whatever modal loop runs by then.
void Later(std::function<void()> step) { QTimer::singleShot(0, std::move(step)); }

// A port on 127.0.0.1 that nothing listens on: bound, then closed.
int RefusedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

HWND MainWindow() { return App().m_pMainWnd ? App().m_pMainWnd->m_hWnd : nullptr; }
// The dialog that runs over the main window, or null.
HWND TopDialog() {
    const HWND main = MainWindow();
    const HWND popup = main ? Qt().GetLastActivePopup(main) : nullptr;
    return popup == main ? nullptr : popup;
}

QWidget* Control(HWND dialog, int id) { return Qt().WidgetOf(Qt().GetDlgItem(dialog, id)); }
void Click(HWND dialog, int id) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(Control(dialog, id)), Qt::LeftButton);
}
void Key(HWND dialog, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : Qt().WidgetOf(dialog), static_cast<Qt::Key>(key), modifiers);
}
std::string Status(HWND main) { return Qt().GetWindowText(Qt().GetDlgItem(main, IDC_STATUS)); }
int FocusId() {
    const HWND focus = Qt().GetFocus();
    return focus ? Qt().GetDlgCtrlID(focus) : 0;
}

class ProgramTest : public ::testing::Test {
protected:
    ProgramTest() {
        test::TestApplication();
        test::ClearProxyEnvironment();
        directory_ = fs::temp_directory_path() / ("orvane-program-" + std::to_string(getpid()) + "-" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(directory_);
        regfile::SetRegistryFilePathForTesting((directory_ / "registry.reg").string());
        SetAppNames(DeriveAppNames((directory_ / "orvane").string()));
        AppSettings().SetKeyNames("Quintarro", "orvane");
    }
    ~ProgramTest() override {
        regfile::SetRegistryFilePathForTesting("");
        fs::remove_all(directory_);
    }

    void UseOwnUrl(const std::string& url) {
        AppSettings().WriteInt(kSection, "RadioButton", 1);
        AppSettings().WriteString(kSection, "URL", url);
    }

    // Starts the program as its entry point does; `script` runs inside the main window's modal loop
    // and the program is ended with Exit afterwards if the script left it open.
    // With `exitAfter` false the script must end the program itself; if it has not ended two
    // seconds later, Exit is pressed and the result is false.
    bool RunProgram(const std::function<void(HWND main)>& script, bool exitAfter = true) {
        bool forced = false;
        Later([script, exitAfter, &forced] {
            const HWND main = MainWindow();
            ASSERT_NE(main, nullptr);
            EXPECT_TRUE(QTest::qWaitForWindowActive(Qt().WidgetOf(main)));
            script(main);
            if (exitAfter) {
                if (MainWindow()) Click(MainWindow(), IDOK);
                return;
            }
            QTimer::singleShot(2000, [main, &forced] {
                if (MainWindow() != main) return;
                forced = true;
                Click(main, IDOK);
            });
        });
        EXPECT_FALSE(App().InitInstance());
        EXPECT_EQ(App().m_pMainWnd, nullptr);
        return !forced;
    }

    std::string SettingsFileText() const {
        std::ifstream file(directory_ / "registry.reg");
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    fs::path directory_;
    // Doubles for the clock, the boxes and the help engine; the real services for the rest, each
    // installed here by name. Nothing else is installed: the machine's clock cannot be reached.
    test::FakeClock clock;
    test::FakeMessageBox boxes;
    test::FakeHelp help;
    CFileRegistry registry;
    CCurlInternet internet;
    CLinkedResources resources;
    CLinuxLocalTime localTime;
    CLinuxProcess process;
    CQtCursor cursor;
    ScopedSeam<IClock> clockSeam{clock};
    ScopedSeam<IMessageBox> boxesSeam{boxes};
    ScopedSeam<IHelp> helpSeam{help};
    ScopedSeam<IWindows> windowsSeam{ProgramWindows()};
    ScopedSeam<IRegistry> registrySeam{registry};
    ScopedSeam<IInternet> internetSeam{internet};
    ScopedSeam<IResources> resourcesSeam{resources};
    ScopedSeam<ILocalTime> localTimeSeam{localTime};
    ScopedSeam<IProcess> processSeam{process};
    ScopedSeam<ICursor> cursorSeam{cursor};
};

// ---- The main window --------------------------------------------------------------------------

TEST_F(ProgramTest, MainWindowOpensCentredWithTheFocusOnSetClockAndIgnoresEsc) {
    RunProgram([&](HWND main) {
        const RECT window = Qt().GetWindowRect(main);
        const RECT area = Qt().GetWorkArea();
        EXPECT_NEAR((window.left + window.right) / 2, (area.left + area.right) / 2, 1);
        EXPECT_NEAR((window.top + window.bottom) / 2, (area.top + area.bottom) / 2, 1);
        EXPECT_EQ(FocusId(), IDC_SET_CLOCK);

        Key(main, Qt::Key_Escape);
        QTest::qWait(50);
        EXPECT_EQ(MainWindow(), main) << "Esc leaves the main window open";
        EXPECT_EQ(Status(main), "");
    });
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ProgramTest, TabMovesAlongTheFiveButtonsInOrder) {
    RunProgram([&](HWND main) {
        std::vector<int> order{FocusId()};
        for (int i = 0; i < 5; ++i) {
            Key(main, Qt::Key_Tab);
            order.push_back(FocusId());
        }
        EXPECT_EQ(order, (std::vector<int>{IDC_SET_CLOCK, IDC_CONFIGURE, IDC_HELP_BUTTON, IDC_ABOUT, IDOK, IDC_SET_CLOCK}));
        Key(main, Qt::Key_Backtab);
        EXPECT_EQ(FocusId(), IDOK);
    });
}

TEST_F(ProgramTest, TheCloseBoxEndsTheProgramAsExitDoesAndAsksHelpToQuit) {
    EXPECT_TRUE(RunProgram([&](HWND main) { Qt().WidgetOf(main)->close(); }, false));
    ASSERT_FALSE(help.requests.empty());
    EXPECT_EQ(help.requests.back().command, HELP_QUIT);
}

TEST_F(ProgramTest, AltXAndAltF4EndTheProgram) {
    EXPECT_TRUE(RunProgram([&](HWND main) { Key(main, Qt::Key_X, Qt::AltModifier); }, false));
    EXPECT_TRUE(RunProgram([&](HWND main) { Key(main, Qt::Key_F4, Qt::AltModifier); }, false));
}

TEST_F(ProgramTest, HelpButtonAndF1OpenTheHelpFinderButF1WithModifiersDoesNothing) {
    RunProgram([&](HWND main) {
        Click(main, IDC_HELP_BUTTON);
        Key(main, Qt::Key_F1);
        Key(main, Qt::Key_F1, Qt::ShiftModifier);
        Key(main, Qt::Key_F1, Qt::ControlModifier);
        Key(main, Qt::Key_F1, Qt::AltModifier);
    });
    ASSERT_GE(help.requests.size(), 2u);
    EXPECT_EQ(help.requests[0].command, HELP_FINDER);
    EXPECT_EQ(help.requests[1].command, HELP_FINDER);
    EXPECT_EQ(help.requests[1].path, (directory_ / "orvane.HLP").string());
    ASSERT_EQ(help.requests.size(), 3u) << "only Exit's quit request follows";
    EXPECT_EQ(help.requests[2].command, HELP_QUIT);
}

TEST_F(ProgramTest, AHelpFileThatCannotBeOpenedSaysSo) {
    help.accept = false;
    RunProgram([&](HWND main) { Click(main, IDC_HELP_BUTTON); });
    ASSERT_FALSE(boxes.boxes.empty());
    EXPECT_EQ(boxes.boxes[0].text, "Failed to launch help.");
    EXPECT_EQ(boxes.boxes[0].caption, "orvane");
}

// ---- Set Clock ---------------------------------------------------------------------------------

TEST_F(ProgramTest, EnterSetsTheClockInUtcAndShowsTheLocalTime) {
    DaytimeServer server(Scenario::Nist, 0, kRecord);
    UseOwnUrl(server.Url());
    RunProgram([&](HWND main) {
        Key(main, Qt::Key_Return);
        const std::string status = Status(main);
        EXPECT_EQ(status.rfind("Set computer's clock to ", 0), 0u) << status;
        EXPECT_GT(status.size(), std::string("Set computer's clock to .").size()) << "the date text is there";
        EXPECT_EQ(status.back(), '.');
    });
    ASSERT_EQ(clock.set.size(), 1u);
    EXPECT_EQ(clock.set[0].wYear, 2007);
    EXPECT_EQ(clock.set[0].wMonth, 12);
    EXPECT_EQ(clock.set[0].wDay, 7);
    EXPECT_EQ(clock.set[0].wHour, 14);
    EXPECT_EQ(clock.set[0].wMinute, 39);
    EXPECT_EQ(clock.set[0].wSecond, 10);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ProgramTest, AltSPressesSetClock) {
    DaytimeServer server(Scenario::Nist, 0, kRecord);
    UseOwnUrl(server.Url());
    RunProgram([&](HWND main) {
        Key(main, Qt::Key_S, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return clock.set.size() == 1; }, 5000));
    });
}

struct Outcome {
    const char* name;
    Scenario scenario;
    bool set;            // the clock was set from the record
    std::size_t asked;   // how many times the clock was asked
    const char* status;  // "set" for the clock-set text
};

TEST_F(ProgramTest, SetClockShowsTheOutcomeOfEachKindOfReply) {
    const Outcome outcomes[] = {
        {"nist", Scenario::Nist, true, 1, "set"},
        {"crlf", Scenario::CrLfLines, true, 1, "set"},
        {"two records: the second is never read", Scenario::SeveralLines, true, 1, "set"},
        {"http/1.0 body", Scenario::Http10, true, 1, "set"},
        {"close without reading the request", Scenario::CloseUnread, true, 1, "set"},
        {"a server that reads the request first", Scenario::NistReadFirst, true, 1, "set"},
        {"a reset in the line after the record", Scenario::ResetMidLine, true, 1, "set"},
        {"a line of 10000 bytes before the record", Scenario::FramedLongLine, true, 1, "set"},
        {"empty", Scenario::Empty, false, 0, kAdvice},
        // The server's reset comes after the four CR bytes: it ends the reply.
        {"carriage returns only", Scenario::CarriageReturnsOnly, false, 0, kAdvice},
        // "54441 07-12-07 14:39:1" and the reset: the cut line must not set second 1.
        {"a record cut by a reset", Scenario::CutRecord, false, 0, kAdvice},
    };
    for (const Outcome& o : outcomes) {
        SCOPED_TRACE(o.name);
        clock.requests.clear();
        clock.set.clear();
        DaytimeServer server(o.scenario, 0, kRecord);
        UseOwnUrl(server.Url());
        std::string status;
        RunProgram([&](HWND main) {
            Click(main, IDC_SET_CLOCK);
            status = Status(main);
        });
        EXPECT_EQ(clock.set.size(), o.set ? 1u : 0u);
        EXPECT_EQ(clock.requests.size(), o.asked);
        if (std::string(o.status) == "set") {
            EXPECT_EQ(status.rfind("Set computer's clock to ", 0), 0u) << status;
        } else {
            EXPECT_EQ(status, o.status);
        }
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST_F(ProgramTest, AUserWhoMayNotSetTheClockGetsTheAdvice) {
    // The refused record leaves the program reading on to the end of the reply, which a daytime
    // server ends with a reset: the reset is the end, not a failure to report.
    const struct {
        const char* name;
        Scenario scenario;
        std::size_t asked;
    } cases[] = {
        {"a record, then the reset of the unread request", Scenario::Nist, 1},
        {"two records, then a clean close", Scenario::SeveralLines, 2},
        {"a record, then a reset inside the next line", Scenario::ResetMidLine, 1},
        {"a record sent byte by byte, then the reset", Scenario::Slow, 1},
        {"a server that reads the request first", Scenario::NistReadFirst, 1},
    };
    clock.allow = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        clock.requests.clear();
        boxes.boxes.clear();
        DaytimeServer server(c.scenario, 0, kRecord);
        UseOwnUrl(server.Url());
        std::string status;
        RunProgram([&](HWND main) {
            Click(main, IDC_SET_CLOCK);
            status = Status(main);
        });
        EXPECT_EQ(status, kAdvice);
        EXPECT_EQ(clock.requests.size(), c.asked);
        EXPECT_TRUE(clock.set.empty());
        EXPECT_TRUE(boxes.boxes.empty()) << (boxes.boxes.empty() ? "" : boxes.boxes[0].text);
    }
}

struct SyncCase {
    const char* name;
    AutomaticSync sync;
    int answer;          // the user's answer to the question, where it is asked
    bool allow;          // the clock takes the time
    bool syncComesBack;  // automatic synchronisation is turned on again
    std::size_t set;     // times the clock was set
    const char* status;  // a regular expression
};

TEST_F(ProgramTest, AutomaticSynchronisationDecidesWhetherAndHowTheClockIsSet) {
    const SyncCase cases[] = {
        {"off: as ever", AutomaticSync::Off, IDOK, true, true, 1, "Set computer's clock to .+\\."},
        {"synchronised: nothing asked or set", AutomaticSync::OnSynchronised, IDOK, true, true, 0,
         "Automatic time synchronisation keeps the computer's clock\\.  NIST's time differs from it by 3[67] s\\."},
        {"unsynchronised, accepted", AutomaticSync::OnUnsynchronised, IDOK, true, true, 1,
         "Set computer's clock to .+\\.  Automatic time synchronisation is on again\\."},
        {"unsynchronised, declined", AutomaticSync::OnUnsynchronised, IDCANCEL, true, true, 0,
         "Clock left as it was\\.  Automatic time synchronisation is still on\\."},
        {"unsynchronised, the system refuses", AutomaticSync::OnUnsynchronised, IDOK, false, true, 0,
         "Could not set clock: the system did not allow it\\.  Automatic time synchronisation is on again\\."},
        {"unsynchronised, set, synchronisation left off", AutomaticSync::OnUnsynchronised, IDOK, true, false, 1,
         "Set computer's clock to .+, but automatic time synchronisation could not be turned on again\\."},
        {"unsynchronised, refused, synchronisation left off", AutomaticSync::OnUnsynchronised, IDOK, false, false, 0,
         "Could not set clock, and automatic time synchronisation could not be turned on again\\."},
    };
    for (const SyncCase& c : cases) {
        SCOPED_TRACE(c.name);
        clock = test::FakeClock();
        clock.sync = c.sync;
        clock.allow = c.allow;
        clock.syncComesBack = c.syncComesBack;
        boxes.boxes.clear();
        boxes.answer = c.answer;
        DaytimeServer server(Scenario::Nist, 0, daytimed::NistRecord(std::time(nullptr) + 37));
        UseOwnUrl(server.Url());
        std::string status;
        RunProgram([&](HWND main) {
            Key(main, Qt::Key_Return);
            status = Status(main);
        });
        EXPECT_TRUE(std::regex_match(status, std::regex(c.status))) << status;
        EXPECT_EQ(clock.set.size(), c.set);
        const bool suspends = c.sync == AutomaticSync::OnUnsynchronised && c.answer == IDOK;
        EXPECT_EQ(clock.suspended.size(), suspends ? 1u : 0u);
        // Asked before acting, where synchronisation has not set the clock; OK, the default, sets it.
        ASSERT_EQ(boxes.boxes.size(), c.sync == AutomaticSync::OnUnsynchronised ? 1u : 0u);
        EXPECT_TRUE(boxes.boxes.empty() || boxes.boxes[0].type == (MB_OKCANCEL | MB_ICONQUESTION));
    }
}

struct Unreachable {
    const char* name;
    std::string url;
    const char* text;  // what the failure report shows; empty: any text
};

TEST_F(ProgramTest, AServerThatCannotBeReachedIsReportedAndLeavesTheStatusEmpty) {
    const Unreachable cases[] = {
        {"refused port", "http://127.0.0.1:" + std::to_string(RefusedPort()),
         "A connection with the server could not be established.\r\n"},
        {"unknown host", "http://nosuchhost.invalid:13", "The server name or address could not be resolved.\r\n"},
        {"empty URL", "", ""},
    };
    for (const Unreachable& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.boxes.clear();
        UseOwnUrl(c.url);
        std::string status = "unchanged";
        bool cursorRestored = false;
        const auto run = [&] {
            RunProgram([&](HWND main) {
                Qt().SetWindowText(Qt().GetDlgItem(main, IDC_STATUS), "earlier text");
                Click(main, IDC_SET_CLOCK);
                status = Status(main);
                cursorRestored = QApplication::overrideCursor() == nullptr;
            });
        };
        // A resolver would ask its name server about the unknown host: that lookup runs where no
        // query can leave the machine.
        if (std::string(c.name) == "unknown host") {
            if (!test::InPrivateNetwork(run)) continue;
        } else {
            run();
        }
        EXPECT_EQ(status, "") << "the status line keeps the emptied text";
        EXPECT_TRUE(cursorRestored) << "the wait cursor ends on the failure path too";
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].caption, "orvane");
        EXPECT_EQ(boxes.boxes[0].type, MB_ICONSTOP);
        EXPECT_NE(boxes.boxes[0].text, "");
        if (*c.text) {
            EXPECT_EQ(boxes.boxes[0].text, c.text);
        }
        EXPECT_TRUE(clock.requests.empty());
    }
}

TEST_F(ProgramTest, AFileUrlIsNotReadAndShowsNothing) {
    const fs::path record = directory_ / "record.txt";
    std::ofstream(record) << kRecord << "\n";
    UseOwnUrl("file://" + record.string());
    RunProgram([&](HWND main) {
        Qt().SetWindowText(Qt().GetDlgItem(main, IDC_STATUS), "earlier text");
        Click(main, IDC_SET_CLOCK);
        EXPECT_EQ(Status(main), "");
    });
    EXPECT_TRUE(clock.requests.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ProgramTest, AMissingLocalFileIsReportedWithItsPath) {
    const std::string path = (directory_ / "missing.txt").string();
    UseOwnUrl("file://" + path);
    RunProgram([&](HWND main) { Click(main, IDC_SET_CLOCK); });
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, path + " was not found.");
}

// ---- Configure ---------------------------------------------------------------------------------

struct ConfigureView {
    bool existing = false;
    bool own = false;
    int selected = -2;
    int items = 0;
    std::string url;
    int focus = 0;
};

ConfigureView Look(HWND dialog) {
    ConfigureView view;
    view.existing = qobject_cast<QRadioButton*>(Qt().WidgetOf(Qt().GetDlgItem(dialog, IDC_EXISTING_URL)))->isChecked();
    view.own = qobject_cast<QRadioButton*>(Qt().WidgetOf(Qt().GetDlgItem(dialog, IDC_NEW_URL_RADIO)))->isChecked();
    auto* list = qobject_cast<QComboBox*>(Qt().WidgetOf(Qt().GetDlgItem(dialog, IDC_URL_LIST)));
    view.selected = list->currentIndex();
    view.items = list->count();
    view.url = Qt().GetWindowText(Qt().GetDlgItem(dialog, IDC_NEW_URL));
    const HWND focus = Qt().GetFocus();
    view.focus = focus ? Qt().GetDlgCtrlID(focus) : 0;
    return view;
}

// Opens Configure, runs `inside` on it, and returns once it has closed.
template <class Inside>
void InConfigure(HWND main, Inside inside) {
    Later([inside] {
        EXPECT_TRUE(QTest::qWaitFor([] { return TopDialog() != nullptr; }, 2000));
        const HWND dialog = TopDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(QTest::qWaitForWindowActive(Qt().WidgetOf(dialog)));
        inside(dialog);
    });
    Click(main, IDC_CONFIGURE);
}

TEST_F(ProgramTest, F1OpensHelpInConfigureAlsoWhileTheServerListIsDroppedDown) {
    bool dropped = false;
    RunProgram([&](HWND main) {
        InConfigure(main, [&](HWND dialog) {
            Key(dialog, Qt::Key_F1);  // on the dialog's own controls
            auto* list = qobject_cast<QComboBox*>(Qt().WidgetOf(Qt().GetDlgItem(dialog, IDC_URL_LIST)));
            list->setFocus();
            list->showPopup();
            dropped = QTest::qWaitFor([list] { return list->view()->isVisible(); }, 2000);
            // The open list takes the keys: F1 reaches its view first.
            QTest::keyClick(list->view(), Qt::Key_F1);
            list->hidePopup();
            EXPECT_TRUE(QTest::qWaitFor([list] { return !list->view()->isVisible(); }, 2000)) << "the list never closed";
            // The dialog still has the keys: Esc closes it.
            Key(dialog, Qt::Key_Escape);
        });
    });
    EXPECT_TRUE(dropped) << "the list never dropped down";
    ASSERT_GE(help.requests.size(), 2u);
    EXPECT_EQ(help.requests[0].command, HELP_FINDER);
    EXPECT_EQ(help.requests[1].command, HELP_FINDER) << "F1 with the list dropped down opens help too";
}

TEST_F(ProgramTest, ConfigureOnFirstUseShowsTheFirstServerAndStoresItOnOk) {
    ConfigureView view;
    RunProgram([&](HWND main) {
        InConfigure(main, [&](HWND dialog) {
            view = Look(dialog);
            Click(dialog, IDOK);
        });
    });
    EXPECT_TRUE(view.existing);
    EXPECT_FALSE(view.own);
    EXPECT_EQ(view.items, 7);
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.url, "");
    EXPECT_EQ(view.focus, IDC_URL_LIST) << "the focus starts in the list";
    EXPECT_EQ(AppSettings().GetInt(kSection, "RadioButton", 99), 0u);
    EXPECT_EQ(AppSettings().GetInt(kSection, "URLIndex", 99), 0u);
    EXPECT_EQ(AppSettings().GetString(kSection, "URL", "missing"), "");
    const std::string text = SettingsFileText();
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Quintarro\\orvane\\Configuration]"), std::string::npos) << text;
    EXPECT_NE(text.find("\"RadioButton\"=dword:00000000"), std::string::npos) << text;
}

TEST_F(ProgramTest, ConfigureClampsAStoredIndexAndTurnsAnyOtherRadioValueIntoOwnUrl) {
    AppSettings().WriteInt(kSection, "URLIndex", 9);
    AppSettings().WriteInt(kSection, "RadioButton", 5);
    AppSettings().WriteString(kSection, "URL", "  http://example.invalid:13 ");
    ConfigureView view;
    RunProgram([&](HWND main) {
        InConfigure(main, [&](HWND dialog) {
            view = Look(dialog);
            Key(dialog, Qt::Key_Return);
        });
    });
    EXPECT_FALSE(view.existing);
    EXPECT_TRUE(view.own);
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.url, "  http://example.invalid:13 ");
    EXPECT_EQ(AppSettings().GetInt(kSection, "URLIndex", 99), 0u);
    EXPECT_EQ(AppSettings().GetInt(kSection, "RadioButton", 99), 1u);
    EXPECT_EQ(AppSettings().GetString(kSection, "URL", ""), "  http://example.invalid:13 ") << "kept as typed";
}

TEST_F(ProgramTest, OkStoresTheListAndTheEditWhateverTheRadioButtonsSay) {
    RunProgram([&](HWND main) {
        InConfigure(main, [&](HWND dialog) {
            auto* list = qobject_cast<QComboBox*>(Control(dialog, IDC_URL_LIST));
            list->setCurrentIndex(6);
            QTest::keyClicks(qobject_cast<QLineEdit*>(Control(dialog, IDC_NEW_URL)), "http://127.0.0.1:1313");
            // The radio buttons stay as they were: choosing and typing do not switch them.
            EXPECT_TRUE(Look(dialog).existing);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(GetServerUrl(), "http://utcnist.colorado.edu:13");
    });
    EXPECT_EQ(AppSettings().GetInt(kSection, "RadioButton", 99), 0u);
    EXPECT_EQ(AppSettings().GetInt(kSection, "URLIndex", 99), 6u);
    EXPECT_EQ(AppSettings().GetString(kSection, "URL", ""), "http://127.0.0.1:1313");
}

TEST_F(ProgramTest, MnemonicNTurnsOnNewUrlAndAnEmptyUrlIsStored) {
    RunProgram([&](HWND main) {
        InConfigure(main, [&](HWND dialog) {
            Key(dialog, Qt::Key_N, Qt::AltModifier);
            EXPECT_TRUE(QTest::qWaitFor([&] { return Look(dialog).own; }, 2000));
            EXPECT_FALSE(Look(dialog).existing);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(GetServerUrl(), "");
    });
    EXPECT_EQ(AppSettings().GetInt(kSection, "RadioButton", 99), 1u);
    EXPECT_EQ(AppSettings().GetString(kSection, "URL", "missing"), "");
}

TEST_F(ProgramTest, CancelEscAndTheCloseBoxStoreNothing) {
    AppSettings().WriteInt(kSection, "URLIndex", 3);
    const std::string before = SettingsFileText();
    const std::function<void(HWND)> closers[] = {
        [](HWND dialog) { Click(dialog, IDCANCEL); },
        [](HWND dialog) { Key(dialog, Qt::Key_Escape); },
        [](HWND dialog) { Qt().WidgetOf(dialog)->close(); },
    };
    for (const auto& closeIt : closers) {
        ConfigureView reopened;
        RunProgram([&](HWND main) {
            InConfigure(main, [&](HWND dialog) {
                qobject_cast<QComboBox*>(Control(dialog, IDC_URL_LIST))->setCurrentIndex(5);
                Key(dialog, Qt::Key_N, Qt::AltModifier);
                QTest::qWait(150);
                closeIt(dialog);
            });
            EXPECT_EQ(TopDialog(), nullptr) << "the dialog has closed";
            InConfigure(main, [&](HWND dialog) {
                reopened = Look(dialog);
                // The dialog still has the keys: Esc closes it.
            Key(dialog, Qt::Key_Escape);
            });
        });
        EXPECT_EQ(SettingsFileText(), before);
        EXPECT_EQ(reopened.selected, 3);
        EXPECT_TRUE(reopened.existing);
    }
}

TEST_F(ProgramTest, TheStatusLineKeepsItsTextAcrossConfigureAndTheNextSetClockUsesTheChoice) {
    DaytimeServer server(Scenario::Nist, 0, kRecord);
    RunProgram([&](HWND main) {
        Qt().SetWindowText(Qt().GetDlgItem(main, IDC_STATUS), "previous outcome");
        InConfigure(main, [&](HWND dialog) {
            Key(dialog, Qt::Key_N, Qt::AltModifier);
            EXPECT_TRUE(QTest::qWaitFor([&] { return Look(dialog).own; }, 2000));
            QTest::keyClicks(qobject_cast<QLineEdit*>(Control(dialog, IDC_NEW_URL)), QString::fromStdString(server.Url()));
            Click(dialog, IDOK);
        });
        EXPECT_EQ(Status(main), "previous outcome");
        Click(main, IDC_SET_CLOCK);
        EXPECT_EQ(Status(main).rfind("Set computer's clock to ", 0), 0u) << Status(main);
    });
    EXPECT_EQ(clock.set.size(), 1u);
}

ssize_t ReadFailsWithEio(int /*fd*/, void* /*buffer*/, std::size_t /*size*/) {
    errno = EIO;
    return -1;
}

TEST_F(ProgramTest, ConfigureOkWhileTheSettingsFileCannotBeReadKeepsTheUsersChoice) {
    // The user's own server is stored; then the disk fails every read of the settings file for a
    // while (EIO), and the user presses Configure and OK during it.
    DaytimeServer server(Scenario::Nist, 0, kRecord);
    UseOwnUrl(server.Url());
    const std::string stored = SettingsFileText();
    const auto listing = [&] {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory_)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
    ConfigureView view;
    RunProgram([&](HWND main) {
        regfile::FileReadCalls failing;
        failing.read = ReadFailsWithEio;
        regfile::SetFileReadCallsForTesting(failing);
        InConfigure(main, [&](HWND dialog) {
            view = Look(dialog);
            Click(dialog, IDOK);
        });
        // The disk recovers; the next Set Clock finds the user's server still chosen.
        regfile::SetFileReadCallsForTesting({});
        // A listed server would be one of NIST's, out on the Internet: lost settings end the test here.
        ASSERT_FALSE(UseListedServer()) << "the user's own server is no longer chosen";
        Click(main, IDC_SET_CLOCK);
        EXPECT_EQ(Status(main).rfind("Set computer's clock to ", 0), 0u) << Status(main);
    });
    regfile::SetFileReadCallsForTesting({});
    EXPECT_TRUE(view.existing) << "the settings could not be read, so Configure opens with the defaults";
    EXPECT_EQ(view.selected, 0);
    EXPECT_EQ(view.url, "");
    EXPECT_EQ(clock.set.size(), 1u);
    EXPECT_EQ(SettingsFileText(), stored) << "the OK wrote over the settings it could not read";
    EXPECT_EQ(listing(), before) << "something was created or removed beside the settings file";
}

TEST_F(ProgramTest, AFailureWhileConfigureSavesIsReportedAndTheDialogStaysOpenWithNothingWritten) {
    AppSettings().WriteInt(kSection, "URLIndex", 3);
    for (const test::ExchangeFailure& failure : test::ExchangeFailures()) {
        SCOPED_TRACE(failure.what);
        boxes.boxes.clear();
        const std::string before = SettingsFileText();
        // Reading the edit's text on OK fails once; the second OK reads it.
        test::TextFailingWindows failing(Qt());
        failing.controlId = IDC_NEW_URL;
        ScopedSeam<IWindows> failingSeam{failing};
        HWND configure = nullptr;
        bool openAfterFailure = false;
        bool mainDisabledAfterFailure = false;
        std::string writtenAfterFailure;
        RunProgram([&](HWND main) {
            InConfigure(main, [&](HWND dialog) {
                configure = dialog;
                qobject_cast<QComboBox*>(Control(dialog, IDC_URL_LIST))->setCurrentIndex(5);
                QTest::keyClicks(qobject_cast<QLineEdit*>(Control(dialog, IDC_NEW_URL)), "http://127.0.0.1:1313");
                failing.raise = failure.raise;
                Click(dialog, IDOK);
                openAfterFailure = TopDialog() == dialog && Qt().IsWindowVisible(dialog);
                mainDisabledAfterFailure = !Qt().IsWindowEnabled(main);
                writtenAfterFailure = SettingsFileText();
                Click(dialog, IDOK);
            });
            EXPECT_EQ(TopDialog(), nullptr) << "the second OK closes the dialog";
        });
        EXPECT_TRUE(openAfterFailure) << "the dialog stays open";
        EXPECT_TRUE(mainDisabledAfterFailure) << "and keeps the main window disabled";
        EXPECT_EQ(writtenAfterFailure, before) << "nothing is written";
        if (failure.reported) {
            ASSERT_EQ(boxes.boxes.size(), 1u);
            EXPECT_EQ(boxes.boxes[0].text, *failure.reported);
            EXPECT_EQ(boxes.boxes[0].type, static_cast<UINT>(MB_ICONEXCLAMATION));
            EXPECT_EQ(boxes.boxes[0].caption, "orvane");
            EXPECT_EQ(boxes.boxes[0].owner, configure) << "the box stands over the dialog";
        } else {
            EXPECT_TRUE(boxes.boxes.empty()) << boxes.boxes.front().text;
        }
        EXPECT_EQ(AppSettings().GetInt(kSection, "URLIndex", 99), 5u);
        EXPECT_EQ(AppSettings().GetString(kSection, "URL", ""), "http://127.0.0.1:1313");
        AppSettings().WriteInt(kSection, "URLIndex", 3);
        AppSettings().WriteString(kSection, "URL", "");
    }
}

// ---- About -------------------------------------------------------------------------------------

TEST_F(ProgramTest, AboutBoxIsCentredOverTheMainWindowWhichTakesNoInputUntilItCloses) {
    bool mainEnabled = true;
    RECT about{};
    RECT mainRect{};
    std::string text;
    RunProgram([&](HWND main) {
        mainRect = Qt().GetWindowRect(main);
        Later([&] {
            EXPECT_TRUE(QTest::qWaitFor([] { return TopDialog() != nullptr; }, 2000));
            const HWND dialog = TopDialog();
            ASSERT_NE(dialog, nullptr);
            EXPECT_TRUE(QTest::qWaitForWindowActive(Qt().WidgetOf(dialog)));
            about = Qt().GetWindowRect(dialog);
            mainEnabled = Qt().IsWindowEnabled(main);
            text = Qt().GetWindowText(Qt().GetFirstChild(dialog));
            Key(dialog, Qt::Key_F1);
            Key(dialog, Qt::Key_Escape);
        });
        Click(main, IDC_ABOUT);
        EXPECT_EQ(TopDialog(), nullptr);
        EXPECT_TRUE(Qt().IsWindowEnabled(main));
        EXPECT_TRUE(QTest::qWaitForWindowActive(Qt().WidgetOf(main))) << "the main window is active again";
    });
    EXPECT_FALSE(mainEnabled);
    EXPECT_EQ(text, "Orvane v. 1.04 for Windows 95 and NT");
    EXPECT_NEAR((about.left + about.right) / 2, (mainRect.left + mainRect.right) / 2, 1);
    EXPECT_NEAR((about.top + about.bottom) / 2, (mainRect.top + mainRect.bottom) / 2, 1);
    ASSERT_FALSE(help.requests.empty());
    EXPECT_EQ(help.requests[0].command, HELP_FINDER) << "F1 in the About box opens the same help";
}

// ---- Without an Internet session ----------------------------------------------------------------

TEST_F(ProgramTest, WithoutAnInternetSessionTheReportComesFirstAndSetClockDoesNothing) {
    test::SessionRefusingInternet refusing(internet);
    ScopedSeam<IInternet> refusingSeam{refusing};
    test::FakeCursor counting;
    ScopedSeam<ICursor> countingSeam{counting};
    DaytimeServer server(Scenario::Nist);
    UseOwnUrl(server.Url());
    bool mainVisibleAtReport = true;
    boxes.onShow = [&](const test::FakeMessageBox::Box&) {
        const HWND main = MainWindow();
        mainVisibleAtReport = main && Qt().IsWindowVisible(main);
    };
    RECT window{};
    std::string status = "<unread>";
    int waitCursors = -1;
    bool aboutOpened = false;
    RunProgram([&](HWND main) {
        window = Qt().GetWindowRect(main);
        Click(main, IDC_SET_CLOCK);
        Key(main, Qt::Key_Return);
        waitCursors = counting.begun;
        status = Status(main);
        // The other buttons work as usual.
        Later([&] {
            aboutOpened = QTest::qWaitFor([] { return TopDialog() != nullptr; }, 2000);
            if (TopDialog()) Key(TopDialog(), Qt::Key_Escape);
        });
        Click(main, IDC_ABOUT);
        Click(main, IDC_HELP_BUTTON);
    });
    EXPECT_EQ(refusing.opens, 1);
    ASSERT_EQ(boxes.boxes.size(), 1u) << "the refusal is reported once";
    EXPECT_EQ(boxes.boxes[0].text, refusing.ErrorText(ERROR_INTERNET_INTERNAL_ERROR).value_or("<no text>"));
    EXPECT_FALSE(mainVisibleAtReport) << "the report comes before the main window shows";
    // The failure stopped the placement: the window stands at the template's position.
    const RECT area = Qt().GetWorkArea();
    EXPECT_LE(std::abs(window.left - area.left), 1) << window.left;
    EXPECT_LE(std::abs(window.top - area.top), 1) << window.top;
    EXPECT_EQ(status, "") << "Set Clock does nothing";
    EXPECT_EQ(waitCursors, 0) << "Set Clock shows no wait cursor";
    EXPECT_EQ(refusing.urlOpens, 0);
    EXPECT_TRUE(clock.set.empty());
    EXPECT_TRUE(aboutOpened);
    ASSERT_FALSE(help.requests.empty());
    EXPECT_EQ(help.requests[0].command, HELP_FINDER);
}

}  // namespace
}  // namespace orvane

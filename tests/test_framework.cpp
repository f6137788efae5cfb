// Tests of the dialog framework: dispatch and failure reports, modal runs, placement, help and boxes.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "app/AppNames.h"
#include "app/Application.h"
#include "app/Failure.h"
#include "doubles/FakeHelp.h"
#include "doubles/FakeMessageBox.h"
#include "doubles/FakeWindows.h"
#include "platform/Seam.h"
#ifdef _WIN32
#include "platform/win32/Services.h"
#else
#include "platform/linux/PlatformServices.h"
#endif
#include "res/resource.h"
#include "ui/Wnd.h"

namespace orvane {
namespace {

constexpr UINT kTemplate = 500;
constexpr int kButton = 1000;
constexpr int kPaintButton = 1001;
constexpr int kMemoryButton = 1002;
constexpr int kSilentButton = 1003;
constexpr int kStdButton = 1004;

// A failure with a text of its own, or none.
class TextFailure : public CFailure {
public:
    explicit TextFailure(std::string text) : text_(std::move(text)) {}
    bool GetErrorText(std::string& text, UINT maxChars, UINT* helpContext) const override {
        if (helpContext) *helpContext = 0;
        CopyErrorText(text, text_, maxChars);
        return !text_.empty();
    }

private:
    std::string text_;
};

class TestDlg : public CDialog {
public:
    TestDlg() : CDialog(kTemplate) {}

    bool InitDialog() override {
        CDialog::InitDialog();
        ++initCount;
        if (failInit) throw TextFailure(failInitText);
        return true;
    }
    void OnButton() {
        ++clicks;
        throw TextFailure(failureText);
    }
    void OnPaint() { throw TextFailure("never shown"); }
    void OnMemory() { throw std::bad_alloc(); }
    void OnSilent() { throw CSilentFailure(); }
    void OnStd() { throw std::length_error("library text"); }
    void OnCreate() { throw TextFailure("creation"); }

    bool failInit = false;
    std::string failInitText;
    std::string failureText;
    int initCount = 0;
    int clicks = 0;

protected:
    const MessageTable& GetMessageTable() const override { return table; }
    static const MessageTable table;
};

const MessageEntry kEntries[] = {
    OnCommand<&TestDlg::OnButton>(kButton),
    OnCommand<&TestDlg::OnMemory>(kMemoryButton),
    OnCommand<&TestDlg::OnSilent>(kSilentButton),
    OnCommand<&TestDlg::OnStd>(kStdButton),
    OnMessage<&TestDlg::OnPaint>(WM_PAINT),
    OnMessage<&TestDlg::OnCreate>(WM_CREATE),
};
const MessageTable TestDlg::table{&CDialog::messageTable, kEntries};

class FrameworkTest : public ::testing::Test {
protected:
    FrameworkTest() {
        SetAppNames(DeriveAppNames("/opt/tools.2/Clock"));
        windows.templates[kTemplate] = {0, RECT{0, 0, 300, 200},
                                        {{kButton, WS_TABSTOP}, {kPaintButton, WS_TABSTOP}, {IDOK, WS_TABSTOP}}};
    }

    // Runs `dlg` modally; `script` acts on the open dialog, then the dialog ends with IDCANCEL.
    LRESULT Run(CDialog& dlg, const std::function<void(HWND)>& script) {
        windows.onModalLoop = [&](HWND h) {
            script(h);
            if (!test::FakeWindows::W(h)->ended) windows.Send(h, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        };
        return dlg.DoModal();
    }

    test::FakeWindows windows;
    test::FakeMessageBox boxes;
    test::FakeHelp help;
    test::FakeCursor cursor;
    // The failure reports' texts are the program's own.
#ifdef _WIN32
    CWin32Resources resources;
#else
    CLinkedResources resources;
#endif
    ScopedSeam<IWindows> windowsSeam{windows};
    ScopedSeam<IMessageBox> boxesSeam{boxes};
    ScopedSeam<IHelp> helpSeam{help};
    ScopedSeam<ICursor> cursorSeam{cursor};
    ScopedSeam<IResources> resourcesSeam{resources};
};

TEST_F(FrameworkTest, OkAndCancelEndTheRunWithTheirResults) {
    TestDlg ok;
    EXPECT_EQ(Run(ok, [&](HWND h) { windows.Send(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 1); }), IDOK);
    TestDlg cancel;
    EXPECT_EQ(Run(cancel, [](HWND) {}), IDCANCEL);
    EXPECT_EQ(cancel.m_hWnd, nullptr) << "the object forgets its window once the run is over";
}

TEST_F(FrameworkTest, AMissingTemplateReturnsMinusOneAndShowsNothing) {
    TestDlg dlg;
    windows.templates.clear();
    EXPECT_EQ(dlg.DoModal(), -1);
    EXPECT_TRUE(windows.log.empty());
}

struct CommandCase {
    int id;
    LPARAM lParam;
    std::string failureText;
    std::string shown;  // empty: no box
    UINT type;
};

TEST_F(FrameworkTest, AFailureLeavingACommandIsReportedOnceWithTheRightFallback) {
    const CommandCase cases[] = {
        {kButton, 1, "The server could not be reached.\r\n", "The server could not be reached.\r\n", MB_ICONSTOP},
        {kButton, 1, "", "Internal application error.", MB_ICONSTOP},
        {kButton, 0, "", "Command failed.", MB_ICONSTOP},
        {kMemoryButton, 1, "", "Out of memory.", MB_ICONEXCLAMATION | MB_SYSTEMMODAL},
        {kSilentButton, 1, "", "", 0},
        {kStdButton, 1, "", "Internal application error.", MB_ICONSTOP},
    };
    for (const CommandCase& c : cases) {
        boxes.boxes.clear();
        TestDlg dlg;
        dlg.failureText = c.failureText;
        LRESULT result = 0;
        Run(dlg, [&](HWND h) { result = windows.Send(h, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(c.id), 0), c.lParam); });
        EXPECT_EQ(result, 1) << "a failed command still counts as handled (id " << c.id << ")";
        if (c.shown.empty()) {
            EXPECT_TRUE(boxes.boxes.empty()) << "id " << c.id;
            continue;
        }
        ASSERT_EQ(boxes.boxes.size(), 1u) << "id " << c.id;
        EXPECT_EQ(boxes.boxes[0].text, c.shown);
        EXPECT_EQ(boxes.boxes[0].type, c.type) << "id " << c.id;
        EXPECT_EQ(boxes.boxes[0].caption, "Clock");
    }
}

TEST_F(FrameworkTest, AFailureWhilePaintingShowsNothingAndValidatesTheWindow) {
    TestDlg dlg;
    LRESULT paint = -5;
    LRESULT create = 0;
    Run(dlg, [&](HWND h) {
        paint = windows.Send(h, WM_PAINT);
        create = windows.Send(h, WM_CREATE);
    });
    EXPECT_EQ(paint, 0);
    EXPECT_EQ(create, -1) << "a window whose creation failed is not created";
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_NE(std::find(windows.log.begin(), windows.log.end(), "validate 500"), windows.log.end());
}

TEST_F(FrameworkTest, ADialogThatInitialisesIsCentredInTheWorkArea) {
    TestDlg dlg;
    RECT placed{};
    Run(dlg, [&](HWND h) { placed = windows.GetWindowRect(h); });
    EXPECT_EQ(placed.left, (1024 / 2) - 150);
    EXPECT_EQ(placed.top, (768 / 2) - 100);
}

TEST_F(FrameworkTest, AFailedInitialisationIsReportedAndLeavesTheDialogAtItsTemplatePosition) {
    TestDlg dlg;
    dlg.failInit = true;
    RECT placed{};
    Run(dlg, [&](HWND h) {
        placed = windows.GetWindowRect(h);
        EXPECT_TRUE(windows.IsWindowVisible(h)) << "the dialog still opens";
    });
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Internal application error.") << "a failure without text falls back";
    EXPECT_EQ(placed.left, 0);
    EXPECT_EQ(placed.top, 0);
}

TEST_F(FrameworkTest, TheOwnerIsDisabledWhileADialogRunsThenEnabledAndActivated) {
    TestDlg main;
    TestDlg inner;
    App().m_pMainWnd = &main;
    bool ownerEnabledDuring = true;
    Run(main, [&](HWND mainHwnd) {
        Run(inner, [&](HWND) { ownerEnabledDuring = windows.IsWindowEnabled(mainHwnd); });
        EXPECT_TRUE(windows.IsWindowEnabled(mainHwnd));
        EXPECT_EQ(windows.GetActiveWindow(), mainHwnd);
    });
    App().m_pMainWnd = nullptr;
    EXPECT_FALSE(ownerEnabledDuring);
}

struct CentreCase {
    RECT window;
    RECT centre;
    RECT expected;
};

TEST(CenteredRect, CentresAndKeepsInsideTheWorkArea) {
    const RECT area{0, 0, 1024, 738};
    const CentreCase cases[] = {
        {{0, 0, 300, 200}, area, {362, 269, 662, 469}},
        {{0, 0, 301, 201}, area, {362, 269, 663, 470}},
        // An owner partly off the screen: the dialog is pulled back inside.
        {{0, 0, 300, 200}, {-400, -300, -100, -100}, {0, 0, 300, 200}},
        {{0, 0, 300, 200}, {900, 700, 1300, 900}, {724, 538, 1024, 738}},
        // Negative centres truncate toward zero, as the division always has.
        {{0, 0, 10, 10}, {-3, -3, 0, 0}, {0, 0, 10, 10}},
    };
    for (const CentreCase& c : cases) {
        const RECT r = CenteredRect(c.window, c.centre, area);
        EXPECT_EQ(r.left, c.expected.left) << "centre left " << c.centre.left;
        EXPECT_EQ(r.top, c.expected.top) << "centre top " << c.centre.top;
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

TEST_F(FrameworkTest, F1WithoutModifiersOpensTheHelpFinderForTheMainWindow) {
    TestDlg main;
    App().m_pMainWnd = &main;
    Run(main, [&](HWND h) {
        EXPECT_TRUE(main.PreTranslateKey(h, VK_F1, false, false, false));
        EXPECT_TRUE(main.PreTranslateKey(h, VK_F1, true, false, false));
        EXPECT_TRUE(main.PreTranslateKey(h, VK_F1, false, true, false));
        EXPECT_TRUE(main.PreTranslateKey(h, VK_F1, false, false, true));
        EXPECT_FALSE(main.PreTranslateKey(h, 'A', false, false, false));
    });
    App().m_pMainWnd = nullptr;
    ASSERT_EQ(help.requests.size(), 1u) << "Shift, Ctrl and Alt with F1 do nothing";
    EXPECT_EQ(help.requests[0].command, HELP_FINDER);
    EXPECT_EQ(help.requests[0].data, 0u);
    EXPECT_EQ(help.requests[0].path, "/opt/tools.2/Clock.HLP");
    EXPECT_EQ(cursor.depth, 0) << "the wait cursor ends with the request";
    EXPECT_EQ(cursor.begun, 1);
}

TEST_F(FrameworkTest, AHelpEngineThatRefusesShowsFailedToLaunchHelp) {
    TestDlg main;
    App().m_pMainWnd = &main;
    help.accept = false;
    Run(main, [&](HWND) { main.WinHelp(0, HELP_FINDER); });
    App().m_pMainWnd = nullptr;
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, "Failed to launch help.");
    EXPECT_EQ(boxes.boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
}

TEST_F(FrameworkTest, MessageBoxesGetTheExclamationIconOnlyForTheirKinds) {
    const std::pair<UINT, UINT> cases[] = {
        {MB_OK, MB_OK | MB_ICONEXCLAMATION},
        {MB_OKCANCEL, MB_OKCANCEL | MB_ICONEXCLAMATION},
        {MB_YESNO, MB_YESNO | MB_ICONEXCLAMATION},
        {MB_YESNOCANCEL, MB_YESNOCANCEL | MB_ICONEXCLAMATION},
        {MB_ABORTRETRYIGNORE, MB_ABORTRETRYIGNORE},
        {MB_RETRYCANCEL, MB_RETRYCANCEL},
        {MB_OK | MB_ICONSTOP, MB_OK | MB_ICONSTOP},
    };
    for (const auto& [given, shown] : cases) {
        boxes.boxes.clear();
        App().ShowMessageBox("text", given, 0);
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].type, shown) << "type " << given;
        EXPECT_EQ(boxes.boxes[0].owner, nullptr) << "without a main window there is no owner";
    }
}

TEST_F(FrameworkTest, ABoxOverADialogKeepsTheMainWindowDisabledAndSetsThePromptContext) {
    TestDlg main;
    App().m_pMainWnd = &main;
    DWORD contextDuring = 0;
    bool mainEnabledDuring = true;
    Run(main, [&](HWND h) {
        test::FakeWindows::Window popup;
        windows.lastActivePopup = &popup;
        boxes.onShow = [&](const test::FakeMessageBox::Box&) {
            contextDuring = App().m_dwPromptContext;
            mainEnabledDuring = windows.IsWindowEnabled(h);
        };
        App().ShowMessageBox("text", MB_OK, 7);
        EXPECT_EQ(boxes.boxes.back().owner, &popup);
        EXPECT_TRUE(windows.IsWindowEnabled(h)) << "enabled again afterwards";
        windows.lastActivePopup = nullptr;
    });
    App().m_pMainWnd = nullptr;
    EXPECT_FALSE(mainEnabledDuring);
    EXPECT_EQ(contextDuring, 0x30007u);
    EXPECT_EQ(App().m_dwPromptContext, 0u);
}

}  // namespace
}  // namespace orvane

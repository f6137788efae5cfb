// Tests of the Qt message box: buttons, answers, Esc, icon, texts and owner, answered on the screen.
#include "platform/MessageBox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <string>
#include <vector>

#include "QtTestApplication.h"
#include "platform/linux/QtServices.h"
#include "platform/linux/WindowsQt.h"
#include "res/resource.h"

namespace orvane {
namespace {

constexpr int IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;

// Shows a box and, once it is up, lets `act` answer it as a user would.
int ShowAndAnswer(UINT type, const std::function<void(QMessageBox&)>& act, HWND owner = nullptr,
                  const std::string& text = "Some text", const std::string& caption = "orvane") {
    QTimer poll;
    poll.setInterval(0);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll.stop();
        act(*box);
    });
    poll.start();
    CQtMessageBox messageBox;
    return messageBox.MessageBox(owner, text, caption, type);
}

std::function<void(QMessageBox&)> Click(QMessageBox::StandardButton button) {
    return [button](QMessageBox& box) {
        ASSERT_NE(box.button(button), nullptr) << "the box has no such button";
        box.button(button)->click();
    };
}

// Esc, which a box without Cancel (other than a lone OK) must ignore; then `fallback` if still open.
std::function<void(QMessageBox&)> Escape(QMessageBox::StandardButton fallback) {
    return [fallback](QMessageBox& box) {
        QTest::keyClick(&box, Qt::Key_Escape);
        if (box.isVisible()) box.button(fallback)->click();
    };
}

class QtMessageBoxTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::TestApplication(); }
};

TEST_F(QtMessageBoxTest, EachTypeOffersItsButtonsAndAnswersWithTheWin32Ids) {
    struct Case {
        const char* name;
        UINT type;
        std::function<void(QMessageBox&)> act;
        int expected;
    };
    using B = QMessageBox;
    const std::vector<Case> cases = {
        {"OK, OK", MB_OK, Click(B::Ok), IDOK},
        {"OK, Esc", MB_OK, Escape(B::Ok), IDOK},
        {"OK/Cancel, OK", MB_OKCANCEL, Click(B::Ok), IDOK},
        {"OK/Cancel, Cancel", MB_OKCANCEL, Click(B::Cancel), IDCANCEL},
        {"OK/Cancel, Esc", MB_OKCANCEL, Escape(B::Ok), IDCANCEL},
        {"Yes/No, Yes", MB_YESNO, Click(B::Yes), IDYES},
        {"Yes/No, No", MB_YESNO, Click(B::No), IDNO},
        {"Yes/No, Esc does nothing", MB_YESNO, Escape(B::Yes), IDYES},
        {"Yes/No/Cancel, No", MB_YESNOCANCEL, Click(B::No), IDNO},
        {"Yes/No/Cancel, Esc", MB_YESNOCANCEL, Escape(B::Yes), IDCANCEL},
        {"Abort/Retry/Ignore, Abort", MB_ABORTRETRYIGNORE, Click(B::Abort), IDABORT},
        {"Abort/Retry/Ignore, Retry", MB_ABORTRETRYIGNORE, Click(B::Retry), IDRETRY},
        {"Abort/Retry/Ignore, Ignore", MB_ABORTRETRYIGNORE, Click(B::Ignore), IDIGNORE},
        {"Abort/Retry/Ignore, Esc does nothing", MB_ABORTRETRYIGNORE, Escape(B::Ignore), IDIGNORE},
        {"Retry/Cancel, Retry", MB_RETRYCANCEL, Click(B::Retry), IDRETRY},
        {"Retry/Cancel, Esc", MB_RETRYCANCEL, Escape(B::Retry), IDCANCEL},
    };
    for (const Case& c : cases) EXPECT_EQ(ShowAndAnswer(c.type, c.act), c.expected) << c.name;
}

TEST_F(QtMessageBoxTest, TheBoxShowsCaptionTextIconAndOnlyTheAskedButtons) {
    struct Case {
        UINT type;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
    };
    using B = QMessageBox;
    const Case cases[] = {
        {MB_OK | MB_ICONEXCLAMATION, B::Warning, B::Ok},
        {MB_OKCANCEL | MB_ICONSTOP, B::Critical, B::Ok | B::Cancel},
        {MB_YESNO | MB_ICONQUESTION, B::Question, B::Yes | B::No},
        {MB_YESNOCANCEL | MB_ICONINFORMATION, B::Information, B::Yes | B::No | B::Cancel},
        {MB_ABORTRETRYIGNORE, B::NoIcon, B::Abort | B::Retry | B::Ignore},
        {MB_RETRYCANCEL, B::NoIcon, B::Retry | B::Cancel},
    };
    // "&" and "<b>" are plain characters in a message box's text.
    const std::string text = "Could not reach <b>time.nist.gov</b> & port 13.\nSecond line.";
    for (const Case& c : cases) {
        ShowAndAnswer(c.type, [&](QMessageBox& box) {
            EXPECT_EQ(box.windowTitle().toStdString(), "Clock") << "type " << c.type;
            EXPECT_EQ(box.text().toStdString(), text);
            EXPECT_EQ(box.textFormat(), Qt::PlainText);
            EXPECT_EQ(box.icon(), c.icon) << "type " << c.type;
            EXPECT_EQ(box.standardButtons(), c.buttons) << "type " << c.type;
            // The Win32 order puts the first button in the lowest bit of Qt's button flags too.
            const auto first = QMessageBox::StandardButton(static_cast<int>(c.buttons) & -static_cast<int>(c.buttons));
            EXPECT_EQ(static_cast<QAbstractButton*>(box.defaultButton()), box.button(first)) << "type " << c.type;
            box.button(first)->click();
        }, nullptr, text, "Clock");
    }
}

TEST_F(QtMessageBoxTest, AnOwnedBoxIsModalOverItsDisabledOwnerAndStillAnswers) {
    qt::CQtWindows windows(qt::ProgramResources());
    struct Sink : IMessageSink {
        LRESULT WindowProc(HWND, UINT message, WPARAM, LPARAM, bool* handled) override {
            *handled = message == WM_INITDIALOG;
            return 1;
        }
        bool PreTranslateKey(HWND, WPARAM, bool, bool, bool) override { return false; }
    } sink;
    const HWND owner = windows.CreateDialogWindow(IDD_MAIN, nullptr, &sink);
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(windows.WidgetOf(owner)));
    windows.EnableWindow(owner, false);

    const int answer = ShowAndAnswer(MB_YESNO, [&](QMessageBox& box) {
        EXPECT_EQ(box.windowModality(), Qt::WindowModal);
        ASSERT_NE(box.windowHandle(), nullptr);
        EXPECT_EQ(box.windowHandle()->transientParent(), windows.WidgetOf(owner)->windowHandle());
        EXPECT_TRUE(box.isEnabled()) << "the disabled owner took its box with it";
        box.button(QMessageBox::No)->click();
    }, owner);
    EXPECT_EQ(answer, IDNO);

    ShowAndAnswer(MB_OK | MB_SYSTEMMODAL, [&](QMessageBox& box) {
        EXPECT_EQ(box.windowModality(), Qt::ApplicationModal);
        box.button(QMessageBox::Ok)->click();
    }, owner);
}

}  // namespace
}  // namespace orvane

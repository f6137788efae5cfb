// Tests of the Qt window backend: the program's three dialogs built from their templates and driven
// with real key presses and clicks on Qt's offscreen platform.
#include "platform/linux/WindowsQt.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "QtTestApplication.h"
#include "res/resource.h"

namespace orvane {
namespace {

using qt::CQtWindows;

// Records what the backend sends. Unless a test says otherwise, WM_INITDIALOG answers 1 and every
// other message is left to the default handling.
class RecordingSink : public IMessageSink {
public:
    struct Message {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    struct Key {
        WPARAM virtualKey;
        bool shift, ctrl, alt;
    };

    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, bool* handled) override {
        messages.push_back({message, wParam, lParam});
        if (const auto handler = handlers.find(message); handler != handlers.end()) {
            return handler->second(hwnd, wParam, lParam, handled);
        }
        *handled = message == WM_INITDIALOG || message == WM_COMMAND;
        return message == WM_INITDIALOG ? 1 : 0;
    }

    bool PreTranslateKey(HWND, WPARAM virtualKey, bool shift, bool ctrl, bool alt) override {
        keys.push_back({virtualKey, shift, ctrl, alt});
        return takeKey && takeKey(virtualKey);
    }

    // The WM_COMMAND messages so far, as "id/code/control" with the control as its id or 0.
    std::vector<std::string> Commands(CQtWindows& windows) const {
        std::vector<std::string> commands;
        for (const Message& m : messages) {
            if (m.message != WM_COMMAND) continue;
            const HWND control = reinterpret_cast<HWND>(m.lParam);
            commands.push_back(std::to_string(LOWORD(m.wParam)) + "/" + std::to_string(HIWORD(m.wParam)) + "/" +
                               (control ? std::to_string(windows.GetDlgCtrlID(control)) : std::string("0")));
        }
        return commands;
    }
    std::vector<UINT> MessageIds() const {
        std::vector<UINT> ids;
        for (const Message& m : messages) ids.push_back(m.message);
        return ids;
    }

    std::vector<Message> messages;
    std::vector<Key> keys;
    std::map<UINT, std::function<LRESULT(HWND, WPARAM, LPARAM, bool*)>> handlers;
    std::function<bool(WPARAM)> takeKey;
};

std::string Join(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) joined += (joined.empty() ? "" : " ") + item;
    return joined;
}

std::string Describe(const QRect& r) {
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" + std::to_string(r.height());
}

// Sends a key where Qt would: to the focused widget, or to the active window.
void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = QApplication::focusWidget();
    if (!target) target = QApplication::activeWindow();
    ASSERT_NE(target, nullptr) << "no window has the focus";
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

class QtWindowsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { test::TestApplication(); }

    // Creates a dialog from the program's template and, when asked, shows it and waits until it is active.
    HWND Open(UINT templateId, RecordingSink& sink, bool show = true, HWND owner = nullptr) {
        const HWND hwnd = windows.CreateDialogWindow(templateId, owner, &sink);
        EXPECT_NE(hwnd, nullptr) << "template " << templateId;
        if (hwnd && show) {
            windows.ShowWindow(hwnd, true);
            EXPECT_TRUE(QTest::qWaitForWindowActive(windows.WidgetOf(hwnd))) << "template " << templateId;
            EXPECT_TRUE(QTest::qWaitFor([&] { return windows.GetActiveWindow() == hwnd; })) << "template " << templateId << " is not active";
        }
        return hwnd;
    }

    int FocusedId() {
        const HWND focus = windows.GetFocus();
        return focus ? windows.GetDlgCtrlID(focus) : -100;
    }

    QWidget* Item(HWND dialog, int id) { return windows.WidgetOf(windows.GetDlgItem(dialog, id)); }

    CQtWindows windows{qt::ProgramResources()};
};

// ---- Units -------------------------------------------------------------------------------------

TEST(DialogUnits, MulDivRoundsHalfAwayFromZeroLikeWin32) {
    struct Case {
        int number, numerator, denominator, expected;
    };
    const Case cases[] = {
        {5, 7, 4, 9},    {2, 6, 4, 3},    {3, 6, 4, 5},  {1, 6, 8, 1},   {-3, 6, 4, -5}, {3, -6, 4, -5},
        {3, 6, -4, -5},  {-3, -6, -4, -5}, {0, 9, 4, 0}, {281, 7, 4, 492}, {114, 15, 8, 214}, {1, 2, 0, -1},
        {1 << 30, 4, 8, 1 << 29},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qt::MulDiv(c.number, c.numerator, c.denominator), c.expected)
            << "MulDiv(" << c.number << ", " << c.numerator << ", " << c.denominator << ")";
    }
}

TEST(DialogUnits, BaseUnitsAreTheRoundedAverageLetterWidthAndTheFontHeight) {
    test::TestApplication();
    for (const int points : {6, 8, 9, 11, 14, 20}) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        const QFontMetrics metrics(font);
        const double average = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0;
        const qt::DialogBaseUnits units = qt::BaseUnitsOf(font);
        EXPECT_EQ(units.cx, static_cast<int>(average + 0.5)) << points << " points, average width " << average;
        EXPECT_EQ(units.cy, metrics.height()) << points << " points";
    }
}

TEST(DialogUnits, TheWindowsDialogFontsBecomeTheSystemFont) {
    test::TestApplication();
    res::DialogTemplate dialog;
    for (const char* name : {"MS Sans Serif", "Helv", "ms sans serif", ""}) {
        dialog.fontName = name;
        dialog.pointSize = 8;
        EXPECT_EQ(qt::DialogFontOf(dialog), QApplication::font()) << "font \"" << name << "\"";
    }
    dialog.fontName = "Courier New";
    dialog.pointSize = 13;
    EXPECT_EQ(qt::DialogFontOf(dialog).pointSize(), 13);
}

// ---- Layout of the real templates ----------------------------------------------------------------

TEST_F(QtWindowsTest, EveryControlOfTheThreeTemplatesStandsWhereItsDialogUnitsSay) {
    for (const UINT id : {UINT{IDD_MAIN}, UINT{IDD_CONFIGURE}, UINT{IDD_ABOUTBOX}}) {
        const auto dialogTemplate = res::ResourceData::Program().Dialog(id);
        ASSERT_TRUE(dialogTemplate.has_value()) << "template " << id;
        RecordingSink sink;
        const HWND dialog = Open(id, sink, false);
        ASSERT_NE(dialog, nullptr);
        QWidget* widget = windows.WidgetOf(dialog);
        const qt::DialogBaseUnits units = qt::BaseUnitsOf(widget->font());
        const auto x = [&](int du) { return qt::MulDiv(du, units.cx, 4); };
        const auto y = [&](int du) { return qt::MulDiv(du, units.cy, 8); };

        const RECT client = windows.GetClientRect(dialog);
        EXPECT_EQ(client.right, x(dialogTemplate->cx)) << "template " << id << " width";
        EXPECT_EQ(client.bottom, y(dialogTemplate->cy)) << "template " << id << " height";
        EXPECT_EQ(widget->windowTitle().toStdString(), dialogTemplate->caption);

        HWND control = windows.GetFirstChild(dialog);
        for (const res::DialogItem& item : dialogTemplate->items) {
            ASSERT_NE(control, nullptr) << "template " << id << " has fewer controls than items";
            EXPECT_EQ(windows.GetDlgCtrlID(control), item.id);
            EXPECT_EQ(windows.GetParent(control), dialog);
            QWidget* controlWidget = windows.WidgetOf(control);
            QRect expected(QPoint(x(item.x), y(item.y)), QPoint(x(item.x + item.cx) - 1, y(item.y + item.cy) - 1));
            if (item.classAtom == res::kComboBoxClass) expected.setHeight(controlWidget->sizeHint().height());
            if (item.textOrdinal) expected.setSize(QSize(32, 32));
            // A one-line static text may be wider than its template, where its text needs it.
            if (item.classAtom == res::kStaticClass) expected.setWidth(std::max(expected.width(), controlWidget->width()));
            EXPECT_EQ(controlWidget->geometry(), expected)
                << "template " << id << ", control " << item.id << " \"" << item.text << "\": at "
                << Describe(controlWidget->geometry()) << ", expected " << Describe(expected);
            EXPECT_EQ(windows.GetWindowStyle(control), item.style) << "template " << id << ", control " << item.id;
            control = windows.GetNextSibling(control);
        }
        EXPECT_EQ(control, nullptr) << "template " << id << " has more controls than items";
    }
}

// Where the ink of a line of text drawn from 0 at a device pixel ratio ends, in the dialog's pixels.
double InkRight(const QString& text, const QFont& font, qreal ratio) {
    QImage image((QSizeF(QFontMetricsF(font).horizontalAdvance(text) + 40, 40) * ratio).toSize(), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.drawText(QPointF(0, 30), text);
    for (int x = image.width() - 1; x >= 0; --x) {
        for (int y = 0; y < image.height(); ++y) if (image.pixel(x, y) != qRgb(255, 255, 255)) return (x + 1) / ratio;
    }
    return 0;
}

// In Debian's default font, wider than the templates' own; tests/qt.cmake runs it at scale 2 too.
TEST_F(QtWindowsTest, LayoutWithDejaVuSansCutsNoTextAndCoversNoControl) {
    const QFont original = QApplication::font();
    for (const int points : {8, 9, 10, 11, 12}) {
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), points));
        ASSERT_EQ(QFontInfo(QApplication::font()).family(), QStringLiteral("DejaVu Sans")) << "fonts-dejavu-core is missing";
        for (const UINT id : {UINT{IDD_MAIN}, UINT{IDD_CONFIGURE}, UINT{IDD_ABOUTBOX}}) {
            RecordingSink sink;
            const HWND dialog = Open(id, sink, false);
            const qreal ratio = windows.WidgetOf(dialog)->devicePixelRatioF();
            ASSERT_EQ(ratio, qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble() : 1.0);
            std::vector<QWidget*> placed;
            for (HWND control = windows.GetFirstChild(dialog); control; control = windows.GetNextSibling(control)) {
                QWidget* widget = windows.WidgetOf(control);
                const std::string text = windows.GetWindowText(control), where = std::to_string(points) + " points, ratio " +
                    std::to_string(ratio) + ": \"" + text + "\" at " + Describe(widget->geometry());
                for (QWidget* other : placed) EXPECT_FALSE(other->geometry().intersects(widget->geometry())) << where << " covers " << Describe(other->geometry());
                placed.push_back(widget);
                auto* label = qobject_cast<QLabel*>(widget);
                if (!label || text.empty()) continue;
                const bool oneLine = label->height() < 2 * QFontMetrics(label->font()).lineSpacing();
                EXPECT_LE(oneLine ? QFontMetrics(label->font()).height() : label->heightForWidth(label->width()), label->height()) << where;
                const QString shown = QString::fromStdString(text).remove(QRegularExpression(QStringLiteral("&(?!&)")));
                EXPECT_LE(oneLine ? InkRight(shown, label->font(), ratio) : 0.0, label->width()) << where;
            }
        }
    }
    QApplication::setFont(original);
}

TEST_F(QtWindowsTest, StaticTextsWrapAndKeepTheirLineFeeds) {
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink, false);
    const HWND text = windows.GetFirstChild(main);
    auto* label = qobject_cast<QLabel*>(windows.WidgetOf(text));
    ASSERT_NE(label, nullptr);
    EXPECT_TRUE(label->wordWrap());
    EXPECT_TRUE(label->text().contains(QStringLiteral("USA.\n\nYou must"))) << label->text().toStdString();
    EXPECT_EQ(windows.GetWindowText(text).find("USA.\n\nYou must") != std::string::npos, true);

    windows.SetWindowText(windows.GetDlgItem(main, IDC_STATUS), "Set computer's clock to 6/1/2026 7:39:10 AM.");
    EXPECT_EQ(qobject_cast<QLabel*>(Item(main, IDC_STATUS))->text().toStdString(), "Set computer's clock to 6/1/2026 7:39:10 AM.");
    EXPECT_EQ(windows.SendMessage(windows.GetDlgItem(main, IDC_STATUS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("")), 1);
    EXPECT_EQ(windows.GetWindowText(windows.GetDlgItem(main, IDC_STATUS)), "");
}

TEST_F(QtWindowsTest, StylesFollowTheWindowsState) {
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink, false);
    ASSERT_NE(main, nullptr);
    // The main template is visible: the window shows as soon as WM_INITDIALOG has run.
    EXPECT_EQ(windows.GetWindowStyle(main), 0x90CA00C0u);
    EXPECT_TRUE(windows.IsWindowVisible(main));
    windows.ShowWindow(main, false);
    EXPECT_EQ(windows.GetWindowStyle(main), 0x80CA00C0u);
    windows.EnableWindow(main, false);
    EXPECT_EQ(windows.GetWindowStyle(main) & qt::WS_DISABLED, qt::WS_DISABLED);
    const HWND button = windows.GetDlgItem(main, IDC_SET_CLOCK);
    EXPECT_TRUE(windows.IsWindowEnabled(button)) << "a control keeps its own state when its dialog is disabled";
    EXPECT_EQ(windows.GetWindowStyle(button), 0x50010001u);
    windows.ShowWindow(button, false);
    EXPECT_EQ(windows.GetWindowStyle(button), 0x40010001u);
}

// ---- Focus and keys ----------------------------------------------------------------------------

TEST_F(QtWindowsTest, InitialFocusIsOnTheFirstTabStop) {
    struct Case {
        UINT templateId;
        int focus;
    };
    for (const Case c : {Case{IDD_MAIN, IDC_SET_CLOCK}, Case{IDD_CONFIGURE, IDC_URL_LIST}, Case{IDD_ABOUTBOX, IDOK}}) {
        RecordingSink sink;
        const HWND dialog = Open(c.templateId, sink);
        ASSERT_FALSE(sink.messages.empty());
        EXPECT_EQ(sink.messages[0].message, WM_INITDIALOG);
        EXPECT_EQ(windows.GetDlgCtrlID(reinterpret_cast<HWND>(sink.messages[0].wParam)), c.focus);
        EXPECT_EQ(FocusedId(), c.focus) << "template " << c.templateId;
        windows.DestroyWindow(dialog);
    }
}

TEST_F(QtWindowsTest, ADialogThatSetsTheFocusItselfKeepsIt) {
    RecordingSink sink;
    sink.handlers[WM_INITDIALOG] = [this](HWND hwnd, WPARAM, LPARAM, bool*) -> LRESULT {
        windows.SetFocus(windows.GetDlgItem(hwnd, IDC_NEW_URL));
        return 0;
    };
    Open(IDD_CONFIGURE, sink);
    EXPECT_EQ(FocusedId(), IDC_NEW_URL);
}

TEST_F(QtWindowsTest, TabAndShiftTabFollowTheTabStopsInTemplateOrder) {
    struct Case {
        UINT templateId;
        std::vector<int> order;  // starting from the initial focus
    };
    const Case cases[] = {
        {IDD_MAIN, {IDC_SET_CLOCK, IDC_CONFIGURE, IDC_HELP_BUTTON, IDC_ABOUT, IDOK}},
        {IDD_CONFIGURE, {IDC_URL_LIST, IDC_NEW_URL, IDOK, IDCANCEL}},
    };
    for (const Case& c : cases) {
        RecordingSink sink;
        const HWND dialog = Open(c.templateId, sink);
        for (std::size_t i = 1; i <= c.order.size(); ++i) {
            Press(Qt::Key_Tab);
            EXPECT_EQ(FocusedId(), c.order[i % c.order.size()]) << "template " << c.templateId << ", Tab number " << i;
        }
        for (std::size_t i = 1; i <= c.order.size(); ++i) {
            Press(Qt::Key_Backtab, Qt::ShiftModifier);
            EXPECT_EQ(FocusedId(), c.order[(c.order.size() * 2 - i) % c.order.size()])
                << "template " << c.templateId << ", Shift+Tab number " << i;
        }
        EXPECT_TRUE(sink.Commands(windows).empty()) << Join(sink.Commands(windows));
        windows.DestroyWindow(dialog);
    }
}

TEST_F(QtWindowsTest, EnterPressesTheDefaultButtonOrTheFocusedOne) {
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink);
    Press(Qt::Key_Return);
    Press(Qt::Key_Tab);
    Press(Qt::Key_Enter);
    EXPECT_EQ(Join(sink.Commands(windows)), "1000/0/1000 3/0/3");
    windows.DestroyWindow(main);

    RecordingSink configureSink;
    const HWND configure = Open(IDD_CONFIGURE, configureSink);
    windows.SetFocus(windows.GetDlgItem(configure, IDC_NEW_URL));
    Press(Qt::Key_Return);
    windows.SetFocus(windows.GetDlgItem(configure, IDCANCEL));
    Press(Qt::Key_Return);
    EXPECT_EQ(Join(configureSink.Commands(windows)), "1/0/1 2/0/2");
}

TEST_F(QtWindowsTest, EscSendsCancelWithTheCancelButtonOrNone) {
    RecordingSink configureSink;
    const HWND configure = Open(IDD_CONFIGURE, configureSink);
    windows.SetFocus(windows.GetDlgItem(configure, IDC_NEW_URL));
    Press(Qt::Key_Escape);
    EXPECT_EQ(Join(configureSink.Commands(windows)), "2/0/2");
    windows.DestroyWindow(configure);

    RecordingSink mainSink;
    Open(IDD_MAIN, mainSink);
    Press(Qt::Key_Escape);
    EXPECT_EQ(Join(mainSink.Commands(windows)), "2/0/0") << "the main window has no Cancel button";
}

TEST_F(QtWindowsTest, AltMnemonicsPressTheirButtons) {
    struct Case {
        int key;
        int id;
    };
    const Case cases[] = {
        {Qt::Key_S, IDC_SET_CLOCK}, {Qt::Key_C, IDC_CONFIGURE}, {Qt::Key_H, IDC_HELP_BUTTON},
        {Qt::Key_A, IDC_ABOUT},     {Qt::Key_X, IDOK},
    };
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink);
    for (const Case& c : cases) {
        sink.messages.clear();
        Press(c.key, Qt::AltModifier);
        const std::string expected = std::to_string(c.id) + "/0/" + std::to_string(c.id);
        EXPECT_EQ(Join(sink.Commands(windows)), expected) << "Alt+" << QKeySequence(c.key).toString().toStdString();
        EXPECT_EQ(FocusedId(), c.id) << "the pressed button takes the focus, as BM_CLICK gives it";
    }
    sink.messages.clear();
    Press(Qt::Key_Q, Qt::AltModifier);
    EXPECT_TRUE(sink.Commands(windows).empty()) << Join(sink.Commands(windows));
    EXPECT_TRUE(windows.IsWindowVisible(main));
}

TEST_F(QtWindowsTest, PlainLettersAreMnemonicsOutsideEditsAndLists) {
    RecordingSink sink;
    const HWND configure = Open(IDD_CONFIGURE, sink);
    // In the list and in the edit a letter is the control's own.
    Press(Qt::Key_O);
    windows.SetFocus(windows.GetDlgItem(configure, IDC_NEW_URL));
    Press(Qt::Key_N);
    EXPECT_EQ(qobject_cast<QLineEdit*>(Item(configure, IDC_NEW_URL))->text().toStdString(), "n");
    EXPECT_TRUE(sink.Commands(windows).empty()) << Join(sink.Commands(windows));
    // On a button it is a mnemonic.
    windows.SetFocus(windows.GetDlgItem(configure, IDCANCEL));
    Press(Qt::Key_O);
    EXPECT_EQ(Join(sink.Commands(windows)), "1/0/1");
}

TEST_F(QtWindowsTest, ARadioButtonsMnemonicFocusesAndChecksIt) {
    RecordingSink sink;
    const HWND configure = Open(IDD_CONFIGURE, sink);
    const HWND existing = windows.GetDlgItem(configure, IDC_EXISTING_URL);
    const HWND fresh = windows.GetDlgItem(configure, IDC_NEW_URL_RADIO);
    windows.SendMessage(existing, BM_SETCHECK, BST_CHECKED, 0);

    Press(Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(FocusedId(), IDC_NEW_URL_RADIO);
    EXPECT_EQ(windows.SendMessage(fresh, BM_GETCHECK, 0, 0), 1);
    EXPECT_EQ(windows.SendMessage(existing, BM_GETCHECK, 0, 0), 0);
    // The arrow keys walk the group and check the radio button they reach.
    Press(Qt::Key_Up);
    EXPECT_EQ(FocusedId(), IDC_EXISTING_URL);
    EXPECT_EQ(windows.SendMessage(existing, BM_GETCHECK, 0, 0), 1);
    EXPECT_EQ(windows.SendMessage(fresh, BM_GETCHECK, 0, 0), 0);
    EXPECT_EQ(Join(sink.Commands(windows)), "1004/0/1004 1003/0/1003");
}

TEST_F(QtWindowsTest, EveryKeyIsOfferedToTheSinkFirst) {
    RecordingSink sink;
    sink.takeKey = [](WPARAM key) { return key == VK_F1 || key == 0x0D; };
    Open(IDD_MAIN, sink);
    Press(Qt::Key_F1);
    Press(Qt::Key_F1, Qt::ShiftModifier);
    Press(Qt::Key_F1, Qt::ControlModifier | Qt::AltModifier);
    Press(Qt::Key_Return);
    Press(Qt::Key_Tab);
    // Shift, Ctrl and Alt are keys of their own, as they are to USER32.
    std::erase_if(sink.keys, [](const RecordingSink::Key& key) { return key.virtualKey >= 0x10 && key.virtualKey <= 0x12; });
    ASSERT_EQ(sink.keys.size(), 5u);
    EXPECT_EQ(sink.keys[0].virtualKey, VK_F1);
    EXPECT_FALSE(sink.keys[0].shift || sink.keys[0].ctrl || sink.keys[0].alt);
    EXPECT_TRUE(sink.keys[1].shift && !sink.keys[1].ctrl && !sink.keys[1].alt);
    EXPECT_TRUE(!sink.keys[2].shift && sink.keys[2].ctrl && sink.keys[2].alt);
    EXPECT_EQ(sink.keys[3].virtualKey, 0x0Du);
    EXPECT_EQ(sink.keys[4].virtualKey, 0x09u);
    EXPECT_TRUE(sink.Commands(windows).empty()) << "a key the sink took went on: " << Join(sink.Commands(windows));
    EXPECT_EQ(FocusedId(), IDC_CONFIGURE) << "Tab, which the sink left, still moved the focus";
}

// ---- Mouse, closing, enabling ------------------------------------------------------------------

TEST_F(QtWindowsTest, AClickSendsTheButtonsCommandWithItsHandle) {
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink);
    QTest::mouseClick(Item(main, IDC_ABOUT), Qt::LeftButton);
    EXPECT_EQ(Join(sink.Commands(windows)), "1006/0/1006");
}

TEST_F(QtWindowsTest, TheCloseBoxSendsCloseThenCancelWhenTheSinkLeavesIt) {
    RecordingSink sink;
    const HWND about = Open(IDD_ABOUTBOX, sink);
    sink.messages.clear();
    windows.WidgetOf(about)->close();
    EXPECT_TRUE(windows.IsWindowVisible(about)) << "Qt must not close the window by itself";
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0].message, WM_CLOSE);
    EXPECT_EQ(Join(sink.Commands(windows)), "2/0/0");

    sink.messages.clear();
    Press(Qt::Key_F4, Qt::AltModifier);
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages[0].message, WM_CLOSE) << "Alt+F4";
    EXPECT_EQ(Join(sink.Commands(windows)), "2/0/0");

    RecordingSink handling;
    handling.handlers[WM_CLOSE] = [](HWND, WPARAM, LPARAM, bool*) -> LRESULT { return 0; };
    const HWND main = Open(IDD_MAIN, handling);
    windows.WidgetOf(main)->close();
    EXPECT_EQ(handling.MessageIds().back(), WM_CLOSE);
    EXPECT_TRUE(handling.Commands(windows).empty()) << "a handled WM_CLOSE gave " << Join(handling.Commands(windows));
}

TEST_F(QtWindowsTest, ADisabledWindowTakesNoInput) {
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink);
    windows.EnableWindow(main, false);
    EXPECT_FALSE(windows.IsWindowEnabled(main));
    QTest::mouseClick(Item(main, IDC_ABOUT), Qt::LeftButton);
    QTest::keyClick(Item(main, IDC_SET_CLOCK), Qt::Key_Return);
    QTest::keyClick(Item(main, IDC_SET_CLOCK), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(sink.Commands(windows).empty()) << Join(sink.Commands(windows));
    EXPECT_TRUE(sink.keys.empty()) << sink.keys.size() << " keys reached the sink";

    windows.EnableWindow(main, true);
    QTest::mouseClick(Item(main, IDC_ABOUT), Qt::LeftButton);
    EXPECT_EQ(Join(sink.Commands(windows)), "1006/0/1006");
}

// ---- Radio buttons and the drop-down list -------------------------------------------------------

TEST_F(QtWindowsTest, AutoRadioButtonsOfAGroupExcludeEachOtherOnClick) {
    RecordingSink sink;
    const HWND configure = Open(IDD_CONFIGURE, sink);
    const HWND existing = windows.GetDlgItem(configure, IDC_EXISTING_URL);
    const HWND fresh = windows.GetDlgItem(configure, IDC_NEW_URL_RADIO);
    EXPECT_EQ(windows.SendMessage(existing, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON, DLGC_RADIOBUTTON);
    EXPECT_EQ(windows.SendMessage(windows.GetDlgItem(configure, IDOK), WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON, 0);
    EXPECT_EQ(windows.SendMessage(windows.GetDlgItem(configure, IDC_URL_LIST), WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON, 0);

    // The program sets each button on its own, as BM_SETCHECK does.
    windows.SendMessage(existing, BM_SETCHECK, BST_CHECKED, 0);
    windows.SendMessage(fresh, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(windows.SendMessage(existing, BM_GETCHECK, 0, 0) + windows.SendMessage(fresh, BM_GETCHECK, 0, 0), 2);
    windows.SendMessage(existing, BM_SETCHECK, BST_UNCHECKED, 0);
    windows.SendMessage(fresh, BM_SETCHECK, BST_UNCHECKED, 0);
    EXPECT_EQ(windows.SendMessage(existing, BM_GETCHECK, 0, 0) + windows.SendMessage(fresh, BM_GETCHECK, 0, 0), 0);

    // A click turns its button on and the other off; a second click leaves it on.
    QTest::mouseClick(windows.WidgetOf(existing), Qt::LeftButton);
    QTest::mouseClick(windows.WidgetOf(fresh), Qt::LeftButton);
    EXPECT_EQ(windows.SendMessage(fresh, BM_GETCHECK, 0, 0), 1);
    EXPECT_EQ(windows.SendMessage(existing, BM_GETCHECK, 0, 0), 0);
    QTest::mouseClick(windows.WidgetOf(fresh), Qt::LeftButton);
    EXPECT_EQ(windows.SendMessage(fresh, BM_GETCHECK, 0, 0), 1);
    EXPECT_EQ(Join(sink.Commands(windows)), "1003/0/1003 1004/0/1004 1004/0/1004");
}

TEST_F(QtWindowsTest, TheDropDownListAnswersItsMessagesAsAUser32One) {
    RecordingSink sink;
    const HWND configure = Open(IDD_CONFIGURE, sink);
    const HWND list = windows.GetDlgItem(configure, IDC_URL_LIST);
    EXPECT_EQ(windows.SendMessage(list, CB_GETCURSEL, 0, 0), CB_ERR);
    const char* const servers[] = {"http://time-a-b.nist.gov:13", "http://time-b-b.nist.gov:13", "http://time.nist.gov:13"};
    for (LRESULT i = 0; i < 3; ++i) {
        EXPECT_EQ(windows.SendMessage(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(servers[i])), i) << "the list is not sorted";
    }
    EXPECT_EQ(windows.SendMessage(list, CB_GETCURSEL, 0, 0), CB_ERR) << "adding items selects none";
    EXPECT_EQ(windows.SendMessage(list, CB_SETCURSEL, 2, 0), 2);
    EXPECT_EQ(windows.SendMessage(list, CB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(windows.GetWindowText(list), servers[2]);
    EXPECT_EQ(windows.SendMessage(list, CB_SETCURSEL, 3, 0), CB_ERR);
    EXPECT_EQ(windows.SendMessage(list, CB_GETCURSEL, 0, 0), CB_ERR) << "an index past the end clears the selection";
    windows.SendMessage(list, CB_SETCURSEL, 1, 0);

    // The keyboard moves the selection in the closed list.
    windows.SetFocus(list);
    Press(Qt::Key_Down);
    EXPECT_EQ(windows.SendMessage(list, CB_GETCURSEL, 0, 0), 2);

    auto* combo = qobject_cast<QComboBox*>(windows.WidgetOf(list));
    combo->showPopup();
    ASSERT_TRUE(QTest::qWaitFor([&] { return combo->view()->isVisible(); }));
    windows.SendMessage(configure, WM_CANCELMODE, 0, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !combo->view()->isVisible(); })) << "WM_CANCELMODE left the list open";
}

TEST_F(QtWindowsTest, TheEditKeepsWhatItIsGiven) {
    RecordingSink sink;
    const HWND configure = Open(IDD_CONFIGURE, sink);
    const HWND edit = windows.GetDlgItem(configure, IDC_NEW_URL);
    const std::string url = "  http://example.test:13/" + std::string(40000, 'x') + "  ";
    windows.SetWindowText(edit, url);
    EXPECT_EQ(windows.GetWindowText(edit), url) << "no limit, no trimming";
}

// ---- Modal loops -------------------------------------------------------------------------------

TEST_F(QtWindowsTest, ModalLoopsNestAndReturnTheirResults) {
    RecordingSink mainSink;
    RecordingSink aboutSink;
    const HWND main = Open(IDD_MAIN, mainSink);
    HWND about = nullptr;
    LRESULT innerResult = 0;
    bool aboutShownByItsLoop = false;
    bool mainStillRunning = false;

    QTimer::singleShot(0, [&] {
        about = windows.CreateDialogWindow(IDD_ABOUTBOX, main, &aboutSink);
        EXPECT_FALSE(windows.IsWindowVisible(about)) << "the About template is not visible";
        QTimer::singleShot(0, [&] {
            aboutShownByItsLoop = QTest::qWaitFor([&] { return windows.IsWindowVisible(about); });
            windows.EndModalLoop(about, 7);
        });
        innerResult = windows.RunModalLoop(about);
        mainStillRunning = true;
        windows.EndModalLoop(main, 42);
    });
    EXPECT_EQ(windows.RunModalLoop(main), 42);
    EXPECT_EQ(innerResult, 7);
    EXPECT_TRUE(aboutShownByItsLoop) << "a hidden dialog shows once its loop is idle";
    EXPECT_TRUE(mainStillRunning);
    EXPECT_EQ(windows.GetParent(about), main);
}

TEST_F(QtWindowsTest, ALoopEndedBeforeItRunsReturnsAtOnceWithoutShowing) {
    RecordingSink sink;
    sink.handlers[WM_INITDIALOG] = [this](HWND hwnd, WPARAM, LPARAM, bool*) -> LRESULT {
        windows.EndModalLoop(hwnd, 5);
        return 1;
    };
    const HWND about = Open(IDD_ABOUTBOX, sink, false);
    EXPECT_EQ(windows.RunModalLoop(about), 5);
    EXPECT_FALSE(windows.IsWindowVisible(about));
}

TEST_F(QtWindowsTest, AFailureEscapingASinkEndsTheLoopAndIsThrownFromIt) {
    RecordingSink sink;
    sink.handlers[WM_COMMAND] = [](HWND, WPARAM, LPARAM, bool*) -> LRESULT { throw std::runtime_error("handler failed"); };
    const HWND main = Open(IDD_MAIN, sink);
    QTimer::singleShot(0, [&] { QTest::mouseClick(Item(main, IDC_ABOUT), Qt::LeftButton); });
    EXPECT_THROW(windows.RunModalLoop(main), std::runtime_error);
}

// ---- Owners, activation, destruction ------------------------------------------------------------

TEST_F(QtWindowsTest, TheLastActivePopupIsTheOwnedDialogWhileItIsUp) {
    RecordingSink mainSink;
    RecordingSink aboutSink;
    const HWND main = Open(IDD_MAIN, mainSink);
    EXPECT_EQ(windows.GetActiveWindow(), main);
    EXPECT_EQ(windows.GetLastActivePopup(main), main);
    const HWND about = Open(IDD_ABOUTBOX, aboutSink, true, main);
    EXPECT_EQ(windows.GetActiveWindow(), about);
    EXPECT_EQ(windows.GetLastActivePopup(main), about);
    windows.ShowWindow(about, false);
    EXPECT_EQ(windows.GetLastActivePopup(main), main) << "a hidden popup no longer counts";
}

TEST_F(QtWindowsTest, DestroyingAWindowDestroysWhatItOwnsFirst) {
    std::vector<std::string> order;
    RecordingSink mainSink;
    RecordingSink aboutSink;
    mainSink.handlers[WM_DESTROY] = [&](HWND, WPARAM, LPARAM, bool*) -> LRESULT { order.push_back("main"); return 0; };
    aboutSink.handlers[WM_DESTROY] = [&](HWND, WPARAM, LPARAM, bool*) -> LRESULT { order.push_back("about"); return 0; };
    const HWND main = Open(IDD_MAIN, mainSink);
    const HWND about = Open(IDD_ABOUTBOX, aboutSink, true, main);
    const HWND close = windows.GetDlgItem(about, IDOK);
    windows.DestroyWindow(main);
    EXPECT_EQ(Join(order), "about main");
    EXPECT_EQ(windows.WidgetOf(about), nullptr);
    EXPECT_EQ(windows.WidgetOf(close), nullptr);
    EXPECT_FALSE(windows.IsWindowVisible(main));
    EXPECT_EQ(windows.GetParent(close), nullptr) << "the handles of a destroyed window lead nowhere";
}

TEST_F(QtWindowsTest, WindowsArePlacedAndMovedInScreenPixels) {
    RecordingSink sink;
    const HWND about = Open(IDD_ABOUTBOX, sink, false);
    const RECT work = windows.GetWorkArea();
    EXPECT_GT(work.right - work.left, 0);
    windows.MoveWindowTo(about, 40, 30);
    const RECT placed = windows.GetWindowRect(about);
    EXPECT_EQ(placed.left, 40);
    EXPECT_EQ(placed.top, 30);
    const RECT client = windows.GetClientRect(about);
    EXPECT_GE(placed.right - placed.left, client.right) << "the outer size holds the client area";
}

// ---- Screen readers ----------------------------------------------------------------------------

TEST_F(QtWindowsTest, ScreenReadersHearEachControlsRoleAndName) {
    using A = QAccessible;
    // The dialog, then its controls in template order; a name ending in "…" only begins so.
    const std::map<UINT, std::vector<std::pair<A::Role, const char*>>> cases = {
        {IDD_MAIN, {{A::Dialog, "Orvane"}, {A::StaticText, "This program sets…"}, {A::StaticText, "Status:"}, {A::StaticText, "Status"},
                    {A::Button, "Set Clock"}, {A::Button, "Configure..."}, {A::Button, "Help"}, {A::Button, "About..."}, {A::Button, "Exit"}}},
        {IDD_CONFIGURE, {{A::Dialog, "Configure"}, {A::StaticText, "If this program…"}, {A::RadioButton, "Existing URL:"}, {A::RadioButton, "New URL:"},
                         {A::ComboBox, "Existing URL"}, {A::EditableText, "New URL"}, {A::Button, "OK"}, {A::Button, "Cancel"}}},
        {IDD_ABOUTBOX, {{A::Dialog, "Orvane"}, {A::StaticText, "Orvane v. 1.04 for Windows 95 and NT"}, {A::Graphic, ""}, {A::Button, "Close"}}},
    };
    RecordingSink sink;
    for (const auto& [id, expected] : cases) {
        std::vector<HWND> windowAndControls{Open(id, sink, false)};
        for (HWND c = windows.GetFirstChild(windowAndControls[0]); c; c = windows.GetNextSibling(c)) windowAndControls.push_back(c);
        ASSERT_EQ(windowAndControls.size(), expected.size()) << "template " << id;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            QAccessibleInterface* accessible = A::queryAccessibleInterface(windows.WidgetOf(windowAndControls[i]));
            const QString name = accessible->text(A::Name), wanted = QString::fromUtf8(expected[i].second);
            EXPECT_EQ(accessible->role(), expected[i].first) << "template " << id << ": \"" << name.toStdString() << "\"";
            EXPECT_TRUE(wanted.endsWith(u'…') ? name.startsWith(wanted.chopped(1)) : name == wanted) << "template " << id << ": \"" << name.toStdString() << "\"";
        }
    }
    // The status line's text is its description, whose change Qt announces (to no one, offscreen).
    const HWND main = Open(IDD_MAIN, sink, false);
    const HWND status = windows.GetDlgItem(main, IDC_STATUS);
    windows.SetWindowText(status, "Set computer's clock to 6/1/2026 7:39:10 AM.");
    EXPECT_EQ(A::queryAccessibleInterface(windows.WidgetOf(status))->text(A::Description).toStdString(), "Set computer's clock to 6/1/2026 7:39:10 AM.");
}

// ---- Icons and painting ------------------------------------------------------------------------

TEST_F(QtWindowsTest, WmSetIconGivesTheWindowBothIconSizes) {
    RecordingSink sink;
    const HWND main = Open(IDD_MAIN, sink, false);
    const HICON icon = windows.LoadIcon(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(windows.LoadIcon(IDR_MAINFRAME), icon) << "icons are shared";
    EXPECT_EQ(windows.LoadIcon(999), nullptr);
    EXPECT_EQ(windows.GetSystemMetrics(SM_CXICON), 32);
    EXPECT_EQ(windows.GetSystemMetrics(SM_CYICON), 32);

    EXPECT_EQ(windows.SendMessage(main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(windows.SendMessage(main, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)), 0);
    EXPECT_EQ(windows.SendMessage(main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)), reinterpret_cast<LRESULT>(icon))
        << "WM_SETICON answers the icon it replaced";
    const QList<QSize> sizes = windows.WidgetOf(main)->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)) && sizes.contains(QSize(16, 16))) << sizes.size() << " sizes";
}

TEST_F(QtWindowsTest, AMinimisedWindowAskedToPaintDrawsTheProgramsIcon) {
    RecordingSink sink;
    const HICON icon = windows.LoadIcon(IDR_MAINFRAME);
    sink.handlers[WM_PAINT] = [&](HWND hwnd, WPARAM, LPARAM, bool*) -> LRESULT {
        const HDC dc = windows.BeginPaint(hwnd);
        windows.DrawIcon(dc, 2, 2, icon);
        windows.EndPaint(hwnd, dc);
        return 0;
    };
    const HWND main = Open(IDD_MAIN, sink);
    QWidget* widget = windows.WidgetOf(main);
    widget->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([&] { return windows.IsIconic(main); }));

    // Rendering sends the paint event that a window manager would.
    QImage painted(widget->size(), QImage::Format_ARGB32);
    painted.fill(Qt::transparent);
    widget->render(&painted, QPoint(), QRegion(), QWidget::RenderFlags());
    EXPECT_EQ(sink.MessageIds().back(), WM_PAINT);

    windows.SendMessage(main, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    QImage expected(widget->size(), QImage::Format_ARGB32);
    expected.fill(Qt::transparent);
    QPainter(&expected).drawPixmap(2, 2, widget->windowIcon().pixmap(32, 32));
    EXPECT_TRUE(painted == expected) << "the icon was not drawn at (2, 2) alone";
}

}  // namespace
}  // namespace orvane

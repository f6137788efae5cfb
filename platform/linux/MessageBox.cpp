// Message boxes on Linux: a QMessageBox with the caption, text, icon and buttons of the MB_* type.
#include "platform/linux/QtServices.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

#include <utility>
#include <vector>

#include "platform/linux/WindowsQt.h"

namespace orvane {
namespace {

// MessageBoxA lets Esc and the close box answer only where there is a Cancel button, or an OK button
// alone; a Yes/No or Abort/Retry/Ignore box must be answered with one of its buttons. QMessageBox
// would take No or Abort for Esc, so this box refuses both there.
class CAnswerBox : public QMessageBox {
public:
    explicit CAnswerBox(bool escapeAnswers) : escapeAnswers_(escapeAnswers) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!escapeAnswers_ && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!escapeAnswers_) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

private:
    bool escapeAnswers_;
};

constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

}  // namespace

int CQtMessageBox::MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    using Answer = std::pair<QMessageBox::StandardButton, int>;
    std::vector<Answer> answers;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: answers = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE: answers = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}}; break;
    case MB_YESNOCANCEL: answers = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_YESNO: answers = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: answers = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    default: answers = {{QMessageBox::Ok, IDOK}}; break;
    }
    const bool hasCancel = answers.back().second == IDCANCEL;
    const bool okAlone = answers.size() == 1;

    CAnswerBox box(hasCancel || okAlone);
    box.setWindowTitle(qt::FromProgramText(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(qt::FromProgramText(text));
    switch (type & MB_ICONMASK) {
    case MB_ICONSTOP: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONEXCLAMATION: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    for (const Answer& answer : answers) box.addButton(answer.first);
    box.setDefaultButton(answers.front().first);
    if (hasCancel) box.setEscapeButton(box.button(QMessageBox::Cancel));
    if (okAlone) box.setEscapeButton(box.button(QMessageBox::Ok));

    // Like the owner of a dialog, the owner is the box's transient parent, not its Qt parent: the
    // caller disables the owner, which would disable a Qt child with it.
    QWidget* ownerWidget = qt::WidgetOfWindow(owner);
    if (type & MB_SYSTEMMODAL) {
        box.setWindowModality(Qt::ApplicationModal);
    } else if (ownerWidget) {
        box.setWindowModality(Qt::WindowModal);
    }
    box.winId();
    if (ownerWidget && ownerWidget->window()->windowHandle() && box.windowHandle()) {
        box.windowHandle()->setTransientParent(ownerWidget->window()->windowHandle());
    }
    box.exec();

    const QAbstractButton* pressed = box.clickedButton();
    for (const Answer& answer : answers) {
        if (pressed && pressed == box.button(answer.first)) return answer.second;
    }
    // Closed some other way (the application quitting): what Esc would have answered.
    return hasCancel ? IDCANCEL : answers.front().second;
}

}  // namespace orvane

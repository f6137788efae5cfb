// The Qt window backend's dialog manager: what the Windows dialog manager does with the keyboard in a
// dialog. Focus and Tab order, arrow keys within radio groups, mnemonics (Alt+letter and the bare
// letter), Enter and the default button, Esc, and the automatic radio buttons of a group.
#include "platform/linux/WindowsQt.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "platform/linux/WindowsQtRecords.h"

namespace orvane::qt {

namespace {

// The character after the first lone "&" of a text, lower-cased; null when there is none.
QChar MnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'&') continue;
        if (text[i + 1] == u'&') {
            ++i;
            continue;
        }
        return text[i + 1].toLower();
    }
    return QChar();
}

bool IsButton(Kind kind) { return kind == Kind::PushButton || kind == Kind::RadioButton || kind == Kind::CheckBox; }

}  // namespace

WPARAM VirtualKeyOf(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return static_cast<WPARAM>('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return static_cast<WPARAM>('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return VK_F1 + static_cast<WPARAM>(key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Pause: return 0x13;
    case Qt::Key_CapsLock: return 0x14;
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Menu: return 0x5D;
    default: return 0;
    }
}

LRESULT CQtWindows::DialogCode(const Window& control) const {
    switch (control.kind) {
    case Kind::PushButton: return DLGC_BUTTON | (control.id == control.dialog->defaultId ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
    case Kind::RadioButton: return DLGC_BUTTON | DLGC_RADIOBUTTON;
    case Kind::CheckBox: return DLGC_BUTTON;
    case Kind::GroupBox: return DLGC_STATIC;
    case Kind::Static:
    case Kind::Icon: return DLGC_STATIC;
    case Kind::Edit: return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    case Kind::ComboBox: return DLGC_WANTCHARS | DLGC_WANTARROWS;
    default: return 0;
    }
}

// ---- Input -------------------------------------------------------------------------------------

void CQtWindows::OnFocusChanged(QWidget* now) {
    Window* focused = Find(HandleOf(now));
    if (!focused || focused->kind == Kind::Dialog) return;
    Window& dialog = *focused->dialog;
    // The focused push button looks like the default one, since Enter presses it; elsewhere the
    // template's default button does.
    const int shownDefault = focused->kind == Kind::PushButton ? focused->id : dialog.defaultId;
    for (const auto& control : dialog.controls) {
        if (control->kind == Kind::PushButton) static_cast<QPushButton*>(control->widget)->setDefault(control->id == shownDefault);
    }
}

void CQtWindows::OnButtonClicked(Window& control) {
    Window& dialog = *control.dialog;
    if (control.kind == Kind::RadioButton && control.automatic) {
        // An auto radio button turns the other auto radio buttons of its group off, hidden and
        // disabled ones too.
        const auto& controls = dialog.controls;
        const auto self = std::find_if(controls.begin(), controls.end(), [&](const auto& c) { return c.get() == &control; });
        auto first = self;
        while (first != controls.begin() && !((*first)->style & WS_GROUP)) --first;
        for (auto it = first; it != controls.end(); ++it) {
            if (it != first && ((*it)->style & WS_GROUP)) break;
            if (it->get() != &control && (*it)->kind == Kind::RadioButton && (*it)->automatic) {
                static_cast<QAbstractButton*>((*it)->widget)->setChecked(false);
            }
        }
    }
    SendCommand(dialog, control.id, BN_CLICKED, &control);
}

bool CQtWindows::OnKeyPress(QWidget* receiver, const QKeyEvent& event) {
    Window* found = Find(HandleOf(receiver));
    if (!found) return false;
    Window& dialog = found->kind == Kind::Dialog ? *found : *found->dialog;
    // Qt hands keys to a disabled widget's event filters too; a disabled window takes none.
    if (!receiver->isEnabled()) return false;
    // A key that a control left alone travels on to the dialog widget; it was seen at the first stop.
    QWidget* firstStop = QApplication::focusWidget();
    if (!firstStop || firstStop->window() != dialog.widget) firstStop = dialog.widget->focusWidget();
    if (!firstStop) firstStop = dialog.widget;
    if (receiver != firstStop) return false;
    bool consumed = false;
    Guarded([&] { consumed = DialogKey(dialog, event); });
    return consumed;
}

bool CQtWindows::DialogKey(Window& dialog, const QKeyEvent& event) {
    const int key = event.key();
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    const bool ctrl = modifiers.testFlag(Qt::ControlModifier);
    const bool alt = modifiers.testFlag(Qt::AltModifier);
    const HWND hwnd = Handle(&dialog);

    if (const WPARAM virtualKey = VirtualKeyOf(key); virtualKey != 0 && dialog.sink &&
                                                     dialog.sink->PreTranslateKey(hwnd, virtualKey, shift, ctrl, alt)) {
        return true;
    }
    if (!Find(hwnd)) return true;

    Window* focus = FocusedControl(dialog);
    const LRESULT code = focus ? DialogCode(*focus) : 0;
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
        if (ctrl || alt || (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS))) return false;
        const bool backwards = key == Qt::Key_Backtab || shift;
        if (Window* next = NextTabStop(dialog, focus, backwards)) {
            FocusControl(*next, backwards ? Qt::BacktabFocusReason : Qt::TabFocusReason);
        }
        return true;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (alt || (code & DLGC_WANTALLKEYS)) return false;
        PressEnter(dialog, focus);
        return true;
    case Qt::Key_Escape:
        if (code & DLGC_WANTALLKEYS) return false;
        SendCommand(dialog, IDCANCEL, BN_CLICKED, FindControl(dialog, IDCANCEL));
        return true;
    case Qt::Key_F4:
        // Alt+F4 reaches the window itself where no window manager takes it first.
        if (!alt || ctrl || shift) return false;
        SendMessage(hwnd, WM_CLOSE, 0, 0);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down: {
        if (alt || ctrl || !focus || (code & DLGC_WANTARROWS)) return false;
        Window* next = NextInGroup(dialog, focus, key == Qt::Key_Left || key == Qt::Key_Up);
        if (!next) return true;
        if (next->kind == Kind::RadioButton) {
            FocusControl(*next, Qt::OtherFocusReason);
            auto* radio = static_cast<QAbstractButton*>(next->widget);
            if (next->automatic && !radio->isChecked()) radio->click();
        } else {
            FocusControl(*next, Qt::TabFocusReason);
        }
        return true;
    }
    default: break;
    }

    // Mnemonics: Alt+letter anywhere; a plain letter where the focused control takes no characters.
    if (ctrl) return false;
    QChar letter;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        letter = QChar(u'a' + (key - Qt::Key_A));
    } else if (key >= Qt::Key_0 && key <= Qt::Key_9) {
        letter = QChar(u'0' + (key - Qt::Key_0));
    } else if (event.text().size() == 1 && event.text()[0].isPrint()) {
        letter = event.text()[0].toLower();
    }
    if (letter.isNull() || letter == u' ') return false;
    if (!alt && ((code & DLGC_WANTCHARS) || event.text().isEmpty())) return false;
    Window* target = MnemonicTarget(dialog, focus, letter);
    if (!target) return alt;  // USER32 beeps at an Alt+letter that matches nothing, and drops it
    ActivateMnemonic(dialog, *target);
    return true;
}

void CQtWindows::ActivateMnemonic(Window& dialog, Window& target) {
    if (target.kind == Kind::Static || target.kind == Kind::GroupBox) {
        // A label's mnemonic leads to the control after it.
        if (Window* next = NextTabStop(dialog, &target, false)) FocusControl(*next, Qt::ShortcutFocusReason);
        return;
    }
    // As BM_CLICK does: the button takes the focus, then is clicked.
    FocusControl(target, Qt::ShortcutFocusReason);
    static_cast<QAbstractButton*>(target.widget)->click();
}

void CQtWindows::PressEnter(Window& dialog, Window* focus) {
    if (focus && focus->kind == Kind::PushButton) {
        SendCommand(dialog, focus->id, BN_CLICKED, focus);
        return;
    }
    const int id = dialog.defaultId != 0 ? dialog.defaultId : IDOK;
    Window* button = FindControl(dialog, id);
    if (button && !button->widget->isEnabledTo(dialog.widget)) return;
    SendCommand(dialog, id, BN_CLICKED, button);
}

CQtWindows::Window* CQtWindows::FocusedControl(Window& dialog) const {
    Window* found = Find(HandleOf(dialog.widget->focusWidget()));
    return found && found->dialog == &dialog ? found : nullptr;
}

namespace {
bool Usable(const CQtWindows::Window& control, QWidget* dialogWidget) {
    return !control.widget->isHidden() && control.widget->isEnabledTo(dialogWidget);
}
}  // namespace

CQtWindows::Window* CQtWindows::NextTabStop(Window& dialog, Window* from, bool backwards) const {
    const auto& controls = dialog.controls;
    const std::size_t count = controls.size();
    if (count == 0) return nullptr;
    std::size_t start = backwards ? 0 : count - 1;  // so that the first step lands on an end
    for (std::size_t i = 0; i < count && from; ++i) {
        if (controls[i].get() == from) start = i;
    }
    for (std::size_t step = 1; step <= count; ++step) {
        const std::size_t i = backwards ? (start + count * 2 - step) % count : (start + step) % count;
        const Window& control = *controls[i];
        if ((control.style & WS_TABSTOP) && Usable(control, dialog.widget)) return controls[i].get();
    }
    return nullptr;
}

CQtWindows::Window* CQtWindows::NextInGroup(Window& dialog, Window* from, bool backwards) const {
    const auto& controls = dialog.controls;
    std::size_t at = controls.size();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (controls[i].get() == from) at = i;
    }
    if (at == controls.size()) return nullptr;
    std::size_t first = at;
    while (first > 0 && !(controls[first]->style & WS_GROUP)) --first;
    std::size_t end = at + 1;
    while (end < controls.size() && !(controls[end]->style & WS_GROUP)) ++end;
    const std::size_t size = end - first;
    for (std::size_t step = 1; step < size; ++step) {
        const std::size_t offset = backwards ? (at - first + size * 2 - step) % size : (at - first + step) % size;
        Window& candidate = *controls[first + offset];
        // Labels stand in groups too, but the arrow keys pass over them.
        if (candidate.kind == Kind::Static || candidate.kind == Kind::Icon) continue;
        if (Usable(candidate, dialog.widget)) return &candidate;
    }
    return nullptr;
}

CQtWindows::Window* CQtWindows::MnemonicTarget(Window& dialog, Window* from, QChar key) const {
    const auto& controls = dialog.controls;
    const std::size_t count = controls.size();
    std::size_t start = count - 1;
    for (std::size_t i = 0; i < count && from; ++i) {
        if (controls[i].get() == from) start = i;
    }
    // The search starts after the focus, so that repeated presses of a shared letter take turns.
    for (std::size_t step = 1; step <= count; ++step) {
        Window& control = *controls[(start + step) % count];
        const bool labelled = IsButton(control.kind) || control.kind == Kind::GroupBox ||
                              (control.kind == Kind::Static && !(control.style & SS_NOPREFIX));
        if (!labelled || !Usable(control, dialog.widget)) continue;
        if (MnemonicOf(FromProgramText(control.text)) == key) return &control;
    }
    return nullptr;
}

}  // namespace orvane::qt

// The Qt window backend's dialog builder: Qt widgets from the program's dialog templates, laid out in
// dialog units through the dialog font's metrics, as the Windows dialog manager lays them out.
#include "platform/linux/WindowsQt.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QButtonGroup>
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
#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/linux/WindowsQtRecords.h"

namespace orvane::qt {

namespace {

// An auto radio button always ends up on when clicked; a plain one leaves its state to the program.
class TemplateRadioButton : public QRadioButton {
public:
    TemplateRadioButton(bool automatic, QWidget* parent) : QRadioButton(parent), automatic_(automatic) {
        // The dialog manager keeps the template's groups, as USER32 does, so Qt must not turn the
        // other radio buttons off. Without auto-exclusivity Qt would tell screen readers that this is a
        // check box; so the button stays auto-exclusive, alone in a non-exclusive group of its own.
        auto* alone = new QButtonGroup(this);
        alone->setExclusive(false);
        alone->addButton(this);
    }

protected:
    void nextCheckState() override {
        if (automatic_) setChecked(true);
    }

private:
    bool automatic_;
};

class TemplateCheckBox : public QCheckBox {
public:
    TemplateCheckBox(bool automatic, QWidget* parent) : QCheckBox(parent), automatic_(automatic) {}

protected:
    void nextCheckState() override {
        if (automatic_) QCheckBox::nextCheckState();
    }

private:
    bool automatic_;
};

// Marks the drop-down lists of templates for the accessibility factory below.
class TemplateComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
};

// Qt on Linux names a drop-down list after its current item and leaves its label to a relation with a
// QLabel buddy. A template's list has no QLabel before it, so the list says the name that it is given
// and keeps its current item as its value.
class AccessibleDropDownList : public QAccessibleWidget {
public:
    explicit AccessibleDropDownList(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text which) const override {
        return which == QAccessible::Value ? Combo()->currentText() : QAccessibleWidget::text(which);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Combo()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == Combo()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return QAccessibleWidget::actionNames() << showMenuAction() << pressAction(); }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) return QAccessibleWidget::doAction(action);
        if (Combo()->view()->isVisible()) {
            Combo()->hidePopup();
        } else {
            Combo()->showPopup();
        }
    }

private:
    QComboBox* Combo() const { return static_cast<QComboBox*>(widget()); }
};

// A template's window is a dialog to screen readers, named by its caption (QAccessibleWidget names a
// window by its title); Qt would call a plain QWidget window a filler.
QAccessibleInterface* AccessibleOfTemplateWidget(const QString&, QObject* object) {
    if (auto* dialog = dynamic_cast<CQtWindows::DialogWidget*>(object)) return new QAccessibleWidget(dialog, QAccessible::Dialog);
    if (auto* combo = dynamic_cast<TemplateComboBox*>(object)) return new AccessibleDropDownList(combo);
    return nullptr;
}

bool IsLabel(const CQtWindows::Window& control) {
    return (control.kind == Kind::Static && !control.text.empty()) || control.kind == Kind::RadioButton ||
           control.kind == Kind::CheckBox;
}

// A label's text as a name: without the mnemonic's "&" and without a trailing colon.
QString NameOfLabel(const std::string& text) {
    const QString shown = FromProgramText(text);
    QString name;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown[i] == u'&' && i + 1 < shown.size()) ++i;
        name += shown[i];
    }
    name = name.simplified();
    if (name.endsWith(u':')) name.chop(1);
    return name.trimmed();
}

// The name of a control without a text of its own, as a user reads the dialog: the label that stands
// nearest before it on its row, or else, as Windows names it, a static text just before it in the
// template.
QString NameFromLabels(const std::vector<std::unique_ptr<CQtWindows::Window>>& controls, std::size_t at) {
    const QRect self = controls[at]->placed;
    const CQtWindows::Window* found = nullptr;
    for (const auto& other : controls) {
        const QRect label = other->placed;
        const bool sameRow = label.top() <= self.bottom() && self.top() <= label.bottom();
        if (!IsLabel(*other) || !sameRow || label.center().x() >= self.left()) continue;
        if (!found || label.right() > found->placed.right()) found = other.get();
    }
    if (!found && at > 0 && controls[at - 1]->kind == Kind::Static && IsLabel(*controls[at - 1])) found = controls[at - 1].get();
    return found ? NameOfLabel(found->text) : QString();
}

}  // namespace

// ---- Dialog units ------------------------------------------------------------------------------

int MulDiv(int number, int numerator, int denominator) {
    if (denominator == 0) return -1;
    long long product = static_cast<long long>(number) * numerator;
    long long divisor = denominator;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    const long long magnitude = (std::llabs(product) + divisor / 2) / divisor;
    return static_cast<int>(product < 0 ? -magnitude : magnitude);
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // GdiGetCharDimensions rounds the average of the 52 letters this way.
    return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

QFont DialogFontOf(const res::DialogTemplate& dialog) {
    const QString name = QString::fromLatin1(dialog.fontName);
    if (name.isEmpty() || name.compare(u"MS Sans Serif", Qt::CaseInsensitive) == 0 ||
        name.compare(u"Helv", Qt::CaseInsensitive) == 0 || name.compare(u"MS Shell Dlg", Qt::CaseInsensitive) == 0) {
        return QApplication::font();
    }
    QFont font(name);
    if (dialog.pointSize > 0) font.setPointSize(dialog.pointSize);
    if (dialog.weight > 0) font.setWeight(static_cast<QFont::Weight>(std::clamp<int>(dialog.weight, 1, 1000)));
    font.setItalic(dialog.italic);
    return font;
}

// ---- Building dialogs --------------------------------------------------------------------------

HWND CQtWindows::CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) {
    if (!resources_.dialog) return nullptr;
    const std::optional<res::DialogTemplate> dialogTemplate = resources_.dialog(templateId);
    if (!dialogTemplate) return nullptr;

    QAccessible::installFactory(AccessibleOfTemplateWidget);  // once: Qt keeps a factory only once
    if (!focusHooked_ && qApp) {
        QObject::connect(qApp, &QApplication::focusChanged, keyFilter_.get(),
                         [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
        focusHooked_ = true;
    }

    auto record = std::make_unique<Window>();
    Window& dialog = *record;
    dialog.kind = Kind::Dialog;
    dialog.style = dialogTemplate->style & ~WS_VISIBLE;
    dialog.text = dialogTemplate->caption;
    dialog.sink = sink;
    dialog.owner = FindDialog(owner);

    auto* widget = new DialogWidget(*this, dialog);
    dialog.widget = widget;
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    flags |= (dialog.style & WS_CAPTION) == WS_CAPTION ? Qt::WindowTitleHint : Qt::FramelessWindowHint;
    if (dialog.style & WS_SYSMENU) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (dialog.style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    }
    widget->setWindowFlags(flags);
    widget->setWindowTitle(FromProgramText(dialog.text));

    const QFont font = DialogFontOf(*dialogTemplate);
    widget->setFont(font);
    const DialogBaseUnits units = BaseUnitsOf(font);
    widget->setFixedSize(MulDiv(dialogTemplate->cx, units.cx, 4), MulDiv(dialogTemplate->cy, units.cy, 8));
    // As in USER32, an owned dialog's position counts from its owner's client area.
    QPoint position(MulDiv(dialogTemplate->x, units.cx, 4), MulDiv(dialogTemplate->y, units.cy, 8));
    if (dialog.owner && !(dialog.style & DS_ABSALIGN)) position += dialog.owner->widget->mapToGlobal(QPoint(0, 0));
    widget->move(position);
    widget->installEventFilter(keyFilter_.get());

    Live().handles[Handle(&dialog)] = {this, &dialog};
    Live().widgets[widget] = &dialog;
    dialogs_.push_back(std::move(record));
    BuildControls(dialog, *dialogTemplate, units);

    // The owner is the transient parent, not the Qt parent: disabling a Qt parent would disable the
    // dialog that it owns too.
    widget->winId();
    if (dialog.owner && widget->windowHandle() && dialog.owner->widget->windowHandle()) {
        widget->windowHandle()->setTransientParent(dialog.owner->widget->windowHandle());
    }

    const HWND hwnd = Handle(&dialog);
    Window* first = NextTabStop(dialog, nullptr, false);
    try {
        bool handled = true;
        const LRESULT result = sink ? sink->WindowProc(hwnd, WM_INITDIALOG, reinterpret_cast<WPARAM>(Handle(first)), 0, &handled) : 1;
        if (!Find(hwnd)) return nullptr;
        // A dialog that set the focus itself answers 0, and keeps it.
        if (handled && result != 0 && first) FocusControl(*first, Qt::TabFocusReason);
    } catch (...) {
        if (Find(hwnd)) Forget(dialog);
        throw;
    }
    if (dialogTemplate->style & WS_VISIBLE) ShowNormal(dialog);
    return hwnd;
}

void CQtWindows::BuildControls(Window& dialog, const res::DialogTemplate& dialogTemplate, const DialogBaseUnits& units) {
    QWidget* previousTabStop = nullptr;
    for (const res::DialogItem& item : dialogTemplate.items) {
        auto record = std::make_unique<Window>();
        Window& control = *record;
        control.id = item.id;
        control.style = item.style;
        control.text = item.text;
        control.dialog = &dialog;

        WORD atom = item.classAtom;
        if (atom == 0) {
            const QString name = QString::fromLatin1(item.className);
            if (name.compare(u"Button", Qt::CaseInsensitive) == 0) atom = res::kButtonClass;
            if (name.compare(u"Edit", Qt::CaseInsensitive) == 0) atom = res::kEditClass;
            if (name.compare(u"Static", Qt::CaseInsensitive) == 0) atom = res::kStaticClass;
            if (name.compare(u"ComboBox", Qt::CaseInsensitive) == 0) atom = res::kComboBoxClass;
        }

        // Each edge is converted, as MapDialogRect converts them, so that controls that meet in the
        // template meet in pixels too; USER32 converts the width on its own, and rounding may then
        // let one cover a pixel of the next.
        const QRect rect(QPoint(MulDiv(item.x, units.cx, 4), MulDiv(item.y, units.cy, 8)),
                         QPoint(MulDiv(item.x + item.cx, units.cx, 4) - 1, MulDiv(item.y + item.cy, units.cy, 8) - 1));
        QWidget* widget = nullptr;
        const DWORD type = item.style & BS_TYPEMASK;
        if (atom == res::kButtonClass && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)) {
            control.kind = Kind::RadioButton;
            control.automatic = type == BS_AUTORADIOBUTTON;
            widget = new TemplateRadioButton(control.automatic, dialog.widget);
        } else if (atom == res::kButtonClass && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
                                                 type == BS_AUTO3STATE)) {
            control.kind = Kind::CheckBox;
            control.automatic = type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE;
            auto* box = new TemplateCheckBox(control.automatic, dialog.widget);
            box->setTristate(type == BS_3STATE || type == BS_AUTO3STATE);
            widget = box;
        } else if (atom == res::kButtonClass && type == BS_GROUPBOX) {
            control.kind = Kind::GroupBox;
            widget = new QGroupBox(dialog.widget);
        } else if (atom == res::kButtonClass) {
            control.kind = Kind::PushButton;
            auto* button = new QPushButton(dialog.widget);
            // Enter is the dialog manager's, not Qt's.
            button->setAutoDefault(false);
            if (type == BS_DEFPUSHBUTTON) {
                button->setDefault(true);
                if (dialog.defaultId == 0) dialog.defaultId = item.id;
            }
            widget = button;
        } else if (atom == res::kStaticClass && (item.style & SS_TYPEMASK) == SS_ICON) {
            control.kind = Kind::Icon;
            control.text.clear();
            control.iconId = item.textOrdinal.value_or(0);
            auto* label = new QLabel(dialog.widget);
            if (const Icon* icon = FindIcon(LoadIcon(control.iconId))) label->setPixmap(icon->Pixmap(kStandardIconSize));
            widget = label;
        } else if (atom == res::kStaticClass) {
            control.kind = Kind::Static;
            auto* label = new QLabel(dialog.widget);
            const DWORD staticType = item.style & SS_TYPEMASK;
            Qt::Alignment alignment = Qt::AlignTop;
            alignment |= staticType == SS_CENTER ? Qt::AlignHCenter : staticType == SS_RIGHT ? Qt::AlignRight : Qt::AlignLeft;
            label->setAlignment(alignment);
            label->setWordWrap(staticType != SS_LEFTNOWORDWRAP);
            label->setContentsMargins(0, 0, 0, 0);
            widget = label;
        } else if (atom == res::kEditClass) {
            control.kind = Kind::Edit;
            auto* edit = new QLineEdit(dialog.widget);
            edit->setFrame((item.style & WS_BORDER) != 0);
            // The program sets no limit on what the user may type.
            edit->setMaxLength(std::numeric_limits<int>::max());
            if (item.style & ES_PASSWORD) edit->setEchoMode(QLineEdit::Password);
            edit->setReadOnly((item.style & ES_READONLY) != 0);
            widget = edit;
        } else if (atom == res::kComboBoxClass) {
            control.kind = Kind::ComboBox;
            auto* combo = new TemplateComboBox(dialog.widget);
            // The list's view, once dropped down, takes the keys; F1 must still reach the dialog.
            combo->view()->installEventFilter(keyFilter_.get());
            widget = combo;
        } else {
            control.kind = Kind::Other;
            widget = new QWidget(dialog.widget);
        }
        control.widget = widget;

        QRect placed = rect;
        // A static icon takes the icon's size, whatever the template says; a closed drop-down list
        // is one line high, the template's height being that of the list when dropped down.
        if (control.kind == Kind::Icon) placed.setSize(QSize(kStandardIconSize, kStandardIconSize));
        if (control.kind == Kind::ComboBox) placed.setHeight(widget->sizeHint().height());
        widget->setGeometry(placed);
        control.placed = placed;

        const bool tabStop = (item.style & WS_TABSTOP) != 0;
        if (control.kind == Kind::Static || control.kind == Kind::Icon || control.kind == Kind::GroupBox) {
            widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::NoFocus);
        } else {
            widget->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        }
        if (tabStop) {
            if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
        widget->setVisible((item.style & WS_VISIBLE) != 0);
        widget->setEnabled((item.style & WS_DISABLED) == 0);
        widget->installEventFilter(keyFilter_.get());

        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            Window* raw = &control;
            QObject::connect(button, &QAbstractButton::clicked, keyFilter_.get(),
                             [this, raw] { Guarded([&] { OnButtonClicked(*raw); }); });
        }

        Live().handles[Handle(&control)] = {this, &control};
        Live().widgets[widget] = &control;
        dialog.controls.push_back(std::move(record));
        SetText(control, control.text);
    }

    dialog.built = true;
    for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
        Window& control = *dialog.controls[i];
        // Static texts take their width once their neighbours stand.
        if (control.kind == Kind::Static) SetText(control, control.text);
        const bool field = control.kind == Kind::Edit || control.kind == Kind::ComboBox ||
                           (control.kind == Kind::Static && control.text.empty());
        if (!field) continue;
        if (const QString name = NameFromLabels(dialog.controls, i); !name.isEmpty()) control.widget->setAccessibleName(name);
    }
}

void CQtWindows::FitStaticText(Window& label, const QString& shown) {
    // A one-line static text that is narrower than its text, which a font wider than the one the
    // template was drawn for makes, takes its text's width as far as the next control on its row or
    // the dialog's edge allows: then nothing is cut off and nothing covered. Centred and
    // right-aligned texts keep the template's place.
    const DWORD type = label.style & SS_TYPEMASK;
    QRect rect(label.widget->pos(), label.placed.size());
    const QFontMetricsF metrics(label.widget->font());
    const bool oneLine = !shown.contains(u'\n') && rect.height() < 2 * metrics.lineSpacing();
    if (label.dialog->built && oneLine && (type == SS_LEFT || type == SS_LEFTNOWORDWRAP)) {
        const int needed = static_cast<int>(std::ceil(std::max(metrics.horizontalAdvance(shown), metrics.boundingRect(shown).right())));
        int right = label.dialog->widget->width();
        for (const auto& other : label.dialog->controls) {
            const QRect next = other->widget->geometry();
            if (other.get() == &label || next.left() < rect.left() || next.top() > rect.bottom() || rect.top() > next.bottom()) continue;
            right = std::min(right, next.left());
        }
        rect.setWidth(std::max(rect.width(), std::min(needed, right - rect.left())));
    }
    label.widget->setGeometry(rect);
}

}  // namespace orvane::qt

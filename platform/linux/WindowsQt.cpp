// The Qt 6 Widgets window backend: dialogs from templates, their controls, keys and modal loops.
#include "platform/linux/WindowsQt.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStringDecoder>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <unordered_map>

namespace orvane::qt {

enum class Kind { Dialog, Static, Icon, PushButton, RadioButton, CheckBox, GroupBox, Edit, ComboBox, Other };

struct CQtWindows::Window {
    Kind kind = Kind::Other;
    int id = 0;
    DWORD style = 0;   // from the template; the visible, disabled and minimised bits are read live
    std::string text;  // as last set, & prefixes included
    QWidget* widget = nullptr;
    Window* dialog = nullptr;  // a control's dialog
    bool automatic = false;    // auto radio buttons and check boxes change their own state
    UINT iconId = 0;           // static icons

    // Dialogs only.
    Window* owner = nullptr;
    IMessageSink* sink = nullptr;
    std::vector<std::unique_ptr<Window>> controls;
    int defaultId = 0;  // the template's default push button
    HICON icons[2] = {nullptr, nullptr};  // indexed by ICON_SMALL and ICON_BIG
    Window* lastActivePopup = nullptr;
    bool endPending = false;  // EndModalLoop came before RunModalLoop
    LRESULT endResult = 0;
    QWidget* paintTarget = nullptr;  // set while a paint event of the window is being handled
};

struct CQtWindows::Icon {
    UINT id = 0;
    std::vector<QImage> images;
    mutable std::optional<QIcon> icon;  // made at first use: pixmaps need the application object

    const QIcon& Get() const {
        if (!icon) {
            icon.emplace();
            for (const QImage& image : images) icon->addPixmap(QPixmap::fromImage(image));
        }
        return *icon;
    }
    QPixmap Pixmap(int size) const { return Get().pixmap(QSize(size, size)); }
};

struct CQtWindows::ModalLoop {
    Window* dialog = nullptr;
    QEventLoop loop;
    QTimer showTimer;
    LRESULT result = -1;
};

struct CQtWindows::PaintSession {
    Window* window = nullptr;
    std::unique_ptr<QPainter> painter;  // none outside a paint event: drawing then goes nowhere
};

namespace {

// Every live window of every backend instance, by handle and by widget.
struct Registry {
    std::unordered_map<const void*, std::pair<const CQtWindows*, CQtWindows::Window*>> handles;
    std::unordered_map<const QWidget*, CQtWindows::Window*> widgets;
};

Registry& Live() {
    static Registry registry;
    return registry;
}

HWND Handle(CQtWindows::Window* window) { return window; }

LPARAM HandleParam(CQtWindows::Window* window) { return reinterpret_cast<LPARAM>(Handle(window)); }

// An auto radio button always ends up on when clicked; a plain one leaves its state to the program.
class TemplateRadioButton : public QRadioButton {
public:
    TemplateRadioButton(bool automatic, QWidget* parent) : QRadioButton(parent), automatic_(automatic) {
        setAutoExclusive(false);
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

RECT ToRect(const QRect& rect) {
    return RECT{rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

}  // namespace

class CQtWindows::DialogWidget : public QWidget {
public:
    DialogWidget(CQtWindows& backend, Window& record) : QWidget(nullptr, Qt::Window), backend_(backend), record_(&record) {}

    // After this the widget only waits for its deletion.
    void Detach() { record_ = nullptr; }

protected:
    // Qt never closes a dialog by itself: the close box asks the program, as WM_CLOSE does.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (record_) backend_.OnCloseRequested(*record_);
    }

    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (record_ && event->type() == QEvent::ActivationChange && isActiveWindow()) backend_.OnActivated(*record_);
    }

    // Window managers rarely ask a minimised window to paint; when one does, the program draws it.
    void paintEvent(QPaintEvent* event) override {
        if (record_ && isMinimized()) {
            backend_.OnMinimisedPaint(*record_, *this);
            return;
        }
        QWidget::paintEvent(event);
    }

private:
    CQtWindows& backend_;
    Window* record_;
};

class CQtWindows::KeyFilter : public QObject {
public:
    explicit KeyFilter(CQtWindows& backend) : backend_(backend) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget) return false;
        if (event->type() == QEvent::ShortcutOverride) {
            // Taking every shortcut override keeps Qt's mnemonic shortcuts from firing: the keys come
            // to the dialog manager below as key presses instead.
            if (!backend_.HandleOf(widget)) return false;
            event->accept();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const auto& key = *static_cast<QKeyEvent*>(event);
            // A dropped-down list has the keys to itself; F1 still asks for help, as everywhere
            // else in the dialog.
            if (key.key() == Qt::Key_F1 && !backend_.HandleOf(widget)) {
                QComboBox* combo = nullptr;
                for (QWidget* up = widget->parentWidget(); up && !combo; up = up->parentWidget()) {
                    combo = qobject_cast<QComboBox*>(up);
                }
                if (!combo || !backend_.HandleOf(combo)) return false;
                return backend_.OnKeyPress(combo, key);
            }
            return backend_.OnKeyPress(widget, key);
        }
        return false;
    }

private:
    CQtWindows& backend_;
};

// ---- Helpers -----------------------------------------------------------------------------------

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

QString FromProgramText(const std::string& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!decoder.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToProgramText(const QString& text) { return text.toUtf8().toStdString(); }

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

QWidget* WidgetOfWindow(HWND window) {
    const auto found = Live().handles.find(window);
    return found == Live().handles.end() ? nullptr : found->second.second->widget;
}

// ---- The backend -------------------------------------------------------------------------------

CQtWindows::CQtWindows(ResourceSource resources)
    : resources_(std::move(resources)), keyFilter_(std::make_unique<KeyFilter>(*this)) {}

CQtWindows::~CQtWindows() {
    while (!dialogs_.empty()) Forget(*dialogs_.back());
}

template <class Deliver>
void CQtWindows::Guarded(Deliver&& deliver) noexcept {
    ++delivering_;
    try {
        deliver();
    } catch (...) {
        if (!pending_) pending_ = std::current_exception();
        if (!loops_.empty()) loops_.back()->loop.exit();
    }
    --delivering_;
}

CQtWindows::Window* CQtWindows::Find(HWND window) const {
    const auto found = Live().handles.find(window);
    if (found == Live().handles.end() || found->second.first != this) return nullptr;
    return found->second.second;
}

CQtWindows::Window* CQtWindows::FindDialog(HWND window) const {
    Window* found = Find(window);
    return found && found->kind == Kind::Dialog ? found : nullptr;
}

CQtWindows::Window* CQtWindows::FindControl(Window& dialog, int id) const {
    for (const auto& control : dialog.controls) {
        if (control->id == id) return control.get();
    }
    return nullptr;
}

const CQtWindows::Icon* CQtWindows::FindIcon(HICON icon) const {
    for (const auto& known : icons_) {
        if (known.get() == icon) return known.get();
    }
    return nullptr;
}

QWidget* CQtWindows::WidgetOf(HWND window) const {
    Window* found = Find(window);
    return found ? found->widget : nullptr;
}

HWND CQtWindows::HandleOf(const QWidget* widget) const {
    for (; widget; widget = widget->parentWidget()) {
        const auto found = Live().widgets.find(widget);
        if (found != Live().widgets.end()) return Find(found->second) ? found->second : nullptr;
        if (widget->isWindow()) break;
    }
    return nullptr;
}

bool CQtWindows::HasDialogTemplate(UINT templateId) {
    return resources_.dialog && resources_.dialog(templateId).has_value();
}

// ---- Building dialogs --------------------------------------------------------------------------

HWND CQtWindows::CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) {
    if (!resources_.dialog) return nullptr;
    const std::optional<res::DialogTemplate> dialogTemplate = resources_.dialog(templateId);
    if (!dialogTemplate) return nullptr;

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

        const QRect rect(MulDiv(item.x, units.cx, 4), MulDiv(item.y, units.cy, 8), MulDiv(item.cx, units.cx, 4),
                         MulDiv(item.cy, units.cy, 8));
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
            auto* combo = new QComboBox(dialog.widget);
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
}

// ---- Destroying ---------------------------------------------------------------------------------

void CQtWindows::DestroyWindow(HWND window) {
    Window* found = Find(window);
    if (!found) return;
    if (found->kind == Kind::Dialog) return DestroyDialog(found);

    Window& dialog = *found->dialog;
    if (lastFocusRequest_ == found) lastFocusRequest_ = nullptr;
    Live().handles.erase(Handle(found));
    Live().widgets.erase(found->widget);
    found->widget->removeEventFilter(keyFilter_.get());
    QObject::disconnect(found->widget, nullptr, nullptr, nullptr);
    if (delivering_ > 0) {
        found->widget->hide();
        found->widget->deleteLater();
    } else {
        delete found->widget;
    }
    std::erase_if(dialog.controls, [found](const std::unique_ptr<Window>& control) { return control.get() == found; });
}

void CQtWindows::DestroyDialog(Window* dialog) {
    // Owned windows go first, as USER32 destroys them.
    for (;;) {
        const auto owned = std::find_if(dialogs_.begin(), dialogs_.end(),
                                        [dialog](const std::unique_ptr<Window>& other) { return other->owner == dialog; });
        if (owned == dialogs_.end()) break;
        DestroyDialog(owned->get());
    }
    const HWND hwnd = Handle(dialog);
    std::exception_ptr failure;
    if (dialog->sink) {
        try {
            bool handled = true;
            dialog->sink->WindowProc(hwnd, WM_DESTROY, 0, 0, &handled);
        } catch (...) {
            failure = std::current_exception();
        }
    }
    if (Find(hwnd)) Forget(*dialog);
    if (failure) std::rethrow_exception(failure);
}

// Removes a dialog and its controls without telling its sink.
void CQtWindows::Forget(Window& dialog) {
    for (ModalLoop* modal : loops_) {
        if (modal->dialog != &dialog) continue;
        modal->dialog = nullptr;
        modal->showTimer.stop();
        modal->loop.exit();
    }
    for (const auto& other : dialogs_) {
        if (other->lastActivePopup == &dialog) other->lastActivePopup = nullptr;
        if (other->owner == &dialog) other->owner = nullptr;
    }
    std::erase_if(paints_, [&dialog](const std::unique_ptr<PaintSession>& paint) { return paint->window == &dialog; });
    if (lastFocusRequest_ && (lastFocusRequest_ == &dialog || lastFocusRequest_->dialog == &dialog)) {
        lastFocusRequest_ = nullptr;
    }
    for (const auto& control : dialog.controls) {
        Live().handles.erase(Handle(control.get()));
        Live().widgets.erase(control->widget);
        control->widget->removeEventFilter(keyFilter_.get());
        QObject::disconnect(control->widget, nullptr, nullptr, nullptr);
    }
    Live().handles.erase(Handle(&dialog));
    Live().widgets.erase(dialog.widget);
    auto* widget = static_cast<DialogWidget*>(dialog.widget);
    widget->Detach();
    widget->removeEventFilter(keyFilter_.get());
    // A widget whose own event is being handled further up the stack must outlive that handler.
    if (delivering_ > 0) {
        widget->hide();
        widget->deleteLater();
    } else {
        delete widget;
    }
    std::erase_if(dialogs_, [&dialog](const std::unique_ptr<Window>& other) { return other.get() == &dialog; });
}

// ---- Modal loops -------------------------------------------------------------------------------

LRESULT CQtWindows::RunModalLoop(HWND window) {
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
    Window* dialog = FindDialog(window);
    if (!dialog) return -1;
    if (dialog->endPending) {
        dialog->endPending = false;
        return dialog->endResult;
    }

    ModalLoop modal;
    modal.dialog = dialog;
    // A 0-ms timer fires once the events already waiting have been handled: the first moment the
    // loop finds nothing to do, which is when USER32 shows a dialog that is still hidden.
    modal.showTimer.setSingleShot(true);
    modal.showTimer.setInterval(0);
    QObject::connect(&modal.showTimer, &QTimer::timeout, &modal.showTimer, [this, &modal] {
        if (modal.dialog && !modal.dialog->widget->isVisible()) ShowNormal(*modal.dialog);
    });
    loops_.push_back(&modal);
    modal.showTimer.start();
    modal.loop.exec(QEventLoop::AllEvents);
    std::erase(loops_, &modal);
    if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
    return modal.result;
}

void CQtWindows::EndModalLoop(HWND window, LRESULT result) {
    Window* dialog = FindDialog(window);
    if (!dialog) return;
    for (auto modal = loops_.rbegin(); modal != loops_.rend(); ++modal) {
        if ((*modal)->dialog != dialog) continue;
        (*modal)->result = result;
        (*modal)->showTimer.stop();
        (*modal)->loop.exit();
        return;
    }
    dialog->endPending = true;
    dialog->endResult = result;
}

// ---- Windows -----------------------------------------------------------------------------------

void CQtWindows::ShowNormal(Window& dialog) {
    dialog.widget->showNormal();
    dialog.widget->raise();
    dialog.widget->activateWindow();
}

void CQtWindows::ShowWindow(HWND window, bool show) {
    Window* found = Find(window);
    if (!found) return;
    if (found->kind != Kind::Dialog) {
        found->widget->setVisible(show);
        return;
    }
    if (!show) {
        found->widget->hide();
        return;
    }
    found->widget->show();
    found->widget->raise();
    found->widget->activateWindow();
}

bool CQtWindows::IsWindowVisible(HWND window) {
    Window* found = Find(window);
    return found && found->widget->isVisible();
}

bool CQtWindows::IsIconic(HWND window) {
    Window* found = FindDialog(window);
    return found && found->widget->isMinimized();
}

bool CQtWindows::IsWindowEnabled(HWND window) {
    Window* found = Find(window);
    if (!found) return false;
    // A control's own state: disabling the dialog leaves its controls' flags alone, as in USER32.
    return found->kind == Kind::Dialog ? found->widget->isEnabled() : found->widget->isEnabledTo(found->dialog->widget);
}

void CQtWindows::EnableWindow(HWND window, bool enable) {
    if (Window* found = Find(window)) found->widget->setEnabled(enable);
}

RECT CQtWindows::GetWindowRect(HWND window) {
    Window* found = Find(window);
    if (!found) return RECT{0, 0, 0, 0};
    if (found->kind == Kind::Dialog) return ToRect(found->widget->frameGeometry());
    return ToRect(QRect(found->widget->mapToGlobal(QPoint(0, 0)), found->widget->size()));
}

RECT CQtWindows::GetClientRect(HWND window) {
    Window* found = Find(window);
    if (!found) return RECT{0, 0, 0, 0};
    return RECT{0, 0, found->widget->width(), found->widget->height()};
}

void CQtWindows::MoveWindowTo(HWND window, int x, int y) {
    Window* found = Find(window);
    if (!found) return;
    if (found->kind == Kind::Dialog) {
        found->widget->move(x, y);
    } else {
        found->widget->move(found->dialog->widget->mapFromGlobal(QPoint(x, y)));
    }
}

RECT CQtWindows::GetWorkArea() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? ToRect(screen->availableGeometry()) : RECT{0, 0, 0, 0};
}

HWND CQtWindows::GetActiveWindow() {
    Window* found = Find(HandleOf(QApplication::activeWindow()));
    return found && found->kind == Kind::Dialog ? Handle(found) : nullptr;
}

void CQtWindows::SetActiveWindow(HWND window) {
    if (Window* found = FindDialog(window)) {
        found->widget->raise();
        found->widget->activateWindow();
    }
}

HWND CQtWindows::GetLastActivePopup(HWND window) {
    Window* found = FindDialog(window);
    if (!found) return window;
    Window* popup = found->lastActivePopup;
    if (popup && popup != found && popup->widget->isVisible()) return Handle(popup);
    return window;
}

HWND CQtWindows::GetCapture() { return HandleOf(QWidget::mouseGrabber()); }

HWND CQtWindows::GetParent(HWND window) {
    Window* found = Find(window);
    if (!found) return nullptr;
    return Handle(found->kind == Kind::Dialog ? found->owner : found->dialog);
}

DWORD CQtWindows::GetWindowStyle(HWND window) {
    Window* found = Find(window);
    if (!found) return 0;
    DWORD style = found->style & ~(WS_VISIBLE | WS_DISABLED);
    if (found->kind == Kind::Dialog) {
        if (found->widget->isVisible()) style |= WS_VISIBLE;
        if (!found->widget->isEnabled()) style |= WS_DISABLED;
        style = found->widget->isMinimized() ? (style | WS_MINIMIZE) : (style & ~WS_MINIMIZE);
    } else {
        if (!found->widget->isHidden()) style |= WS_VISIBLE;
        if (!found->widget->isEnabledTo(found->dialog->widget)) style |= WS_DISABLED;
    }
    return style;
}

std::string CQtWindows::GetWindowText(HWND window) {
    Window* found = Find(window);
    if (!found) return std::string();
    switch (found->kind) {
    case Kind::Edit: return ToProgramText(static_cast<QLineEdit*>(found->widget)->text());
    case Kind::ComboBox: return ToProgramText(static_cast<QComboBox*>(found->widget)->currentText());
    default: return found->text;
    }
}

void CQtWindows::SetWindowText(HWND window, const std::string& text) {
    if (Window* found = Find(window)) SetText(*found, text);
}

void CQtWindows::SetText(Window& window, const std::string& text) {
    window.text = text;
    const QString shown = FromProgramText(text);
    switch (window.kind) {
    case Kind::Dialog: window.widget->setWindowTitle(shown); break;
    case Kind::PushButton:
    case Kind::RadioButton:
    case Kind::CheckBox: static_cast<QAbstractButton*>(window.widget)->setText(shown); break;
    case Kind::GroupBox: static_cast<QGroupBox*>(window.widget)->setTitle(shown); break;
    case Kind::Edit: static_cast<QLineEdit*>(window.widget)->setText(shown); break;
    case Kind::Static: {
        auto* label = static_cast<QLabel*>(window.widget);
        if (window.style & SS_NOPREFIX) {
            label->setTextFormat(Qt::PlainText);
            label->setText(shown);
            break;
        }
        // "&x" underlines x and "&&" stands for "&", as in a USER32 static.
        QString plain;
        qsizetype mnemonic = -1;
        for (qsizetype i = 0; i < shown.size(); ++i) {
            if (shown[i] != u'&') {
                plain += shown[i];
            } else if (i + 1 < shown.size()) {
                ++i;
                if (shown[i] != u'&' && mnemonic < 0) mnemonic = plain.size();
                plain += shown[i];
            }
        }
        if (mnemonic < 0) {
            label->setTextFormat(Qt::PlainText);
            label->setText(plain);
            break;
        }
        const auto html = [](const QString& part) { return part.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")); };
        label->setTextFormat(Qt::RichText);
        label->setText(html(plain.left(mnemonic)) + QStringLiteral("<u>") + html(plain.mid(mnemonic, 1)) + QStringLiteral("</u>") +
                       html(plain.mid(mnemonic + 1)));
        break;
    }
    default: break;
    }
}

// ---- Messages ----------------------------------------------------------------------------------

LRESULT CQtWindows::SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* found = Find(window);
    if (!found) return 0;
    if (found->kind != Kind::Dialog) return ControlProc(*found, message, wParam, lParam);
    bool handled = true;
    LRESULT result = 0;
    if (found->sink) {
        result = found->sink->WindowProc(window, message, wParam, lParam, &handled);
    } else {
        handled = false;
    }
    if (handled || !Find(window)) return result;
    return DefaultDialogProc(*found, message, wParam, lParam);
}

LRESULT CQtWindows::DefaultDialogProc(Window& dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CLOSE:
        // DefDlgProc turns the close command into Cancel.
        SendCommand(dialog, IDCANCEL, BN_CLICKED, FindControl(dialog, IDCANCEL));
        return 0;
    case WM_SETICON: {
        const std::size_t slot = wParam == ICON_BIG ? 1 : 0;
        const HICON previous = dialog.icons[slot];
        dialog.icons[slot] = reinterpret_cast<HICON>(lParam);
        UpdateWindowIcon(dialog);
        return reinterpret_cast<LRESULT>(previous);
    }
    case WM_CANCELMODE:
        for (const auto& control : dialog.controls) ControlProc(*control, WM_CANCELMODE, 0, 0);
        if (QWidget* grabber = QWidget::mouseGrabber(); grabber == dialog.widget) grabber->releaseMouse();
        return 0;
    case WM_SETTEXT:
        SetText(dialog, lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
    default: return 0;
    }
}

LRESULT CQtWindows::ControlProc(Window& control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* button = qobject_cast<QAbstractButton*>(control.widget);
    auto* combo = qobject_cast<QComboBox*>(control.widget);
    switch (message) {
    case WM_GETDLGCODE: return DialogCode(control);
    case BM_GETCHECK:
        if (control.kind == Kind::CheckBox) {
            const Qt::CheckState state = static_cast<QCheckBox*>(button)->checkState();
            return state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
        }
        return control.kind == Kind::RadioButton && button->isChecked() ? 1 : 0;
    case BM_SETCHECK:
        // Only the button itself changes: the program keeps a radio group exclusive, as in USER32.
        if (control.kind == Kind::CheckBox) {
            static_cast<QCheckBox*>(button)->setCheckState(wParam == 1 ? Qt::Checked : wParam == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
        } else if (control.kind == Kind::RadioButton) {
            button->setChecked(wParam == BST_CHECKED);
        }
        return 0;
    case CB_ADDSTRING: {
        if (!combo) return CB_ERR;
        const QString item = FromProgramText(lParam ? reinterpret_cast<const char*>(lParam) : "");
        int at = combo->count();
        if (control.style & CBS_SORT) {
            at = 0;
            while (at < combo->count() && combo->itemText(at).compare(item, Qt::CaseInsensitive) <= 0) ++at;
        }
        const int selected = combo->currentIndex();
        combo->insertItem(at, item);
        // Qt selects the first item put into an empty box; a USER32 list stays without a selection.
        if (selected < 0) combo->setCurrentIndex(-1);
        return at;
    }
    case CB_SETCURSEL: {
        if (!combo) return CB_ERR;
        const int index = static_cast<int>(static_cast<std::intptr_t>(wParam));
        if (index < 0 || index >= combo->count()) {
            combo->setCurrentIndex(-1);
            return CB_ERR;
        }
        combo->setCurrentIndex(index);
        return index;
    }
    case CB_GETCURSEL:
        if (!combo || combo->currentIndex() < 0) return CB_ERR;
        return combo->currentIndex();
    case WM_CANCELMODE:
        if (combo) combo->hidePopup();
        if (QWidget* grabber = QWidget::mouseGrabber(); grabber && control.widget->isAncestorOf(grabber)) grabber->releaseMouse();
        if (QWidget::mouseGrabber() == control.widget) control.widget->releaseMouse();
        return 0;
    case WM_SETTEXT:
        SetText(control, lParam ? reinterpret_cast<const char*>(lParam) : "");
        return 1;
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

void CQtWindows::SendCommand(Window& dialog, int id, UINT code, Window* control) {
    SendMessage(Handle(&dialog), WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), code), HandleParam(control));
}

// ---- Controls ----------------------------------------------------------------------------------

HWND CQtWindows::GetDlgItem(HWND dialog, int id) {
    Window* found = FindDialog(dialog);
    return found ? Handle(FindControl(*found, id)) : nullptr;
}

int CQtWindows::GetDlgCtrlID(HWND control) {
    Window* found = Find(control);
    return found && found->kind != Kind::Dialog ? found->id : 0;
}

HWND CQtWindows::GetFirstChild(HWND dialog) {
    Window* found = FindDialog(dialog);
    return found && !found->controls.empty() ? Handle(found->controls.front().get()) : nullptr;
}

HWND CQtWindows::GetNextSibling(HWND control) {
    Window* found = Find(control);
    if (!found || found->kind == Kind::Dialog) return nullptr;
    const auto& controls = found->dialog->controls;
    for (std::size_t i = 0; i + 1 < controls.size(); ++i) {
        if (controls[i].get() == found) return Handle(controls[i + 1].get());
    }
    return nullptr;
}

void CQtWindows::SetFocus(HWND window) {
    Window* found = Find(window);
    if (!found) return;
    if (found->kind == Kind::Dialog) {
        found->widget->activateWindow();
        found->widget->setFocus(Qt::OtherFocusReason);
        return;
    }
    FocusControl(*found, Qt::OtherFocusReason);
}

void CQtWindows::FocusControl(Window& control, int reason) {
    control.widget->setFocus(static_cast<Qt::FocusReason>(reason));
    lastFocusRequest_ = &control;
    // USER32 activates the window that takes the focus.
    QWidget* window = control.widget->window();
    if (window->isVisible() && !window->isActiveWindow()) window->activateWindow();
}

HWND CQtWindows::GetFocus() {
    if (HWND focused = HandleOf(QApplication::focusWidget())) return focused;
    // A dialog that is not shown yet holds the focus that it was given while it is built.
    if (lastFocusRequest_ && lastFocusRequest_->dialog->widget->focusWidget() == lastFocusRequest_->widget &&
        !lastFocusRequest_->dialog->widget->isVisible()) {
        return Handle(lastFocusRequest_);
    }
    return nullptr;
}

// ---- Icons and painting ------------------------------------------------------------------------

HICON CQtWindows::LoadIcon(UINT iconId) {
    for (const auto& icon : icons_) {
        if (icon->id == iconId) return icon.get();
    }
    if (!resources_.iconGroup) return nullptr;
    auto icon = std::make_unique<Icon>();
    icon->id = iconId;
    for (const res::IconImage& image : resources_.iconGroup(iconId)) {
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height)) {
            continue;
        }
        QImage converted(image.width, image.height, QImage::Format_ARGB32);
        for (int row = 0; row < image.height; ++row) {
            const std::uint32_t* source = image.pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width);
            std::copy(source, source + image.width, reinterpret_cast<std::uint32_t*>(converted.scanLine(row)));
        }
        icon->images.push_back(std::move(converted));
    }
    if (icon->images.empty()) return nullptr;
    icons_.push_back(std::move(icon));
    return icons_.back().get();
}

void CQtWindows::UpdateWindowIcon(Window& dialog) {
    QIcon combined;
    if (const Icon* big = FindIcon(dialog.icons[ICON_BIG])) combined.addPixmap(big->Pixmap(kStandardIconSize));
    if (const Icon* small = FindIcon(dialog.icons[ICON_SMALL])) combined.addPixmap(small->Pixmap(kSmallIconSize));
    dialog.widget->setWindowIcon(combined);
}

int CQtWindows::GetSystemMetrics(int index) {
    return index == SM_CXICON || index == SM_CYICON ? kStandardIconSize : 0;
}

HDC CQtWindows::BeginPaint(HWND window) {
    Window* found = Find(window);
    if (!found) return nullptr;
    auto session = std::make_unique<PaintSession>();
    session->window = found;
    if (found->paintTarget) session->painter = std::make_unique<QPainter>(found->paintTarget);
    paints_.push_back(std::move(session));
    return paints_.back().get();
}

void CQtWindows::EndPaint(HWND, HDC dc) {
    std::erase_if(paints_, [dc](const std::unique_ptr<PaintSession>& paint) { return paint.get() == dc; });
}

void CQtWindows::DrawIcon(HDC dc, int x, int y, HICON icon) {
    const auto session = std::find_if(paints_.begin(), paints_.end(),
                                      [dc](const std::unique_ptr<PaintSession>& paint) { return paint.get() == dc; });
    const Icon* found = FindIcon(icon);
    if (session == paints_.end() || !(*session)->painter || !found) return;
    (*session)->painter->drawPixmap(x, y, found->Pixmap(kStandardIconSize));
}

// Qt keeps no invalid regions of its own to clear: painting happens when Qt asks for it.
void CQtWindows::ValidateRect(HWND) {}

void CQtWindows::OnMinimisedPaint(Window& dialog, QWidget& widget) {
    dialog.paintTarget = &widget;
    const HWND hwnd = Handle(&dialog);
    Guarded([&] { SendMessage(hwnd, WM_PAINT, 0, 0); });
    if (Window* still = Find(hwnd)) still->paintTarget = nullptr;
}

// ---- Input -------------------------------------------------------------------------------------

void CQtWindows::OnCloseRequested(Window& dialog) {
    const HWND hwnd = Handle(&dialog);
    Guarded([&] { SendMessage(hwnd, WM_CLOSE, 0, 0); });
}

void CQtWindows::OnActivated(Window& dialog) {
    Window* root = &dialog;
    while (root->owner) root = root->owner;
    root->lastActivePopup = &dialog;
}

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

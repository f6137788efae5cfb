// The Qt 6 Widgets window backend (IWindows): the windows' records, messages, controls, painting and
// modal loops. The dialogs are built from their templates in DialogBuilder.cpp, and the keyboard
// (focus, Tab, mnemonics, the default button, radio groups) is handled in DialogManager.cpp.
#include "platform/linux/WindowsQt.h"

#include "platform/linux/WindowsQtRecords.h"

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

namespace {

RECT ToRect(const QRect& rect) {
    return RECT{rect.x(), rect.y(), rect.x() + rect.width(), rect.y() + rect.height()};
}

}  // namespace

// ---- Helpers -----------------------------------------------------------------------------------

QString FromProgramText(const std::string& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
    if (!decoder.hasError()) return decoded;
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToProgramText(const QString& text) { return text.toUtf8().toStdString(); }

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
    QObject::disconnect(found->widget, nullptr, keyFilter_.get(), nullptr);
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
        // Only our own connections: Qt's accessibility cache learns of the widget's end from its
        // destroyed signal, and would otherwise hand out the dead widget's interface.
        QObject::disconnect(control->widget, nullptr, keyFilter_.get(), nullptr);
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
        // "&x" underlines x and "&&" stands for "&", as in a USER32 static.
        QString plain = window.style & SS_NOPREFIX ? shown : QString();
        qsizetype mnemonic = -1;
        for (qsizetype i = 0; i < shown.size() && !(window.style & SS_NOPREFIX); ++i) {
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
        } else {
            const auto html = [](const QString& part) { return part.toHtmlEscaped().replace(u'\n', QStringLiteral("<br>")); };
            label->setTextFormat(Qt::RichText);
            label->setText(html(plain.left(mnemonic)) + QStringLiteral("<u>") + html(plain.mid(mnemonic, 1)) +
                           QStringLiteral("</u>") + html(plain.mid(mnemonic + 1)));
        }
        FitStaticText(window, plain);
        // A field named after its label, such as the status line, tells screen readers what it now
        // says as its description, which announces itself when it changes; QLabel would announce a
        // new text only as a new name.
        if (!label->accessibleName().isEmpty()) label->setAccessibleDescription(plain);
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

}  // namespace orvane::qt

// The records that the Qt window backend keeps of its windows, shared by the backend
// (WindowsQt.cpp), the dialog builder (DialogBuilder.cpp) and the dialog manager (DialogManager.cpp).
// Private to those three files.
#pragma once

#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QEventLoop>
#include <QIcon>
#include <QKeyEvent>
#include <QObject>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/linux/WindowsQt.h"

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
    QRect placed;              // where the template put it, in pixels; a drop-down list closed

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
    bool built = false;              // all its controls are there
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

// Every live window of every backend instance, by handle and by widget.
struct Registry {
    std::unordered_map<const void*, std::pair<const CQtWindows*, CQtWindows::Window*>> handles;
    std::unordered_map<const QWidget*, CQtWindows::Window*> widgets;
};

inline Registry& Live() {
    static Registry registry;
    return registry;
}

inline HWND Handle(CQtWindows::Window* window) { return window; }

inline LPARAM HandleParam(CQtWindows::Window* window) { return reinterpret_cast<LPARAM>(Handle(window)); }

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

}  // namespace orvane::qt

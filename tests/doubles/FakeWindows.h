// An in-memory window system for framework tests: windows are records, the modal loop runs a script.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Window.h"

namespace orvane::test {

class FakeWindows : public IWindows {
public:
    struct Window {
        UINT templateId = 0;
        int id = 0;
        Window* parent = nullptr;  // owner of a dialog, dialog of a control
        IMessageSink* sink = nullptr;
        DWORD style = 0;
        bool visible = false;
        bool enabled = true;
        bool iconic = false;
        bool ended = false;
        LRESULT result = 0;
        RECT rect{0, 0, 200, 100};
        std::string text;
        LRESULT check = 0;
        bool radio = false;
        std::vector<std::string> items;
        int selection = -1;
        std::vector<std::unique_ptr<Window>> controls;
        std::vector<UINT> received;  // messages the backend saw for this window
    };

    // What a template looks like: style and controls (id, style, radio?).
    struct ControlShape {
        int id;
        DWORD style;
        bool radio = false;
    };
    struct TemplateShape {
        DWORD style = 0;
        RECT rect{0, 0, 200, 100};
        std::vector<ControlShape> controls;
    };
    std::map<UINT, TemplateShape> templates;

    // Runs while a dialog's modal loop is under way, as the user would act; it must end the loop.
    std::function<void(HWND dialog)> onModalLoop;
    RECT workArea{0, 0, 1024, 768};
    HWND active = nullptr;
    std::vector<std::string> log;  // "create 102", "enable 0x.. 0", ...

    static Window* W(HWND h) { return static_cast<Window*>(h); }

    LRESULT Send(HWND h, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessage(h, message, wParam, lParam); }

    bool HasDialogTemplate(UINT templateId) override { return templates.count(templateId) != 0; }

    HWND CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) override {
        auto found = templates.find(templateId);
        if (found == templates.end()) return nullptr;
        auto window = std::make_unique<Window>();
        window->templateId = templateId;
        window->parent = W(owner);
        window->sink = sink;
        window->style = found->second.style & ~WS_VISIBLE;
        window->rect = found->second.rect;
        for (const ControlShape& shape : found->second.controls) {
            auto control = std::make_unique<Window>();
            control->id = shape.id;
            control->style = shape.style;
            control->radio = shape.radio;
            control->parent = window.get();
            window->controls.push_back(std::move(control));
        }
        Window* raw = window.get();
        dialogs_.push_back(std::move(window));
        log.push_back("create " + std::to_string(templateId));
        bool handled = false;
        raw->sink->WindowProc(raw, WM_INITDIALOG, 0, 0, &handled);
        if (found->second.style & WS_VISIBLE) ShowWindow(raw, true);
        return raw;
    }

    LRESULT RunModalLoop(HWND dialog) override {
        Window* window = W(dialog);
        if (!window->visible) ShowWindow(dialog, true);
        active = dialog;
        if (onModalLoop) onModalLoop(dialog);
        if (!window->ended) throw std::logic_error("the test's script did not end the modal loop");
        return window->result;
    }

    void EndModalLoop(HWND dialog, LRESULT result) override {
        W(dialog)->ended = true;
        W(dialog)->result = result;
        log.push_back("end " + std::to_string(result));
    }

    void DestroyWindow(HWND window) override {
        bool handled = false;
        if (W(window)->sink) W(window)->sink->WindowProc(window, WM_DESTROY, 0, 0, &handled);
        log.push_back("destroy " + std::to_string(W(window)->templateId));
        if (active == window) active = nullptr;
    }

    void ShowWindow(HWND window, bool show) override {
        W(window)->visible = show;
        if (show) W(window)->style |= WS_VISIBLE; else W(window)->style &= ~WS_VISIBLE;
    }
    bool IsWindowVisible(HWND window) override { return W(window)->visible; }
    bool IsIconic(HWND window) override { return W(window)->iconic; }
    bool IsWindowEnabled(HWND window) override { return W(window)->enabled; }
    void EnableWindow(HWND window, bool enable) override {
        W(window)->enabled = enable;
        log.push_back(std::string(enable ? "enable " : "disable ") + std::to_string(W(window)->templateId));
    }
    RECT GetWindowRect(HWND window) override { return W(window)->rect; }
    RECT GetClientRect(HWND window) override {
        const RECT& r = W(window)->rect;
        return RECT{0, 0, r.right - r.left, r.bottom - r.top};
    }
    void MoveWindowTo(HWND window, int x, int y) override {
        RECT& r = W(window)->rect;
        r = RECT{x, y, x + (r.right - r.left), y + (r.bottom - r.top)};
    }
    RECT GetWorkArea() override { return workArea; }
    HWND GetActiveWindow() override { return active; }
    void SetActiveWindow(HWND window) override {
        active = window;
        log.push_back("activate " + std::to_string(W(window)->templateId));
    }
    HWND GetLastActivePopup(HWND window) override { return lastActivePopup ? lastActivePopup : window; }
    HWND GetCapture() override { return nullptr; }
    HWND GetParent(HWND window) override { return W(window)->parent; }
    DWORD GetWindowStyle(HWND window) override { return W(window)->style; }
    std::string GetWindowText(HWND window) override { return W(window)->text; }
    void SetWindowText(HWND window, const std::string& text) override { W(window)->text = text; }

    LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override {
        Window* window = W(hwnd);
        window->received.push_back(message);
        if (window->sink) {
            bool handled = false;
            return window->sink->WindowProc(hwnd, message, wParam, lParam, &handled);
        }
        switch (message) {
        case WM_GETDLGCODE:
            return window->radio ? DLGC_RADIOBUTTON : 0;
        case BM_GETCHECK:
            return window->check;
        case BM_SETCHECK:
            window->check = static_cast<LRESULT>(wParam);
            return 0;
        case CB_ADDSTRING:
            window->items.emplace_back(reinterpret_cast<const char*>(lParam));
            return static_cast<LRESULT>(window->items.size() - 1);
        case CB_SETCURSEL:
            window->selection = static_cast<int>(wParam) < static_cast<int>(window->items.size()) ? static_cast<int>(wParam) : -1;
            return window->selection;
        case CB_GETCURSEL:
            return window->selection;
        default:
            return 0;
        }
    }

    HWND GetDlgItem(HWND dialog, int id) override {
        for (auto& control : W(dialog)->controls) {
            if (control->id == id) return control.get();
        }
        return nullptr;
    }
    int GetDlgCtrlID(HWND control) override { return W(control)->id; }
    HWND GetFirstChild(HWND dialog) override {
        return W(dialog)->controls.empty() ? nullptr : W(dialog)->controls.front().get();
    }
    HWND GetNextSibling(HWND control) override {
        auto& siblings = W(control)->parent->controls;
        for (std::size_t i = 0; i + 1 < siblings.size(); ++i) {
            if (siblings[i].get() == control) return siblings[i + 1].get();
        }
        return nullptr;
    }
    void SetFocus(HWND control) override { focus = control; }
    HWND GetFocus() override { return focus; }

    HICON LoadIcon(UINT) override { return &iconData; }
    int GetSystemMetrics(int) override { return 32; }
    HDC BeginPaint(HWND) override { return &iconData; }
    void EndPaint(HWND, HDC) override {}
    void DrawIcon(HDC, int x, int y, HICON) override { iconDrawnAt.push_back({x, y}); }
    void ValidateRect(HWND window) override { log.push_back("validate " + std::to_string(W(window)->templateId)); }

    HWND lastActivePopup = nullptr;
    HWND focus = nullptr;
    int iconData = 0;
    std::vector<std::pair<int, int>> iconDrawnAt;

private:
    std::vector<std::unique_ptr<Window>> dialogs_;
};

}  // namespace orvane::test

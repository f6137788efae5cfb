// A window system that hands every call to the real one: a test overrides the few calls it watches
// or spoils, and the windows stay real.
#pragma once

#include <string>

#include "platform/Window.h"

namespace orvane::test {

class ForwardingWindows : public IWindows {
public:
    explicit ForwardingWindows(IWindows& real) : real_(real) {}

    bool HasDialogTemplate(UINT templateId) override { return real_.HasDialogTemplate(templateId); }
    HWND CreateDialogWindow(UINT templateId, HWND owner, IMessageSink* sink) override {
        return real_.CreateDialogWindow(templateId, owner, sink);
    }
    LRESULT RunModalLoop(HWND dialog) override { return real_.RunModalLoop(dialog); }
    void EndModalLoop(HWND dialog, LRESULT result) override { real_.EndModalLoop(dialog, result); }
    void DestroyWindow(HWND window) override { real_.DestroyWindow(window); }
    void ShowWindow(HWND window, bool show) override { real_.ShowWindow(window, show); }
    bool IsWindowVisible(HWND window) override { return real_.IsWindowVisible(window); }
    bool IsIconic(HWND window) override { return real_.IsIconic(window); }
    bool IsWindowEnabled(HWND window) override { return real_.IsWindowEnabled(window); }
    void EnableWindow(HWND window, bool enable) override { real_.EnableWindow(window, enable); }
    RECT GetWindowRect(HWND window) override { return real_.GetWindowRect(window); }
    RECT GetClientRect(HWND window) override { return real_.GetClientRect(window); }
    void MoveWindowTo(HWND window, int x, int y) override { real_.MoveWindowTo(window, x, y); }
    RECT GetWorkArea() override { return real_.GetWorkArea(); }
    HWND GetActiveWindow() override { return real_.GetActiveWindow(); }
    void SetActiveWindow(HWND window) override { real_.SetActiveWindow(window); }
    HWND GetLastActivePopup(HWND window) override { return real_.GetLastActivePopup(window); }
    HWND GetCapture() override { return real_.GetCapture(); }
    HWND GetParent(HWND window) override { return real_.GetParent(window); }
    DWORD GetWindowStyle(HWND window) override { return real_.GetWindowStyle(window); }
    std::string GetWindowText(HWND window) override { return real_.GetWindowText(window); }
    void SetWindowText(HWND window, const std::string& text) override { real_.SetWindowText(window, text); }
    LRESULT SendMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        return real_.SendMessage(window, message, wParam, lParam);
    }
    HWND GetDlgItem(HWND dialog, int id) override { return real_.GetDlgItem(dialog, id); }
    int GetDlgCtrlID(HWND control) override { return real_.GetDlgCtrlID(control); }
    HWND GetFirstChild(HWND dialog) override { return real_.GetFirstChild(dialog); }
    HWND GetNextSibling(HWND control) override { return real_.GetNextSibling(control); }
    void SetFocus(HWND control) override { real_.SetFocus(control); }
    HWND GetFocus() override { return real_.GetFocus(); }
    HICON LoadIcon(UINT iconId) override { return real_.LoadIcon(iconId); }
    int GetSystemMetrics(int index) override { return real_.GetSystemMetrics(index); }
    HDC BeginPaint(HWND window) override { return real_.BeginPaint(window); }
    void EndPaint(HWND window, HDC dc) override { real_.EndPaint(window, dc); }
    void DrawIcon(HDC dc, int x, int y, HICON icon) override { real_.DrawIcon(dc, x, y, icon); }
    void ValidateRect(HWND window) override { real_.ValidateRect(window); }

protected:
    IWindows& real_;
};

}  // namespace orvane::test

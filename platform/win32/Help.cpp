// The help engine on Windows: the program's help file in a viewer window of our own.
//
// The help file is the same plain-text file on every platform (platform/HelpFile.h), so Windows' own
// help engines, which read formats of their own, cannot show it. The viewer is a top-level window
// with the contents in a list box beside a read-only edit that shows the chosen topic. It is owned by
// no window, as a help engine's window is: the program's dialogs never take it for their owner.
#include "platform/Help.h"

#include "platform/HelpFile.h"
#include "platform/win32/Win32.h"

namespace orvane {
namespace {

constexpr wchar_t kViewerClass[] = L"OrvaneHelpViewer";
constexpr int kContentsId = 100;
constexpr int kTopicId = 101;
constexpr int kContentsWidth = 220;

// The help file is UTF-8; the controls take UTF-16, so every character shows as written.
std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

// The topic as the edit shows it: paragraphs apart by a blank line, items with a bullet,
// preformatted blocks indented. An edit control breaks lines only at CR LF.
std::wstring TopicText(const HelpTopic& topic) {
    std::string text = topic.title + "\r\n\r\n";
    for (const HelpParagraph& paragraph : topic.paragraphs) {
        switch (paragraph.kind) {
            case HelpParagraph::Kind::Text:
                text += paragraph.text;
                break;
            case HelpParagraph::Kind::Bullet:
                text += "\xE2\x80\xA2 " + paragraph.text;  // U+2022 BULLET
                break;
            case HelpParagraph::Kind::Preformatted:
                text += "    ";
                for (const char c : paragraph.text) text += c == '\n' ? std::string("\r\n    ") : std::string(1, c);
                break;
        }
        text += "\r\n\r\n";
    }
    return Widen(text);
}

class Viewer {
public:
    bool Open(const std::string& path) {
        std::optional<HelpFile> file = HelpFile::Load(path);
        if (!file) return false;
        file_ = std::move(*file);
        if (!window_ && !Create()) return false;

        ::SetWindowTextW(window_, Widen(file_.title.empty() ? std::string("Help") : file_.title).c_str());
        ::SendMessageW(contents_, LB_RESETCONTENT, 0, 0);
        for (const HelpTopic& topic : file_.topics) {
            // Sections stand indented below their chapter, as in a table of contents.
            const std::wstring indent(static_cast<std::size_t>(topic.level - 1) * 4, L' ');
            const std::wstring entry = indent + Widen(topic.title);
            ::SendMessageW(contents_, LB_ADDSTRING, 0, reinterpret_cast<::LPARAM>(entry.c_str()));
        }
        ::SendMessageW(contents_, LB_SETCURSEL, 0, 0);
        ShowTopic(0);

        if (::IsIconic(window_)) ::ShowWindow(window_, SW_RESTORE);
        ::ShowWindow(window_, SW_SHOW);
        ::SetForegroundWindow(window_);
        ::SetFocus(contents_);
        return true;
    }

    void Close() {
        if (window_) ::DestroyWindow(window_);
    }

    ::HWND Window() const { return window_; }

private:
    bool Create() {
        static const bool registered = [] {
            WNDCLASSEXW windowClass{};
            windowClass.cbSize = sizeof windowClass;
            windowClass.lpfnWndProc = &Viewer::WindowProc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128));
            windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
            windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
            windowClass.lpszClassName = kViewerClass;
            return ::RegisterClassExW(&windowClass) != 0;
        }();
        if (!registered) return false;
        window_ = ::CreateWindowExW(0, kViewerClass, L"Help", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 720, 480,
                                    nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
        return window_ != nullptr;
    }

    void ShowTopic(int index) {
        if (index < 0 || static_cast<std::size_t>(index) >= file_.topics.size()) return;
        ::SetWindowTextW(topic_, TopicText(file_.topics[static_cast<std::size_t>(index)]).c_str());
    }

    void Layout() {
        ::RECT client{};
        ::GetClientRect(window_, &client);
        const int gap = 6;
        const int height = client.bottom - 2 * gap;
        ::MoveWindow(contents_, gap, gap, kContentsWidth, height, TRUE);
        ::MoveWindow(topic_, 2 * gap + kContentsWidth, gap, client.right - 3 * gap - kContentsWidth, height, TRUE);
    }

    void CreateChildren(::HWND window) {
        window_ = window;
        const HINSTANCE module = ::GetModuleHandleW(nullptr);
        contents_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"LISTBOX", nullptr,
                                      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                                      0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kContentsId)),
                                      module, nullptr);
        topic_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY |
                                       ES_AUTOVSCROLL,
                                   0, 0, 0, 0, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTopicId)), module,
                                   nullptr);
        const auto font = reinterpret_cast<::WPARAM>(::GetStockObject(DEFAULT_GUI_FONT));
        ::SendMessageW(contents_, WM_SETFONT, font, FALSE);
        ::SendMessageW(topic_, WM_SETFONT, font, FALSE);
    }

    static ::LRESULT CALLBACK WindowProc(::HWND window, UINT message, ::WPARAM wParam, ::LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        auto* self = reinterpret_cast<Viewer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (!self) return ::DefWindowProcW(window, message, wParam, lParam);
        switch (message) {
            case WM_CREATE:
                self->CreateChildren(window);
                return 0;
            case WM_SIZE:
                self->Layout();
                return 0;
            case WM_SETFOCUS:
                ::SetFocus(self->contents_);
                return 0;
            case WM_COMMAND:
                if (LOWORD(wParam) == kContentsId && HIWORD(wParam) == LBN_SELCHANGE) {
                    self->ShowTopic(static_cast<int>(::SendMessageW(self->contents_, LB_GETCURSEL, 0, 0)));
                    return 0;
                }
                break;
            case WM_NCDESTROY:
                self->window_ = self->contents_ = self->topic_ = nullptr;
                break;
            default:
                break;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HelpFile file_;
    ::HWND window_ = nullptr;
    ::HWND contents_ = nullptr;
    ::HWND topic_ = nullptr;
};

class Win32Help final : public IHelp {
public:
    bool WinHelp(HWND, const std::string& helpFilePath, UINT command, DWORD) override {
        switch (command) {
            case HELP_FINDER:
                return viewer_.Open(helpFilePath);
            case HELP_QUIT:
                viewer_.Close();
                return true;
            default:
                return false;
        }
    }

private:
    Viewer viewer_;
};

}  // namespace

IHelp& IHelp::Native() {
    static Win32Help help;
    return help;
}

}  // namespace orvane

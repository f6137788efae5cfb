// The help engine on Windows: the program's help file in a viewer window of our own.
//
// The help file is the same plain-text file on every platform (platform/HelpFile.h), so Windows' own
// help engines, which read formats of their own, cannot show it. The viewer is a top-level window:
// on the left a tab control with the contents list on one page and the keyword index (an edit above
// a list) on the other, on the right a read-only edit that shows the chosen topic. It is owned by no
// window, as a help engine's window is: the program's dialogs never take it for their owner.
//
// The program's message loop hands the viewer's messages to IsDialogMessage, which moves the focus
// with Tab. Ctrl+Tab and the pages' mnemonics are left to the control with the focus, so every
// control is subclassed to turn them into a change of page.
#include "platform/win32/Services.h"

#include "platform/HelpFile.h"
#include "platform/win32/Win32.h"

// Windows' own constant: inside namespace orvane its macro would cast to our HWND.
static const ::HWND kZOrderBottom = HWND_BOTTOM;

namespace orvane {

namespace {

constexpr wchar_t kViewerClass[] = L"OrvaneHelpViewer";
// The controls' ids; the tests find the controls by them.
constexpr int kContentsId = 100;
constexpr int kTopicId = 101;
constexpr int kTabsId = 102;
constexpr int kKeywordId = 103;
constexpr int kIndexId = 104;
constexpr int kPaneWidth = 220;
constexpr int kGap = 6;

enum Page { kContentsPage, kIndexPage };

// The help file is UTF-8; the controls take UTF-16, so every character shows as written.
std::wstring Widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string ControlTextUtf8(::HWND control) {
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    if (text.empty()) return {};
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                           nullptr);
    if (size <= 0) return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                          nullptr);
    return result;
}

// Keywords compare ignoring ASCII case only, as the help file's index is sorted.
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsIgnoringCase(const std::string& text, const std::string& prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (LowerAscii(text[i]) != LowerAscii(prefix[i])) return false;
    }
    return true;
}

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && StartsIgnoringCase(a, b);
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

}  // namespace

class CWin32Help::Viewer {
public:
    // The window points back at its viewer, so it must not outlive it.
    ~Viewer() { Close(); }

    bool Open(const std::string& path) {
        std::optional<HelpFile> file = HelpFile::Load(path);
        if (!file) return false;
        file_ = std::move(*file);
        if (!window_ && !Create()) return false;

        ::SetWindowTextW(window_, Widen(file_.title.empty() ? std::string("Help") : file_.title).c_str());
        FillContents();
        FillIndex();
        ShowPage(kContentsPage);
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

private:
    bool Create() {
        static const bool registered = [] {
            INITCOMMONCONTROLSEX controls{};
            controls.dwSize = sizeof controls;
            controls.dwICC = ICC_TAB_CLASSES;
            ::InitCommonControlsEx(&controls);
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

    void FillContents() {
        ::SendMessageW(contents_, LB_RESETCONTENT, 0, 0);
        for (const HelpTopic& topic : file_.topics) {
            // Sections stand indented below their chapter, as in a table of contents.
            const std::wstring indent(static_cast<std::size_t>(topic.level - 1) * 4, L' ');
            const std::wstring entry = indent + Widen(topic.title);
            ::SendMessageW(contents_, LB_ADDSTRING, 0, reinterpret_cast<::LPARAM>(entry.c_str()));
        }
    }

    // A keyword that leads to several topics is listed once for each, as "keyword - topic title".
    void FillIndex() {
        ::SetWindowTextW(keyword_, L"");
        ::SendMessageW(index_, LB_RESETCONTENT, 0, 0);
        labels_.clear();
        labelTopics_.clear();
        const std::vector<HelpIndexEntry>& index = file_.index;
        for (std::size_t i = 0; i < index.size(); ++i) {
            if (index[i].topic >= file_.topics.size()) continue;
            const bool shared = (i > 0 && SameIgnoringCase(index[i - 1].keyword, index[i].keyword)) ||
                                (i + 1 < index.size() && SameIgnoringCase(index[i + 1].keyword, index[i].keyword));
            std::string label = index[i].keyword;
            if (shared) label += " - " + file_.topics[index[i].topic].title;
            ::SendMessageW(index_, LB_ADDSTRING, 0, reinterpret_cast<::LPARAM>(Widen(label).c_str()));
            labels_.push_back(std::move(label));
            labelTopics_.push_back(index[i].topic);
        }
    }

    // Typing selects the first entry that starts with the typed text; an empty field selects nothing.
    void OnKeywordTyped() {
        const std::string typed = ControlTextUtf8(keyword_);
        if (typed.empty()) return;
        for (std::size_t row = 0; row < labels_.size(); ++row) {
            if (!StartsIgnoringCase(labels_[row], typed)) continue;
            ::SendMessageW(index_, LB_SETCURSEL, row, 0);
            ShowTopic(labelTopics_[row]);
            return;
        }
    }

    void OnIndexChosen() {
        const ::LRESULT row = ::SendMessageW(index_, LB_GETCURSEL, 0, 0);
        if (row < 0 || static_cast<std::size_t>(row) >= labelTopics_.size()) return;
        ShowTopic(labelTopics_[static_cast<std::size_t>(row)]);
    }

    void ShowTopic(std::size_t index) {
        if (index >= file_.topics.size()) return;
        ::SetWindowTextW(topic_, TopicText(file_.topics[index]).c_str());
    }

    ::HWND FirstOfPage() const { return page_ == kContentsPage ? contents_ : keyword_; }

    void ShowPage(Page page) {
        page_ = page;
        ::SendMessageW(tabs_, TCM_SETCURSEL, static_cast<::WPARAM>(page), 0);
        // The new page first: hiding the control with the focus hands the focus to the window,
        // which passes it on to the page that is showing.
        if (page == kIndexPage) {
            ::ShowWindow(keyword_, SW_SHOW);
            ::ShowWindow(index_, SW_SHOW);
            ::ShowWindow(contents_, SW_HIDE);
        } else {
            ::ShowWindow(contents_, SW_SHOW);
            ::ShowWindow(keyword_, SW_HIDE);
            ::ShowWindow(index_, SW_HIDE);
        }
    }

    void ChangePageByKey(Page page) {
        ShowPage(page);
        ::SetFocus(FirstOfPage());
    }

    void Layout() {
        ::RECT client{};
        ::GetClientRect(window_, &client);
        const int height = client.bottom - 2 * kGap;
        ::MoveWindow(tabs_, kGap, kGap, kPaneWidth, height, TRUE);
        ::RECT page{kGap, kGap, kGap + kPaneWidth, kGap + height};
        ::SendMessageW(tabs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<::LPARAM>(&page));
        const int pageWidth = page.right - page.left;
        ::MoveWindow(contents_, page.left, page.top, pageWidth, page.bottom - page.top, TRUE);
        ::MoveWindow(keyword_, page.left, page.top, pageWidth, keywordHeight_, TRUE);
        const int listTop = page.top + keywordHeight_ + kGap;
        ::MoveWindow(index_, page.left, listTop, pageWidth, page.bottom - listTop, TRUE);
        ::MoveWindow(topic_, 2 * kGap + kPaneWidth, kGap, client.right - 3 * kGap - kPaneWidth, height, TRUE);
    }

    ::HWND Child(const wchar_t* windowClass, ::DWORD style, int id) {
        const ::DWORD edge = id == kTabsId ? 0 : WS_EX_CLIENTEDGE;
        ::HWND control = ::CreateWindowExW(edge, windowClass, nullptr, WS_CHILD | WS_TABSTOP | style, 0, 0, 0, 0,
                                           window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                           ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<::WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        ::SetWindowSubclass(control, &Viewer::ControlProc, 0, reinterpret_cast<DWORD_PTR>(this));
        return control;
    }

    void CreateChildren(::HWND window) {
        window_ = window;
        // The pages' controls lie on the tab control and must stand above it in the Z order, which is
        // also the order of Tab: the page, the topic, then the tabs.
        const ::DWORD list = WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
        contents_ = Child(L"LISTBOX", WS_VISIBLE | list, kContentsId);
        keyword_ = Child(L"EDIT", ES_AUTOHSCROLL, kKeywordId);
        index_ = Child(L"LISTBOX", list, kIndexId);
        topic_ = Child(L"EDIT", WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, kTopicId);
        tabs_ = Child(WC_TABCONTROLW, WS_VISIBLE | WS_CLIPSIBLINGS, kTabsId);
        ::SetWindowPos(tabs_, kZOrderBottom, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        wchar_t contentsLabel[] = L"&Contents";
        wchar_t indexLabel[] = L"&Index";
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = contentsLabel;
        ::SendMessageW(tabs_, TCM_INSERTITEMW, kContentsPage, reinterpret_cast<::LPARAM>(&item));
        item.pszText = indexLabel;
        ::SendMessageW(tabs_, TCM_INSERTITEMW, kIndexPage, reinterpret_cast<::LPARAM>(&item));

        // One line of the font, with the edit's frame and margins.
        ::HDC dc = ::GetDC(window);
        ::HGDIOBJ old = ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
        ::TEXTMETRICW metrics{};
        ::GetTextMetricsW(dc, &metrics);
        ::SelectObject(dc, old);
        ::ReleaseDC(window, dc);
        keywordHeight_ = static_cast<int>(metrics.tmHeight) + 4 * ::GetSystemMetrics(SM_CYEDGE) + 2;
    }

    // Keys that the dialog manager does not handle but a tabbed window takes everywhere in it.
    static ::LRESULT CALLBACK ControlProc(::HWND control, UINT message, ::WPARAM wParam, ::LPARAM lParam, UINT_PTR,
                                          DWORD_PTR data) {
        auto* self = reinterpret_cast<Viewer*>(data);
        const bool controlDown = ::GetKeyState(VK_CONTROL) < 0;
        switch (message) {
            case WM_GETDLGCODE: {
                // IsDialogMessage would take Ctrl+Tab for Tab unless the control asks for it.
                const auto* msg = reinterpret_cast<const ::MSG*>(lParam);
                const ::LRESULT code = ::DefSubclassProc(control, message, wParam, lParam);
                const bool ctrlTab = msg && msg->message == WM_KEYDOWN && msg->wParam == VK_TAB && controlDown;
                return ctrlTab ? code | DLGC_WANTTAB : code;
            }
            case WM_KEYDOWN:
                if (wParam == VK_TAB && controlDown) {
                    self->ChangePageByKey(self->page_ == kContentsPage ? kIndexPage : kContentsPage);
                    return 0;
                }
                break;
            case WM_CHAR:
                // The Tab character that Ctrl+Tab leaves behind.
                if (wParam == L'\t' && controlDown) return 0;
                break;
            case WM_SYSCHAR:
                if (wParam == L'c' || wParam == L'C') {
                    self->ChangePageByKey(kContentsPage);
                    return 0;
                }
                if (wParam == L'i' || wParam == L'I') {
                    self->ChangePageByKey(kIndexPage);
                    return 0;
                }
                break;
            case WM_NCDESTROY:
                ::RemoveWindowSubclass(control, &Viewer::ControlProc, 0);
                break;
            default:
                break;
        }
        return ::DefSubclassProc(control, message, wParam, lParam);
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
                ::SetFocus(self->FirstOfPage());
                return 0;
            case WM_NEXTDLGCTL:
                // A multi-line edit asks its parent for the next control on Tab, which a dialog
                // answers and DefWindowProc does not.
                if (::HWND next = LOWORD(lParam) ? reinterpret_cast<::HWND>(wParam)
                                                 : ::GetNextDlgTabItem(window, ::GetFocus(), wParam != 0)) {
                    ::SetFocus(next);
                }
                return 0;
            case WM_NOTIFY:
                if (reinterpret_cast<const NMHDR*>(lParam)->code == TCN_SELCHANGE) {
                    const ::LRESULT page = ::SendMessageW(self->tabs_, TCM_GETCURSEL, 0, 0);
                    self->ShowPage(page == kIndexPage ? kIndexPage : kContentsPage);
                    return 0;
                }
                break;
            case WM_COMMAND:
                if (LOWORD(wParam) == kContentsId && HIWORD(wParam) == LBN_SELCHANGE) {
                    const ::LRESULT row = ::SendMessageW(self->contents_, LB_GETCURSEL, 0, 0);
                    if (row >= 0) self->ShowTopic(static_cast<std::size_t>(row));
                    return 0;
                }
                if (LOWORD(wParam) == kIndexId && HIWORD(wParam) == LBN_SELCHANGE) {
                    self->OnIndexChosen();
                    return 0;
                }
                if (LOWORD(wParam) == kKeywordId && HIWORD(wParam) == EN_CHANGE) {
                    self->OnKeywordTyped();
                    return 0;
                }
                break;
            case WM_NCDESTROY:
                self->window_ = self->tabs_ = self->contents_ = self->keyword_ = self->index_ = self->topic_ = nullptr;
                break;
            default:
                break;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HelpFile file_;
    std::vector<std::string> labels_;       // the index list's entries, UTF-8
    std::vector<std::size_t> labelTopics_;  // the topic of each entry
    Page page_ = kContentsPage;
    int keywordHeight_ = 22;
    ::HWND window_ = nullptr;
    ::HWND tabs_ = nullptr;
    ::HWND contents_ = nullptr;
    ::HWND keyword_ = nullptr;
    ::HWND index_ = nullptr;
    ::HWND topic_ = nullptr;
};

CWin32Help::CWin32Help() : viewer_(std::make_unique<Viewer>()) {}

CWin32Help::~CWin32Help() = default;

bool CWin32Help::WinHelp(HWND, const std::string& helpFilePath, UINT command, DWORD) {
    switch (command) {
        case HELP_FINDER:
            return viewer_->Open(helpFilePath);
        case HELP_QUIT:
            viewer_->Close();
            return true;
        default:
            return false;
    }
}

}  // namespace orvane

// The Win32 view: the window class, real child controls mirroring the window model, GDI
// painting of the display list into an off-screen bitmap, and the system message loop that
// carries the program's own messages. Compiled by the Windows build only.
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <map>
#include <string>

#include "board/status_board.h"
#include "ui/control_table.h"
#include "ui/display_list.h"
#include "ui/window.h"
#include "ui/window_model.h"
#include "util/log.h"
#include "util/program.h"
#include "util/unicode.h"

namespace wnd {

namespace {

HWND g_hwnd = nullptr;
DWORD g_windowThread = 0;

std::wstring lf_wide(std::string_view utf8) {
    try {
        const std::u16string w = gf_utf8ToWide(utf8);
        return std::wstring(w.begin(), w.end());
    } catch (const std::exception& e) {
        gf_logLine("utf8_to_wide failed for '{}': {}", utf8, e.what());
        return {};
    }
}

// The text of a control; empty when it cannot be converted.
std::string lf_getTextFromId(HWND parent, int id) {
    HWND h = GetDlgItem(parent, id);
    if (h == nullptr) {
        gf_logLine("GetDlgItem failed for ID {}", id);
        return {};
    }
    const int n = GetWindowTextLengthW(h);
    std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
    GetWindowTextW(h, w.data(), n + 1);
    w.resize(static_cast<std::size_t>(n));
    try {
        return gf_wideToUtf8(std::u16string(w.begin(), w.end()));
    } catch (const std::exception& e) {
        gf_logLine("{}: UTF-16 UTF-8 failed for id {}: {}", "lf_getTextFromId", id, e.what());
        return {};
    }
}

COLORREF lf_rgb(Colour c) {
    return RGB(c.r, c.g, c.b);
}

// Posts of the program's own go to the system's queue of the window.
bool lf_forward(std::uint32_t id, std::int64_t param) {
    if (g_hwnd == nullptr) {
        return false;
    }
    if (id == kMsgQuit && GetCurrentThreadId() == g_windowThread) {
        PostQuitMessage(static_cast<int>(param));
        return true;
    }
    // The parameter in both words: the loop's quit code is the quit message's wParam.
    return PostMessageW(g_hwnd, id, static_cast<WPARAM>(param), static_cast<LPARAM>(param)) != 0;
}

class Win32View final : public WindowView {
  public:
    Rect workAreaNear(const Rect& r) override {
        RECT rc{r.left, r.top, r.right, r.bottom};
        MONITORINFO mi{};
        mi.cbSize = sizeof(mi);
        if (!GetMonitorInfoW(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &mi)) {
            return {0, 0, 1920, 1040};
        }
        return {mi.rcWork.left, mi.rcWork.top, mi.rcWork.right, mi.rcWork.bottom};
    }

    bool create(const Rect& r) override {
        HINSTANCE inst = GetModuleHandleW(nullptr);
        title_ = lf_wide(kProductTitle);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &Win32View::wndProc;
        wc.hInstance = inst;
        wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(100));
        wc.hIconSm = wc.hIcon;
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = title_.c_str();
        if (RegisterClassExW(&wc) == 0) {
            gf_logLine("Failed to register window class");
            return false;
        }
        g_windowThread = GetCurrentThreadId();
        hwnd_ = CreateWindowExW(0, title_.c_str(), title_.c_str(),
                                WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, r.left,
                                r.top, kWindowWidth, kWindowHeight, nullptr, nullptr, inst, this);
        if (hwnd_ == nullptr) {
            return false;
        }
        g_hwnd = hwnd_;
        gf_windowQueue().setForwarder(&lf_forward);
        ShowWindow(hwnd_, SW_SHOWNORMAL);
        UpdateWindow(hwnd_);
        return true;
    }

    void repaintStatus() override {
        const RECT rc{0, kStatusTop, kWindowWidth + 1, kStatusBottom};
        InvalidateRect(hwnd_, &rc, FALSE);
    }
    void repaintAll() override { InvalidateRect(hwnd_, nullptr, FALSE); }

    void setTopMost(bool on) override {
        SetWindowPos(hwnd_, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }

    void controlChanged(int id) override {
        HWND h = GetDlgItem(hwnd_, id);
        const ControlSpec* c = gf_findControl(id);
        if (h == nullptr || c == nullptr) {
            gf_logLine("GetDlgItem failed for ID {}", id);
            return;
        }
        const ControlState& s = gf_windowModel().state(id);
        EnableWindow(h, s.enabled ? TRUE : FALSE);
        switch (c->kind) {
            case ControlKind::CheckBox:
                SendMessageW(h, BM_SETCHECK, s.checked ? BST_CHECKED : BST_UNCHECKED, 0);
                break;
            case ControlKind::Edit:
                if (lf_getTextFromId(hwnd_, id) != s.text) {
                    SetWindowTextW(h, lf_wide(s.text).c_str());
                }
                break;
            case ControlKind::Dropdown:
                if (entries_[id] != s.entries) {
                    SendMessageW(h, CB_RESETCONTENT, 0, 0);
                    for (const std::string& e : s.entries) {
                        SendMessageW(h, CB_ADDSTRING, 0,
                                     reinterpret_cast<LPARAM>(lf_wide(e).c_str()));
                    }
                    entries_[id] = s.entries;
                }
                SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(s.selected), 0);
                break;
            case ControlKind::Button:
                break;
        }
    }

    bool ownsMessageLoop() const override { return true; }

    int messageLoop(MainWindow& window) override {
        window_ = &window;
        MSG msg{};
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        gf_windowQueue().setForwarder(nullptr);
        return static_cast<int>(msg.wParam);
    }

  private:
    static LRESULT CALLBACK wndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        if (msg == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<Win32View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcW(hwnd, msg, wp, lp);
        }
        try {
            return self->handle(hwnd, msg, wp, lp);
        } catch (const std::exception& e) {
            gf_logLine("{} exception {}", "lf_WndProc", e.what());
            return 0;
        }
    }

    LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        switch (msg) {
            case WM_CREATE:
                hwnd_ = hwnd;
                createControls();
                return 0;
            case WM_COMMAND:
                if (onCommand(LOWORD(wp), HIWORD(wp))) {
                    return 0;
                }
                break;
            case WM_PAINT:
                paint();
                return 0;
            case WM_ERASEBKGND:
                return 1;
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORSTATIC: {
                HDC dc = reinterpret_cast<HDC>(wp);
                SetBkMode(dc, OPAQUE);
                SetBkColor(dc, lf_rgb(colour::kLightBlue));
                SetDCBrushColor(dc, lf_rgb(colour::kLightBlue));
                return reinterpret_cast<LRESULT>(GetStockObject(DC_BRUSH));
            }
            case WM_CLOSE:
                own(kMsgClose, 0);
                return 0;
            case WM_DESTROY:
                PostQuitMessage(0);
                return 0;
            default:
                if (msg >= WM_APP && msg <= 0xBFFF) {
                    if (msg == kMsgEndProcess) {
                        notePosition();
                    }
                    own(msg, static_cast<std::int64_t>(lp));
                    return 0;
                }
                break;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }

    void own(std::uint32_t id, std::int64_t param) {
        if (window_ == nullptr) {
            return;
        }
        if (const std::optional<int> code = window_->handle({id, param}); code.has_value()) {
            PostQuitMessage(*code);
        }
    }

    // The normal-position rectangle, also while minimised or maximised.
    void notePosition() {
        WINDOWPLACEMENT wp{};
        wp.length = sizeof(wp);
        if (window_ != nullptr && GetWindowPlacement(hwnd_, &wp)) {
            const RECT& r = wp.rcNormalPosition;
            window_->setRect({r.left, r.top, r.right, r.bottom});
        }
    }

    void createControls() {
        HINSTANCE inst = GetModuleHandleW(nullptr);
        HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
        for (const ControlSpec& c : gf_controlTable()) {
            const wchar_t* cls = L"BUTTON";
            DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
            int y = c.row;
            int w = c.width;
            int h = kButtonHeight;
            std::wstring text;
            switch (c.kind) {
                case ControlKind::CheckBox:
                    style |= BS_CHECKBOX;  // the window sets the check mark itself
                    y = c.row + 2;
                    h = kCheckBoxSide;
                    break;
                case ControlKind::Button:
                    style |= BS_DEFPUSHBUTTON;
                    text = lf_wide(c.buttonText);
                    break;
                case ControlKind::Edit:
                    cls = L"EDIT";
                    style |= WS_BORDER | ES_AUTOHSCROLL;
                    h = kEditHeight;
                    break;
                case ControlKind::Dropdown:
                    cls = L"COMBOBOX";
                    style |= CBS_DROPDOWNLIST | WS_VSCROLL;
                    y = c.row - 5;
                    h = c.dropHeight;
                    break;
            }
            HWND ctrl =
                CreateWindowExW(0, cls, text.c_str(), style, c.x, y, w, h, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), inst, nullptr);
            if (ctrl == nullptr) {
                gf_logLine("control {} not created", c.name);
                continue;
            }
            SendMessageW(ctrl, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
            if (c.kind == ControlKind::Edit) {
                SetWindowSubclass(ctrl, &Win32View::editProc, static_cast<UINT_PTR>(c.id),
                                  reinterpret_cast<DWORD_PTR>(this));
            }
            controlChanged(c.id);
        }
    }

    // Enter applies an edit field's text; the other keys behave as usual.
    static LRESULT CALLBACK editProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                     DWORD_PTR data) {
        if (msg == WM_CHAR && wp == VK_RETURN) {
            return 0;  // no beep
        }
        if (msg == WM_KEYDOWN && wp == VK_RETURN) {
            auto* self = reinterpret_cast<Win32View*>(data);
            const int cid = static_cast<int>(id);
            try {
                gf_windowModel().onEnter(cid, lf_getTextFromId(self->hwnd_, cid));
            } catch (const std::exception& e) {
                gf_logLine("{} exception {}", "lf_HandleWMCOMMAND", e.what());
            }
            return 0;
        }
        if (msg == WM_NCDESTROY) {
            RemoveWindowSubclass(h, &Win32View::editProc, id);
        }
        return DefSubclassProc(h, msg, wp, lp);
    }

    bool onCommand(int id, int code) {
        const ControlSpec* c = gf_findControl(id);
        if (c == nullptr) {
            return false;
        }
        WindowModel& m = gf_windowModel();
        try {
            if ((c->kind == ControlKind::CheckBox || c->kind == ControlKind::Button) &&
                code == BN_CLICKED) {
                m.onClick(id);
                return true;
            }
            if (c->kind == ControlKind::Dropdown && code == CBN_SELCHANGE) {
                const auto sel = SendMessageW(GetDlgItem(hwnd_, id), CB_GETCURSEL, 0, 0);
                m.onSelect(id, static_cast<int>(sel));
                return true;
            }
        } catch (const std::exception& e) {
            gf_logLine("{} exception {}", "lf_HandleWMCOMMAND", e.what());
            repaintAll();
            return true;
        }
        return false;
    }

    void paint() {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        HDC mem = CreateCompatibleDC(dc);
        HBITMAP bmp = CreateCompatibleBitmap(dc, kWindowWidth, kWindowHeight);
        HGDIOBJ oldBmp = SelectObject(mem, bmp);
        drawList(mem, gf_paintWindow(gf_windowModel()));
        BitBlt(dc, 0, 0, kWindowWidth, kWindowHeight, mem, 0, 0, SRCCOPY);
        SelectObject(mem, oldBmp);
        DeleteObject(bmp);
        DeleteDC(mem);
        EndPaint(hwnd_, &ps);
    }

    HFONT font(Font f) {
        HFONT& slot = fonts_[static_cast<int>(f)];
        if (slot == nullptr) {
            const int height = f == Font::Header ? -16 : (f == Font::Small ? -11 : -13);
            slot = CreateFontW(height, 0, 0, 0, f == Font::Header ? FW_BOLD : FW_NORMAL, FALSE,
                               FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Segoe UI");
        }
        return slot;
    }

    void drawList(HDC dc, const DisplayList& list) {
        SetBkMode(dc, TRANSPARENT);
        for (const DisplayItem& i : list) {
            switch (i.kind) {
                case DisplayItem::Kind::FillRect: {
                    const RECT rc{i.x, i.y, i.right, i.bottom};
                    HBRUSH b = CreateSolidBrush(lf_rgb(i.colour));
                    FillRect(dc, &rc, b);
                    DeleteObject(b);
                    break;
                }
                case DisplayItem::Kind::Line: {
                    HPEN pen = CreatePen(PS_SOLID, 1, lf_rgb(i.colour));
                    HGDIOBJ old = SelectObject(dc, pen);
                    const POINT pts[2] = {{i.x, i.y}, {i.right, i.bottom}};
                    Polyline(dc, pts, 2);
                    SelectObject(dc, old);
                    DeleteObject(pen);
                    break;
                }
                case DisplayItem::Kind::Text: {
                    HGDIOBJ old = SelectObject(dc, font(i.font));
                    SetTextColor(dc, lf_rgb(i.colour));
                    const std::wstring w = lf_wide(i.text);
                    TextOutW(dc, i.x, i.y, w.c_str(), static_cast<int>(w.size()));
                    SelectObject(dc, old);
                    break;
                }
                case DisplayItem::Kind::Control:
                    break;  // real child controls paint themselves
            }
        }
    }

    HWND hwnd_ = nullptr;
    MainWindow* window_ = nullptr;
    std::wstring title_;
    std::map<int, std::vector<std::string>> entries_;
    HFONT fonts_[3] = {nullptr, nullptr, nullptr};
};

}  // namespace

std::unique_ptr<WindowView> gf_makeWin32View() {
    return std::make_unique<Win32View>();
}

}  // namespace wnd

#include "platform/win32/form_window.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <climits>

#include "platform/win32/caption_drawing.h"
#include "platform/win32/dpi_win32.h"
#include "platform/win32/form_controls.h"
#include "platform/win32/win32_error.h"
#include "platform/win32/common_controls.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace ombrix {
namespace {

constexpr const wchar_t* kFormClassName = L"OmbrixForm";

// The open forms of this (the user-interface) thread, for keyboard routing and for knowing when
// the last one has gone.
std::vector<HWND>& OpenForms() {
    static std::vector<HWND> forms;
    return forms;
}

// Parents before their children, and within one parent the tab order, so that the z-order that
// dialog navigation follows is the designed tab order.
std::vector<std::size_t> CreationOrder(std::span<const forms::Control> controls) {
    auto depth = [&](const forms::Control& control) {
        int levels = 0;
        for (int parent = control.parent; parent != forms::kOnWindow && levels < 8; ++levels) {
            auto found = std::find_if(controls.begin(), controls.end(),
                                      [&](const forms::Control& c) { return c.id == parent; });
            parent = found == controls.end() ? forms::kOnWindow : found->parent;
        }
        return levels;
    };
    auto tabKey = [](const forms::Control& control) {
        return control.tabIndex == forms::kNoTabStop ? INT_MAX : control.tabIndex;
    };
    std::vector<std::size_t> order(controls.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int depthA = depth(controls[a]);
        const int depthB = depth(controls[b]);
        if (depthA != depthB) {
            return depthA < depthB;
        }
        return tabKey(controls[a]) < tabKey(controls[b]);
    });
    return order;
}

}  // namespace

FormWindow::FormWindow(const forms::Form& form, WindowEvents& events, HINSTANCE instance)
    : form_(form),
      events_(&events),
      instance_(instance),
      layout_(forms::LayOut(form, SystemDpi())),
      contrast_(SystemContrast()) {
    LoadCommonControls();  // before any of its controls is made
    RegisterFormClass(instance);
    const DWORD style =
        WS_CLIPCHILDREN | (form.frameless ? WS_POPUP : WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU);
    // A tool window gets no taskbar button; the frameless window shows nothing else of it.
    const DWORD exStyle =
        WS_EX_CONTROLPARENT | (form.taskbarButton ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW);
    const forms::Rect& client = layout_.client;
    RECT rect{client.x, client.y, client.x + client.width, client.y + client.height};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    CreateWindowExW(exStyle, kFormClassName, form.caption, style, rect.left, rect.top,
                    rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance,
                    this);
    if (!hwnd_) {
        ThrowLastError("CreateWindowExW");
    }
    OpenForms().push_back(hwnd_);
    // The monitor it opened on may have a resolution of its own.
    if (const int dpi = WindowDpi(hwnd_); dpi != layout_.dpi) {
        layout_ = forms::LayOut(form, dpi);
        placeWindow();
    }
    try {
        setIcons();
        loadFonts();
        loadPictures();
        createControls();
    } catch (...) {
        events_ = nullptr;
        DestroyWindow(hwnd_);
        throw;
    }
    startDesignedTimers();
}

FormWindow::~FormWindow() {
    if (hwnd_) {
        // The logic is going away with us: it hears nothing of this.
        events_ = nullptr;
        DestroyWindow(hwnd_);
    }
}

void FormWindow::RegisterFormClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    if (GetClassInfoExW(instance, kFormClassName, &windowClass)) {
        return;
    }
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = FormProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormClassName;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        ThrowLastError("RegisterClassExW");
    }
}

void FormWindow::setIcons() {
    if (!form_.icon) {
        return;
    }
    // Shared icons belong to the system's cache; nothing to free.
    auto load = [&](int widthMetric, int heightMetric) {
        return LoadImageW(instance_, MAKEINTRESOURCEW(form_.icon), IMAGE_ICON,
                          GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric), LR_SHARED);
    };
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(load(SM_CXICON, SM_CYICON)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(load(SM_CXSMICON, SM_CYSMICON)));
}

void FormWindow::loadFonts() {
    auto add = [&](const forms::Font* font) {
        if (!font || std::any_of(fonts_.begin(), fonts_.end(),
                                 [&](const auto& entry) { return entry.first == font; })) {
            return;
        }
        fonts_.emplace_back(font, CreateDesignedFont(*font, layout_.dpi));
    };
    add(form_.font);
    for (const forms::Control& control : form_.controls) {
        add(control.font);
    }
}

void FormWindow::loadPictures() {
    for (const forms::Control& control : form_.controls) {
        const forms::Picture& picture = control.picture;
        if (!picture.resource || pictures_.contains(picture.resource)) {
            continue;
        }
        // A missing picture leaves the control showing the face behind it.
        if (auto loaded = LoadPicture(instance_, picture, layout_.dpi)) {
            pictures_.emplace(picture.resource, std::move(*loaded));
        }
    }
}

void FormWindow::assignFontsAndPlaces() {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        ControlWindow& control = controls_[i];
        control.place = layout_.controls[i];
        const forms::Font* font = control.def->font ? control.def->font : form_.font;
        control.font = nullptr;
        for (const auto& [def, handle] : fonts_) {
            if (def == font) {
                control.font = handle.get();
            }
        }
    }
}

void FormWindow::createControls() {
    controls_.resize(form_.controls.size());
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        controls_[i].def = &form_.controls[i];
        controls_[i].picture = form_.controls[i].picture.resource;
    }
    assignFontsAndPlaces();
    for (std::size_t index : CreationOrder(form_.controls)) {
        ControlWindow& control = controls_[index];
        const ControlWindow* parent =
            control.def->parent == forms::kOnWindow ? nullptr : find(control.def->parent);
        HWND parentHandle = parent ? parent->hwnd : hwnd_;
        control.hwnd = CreateControlWindow(*control.def, control.place, parentHandle, instance_);
        if (!control.hwnd) {
            ThrowLastError("CreateWindowExW (control)");
        }
        if (control.font) {
            SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(control.font), FALSE);
        }
        LoadCommonControls().SetWindowSubclass(control.hwnd, ControlProc, index,
                                               reinterpret_cast<DWORD_PTR>(this));
        if (control.def->accessible.live) {
            annotations_.markLive(control.hwnd);
        }
    }
}

void FormWindow::placeWindow() {
    const forms::Rect& client = layout_.client;
    RECT rect{client.x, client.y, client.x + client.width, client.y + client.height};
    AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
    SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void FormWindow::applyLayout(const forms::FormLayout& layout) {
    layout_ = layout;
    // The old fonts stay alive until every control has let go of them.
    auto oldFonts = std::move(fonts_);
    fonts_.clear();
    loadFonts();
    pictures_.clear();
    loadPictures();
    assignFontsAndPlaces();
    for (const ControlWindow& control : controls_) {
        if (!control.hwnd) {
            continue;
        }
        SetWindowPos(control.hwnd, nullptr, control.place.x, control.place.y, control.place.width,
                     control.place.height, SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.font) {
            SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(control.font), FALSE);
        }
    }
    placeWindow();
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

const forms::Picture* FormWindow::designedPicture(int resource) const {
    if (!resource) {
        return nullptr;
    }
    for (const forms::Control& control : form_.controls) {
        if (control.picture.resource == resource) {
            return &control.picture;
        }
    }
    return nullptr;
}

const PictureImage* FormWindow::pictureOf(const ControlWindow& control) const {
    auto found = pictures_.find(control.picture);
    return found == pictures_.end() ? nullptr : &found->second;
}

void FormWindow::startDesignedTimers() {
    for (const forms::Timer& timer : form_.timers) {
        if (timer.enabled) {
            startTimer(timer.id, timer.intervalMs);
        }
    }
}

// ---- Window ----------------------------------------------------------------------------------

std::wstring FormWindow::text(int control) {
    const ControlWindow* found = hwnd_ ? find(control) : nullptr;
    return found && found->hwnd ? WindowText(found->hwnd) : std::wstring();
}

void FormWindow::setText(int control, const std::wstring& text) {
    const ControlWindow* found = hwnd_ ? find(control) : nullptr;
    if (found && found->hwnd) {
        SetWindowTextW(found->hwnd, text.c_str());
    }
}

void FormWindow::showPictureOf(int target, int source) {
    ControlWindow* to = hwnd_ ? find(target) : nullptr;
    const ControlWindow* from = hwnd_ ? find(source) : nullptr;
    if (!to || !from || to->picture == from->picture) {
        return;
    }
    to->picture = from->picture;
    if (to->hwnd) {
        RedrawWindow(to->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    }
}

void FormWindow::beginDrag() {
    if (!hwnd_) {
        return;
    }
    // As if the title bar had been grasped: the system moves the window until the button is up.
    ReleaseCapture();
    SendMessageW(hwnd_, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

void FormWindow::show() {
    if (!hwnd_) {
        return;
    }
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
}

void FormWindow::hide() {
    if (hwnd_) {
        ShowWindow(hwnd_, SW_HIDE);
    }
}

void FormWindow::close() {
    if (hwnd_) {
        DestroyWindow(hwnd_);
    }
}

void FormWindow::startTimer(int timer, unsigned intervalMs) {
    if (hwnd_) {
        SetTimer(hwnd_, static_cast<UINT_PTR>(timer), intervalMs, nullptr);
    }
}

void FormWindow::stopTimer(int timer) {
    if (hwnd_) {
        KillTimer(hwnd_, static_cast<UINT_PTR>(timer));
    }
}

void FormWindow::blockSessionEnd(const std::optional<std::wstring>& reason) {
    // Some systems (Wine) only pretend to have these: the block is a courtesy to the user.
    if (hwnd_ && reason) {
        ShutdownBlockReasonCreate(hwnd_, reason->c_str());
    } else if (hwnd_) {
        ShutdownBlockReasonDestroy(hwnd_);
    }
}

void FormWindow::setContrast(forms::Contrast contrast) {
    if (contrast == contrast_) {
        return;
    }
    contrast_ = contrast;
    if (hwnd_) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

HWND FormWindow::controlHandle(int control) const {
    const ControlWindow* found = find(control);
    return found ? found->hwnd : nullptr;
}

// ---- Messages of the window ------------------------------------------------------------------

LRESULT CALLBACK FormWindow::FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<FormWindow*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || self->hwnd_ != hwnd) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->dispatch(message, wParam, lParam);
}

LRESULT FormWindow::dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            return onCommand(wParam, lParam);
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            return onCtlColor(message, wParam, lParam);
        case WM_ACTIVATE:
            return onActivate(wParam, lParam);
        case WM_DPICHANGED:
            return onDpiChanged(wParam, lParam);
        case WM_SYSCOMMAND:
            return onSysCommand(wParam, lParam);
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            return onSystemColours(message, wParam, lParam);
        case WM_TIMER:
            onTimerMessage(wParam);
            return 0;
        case WM_QUERYENDSESSION:
            return events_ && !events_->onQueryEndSession() ? FALSE : TRUE;
        case WM_ENDSESSION:
            if (events_) {
                events_->onEndSession(wParam != FALSE);
            }
            return 0;
        case WM_NCDESTROY: {
            const LRESULT result = DefWindowProcW(hwnd_, message, wParam, lParam);
            onNcDestroy();
            return result;
        }
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

LRESULT FormWindow::onCommand(WPARAM wParam, LPARAM lParam) {
    // Esc, as dialog navigation reports it: the window has no control of that ID.
    if (LOWORD(wParam) == IDCANCEL && lParam == 0) {
        if (events_) {
            events_->onCloseRequest();
        }
        return 0;
    }
    const ControlWindow* control = findByHandle(reinterpret_cast<HWND>(lParam));
    if (control && control->def->kind == forms::Kind::PushButton && HIWORD(wParam) == BN_CLICKED &&
        events_) {
        events_->onClick(control->def->id);
    }
    return 0;
}

LRESULT FormWindow::onCtlColor(UINT message, WPARAM wParam, LPARAM lParam) {
    ControlWindow* control = findByHandle(reinterpret_cast<HWND>(lParam));
    if (!control || !HasDesignedColours(*control->def) || contrast_ == forms::Contrast::High) {
        return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
    auto dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, ForegroundOf(*control->def));
    SetBkColor(dc, BackgroundOf(*control->def));
    if (!control->brush) {
        control->brush.reset(CreateSolidBrush(BackgroundOf(*control->def)));
    }
    return reinterpret_cast<LRESULT>(control->brush.get());
}

LRESULT FormWindow::onActivate(WPARAM wParam, LPARAM /*lParam*/) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) {
            savedFocus_ = focus;
        }
        return 0;
    }
    if (savedFocus_ && IsWindow(savedFocus_) && canTakeFocus(savedFocus_)) {
        SetFocus(savedFocus_);
    } else {
        focusFirstTabStop();
    }
    return 0;
}

LRESULT FormWindow::onDpiChanged(WPARAM wParam, LPARAM lParam) {
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    const int dpi = LOWORD(wParam);
    if (!suggested || dpi <= 0) {
        return 0;
    }
    // The suggested rectangle is the whole window; the layout wants its client area.
    RECT frame{};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongW(hwnd_, GWL_EXSTYLE)));
    const forms::Rect client{suggested->left - frame.left, suggested->top - frame.top,
                             suggested->right - suggested->left - (frame.right - frame.left),
                             suggested->bottom - suggested->top - (frame.bottom - frame.top)};
    applyLayout(forms::LayOutAfterDpiChange(form_, dpi, client));
    return 0;
}

LRESULT FormWindow::onSysCommand(WPARAM wParam, LPARAM lParam) {
    // Alt+F4 and the system's close command ask, as the close button does; a close that comes
    // as WM_CLOSE alone (from another program) still closes at once.
    if ((wParam & 0xFFF0) == SC_CLOSE) {
        if (events_) {
            events_->onCloseRequest();
        }
        return 0;
    }
    return DefWindowProcW(hwnd_, WM_SYSCOMMAND, wParam, lParam);
}

LRESULT FormWindow::onSystemColours(UINT message, WPARAM wParam, LPARAM lParam) {
    // Colours the user chose may have changed with or without high contrast: brushes made of
    // the old ones go, and the system's controls hear of it too.
    for (ControlWindow& control : controls_) {
        control.brush.reset();
        if (message == WM_SYSCOLORCHANGE && control.hwnd) {
            SendMessageW(control.hwnd, message, wParam, lParam);
        }
    }
    const forms::Contrast contrast = SystemContrast();
    if (contrast != contrast_) {
        setContrast(contrast);
    } else if (message == WM_SYSCOLORCHANGE) {
        RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void FormWindow::onTimerMessage(WPARAM wParam) {
    if (events_) {
        events_->onTimer(static_cast<int>(wParam));
    }
}

void FormWindow::onNcDestroy() {
    std::erase(OpenForms(), hwnd_);
    hwnd_ = nullptr;
    savedFocus_ = nullptr;
    for (ControlWindow& control : controls_) {
        control.hwnd = nullptr;
        control.pressed = false;
    }
    if (events_) {
        events_->onClosed();
    }
}

// ---- Messages of the controls ----------------------------------------------------------------

LRESULT CALLBACK FormWindow::ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR subclassId, DWORD_PTR refData) {
    auto* self = reinterpret_cast<FormWindow*>(refData);
    if (subclassId >= self->controls_.size() || self->controls_[subclassId].hwnd != hwnd) {
        return LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
    }
    return self->dispatchControl(self->controls_[subclassId], message, wParam, lParam);
}

LRESULT FormWindow::dispatchControl(ControlWindow& control, UINT message, WPARAM wParam,
                                    LPARAM lParam) {
    const forms::Kind kind = control.def->kind;
    const bool painted = IsPaintedByForm(kind);
    switch (message) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            return onControlButtonDown(control, MouseButton::Left, message, wParam, lParam);
        case WM_RBUTTONDOWN:
        case WM_RBUTTONDBLCLK:
            return onControlButtonDown(control, MouseButton::Right, message, wParam, lParam);
        case WM_MBUTTONDOWN:
        case WM_MBUTTONDBLCLK:
            return onControlButtonDown(control, MouseButton::Middle, message, wParam, lParam);
        case WM_LBUTTONUP:
            return onControlLeftButtonUp(control, message, wParam, lParam);
        case WM_CAPTURECHANGED:
            control.pressed = false;
            break;
        case WM_MOUSEMOVE:
            return onControlMouseMove(control, message, wParam, lParam);
        case WM_SETTEXT:
            if (kind == forms::Kind::Label) {
                return onControlSetText(control, wParam, lParam);
            }
            break;
        case WM_PAINT:
            if (painted) {
                return onControlPaint(control);
            }
            break;
        case WM_PRINTCLIENT:
            if (painted) {
                paintControl(control, reinterpret_cast<HDC>(wParam));
                return 0;
            }
            break;
        case WM_ERASEBKGND:
            if (painted) {
                return 1;  // the paint covers every pixel
            }
            break;
        case WM_NCPAINT:
            if (painted) {
                return 0;  // made without a frame: nothing lies outside the client area
            }
            break;
        case WM_UPDATEUISTATE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case BM_SETSTATE:
            // A button draws its own face at these, outside any paint; ours comes right after.
            if (painted) {
                const LRESULT result = passOn(control, message, wParam, lParam);
                if (control.hwnd) {
                    InvalidateRect(control.hwnd, nullptr, FALSE);
                }
                return result;
            }
            break;
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
            // Controls inside a picture box report through it to the window.
            if (kind == forms::Kind::PictureBox && hwnd_) {
                return SendMessageW(hwnd_, message, wParam, lParam);
            }
            break;
        case WM_NCDESTROY: {
            HWND hwnd = control.hwnd;
            if (control.def->accessible.live) {
                annotations_.clear(hwnd);
            }
            LoadCommonControls().RemoveWindowSubclass(
                hwnd, ControlProc, static_cast<UINT_PTR>(&control - controls_.data()));
            control.hwnd = nullptr;
            return LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
        }
        default:
            break;
    }
    return passOn(control, message, wParam, lParam);
}

LRESULT FormWindow::passOn(ControlWindow& control, UINT message, WPARAM wParam, LPARAM lParam) {
    return control.hwnd
               ? LoadCommonControls().DefSubclassProc(control.hwnd, message, wParam, lParam)
               : 0;
}

LRESULT FormWindow::onControlButtonDown(ControlWindow& control, MouseButton button, UINT message,
                                        WPARAM wParam, LPARAM lParam) {
    HWND hwnd = control.hwnd;
    // Statics have no click of their own: press and release over the same control make one.
    const bool ownClick = IsPaintedByForm(control.def->kind);
    if (ownClick && button == MouseButton::Left) {
        SetCapture(hwnd);
        control.pressed = true;
    }
    if (events_) {
        events_->onMouseDown(control.def->id, button);
    }
    if (control.hwnd != hwnd) {
        return 0;  // the handler closed the window
    }
    if (GetCapture() != hwnd) {
        control.pressed = false;  // a drag took the mouse: no click follows
    }
    return ownClick ? 0 : LoadCommonControls().DefSubclassProc(hwnd, message, wParam, lParam);
}

LRESULT FormWindow::onControlLeftButtonUp(ControlWindow& control, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
    if (!control.pressed) {
        return IsPaintedByForm(control.def->kind) ? 0 : passOn(control, message, wParam, lParam);
    }
    control.pressed = false;
    ReleaseCapture();
    RECT client{};
    GetClientRect(control.hwnd, &client);
    const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (PtInRect(&client, point) && events_) {
        events_->onClick(control.def->id);
    }
    return 0;
}

LRESULT FormWindow::onControlMouseMove(ControlWindow& control, UINT message, WPARAM wParam,
                                       LPARAM lParam) {
    HWND hwnd = control.hwnd;
    if (GetCapture() == hwnd) {
        // Captured moves outside the control are not moves over it.
        RECT client{};
        GetClientRect(hwnd, &client);
        if (!PtInRect(&client, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) {
            return passOn(control, message, wParam, lParam);
        }
    }
    if (events_) {
        events_->onMouseMove(control.def->id);
    }
    if (control.hwnd != hwnd) {
        return 0;
    }
    return passOn(control, message, wParam, lParam);
}

LRESULT FormWindow::onControlSetText(ControlWindow& control, WPARAM wParam, LPARAM lParam) {
    const auto* text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
    const bool announced = control.def->accessible.live && WindowText(control.hwnd) != text;
    // Stored as the window's text (what WM_GETTEXT and screen readers read), but drawn by our own
    // paint: the static's paint would leave the old caption's pixels behind a transparent label.
    const LRESULT result = DefWindowProcW(control.hwnd, WM_SETTEXT, wParam, lParam);
    if (announced) {
        AnnounceLiveRegion(control.hwnd);
    }
    RedrawWindow(control.hwnd, nullptr, nullptr,
                 CaptionReplacedSoonFlag() ? RDW_INVALIDATE : RDW_INVALIDATE | RDW_UPDATENOW);
    return result;
}

LRESULT FormWindow::onControlPaint(ControlWindow& control) {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(control.hwnd, &paint);
    if (dc) {
        paintControl(control, dc);
    }
    EndPaint(control.hwnd, &paint);
    return 0;
}

// ---- Focus and lookup ------------------------------------------------------------------------

bool FormWindow::canTakeFocus(HWND control) const {
    if (!(GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) || !IsWindowEnabled(control)) {
        return false;
    }
    // Visible as far as the form goes; the form itself may still be on its way to the screen.
    for (HWND window = control; window && window != hwnd_; window = GetParent(window)) {
        if (!(GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE)) {
            return false;
        }
    }
    return true;
}

void FormWindow::focusFirstTabStop() {
    const ControlWindow* first = nullptr;
    for (const ControlWindow& control : controls_) {
        if (control.hwnd && control.def->tabIndex != forms::kNoTabStop &&
            canTakeFocus(control.hwnd) &&
            (!first || control.def->tabIndex < first->def->tabIndex)) {
            first = &control;
        }
    }
    if (first) {
        SetFocus(first->hwnd);
    }
}

FormWindow::ControlWindow* FormWindow::find(int control) {
    for (ControlWindow& entry : controls_) {
        if (entry.def->id == control) {
            return &entry;
        }
    }
    return nullptr;
}

const FormWindow::ControlWindow* FormWindow::find(int control) const {
    return const_cast<FormWindow*>(this)->find(control);
}

FormWindow::ControlWindow* FormWindow::findByHandle(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    for (ControlWindow& entry : controls_) {
        if (entry.hwnd == hwnd) {
            return &entry;
        }
    }
    return nullptr;
}

// ---- Keyboard routing ------------------------------------------------------------------------

bool HandleFormKeyboard(MSG& message) {
    // Only keys concern dialog navigation; everything else is translated and dispatched as usual.
    if (message.message < WM_KEYFIRST || message.message > WM_KEYLAST || !message.hwnd) {
        return false;
    }
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    const auto& forms = OpenForms();
    if (std::find(forms.begin(), forms.end(), root) == forms.end()) {
        return false;
    }
    return IsDialogMessageW(root, &message) != FALSE;
}

int OpenFormCount() {
    return static_cast<int>(OpenForms().size());
}

}  // namespace ombrix

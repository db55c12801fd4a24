#include "platform/win32/form_window.h"

#include <algorithm>

#include "platform/win32/common_controls.h"
#include "platform/win32/dpi_win32.h"
#include "platform/win32/form_controls.h"
#include "platform/win32/win32_error.h"

// Building the window from its definition, and what the logic asks of it.
namespace ombrix {
namespace {

constexpr const wchar_t* kFormClassName = L"OmbrixForm";

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

void FormWindow::createControls() {
    controls_.resize(form_.controls.size());
    for (std::size_t i = 0; i < controls_.size(); ++i) {
        controls_[i].def = &form_.controls[i];
        controls_[i].picture = form_.controls[i].picture.resource;
    }
    assignFontsAndPlaces();
    for (std::size_t index : forms::CreationOrder(form_.controls)) {
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

}  // namespace ombrix

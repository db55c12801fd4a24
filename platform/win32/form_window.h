#pragma once
// A top-level window with real child controls, built from its definition, that reports what
// happens to it to a WindowEvents.
#include <windows.h>

#include <map>
#include <utility>
#include <string>
#include <vector>

#include "platform/form_contrast.h"
#include "platform/form_definition.h"
#include "platform/form_layout.h"
#include "platform/win32/accessible_annotations.h"
#include "platform/win32/form_pictures.h"
#include "platform/win32/gdi_objects.h"
#include "platform/window.h"

namespace ombrix {

class FormWindow final : public Window {
  public:
    // Creates the window hidden, with its controls, fonts and pictures laid out for the display
    // it opens on (see platform/form_layout.h); designed-enabled timers start at once. Throws
    // std::system_error when the system refuses a window. The object must outlive every call into
    // `events`.
    FormWindow(const forms::Form& form, WindowEvents& events,
               HINSTANCE instance = GetModuleHandleW(nullptr));
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    std::wstring text(int control) override;
    void setText(int control, const std::wstring& text) override;
    void showPictureOf(int target, int source) override;
    void beginDrag() override;
    void show() override;
    void hide() override;
    void close() override;
    void startTimer(int timer, unsigned intervalMs) override;
    void stopTimer(int timer) override;
    void blockSessionEnd(const std::optional<std::wstring>& reason) override;

    // Null once the window is closed.
    HWND handle() const { return hwnd_; }
    HWND controlHandle(int control) const;
    // The resolution the window is laid out for now.
    int dpi() const { return layout_.dpi; }
    // The look it draws its own controls in: the skin, or the system's high-contrast colours.
    // It follows the system's setting from the start and as it changes.
    forms::Contrast contrast() const { return contrast_; }
    void setContrast(forms::Contrast contrast);

  private:
    struct ControlWindow {
        const forms::Control* def = nullptr;
        forms::Rect place;  // within the parent, at the window's resolution
        HWND hwnd = nullptr;
        HFONT font = nullptr;
        int picture = 0;       // resource of the picture it shows now
        unique_hbrush brush;   // for system-drawn controls with own colours
        bool pressed = false;  // left button went down here, not yet up
    };

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR subclassId, DWORD_PTR refData);
    static void RegisterFormClass(HINSTANCE instance);
    // The open forms of this (the user-interface) thread, for keyboard routing and for knowing
    // when the last one has gone.
    static std::vector<HWND>& OpenForms();
    friend bool HandleFormKeyboard(MSG& message);
    friend int OpenFormCount();

    // Building.
    void createControls();
    void loadFonts();
    void loadPictures();
    void assignFontsAndPlaces();
    void placeWindow();
    void applyLayout(const forms::FormLayout& layout);
    const PictureImage* pictureOf(const ControlWindow& control) const;
    void setIcons();
    void startDesignedTimers();

    // Messages of the window itself, one handler each.
    LRESULT dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onCommand(WPARAM wParam, LPARAM lParam);
    LRESULT onCtlColor(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onActivate(WPARAM wParam, LPARAM lParam);
    LRESULT onDpiChanged(WPARAM wParam, LPARAM lParam);
    LRESULT onSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT onSystemColours(UINT message, WPARAM wParam, LPARAM lParam);
    void onTimerMessage(WPARAM wParam);
    void onNcDestroy();

    // Messages of the controls.
    LRESULT dispatchControl(ControlWindow& control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onControlButtonDown(ControlWindow& control, MouseButton button, UINT message,
                                WPARAM wParam, LPARAM lParam);
    LRESULT onControlLeftButtonUp(ControlWindow& control, UINT message, WPARAM wParam,
                                  LPARAM lParam);
    LRESULT onControlMouseMove(ControlWindow& control, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT onControlSetText(ControlWindow& control, WPARAM wParam, LPARAM lParam);
    LRESULT onControlPaint(ControlWindow& control);
    LRESULT passOn(ControlWindow& control, UINT message, WPARAM wParam, LPARAM lParam);

    // Painting (form_window_paint.cpp).
    void paintControl(const ControlWindow& control, HDC dc) const;
    void paintFace(const ControlWindow& control, HDC dc) const;
    void paintParentFace(const ControlWindow& control, HDC dc) const;
    void paintLabelText(const ControlWindow& control, HDC dc, COLORREF colour) const;
    void paintMark(const ControlWindow& control, HDC dc, wchar_t mark, COLORREF colour) const;
    // The designed picture with this resource, or null.
    const forms::Picture* designedPicture(int resource) const;

    // Focus and lookup.
    void focusFirstTabStop();
    bool canTakeFocus(HWND control) const;
    ControlWindow* find(int control);
    const ControlWindow* find(int control) const;
    ControlWindow* findByHandle(HWND hwnd);

    const forms::Form& form_;
    WindowEvents* events_;
    HINSTANCE instance_;
    HWND hwnd_ = nullptr;
    HWND savedFocus_ = nullptr;
    forms::FormLayout layout_;
    forms::Contrast contrast_ = forms::Contrast::Normal;
    AccessibleAnnotations annotations_;
    std::vector<ControlWindow> controls_;
    std::vector<std::pair<const forms::Font*, unique_hfont>> fonts_;
    // By resource; shared by the controls that show the same picture.
    std::map<int, PictureImage> pictures_;
};

// Gives a form's keyboard navigation (Tab, space on a button, ...) its chance at a message taken
// from the queue; true when it used the message, which must then not be dispatched.
bool HandleFormKeyboard(MSG& message);

// How many forms of this thread are open.
int OpenFormCount();

}  // namespace ombrix

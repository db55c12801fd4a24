#pragma once
// Real Win32 controls from their definitions: window classes, styles, fonts and colours.
#include <windows.h>

#include <string>

#include "platform/form_contrast.h"
#include "platform/form_definition.h"
#include "platform/form_layout.h"
#include "platform/win32/gdi_objects.h"

namespace ombrix {

// The system class of the control's kind: labels, images and picture boxes are statics, so that
// screen readers and automation see them as what they are and can read their text; a picture
// that acts as a button is an owner-drawn button, which they see as a push button.
const wchar_t* ControlClassName(const forms::Control& control);
bool IsPushButtonPicture(const forms::Control& control);

// Creates the child window (hidden or shown as defined) at `place` under `parent`. Null when
// the kind has no window or the system refuses.
HWND CreateControlWindow(const forms::Control& control, const forms::Rect& place, HWND parent,
                         HINSTANCE instance);

// Draws labels, images and picture boxes itself rather than leaving it to the system class.
bool IsPaintedByForm(forms::Kind kind);

// The designed font at a display resolution.
unique_hfont CreateDesignedFont(const forms::Font& font, int dpi);

// The colour to draw with; Default means the usual colour of the control's kind.
COLORREF TextColourOf(forms::Kind kind, const forms::Colour& colour);
COLORREF FillColourOf(forms::Kind kind, const forms::Colour& colour);
COLORREF ForegroundOf(const forms::Control& control);
COLORREF BackgroundOf(const forms::Control& control);
bool HasDesignedColours(const forms::Control& control);
COLORREF ColourRef(const forms::Colour& colour, COLORREF fallback);

// High when the user has switched the system's high-contrast mode on.
forms::Contrast SystemContrast();

// The window's text (a label's caption, an edit's text).
std::wstring WindowText(HWND window);

}  // namespace ombrix

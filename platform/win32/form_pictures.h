#pragma once
// The pictures that image controls and picture boxes show, expanded from the renderings stored
// in the program's resources into bitmaps at the size the display's resolution asks for.
#include <windows.h>

#include <optional>

#include "platform/form_definition.h"
#include "platform/win32/gdi_objects.h"

namespace ombrix {

struct PictureImage {
    unique_hbitmap bitmap;
    int width = 0;
    int height = 0;
    // Premultiplied alpha (pictures with transparent parts); otherwise drawn opaque.
    bool alpha = false;
};

// The picture at the size the display's resolution asks for; nothing when the resource is
// missing or is not a stored picture.
std::optional<PictureImage> LoadPicture(HINSTANCE instance, const forms::Picture& picture, int dpi);

// Draws the picture unscaled with its top-left corner at x, y.
void DrawPicture(HDC dc, const PictureImage& picture, int x, int y);

}  // namespace ombrix

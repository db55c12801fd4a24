#pragma once
// The pictures that image controls and picture boxes show, loaded from the program's resources.
#include <windows.h>

#include <optional>

#include "platform/win32/gdi_objects.h"
#include "resources/update_forms.h"

namespace ombrix {

struct PictureImage {
    unique_hbitmap bitmap;
    int width = 0;
    int height = 0;
    // Premultiplied alpha (pictures with a transparent colour); otherwise drawn opaque.
    bool alpha = false;
};

// Nothing when the resource is missing or cannot be read.
std::optional<PictureImage> LoadPicture(HINSTANCE instance, const forms::Picture& picture);

// Draws the picture unscaled with its top-left corner at x, y.
void DrawPicture(HDC dc, const PictureImage& picture, int x, int y);

}  // namespace ombrix

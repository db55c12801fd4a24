#pragma once
// The pictures that image controls and picture boxes show, expanded from the PNG renderings in
// the program's resources into bitmaps at the size the display's resolution asks for.
#include <windows.h>

#include <memory>
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

// Decodes with the system's Windows Imaging Component. One loader serves all the pictures of a
// window: the calling thread has COM and one imaging factory while it lives (under Wine each
// start of COM costs milliseconds).
class PictureLoader {
  public:
    PictureLoader();
    ~PictureLoader();
    PictureLoader(const PictureLoader&) = delete;
    PictureLoader& operator=(const PictureLoader&) = delete;

    // Nothing when the resource is missing or cannot be decoded.
    std::optional<PictureImage> load(HINSTANCE instance, const forms::Picture& picture, int dpi);

  private:
    struct Imaging;
    std::unique_ptr<Imaging> imaging_;
};

// Draws the picture unscaled with its top-left corner at x, y.
void DrawPicture(HDC dc, const PictureImage& picture, int x, int y);

}  // namespace ombrix

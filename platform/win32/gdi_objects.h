#pragma once
// Scoped helpers of the paint paths, so that every one gives back what it took. The owners of
// the GDI objects themselves are in unique_handle.h.
#include <windows.h>

#include "platform/win32/unique_handle.h"

namespace ombrix {

// Selects an object into a device context and puts the previous one back at scope end.
class SelectedObject {
  public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

  private:
    HDC dc_;
    HGDIOBJ previous_;
};

// An off-screen copy of a control's face: painted completely, then copied in one blit, so that
// a repaint never shows a half-drawn state.
class MemoryCanvas {
  public:
    MemoryCanvas(HDC target, int width, int height)
        : dc_(CreateCompatibleDC(target)),
          bitmap_(CreateCompatibleBitmap(target, width, height)),
          selected_(dc_.get(), bitmap_.get()),
          width_(width),
          height_(height) {}

    HDC dc() const { return dc_.get(); }
    bool valid() const { return dc_ && bitmap_; }
    void copyTo(HDC target) const { BitBlt(target, 0, 0, width_, height_, dc(), 0, 0, SRCCOPY); }

  private:
    unique_hdc dc_;
    unique_hbitmap bitmap_;
    SelectedObject selected_;
    int width_;
    int height_;
};

}  // namespace ombrix

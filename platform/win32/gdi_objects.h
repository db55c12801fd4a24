#pragma once
// Owners of GDI objects and device contexts, so that every paint path gives back what it took.
#include <windows.h>

#include <memory>
#include <type_traits>

namespace ombrix {

struct GdiObjectDeleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, GdiObjectDeleter>;
using UniqueBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, GdiObjectDeleter>;
using UniqueBrush = std::unique_ptr<std::remove_pointer_t<HBRUSH>, GdiObjectDeleter>;

struct MemoryDcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using UniqueMemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, MemoryDcDeleter>;

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
    UniqueMemoryDc dc_;
    UniqueBitmap bitmap_;
    SelectedObject selected_;
    int width_;
    int height_;
};

}  // namespace ombrix

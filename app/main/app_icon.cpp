#include "app_icon.h"

namespace opclumbra {
namespace {

// Deletes a GDI object when the drawing is done.
struct GdiObject {
  HGDIOBJ object;
  ~GdiObject() {
    if (object) DeleteObject(object);
  }
};

}  // namespace

TAppIcon::TAppIcon(int size) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  GdiObject color{CreateCompatibleBitmap(screen, size, size)};
  GdiObject mask{CreateBitmap(size, size, 1, 1, nullptr)};
  ReleaseDC(nullptr, screen);
  if (!dc || !color.object || !mask.object) {
    if (dc) DeleteDC(dc);
    return;
  }
  HGDIOBJ previous = SelectObject(dc, mask.object);
  PatBlt(dc, 0, 0, size, size, BLACKNESS);  // every pixel opaque
  SelectObject(dc, color.object);
  GdiObject tile{CreateSolidBrush(RGB(0x1F, 0x5F, 0xAF))};
  RECT all{0, 0, size, size};
  FillRect(dc, &all, static_cast<HBRUSH>(tile.object));
  GdiObject white{CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF))};
  const int unit = size / 8 > 0 ? size / 8 : 1;
  RECT stem{2 * unit, unit, 4 * unit, 7 * unit}, foot{2 * unit, 5 * unit, 6 * unit, 7 * unit};
  FillRect(dc, &stem, static_cast<HBRUSH>(white.object));
  FillRect(dc, &foot, static_cast<HBRUSH>(white.object));
  SelectObject(dc, previous);
  DeleteDC(dc);
  ICONINFO info{TRUE, 0, 0, static_cast<HBITMAP>(mask.object), static_cast<HBITMAP>(color.object)};
  icon_ = CreateIconIndirect(&info);
}

TAppIcon::~TAppIcon() {
  if (icon_) DestroyIcon(icon_);
}

}  // namespace opclumbra

#pragma once
// The program's icon, drawn at run time: a blue tile with a white "L".
#include <windows.h>

namespace opclumbra {

class TAppIcon {
 public:
  explicit TAppIcon(int size);
  TAppIcon(const TAppIcon&) = delete;
  TAppIcon& operator=(const TAppIcon&) = delete;
  ~TAppIcon();
  HICON Get() const { return icon_; }

 private:
  HICON icon_ = nullptr;
};

}  // namespace opclumbra

#pragma once
// The program's name, maker and web address, centred on the owner window.
#include "modal_dialog.h"

namespace opclumbra {

// ShowModal gives IDOK from the close button, IDCANCEL from Esc or the title
// bar's close box.
class TAbout : public TModalDialog {
 public:
  TAbout() noexcept;
};

}  // namespace opclumbra

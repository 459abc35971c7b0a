#pragma once
// A dialog with its fields in a framed bevel on the left and the OK (default)
// and Cancel buttons on the right, centred on the screen. Shown as it is, the
// bevel is empty; the editors derive from it with templates of the same layout.
#include "modal_dialog.h"

namespace opclumbra {

class TOKRightDlg : public TModalDialog {
 public:
  TOKRightDlg() noexcept;

 protected:
  explicit TOKRightDlg(int templateId) noexcept;
};

}  // namespace opclumbra

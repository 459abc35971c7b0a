#pragma once
// Asks for the operation password; the typed characters show as '*'.
#include <string>

#include "modal_dialog.h"

namespace opclumbra {

class TPasswordDlg : public TModalDialog {
 public:
  TPasswordDlg() noexcept;

  // Shown when the dialog opens, replaced on OK by the text typed.
  std::wstring Password;

 protected:
  void OnInit() override;
  void OnOK() override;
};

}  // namespace opclumbra

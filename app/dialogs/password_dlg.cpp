#include "password_dlg.h"

#include "dialog_ids.h"

namespace opclumbra {

TPasswordDlg::TPasswordDlg() noexcept : TModalDialog(IDD_PASSWORD, Placement::CentreOnScreen) {}

void TPasswordDlg::OnInit() {
  // The visual-styles edit would mask with a bullet instead.
  SendDlgItemMessageW(Handle(), IDC_PASSWORD, EM_SETPASSWORDCHAR, L'*', 0);
  SetItemText(IDC_PASSWORD, Password);
}

void TPasswordDlg::OnOK() {
  Password = ItemText(IDC_PASSWORD);
  End(IDOK);
}

}  // namespace opclumbra

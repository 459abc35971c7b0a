#include "ok_right_dlg.h"

#include "dialog_ids.h"

namespace opclumbra {

TOKRightDlg::TOKRightDlg() noexcept : TOKRightDlg(IDD_OK_RIGHT) {}

TOKRightDlg::TOKRightDlg(int templateId) noexcept
    : TModalDialog(templateId, Placement::CentreOnScreen) {}

}  // namespace opclumbra

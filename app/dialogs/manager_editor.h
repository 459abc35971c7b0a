#pragma once
// The server's basic parameters: class ID, ProgID, description and update rate.
#include <string>

#include "ok_right_dlg.h"

namespace opclumbra {

class TManagerEditor : public TOKRightDlg {
 public:
  TManagerEditor() noexcept;

  // Shown when the dialog opens; replaced on OK by the texts as typed
  // (untrimmed). The rate takes any 32-bit integer, negative ones too; text
  // that is not one reads as 0.
  std::wstring ClassID, ProgID, Description;
  int UpdateRate = 0;

 protected:
  void OnInit() override;
  void OnOK() override;
};

}  // namespace opclumbra

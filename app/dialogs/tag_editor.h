#pragma once
// Edits one tag: its name, branch or leaf, and for a leaf the data type and
// initial value.
#include <string>

#include "ok_right_dlg.h"

namespace opclumbra {

class TTagEditor : public TOKRightDlg {
 public:
  TTagEditor() noexcept;

  // Shown when the dialog opens and replaced on OK; the defaults are a new
  // tag's. DataTypeIndex indexes the data type table: outside it the list
  // shows no selection. On OK it is the index of the item whose text equals
  // the list's text exactly, -1 for a typed text that is none of them.
  // The data type and initial value are disabled for a branch but kept and
  // read all the same.
  std::wstring Name;
  bool Leaf = true;
  int DataTypeIndex = 0;
  std::wstring InitValue = L"0";

 protected:
  void OnInit() override;
  bool OnCommand(int id, int notifyCode) override;
  void OnOK() override;

 private:
  void EnableLeafFields(bool enable) const;
};

}  // namespace opclumbra

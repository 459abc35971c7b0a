#include "tag_editor.h"

#include "data_type_table.h"
#include "dialog_ids.h"

namespace opclumbra {
namespace {

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

TTagEditor::TTagEditor() noexcept : TOKRightDlg(IDD_TAG_EDITOR) {}

void TTagEditor::OnInit() {
  SetItemText(IDC_NAME, Name);
  CheckRadioButton(Handle(), IDC_BRANCH, IDC_LEAF, Leaf ? IDC_LEAF : IDC_BRANCH);
  const auto types = DataTypeTable::Listed();
  for (const auto& type : types)
    SendDlgItemMessageW(Handle(), IDC_DATATYPE, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(Wide(type.listText).c_str()));
  const bool listed = DataTypeIndex >= 0 && static_cast<size_t>(DataTypeIndex) < types.size();
  SendDlgItemMessageW(Handle(), IDC_DATATYPE, CB_SETCURSEL, listed ? DataTypeIndex : -1, 0);
  SetItemText(IDC_INIT_VALUE, InitValue);
  EnableLeafFields(Leaf);
}

bool TTagEditor::OnCommand(int id, int notifyCode) {
  if ((id == IDC_BRANCH || id == IDC_LEAF) && notifyCode == BN_CLICKED) {
    EnableLeafFields(IsDlgButtonChecked(Handle(), IDC_LEAF) == BST_CHECKED);
    return true;
  }
  return TOKRightDlg::OnCommand(id, notifyCode);
}

void TTagEditor::OnOK() {
  Name = ItemText(IDC_NAME);
  Leaf = IsDlgButtonChecked(Handle(), IDC_LEAF) == BST_CHECKED;
  // By the text, not the list's selection: typing into the box keeps a stale one.
  const std::wstring typed = ItemText(IDC_DATATYPE);
  const auto types = DataTypeTable::Listed();
  DataTypeIndex = -1;
  for (size_t i = 0; i < types.size(); ++i) {
    if (Wide(types[i].listText) == typed) {
      DataTypeIndex = static_cast<int>(i);
      break;
    }
  }
  InitValue = ItemText(IDC_INIT_VALUE);
  End(IDOK);
}

void TTagEditor::EnableLeafFields(bool enable) const {
  EnableWindow(Item(IDC_DATATYPE), enable);
  EnableWindow(Item(IDC_INIT_VALUE), enable);
}

}  // namespace opclumbra

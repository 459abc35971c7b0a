// The tag views of the main window: the tree of the manager and its branches,
// and the list of the selected node's leaves with their current values.
#include <string>

#include "display_text.h"
#include "main_window.h"
#include "tag.h"
#include "ui_text.h"

namespace opclumbra {

HTREEITEM TForm1::AddTreeNode(HTREEITEM parent, TNamedItem& item) {
  std::wstring name = W(item.Name());
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = name.data();
  insert.item.lParam = reinterpret_cast<LPARAM>(&item);
  return reinterpret_cast<HTREEITEM>(SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void TForm1::FillTree() {
  TreeView_DeleteAllItems(tree_);
  HTREEITEM root = AddTreeNode(TVI_ROOT, manager_);
  AddBranchNodes(root, manager_);
  TreeView_Expand(tree_, root, TVE_EXPAND);
}

void TForm1::AddBranchNodes(HTREEITEM parent, TNamedItem& item) {
  // Leaves are never shown in the tree.
  for (size_t i = 0; i < item.ChildCount(); ++i) {
    auto* tag = dynamic_cast<TTag*>(&item.Child(i));
    if (tag && tag->TagType() == TTag::Branch) AddBranchNodes(AddTreeNode(parent, *tag), *tag);
  }
}

void TForm1::ShowLeaves(TNamedItem* node) {
  ListView_DeleteAllItems(list_);
  if (!node) return;
  for (size_t i = 0; i < node->ChildCount(); ++i) {
    auto* tag = dynamic_cast<TTag*>(&node->Child(i));
    if (tag && tag->TagType() == TTag::Leaf) AddRow(*tag);
  }
}

void TForm1::AddRow(TTag& tag) {
  std::wstring name = W(tag.Name());
  LVITEMW item{LVIF_TEXT | LVIF_PARAM};
  item.iItem = ListView_GetItemCount(list_);
  item.pszText = name.data();
  item.lParam = reinterpret_cast<LPARAM>(&tag);
  int row = int(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (row >= 0) SetRowTexts(row, tag, false);
}

void TForm1::SetRowTexts(int row, TTag& tag, bool keepValueWithoutText) {
  auto set = [&](int column, const std::wstring& text) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  };
  // A value without a text leaves its cell empty, or as it was on a refresh.
  if (auto value = ValueText(tag.Value()))
    set(1, *value);
  else if (!keepValueWithoutText)
    set(1, L"");
  set(2, std::to_wstring(tag.Quality()));
  set(3, LocalDaysText(tag.TimeStamp()));
}

void TForm1::RefreshRow(TTag& tag) {
  if (editMode_ || !list_) return;
  int row = RowOf(tag);
  if (row >= 0) SetRowTexts(row, tag, true);
}

int TForm1::RowOf(const TTag& tag) const {
  LVFINDINFOW find{LVFI_PARAM};
  find.lParam = reinterpret_cast<LPARAM>(&tag);
  return int(SendMessageW(list_, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
}

TNamedItem* TForm1::SelectedNodeObject() const {
  HTREEITEM selected = TreeView_GetSelection(tree_);
  if (!selected) return nullptr;
  TVITEMW item{TVIF_PARAM};
  item.hItem = selected;
  if (!SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<TNamedItem*>(item.lParam);
}

TTag* TForm1::SelectedRowTag() const {
  int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
  if (row < 0) return nullptr;
  LVITEMW item{LVIF_PARAM};
  item.iItem = row;
  if (!SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return reinterpret_cast<TTag*>(item.lParam);
}

}  // namespace opclumbra

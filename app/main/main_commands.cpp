// The main window's commands: edit mode and the editing commands it unlocks,
// saving, registration, the about box, and Exit.
#include <string>

#include "about.h"
#include "ansi_codepage_win.h"
#include "commands.h"
#include "main_window.h"
#include "manager_editor.h"
#include "model_error.h"
#include "password_dlg.h"
#include "tag.h"
#include "tag_editor.h"
#include "ui_text.h"

namespace opclumbra {
namespace {

constexpr INT_PTR kOk = 1;

// Sets a flag for as long as it lives.
class FlagHold {
 public:
  explicit FlagHold(bool& flag) : flag_(flag) { flag_ = true; }
  FlagHold(const FlagHold&) = delete;
  FlagHold& operator=(const FlagHold&) = delete;
  ~FlagHold() { flag_ = false; }

 private:
  bool& flag_;
};

// The tag dialog's index of an undefined type is stored as the 16-bit value 65535.
std::uint16_t StoredDataType(int index) { return static_cast<std::uint16_t>(index); }

}  // namespace

void TForm1::RunCommand(UINT id) {
  const Command* command = FindCommand(id);
  if (!command) return;
  // A shortcut or a stale menu must not run a locked command.
  if (command->editing && !editMode_) return;
  switch (id) {
    case CmdEditMode: return EditMode();
    case CmdSave: Save(); return;
    case CmdExit: return Exit();
    case CmdAdd: return Add();
    case CmdDelete: return Delete();
    case CmdSetup: return Setup();
    case CmdRegister: return Register(true);
    case CmdUnregister: return Register(false);
    case CmdAbout: return About();
    case CmdRestore: return Restore();
  }
}

void TForm1::EnableCommand(UINT id, bool enabled) {
  const UINT state = MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED);
  EnableMenuItem(mainMenu_, id, state);
  EnableMenuItem(contextMenu_, id, state);
  SendMessageW(toolbar_, TB_ENABLEBUTTON, id, MAKELONG(enabled ? TRUE : FALSE, 0));
  DrawMenuBar(hwnd_);
}

void TForm1::ShowMessage(const std::wstring& text) {
  MessageBoxW(hwnd_, text.c_str(), L"提示", MB_OK);
}

TForm1::PasswordAnswer TForm1::AskPassword() {
  TPasswordDlg dialog;
  if (dialog.ShowModal(hwnd_) != kOk) return PasswordAnswer::Cancelled;
  return SameTextAscii(Trim(dialog.Password), W(manager_.PassWord())) ? PasswordAnswer::Right
                                                                       : PasswordAnswer::Wrong;
}

void TForm1::EditMode() {
  // A wrong password does nothing, without a message.
  if (AskPassword() != PasswordAnswer::Right) return;
  editMode_ = true;
  for (UINT id : {CmdAdd, CmdDelete, CmdSetup, CmdSave}) EnableCommand(id, true);
}

void TForm1::Add() {
  HTREEITEM selected = TreeView_GetSelection(tree_);
  TNamedItem* owner = SelectedNodeObject();
  if (!selected || !owner) return;
  TTagEditor dialog;
  if (dialog.ShowModal(hwnd_) != kOk) return;
  TTag& tag = TTag::Create(*owner);
  try {
    tag.SetName(U(Trim(dialog.Name)));
  } catch (const EModelError& e) {
    owner->DestroyChild(tag);
    ShowMessage(W(e.Message()));
    return;
  }
  tag.SetTagType(dialog.Leaf ? TTag::Leaf : TTag::Branch);
  tag.SetDataType(StoredDataType(dialog.DataTypeIndex));
  tag.SetInitValue(U(dialog.InitValue));
  if (tag.TagType() == TTag::Leaf)
    AddRow(tag);
  else
    AddTreeNode(selected, tag);
  modified_ = true;
}

void TForm1::Delete() {
  if (GetFocus() == tree_) {
    if (HTREEITEM selected = TreeView_GetSelection(tree_)) {
      if (selected == TreeView_GetRoot(tree_)) {
        ShowMessage(L"不能删除根节点!");
      } else if (auto* tag = dynamic_cast<TTag*>(SelectedNodeObject())) {
        // The node goes first: the views must never hold a destroyed tag.
        TreeView_DeleteItem(tree_, selected);
        TNamedItem* owner = tag->Owner();
        owner->DestroyChild(*tag);
        ShowLeaves(SelectedNodeObject());
        modified_ = true;
      }
    }
  }
  if (GetFocus() == list_) {
    if (TTag* tag = SelectedRowTag()) {
      ListView_DeleteItem(list_, ListView_GetNextItem(list_, -1, LVNI_SELECTED));
      tag->Owner()->DestroyChild(*tag);
      modified_ = true;
    }
  }
}

void TForm1::Setup() {
  const bool fromTree = GetFocus() == tree_;
  TNamedItem* object = fromTree ? SelectedNodeObject() : GetFocus() == list_ ? SelectedRowTag() : nullptr;
  if (!object) return;
  if (object == &manager_) {
    TManagerEditor dialog;
    dialog.ClassID = W(manager_.ClassID());
    dialog.ProgID = W(manager_.ProgID());
    dialog.Description = W(manager_.Description());
    dialog.UpdateRate = manager_.UpdateRate();
    if (dialog.ShowModal(hwnd_) != kOk) return;
    manager_.SetClassID(U(Trim(dialog.ClassID)));
    manager_.SetProgID(U(Trim(dialog.ProgID)));
    manager_.SetDescription(U(Trim(dialog.Description)));
    manager_.SetUpdateRate(dialog.UpdateRate);
    modified_ = true;
    return;
  }
  auto* tag = dynamic_cast<TTag*>(object);
  if (!tag) return;
  TTagEditor dialog;
  dialog.Name = W(tag->Name());
  dialog.Leaf = tag->TagType() == TTag::Leaf;
  dialog.DataTypeIndex = tag->DataType();
  dialog.InitValue = W(tag->InitValue());
  if (dialog.ShowModal(hwnd_) != kOk) return;
  try {
    tag->SetName(U(Trim(dialog.Name)));
  } catch (const EModelError& e) {
    ShowMessage(W(e.Message()));
    return;
  }
  tag->SetTagType(dialog.Leaf ? TTag::Leaf : TTag::Branch);
  tag->SetDataType(StoredDataType(dialog.DataTypeIndex));
  tag->SetInitValue(U(dialog.InitValue));
  std::wstring name = W(tag->Name());
  if (fromTree) {
    TVITEMW item{TVIF_TEXT};
    item.hItem = TreeView_GetSelection(tree_);
    item.pszText = name.data();
    SendMessageW(tree_, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  } else {
    LVITEMW item{};
    item.pszText = name.data();
    SendMessageW(list_, LVM_SETITEMTEXTW, ListView_GetNextItem(list_, -1, LVNI_SELECTED),
                 reinterpret_cast<LPARAM>(&item));
  }
  modified_ = true;
}

bool TForm1::Save() {
  try {
    store_.Save(manager_, WindowsAnsiCodePage());
  } catch (const EModelError& e) {
    // Unsaved changes stay marked, so Exit still asks.
    ShowMessage(W(e.Message()));
    return false;
  }
  if (store_.Backup()) AddLogLine(u"原配置文件无法读取, 已另存为[ " + store_.Backup()->u16string() + u" ]");
  modified_ = false;
  return true;
}

void TForm1::Exit() {
  // Every client that leaves last asks for Exit; with nobody at the screen,
  // each ask would open one more prompt in a modal loop of its own.
  if (exitPromptOpen_) return;
  bool confirmed = false;
  {
    FlagHold open(exitPromptOpen_);
    confirmed = ConfirmExit();
  }
  if (confirmed) DestroyWindow(hwnd_);
}

bool TForm1::ConfirmExit() {
  switch (AskPassword()) {
    case PasswordAnswer::Cancelled:
      return false;
    case PasswordAnswer::Wrong:
      ShowMessage(L"密码错误!");
      return false;
    case PasswordAnswer::Right:
      break;
  }
  if (!modified_) return true;
  switch (MessageBoxW(hwnd_, L"数据变化，是否保存?", L"提示", MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
      return Save();
    case IDNO:
      return true;
    default:
      return false;
  }
}

void TForm1::Register(bool registering) {
  if (manager_.ClassID().empty() || manager_.ProgID().empty()) {
    ShowMessage(L"OPCLumbra设置错误!");
    return;
  }
  // Without a server (a configuration that failed to load) the toolkit is still there to register with.
  TToolkitBinding* binding = binding_.get();
  std::unique_ptr<TToolkitBinding> temporary;
  if (!binding) {
    temporary = std::make_unique<TToolkitBinding>(manager_, *this);
    binding = temporary.get();
  }
  if (registering) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ShowMessage(binding->Register(std::wstring(path, n)) ? L"OPC服务器注册成功!" : L"OPC服务器注册失败!");
  } else {
    ShowMessage(binding->Unregister() ? L"OPC服务器注销成功!" : L"OPC服务器注销失败!");
  }
}

void TForm1::About() {
  TAbout dialog;
  dialog.ShowModal(hwnd_);
}

void TForm1::Restore() {
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(hwnd_);
}

}  // namespace opclumbra

#pragma once
// The main window's commands, shared by the main menu, the toolbar, the
// context menu of the tag views and the tray icon's menu.
#include <windows.h>

namespace opclumbra {

enum CommandId : UINT {
  CmdEditMode = 40001,
  CmdSave,
  CmdExit,
  CmdAdd,
  CmdDelete,
  CmdSetup,
  CmdRegister,
  CmdUnregister,
  CmdAbout,
  CmdRestore,
};

struct Command {
  UINT id;
  const wchar_t* caption;
  const wchar_t* hint;
  bool enabledAtStart;
  bool editing;  // enabled by the operation password
};

inline constexpr Command kCommands[] = {
    {CmdEditMode, L"编辑状态(&Edit Mode)", L"编辑状态", true, false},
    {CmdSave, L"保存设置(&Save)\tCtrl+S", L"保存设置", false, true},
    {CmdExit, L"退出(E&xit)", L"退出", true, false},
    {CmdAdd, L"增加节点(&Add Node)", L"增加节点", false, true},
    {CmdDelete, L"删除节点(&Delete Node)", L"删除节点", false, true},
    {CmdSetup, L"设置节点参数(&Setup Node)", L"设置节点参数", false, true},
    {CmdRegister, L"注册服务器(&Register Server)", L"注册服务器", true, false},
    {CmdUnregister, L"注销服务器(&Unregsiter Server)", L"注销服务器", true, false},
    {CmdAbout, L"关于(&About)", L"关于", true, false},
    {CmdRestore, L"恢复显示(&Restore Window)", L"恢复显示", true, false},
};

// The command of Id, or null.
inline const Command* FindCommand(UINT id) {
  for (const Command& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace opclumbra

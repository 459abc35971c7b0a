#pragma once
// TForm1, the program's only main window: the tag tree, the leaves of the
// selected branch, the log, the commands, and the tray icon it mostly hides
// behind. Its creation starts the OPC server, its destruction stops it.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "app_icon.h"
#include "binding_host.h"
#include "config_store.h"
#include "log_pane.h"
#include "tag_manager.h"
#include "toolkit_binding.h"
#include "tray_icon.h"

namespace opclumbra {

class TNamedItem;

class TForm1 final : public BindingHost {
 public:
  static constexpr wchar_t kClassName[] = L"TForm1";

  // Creates the window hidden, with only the tray icon shown.
  explicit TForm1(HINSTANCE instance);
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;
  ~TForm1() override;

  HWND Handle() const { return hwnd_; }
  // The window's keyboard shortcuts; true when Msg was one.
  bool TranslateShortcut(MSG& msg);

  void AddLogLine(const std::u16string& line) override;
  void RunExit() override;
  void RefreshRow(TTag& tag) override;
  void StartClock() override;

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT HandleNotify(NMHDR& header);

  // Creation, in the order the program starts.
  void CreateControls();
  void CreateMenus();
  void CreateToolbar();
  void LoadAndStart();
  void Layout();

  // The tag views.
  void FillTree();
  void AddBranchNodes(HTREEITEM parent, TNamedItem& item);
  HTREEITEM AddTreeNode(HTREEITEM parent, TNamedItem& item);
  void ShowLeaves(TNamedItem* node);
  void AddRow(TTag& tag);
  void SetRowTexts(int row, TTag& tag, bool keepValueWithoutText);
  TNamedItem* SelectedNodeObject() const;
  TTag* SelectedRowTag() const;
  int RowOf(const TTag& tag) const;

  // The commands.
  void RunCommand(UINT id);
  void EditMode();
  void Add();
  void Delete();
  void Setup();
  bool Save();
  // At most one Exit prompt (the password, then the question about saving) is open at a time.
  void Exit();
  bool ConfirmExit();
  void Register(bool registering);
  void About();
  void Restore();
  void EnableCommand(UINT id, bool enabled);
  void ShowMessage(const std::wstring& text);
  enum class PasswordAnswer { Cancelled, Wrong, Right };
  PasswordAnswer AskPassword();

  void ShowHint(const wchar_t* hint);
  void ShowTrayMenu();
  void ShowContextMenu(HWND control, LPARAM at);

  HINSTANCE instance_;
  HWND hwnd_ = nullptr;
  HWND toolbar_ = nullptr, tree_ = nullptr, list_ = nullptr, memo_ = nullptr, status_ = nullptr;
  TLogPane log_;
  HMENU mainMenu_ = nullptr, contextMenu_ = nullptr, trayMenu_ = nullptr;
  HACCEL shortcuts_ = nullptr;
  HFONT font_ = nullptr;
  TAppIcon bigIcon_{32}, smallIcon_{16};
  std::unique_ptr<TTrayIcon> tray_;

  TTagManager manager_;
  TConfigStore store_;
  std::unique_ptr<TToolkitBinding> binding_;

  bool modified_ = false;
  bool editMode_ = false;
  bool ending_ = false;
  bool exitPromptOpen_ = false;
  int treeWidth_ = 185;
  bool splitting_ = false;
};

}  // namespace opclumbra

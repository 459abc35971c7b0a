#pragma once
// The plumbing every OPCLumbra dialog shares: a modal dialog box from a
// resource template of this module, whose procedure forwards to the object
// (kept in DWLP_USER) through virtual handlers.
#include <windows.h>

#include <string>

namespace opclumbra {

class TModalDialog {
 public:
  TModalDialog(const TModalDialog&) = delete;
  TModalDialog& operator=(const TModalDialog&) = delete;
  virtual ~TModalDialog() = default;

  // IDOK (1) or IDCANCEL (2); -1 when the dialog could not be created.
  INT_PTR ShowModal(HWND owner);

 protected:
  enum class Placement { CentreOnScreen, CentreOnOwner };

  TModalDialog(int templateId, Placement placement) noexcept
      : templateId_(templateId), placement_(placement) {}

  HWND Handle() const noexcept { return handle_; }
  HWND Item(int id) const noexcept { return GetDlgItem(handle_, id); }
  std::wstring ItemText(int id) const;
  void SetItemText(int id, const std::wstring& text) const;
  void End(INT_PTR result) const noexcept { EndDialog(handle_, result); }

  // Called before the dialog is placed, so it may resize the dialog.
  virtual void OnInit() {}
  // True when the command was handled. OK goes to OnOK, Cancel ends the dialog.
  virtual bool OnCommand(int id, int notifyCode);
  // Reads the controls into the object, then ends with IDOK.
  virtual void OnOK() { End(IDOK); }

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
  void Place() const;

  int templateId_;
  Placement placement_;
  HWND handle_ = nullptr;
};

}  // namespace opclumbra

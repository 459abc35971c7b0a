#include "manager_editor.h"

#include <commctrl.h>

#include <charconv>
#include <climits>
#include <string>

#include "dialog_ids.h"

namespace opclumbra {
namespace {

// The text fields' width in pixels, kept under any dialog font.
constexpr int kTextColumnWidth = 241;

int ParseRate(const std::wstring& text) {
  const auto first = text.find_first_not_of(L' ');
  if (first == std::wstring::npos) return 0;
  const auto last = text.find_last_not_of(L' ');
  std::string ascii;
  for (auto i = first; i <= last; ++i) {
    const wchar_t c = text[i];
    if (c > 0x7F) return 0;
    ascii.push_back(static_cast<char>(c));
  }
  int value = 0;
  const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  return error == std::errc{} && end == ascii.data() + ascii.size() ? value : 0;
}

}  // namespace

TManagerEditor::TManagerEditor() noexcept : TOKRightDlg(IDD_MANAGER_EDITOR) {}

void TManagerEditor::OnInit() {
  SetItemText(IDC_CLASS_ID, ClassID);
  SetItemText(IDC_PROG_ID, ProgID);
  SetItemText(IDC_DESCRIPTION, Description);
  for (int id : {IDC_CLASS_ID, IDC_PROG_ID, IDC_DESCRIPTION}) {
    RECT r;
    GetWindowRect(Item(id), &r);
    SetWindowPos(Item(id), nullptr, 0, 0, kTextColumnWidth, r.bottom - r.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // No limits: the arrows step through every 32-bit value from the typed one.
  SendDlgItemMessageW(Handle(), IDC_UPDATE_RATE_SPIN, UDM_SETRANGE32, static_cast<WPARAM>(INT_MIN),
                      INT_MAX);
  SetItemText(IDC_UPDATE_RATE, std::to_wstring(UpdateRate));
}

void TManagerEditor::OnOK() {
  ClassID = ItemText(IDC_CLASS_ID);
  ProgID = ItemText(IDC_PROG_ID);
  Description = ItemText(IDC_DESCRIPTION);
  UpdateRate = ParseRate(ItemText(IDC_UPDATE_RATE));
  End(IDOK);
}

}  // namespace opclumbra

#include "main_window.h"

#include <windowsx.h>

#include <algorithm>
#include <filesystem>
#include <iterator>

#include "ansi_codepage_win.h"
#include "config_file.h"
#include "model_error.h"

#include "commands.h"
#include "display_text.h"
#include "tag.h"
#include "ui_text.h"

namespace opclumbra {
namespace {

// Child window identifiers, stable so that tests and tools can find the controls.
enum ControlId : int { IdToolbar = 100, IdTree, IdList, IdMemo, IdStatus };

constexpr UINT kTrayMessage = WM_APP + 1;
// Exit asked for by the toolkit binding, run once the toolkit's call has returned.
constexpr UINT kRunExitMessage = WM_APP + 2;
constexpr UINT_PTR kClockTimer = 1;
constexpr UINT_PTR kLogFlushTimer = 2;
constexpr UINT kLogFlushMs = 100;
constexpr int kMemoHeight = 79;
constexpr int kSplitterWidth = 3;
constexpr int kMinPaneWidth = 30;
// Beyond this many characters the oldest half of the log is dropped.
constexpr size_t kLogLimit = size_t(1) << 20;

const wchar_t kCaption[] = L"OPCLumbra 1.0 (Lumbra Software)";

void AppendCommand(HMENU menu, UINT id) {
  const Command* c = FindCommand(id);
  AppendMenuW(menu, MF_STRING | (c->enabledAtStart ? 0 : MF_GRAYED), c->id, c->caption);
}

}  // namespace

TForm1::TForm1(HINSTANCE instance)
    : instance_(instance), log_(kLogLimit, kLogFlushTimer, kLogFlushMs), store_([] {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return ConfigFileName(std::filesystem::path(std::wstring(path, n)));
}()) {
  WNDCLASSEXW wc{sizeof wc};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = bigIcon_.Get();
  wc.hIconSm = smallIcon_.Get();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);

  const int width = 640, height = 480;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  CreateWindowExW(0, kClassName, kCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x, y, width, height, nullptr,
                  nullptr, instance, this);
  if (!hwnd_) return;
  tray_ = std::make_unique<TTrayIcon>(hwnd_, kTrayMessage, smallIcon_.Get(), L"OPC Lumbra");
  tray_->Add();
  LoadAndStart();
}

TForm1::~TForm1() {
  if (hwnd_) DestroyWindow(hwnd_);
  if (contextMenu_) DestroyMenu(contextMenu_);
  if (trayMenu_) DestroyMenu(trayMenu_);
  if (shortcuts_) DestroyAcceleratorTable(shortcuts_);
  if (font_) DeleteObject(font_);
}

bool TForm1::TranslateShortcut(MSG& msg) {
  return hwnd_ && shortcuts_ && TranslateAcceleratorW(hwnd_, shortcuts_, &msg);
}

LRESULT CALLBACK TForm1::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<TForm1*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TForm1*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  // Nothing thrown may unwind through the system's window procedure callers.
  try {
    return self->HandleMessage(message, wParam, lParam);
  } catch (const std::exception& e) {
    std::string what = e.what();
    self->AddLogLine(U(std::wstring(what.begin(), what.end())));
    return 0;
  }
}

LRESULT TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (tray_ && tray_->HandleShellRestart(message)) return 0;
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED) {
        // Minimising sends the window back to the tray.
        ShowWindow(hwnd_, SW_HIDE);
        return 0;
      }
      Layout();
      return 0;
    case WM_CLOSE:
      // Closing never ends the program: only Exit does.
      ShowWindow(hwnd_, SW_HIDE);
      return 0;
    case WM_DESTROY:
      KillTimer(hwnd_, kClockTimer);
      if (binding_) binding_->End();
      binding_.reset();
      tray_.reset();
      hwnd_ = nullptr;
      PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 || HIWORD(wParam) == 1) RunCommand(LOWORD(wParam));
      return 0;
    case WM_NOTIFY:
      return HandleNotify(*reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
      ShowContextMenu(reinterpret_cast<HWND>(wParam), lParam);
      return 0;
    case WM_MENUSELECT: {
      const Command* c = (HIWORD(wParam) & MF_POPUP) ? nullptr : FindCommand(LOWORD(wParam));
      ShowHint(c ? c->hint : L"");
      return 0;
    }
    case WM_EXITMENULOOP:
      ShowHint(L"");
      return 0;
    case WM_TIMER:
      if (wParam == kClockTimer) {
        std::wstring now = NowText();
        SendMessageW(status_, SB_SETTEXTW, 2, reinterpret_cast<LPARAM>(now.c_str()));
      }
      if (wParam == log_.TimerId()) log_.Flush();
      return 0;
    case kTrayMessage:
      if (lParam == WM_LBUTTONDBLCLK) Restore();
      if (lParam == WM_RBUTTONUP) ShowTrayMenu();
      return 0;
    case kRunExitMessage:
      Exit();
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd_) {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(hwnd_, &p);
        if (p.x >= treeWidth_ && p.x < treeWidth_ + kSplitterWidth) {
          SetCursor(LoadCursorW(nullptr, IDC_SIZEWE));
          return TRUE;
        }
      }
      break;
    case WM_LBUTTONDOWN:
      if (GET_X_LPARAM(lParam) >= treeWidth_ && GET_X_LPARAM(lParam) < treeWidth_ + kSplitterWidth) {
        splitting_ = true;
        SetCapture(hwnd_);
      }
      return 0;
    case WM_MOUSEMOVE:
      if (splitting_) {
        RECT client;
        GetClientRect(hwnd_, &client);
        int x = GET_X_LPARAM(lParam);
        treeWidth_ = std::max(kMinPaneWidth, std::min<int>(x, client.right - kSplitterWidth - kMinPaneWidth));
        Layout();
      }
      return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (splitting_) {
        splitting_ = false;
        if (message == WM_LBUTTONUP) ReleaseCapture();
      }
      return 0;
  }
  return DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT TForm1::HandleNotify(NMHDR& header) {
  if (header.hwndFrom == tree_ && header.code == TVN_SELCHANGEDW) {
    auto& change = reinterpret_cast<NMTREEVIEWW&>(header);
    ShowLeaves(reinterpret_cast<TNamedItem*>(change.itemNew.lParam));
    return 0;
  }
  if (header.hwndFrom == tree_ && header.code == NM_RCLICK) {
    // A right click selects the node it is on, so that the context menu acts on it.
    TVHITTESTINFO hit{};
    GetCursorPos(&hit.pt);
    ScreenToClient(tree_, &hit.pt);
    if (HTREEITEM item = TreeView_HitTest(tree_, &hit)) TreeView_SelectItem(tree_, item);
    SetFocus(tree_);
    DWORD pos = GetMessagePos();
    ShowContextMenu(tree_, MAKELPARAM(GET_X_LPARAM(pos), GET_Y_LPARAM(pos)));
    return TRUE;
  }
  if (header.code == TTN_GETDISPINFOW) {
    auto& info = reinterpret_cast<NMTTDISPINFOW&>(header);
    if (const Command* c = FindCommand(UINT(header.idFrom))) info.lpszText = const_cast<wchar_t*>(c->hint);
    return 0;
  }
  if (header.hwndFrom == toolbar_ && header.code == TBN_HOTITEMCHANGE) {
    auto& hot = reinterpret_cast<NMTBHOTITEM&>(header);
    const Command* c = (hot.dwFlags & HICF_LEAVING) ? nullptr : FindCommand(UINT(hot.idNew));
    ShowHint(c ? c->hint : L"");
    return 0;
  }
  return 0;
}

void TForm1::CreateControls() {
  NONCLIENTMETRICSW metrics{sizeof metrics};
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  CreateToolbar();
  tree_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                              TVS_SHOWSELALWAYS,
                          0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(IdTree), instance_, nullptr);
  list_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, 0, 0,
                          0, 0, hwnd_, reinterpret_cast<HMENU>(IdList), instance_, nullptr);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
  struct Column {
    const wchar_t* caption;
    int width;
  };
  const Column columns[] = {{L"名称", 80}, {L"值", 120}, {L"质量", 50}, {L"时间戳", 180}};
  for (int i = 0; i < 4; ++i) {
    LVCOLUMNW column{LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM};
    column.pszText = const_cast<wchar_t*>(columns[i].caption);
    column.cx = columns[i].width;
    column.iSubItem = i;
    SendMessageW(list_, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
  }
  memo_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, 0, 0, 0,
                          0, hwnd_, reinterpret_cast<HMENU>(IdMemo), instance_, nullptr);
  SendMessageW(memo_, EM_SETLIMITTEXT, 0, 0);
  log_.Attach(hwnd_, memo_);
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd_,
                            reinterpret_cast<HMENU>(IdStatus), instance_, nullptr);
  for (HWND control : {tree_, list_, memo_, status_})
    if (font_) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  CreateMenus();
  Layout();
}

void TForm1::CreateToolbar() {
  toolbar_ = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP, 0, 0, 0, 0, hwnd_,
                             reinterpret_cast<HMENU>(IdToolbar), instance_, nullptr);
  SendMessageW(toolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  // The system's standard images, and its "back" arrow for Exit.
  SendMessageW(toolbar_, TB_LOADIMAGES, IDB_STD_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
  const int history = int(SendMessageW(toolbar_, TB_LOADIMAGES, IDB_HIST_SMALL_COLOR,
                                       reinterpret_cast<LPARAM>(HINST_COMMCTRL)));
  auto button = [](int image, UINT id, bool enabled) {
    TBBUTTON b{};
    b.iBitmap = image;
    b.idCommand = int(id);
    b.fsState = enabled ? TBSTATE_ENABLED : 0;
    b.fsStyle = BTNS_BUTTON;
    return b;
  };
  TBBUTTON separator{};
  separator.fsStyle = BTNS_SEP;
  const TBBUTTON buttons[] = {button(STD_FILESAVE, CmdSave, false),
                              separator,
                              button(STD_FILENEW, CmdAdd, false),
                              button(STD_DELETE, CmdDelete, false),
                              button(STD_PROPERTIES, CmdSetup, false),
                              separator,
                              button(history + HIST_BACK, CmdExit, true)};
  SendMessageW(toolbar_, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
}

void TForm1::CreateMenus() {
  mainMenu_ = CreateMenu();
  HMENU file = CreatePopupMenu();
  AppendCommand(file, CmdEditMode);
  AppendCommand(file, CmdSave);
  AppendMenuW(file, MF_SEPARATOR, 0, nullptr);
  AppendCommand(file, CmdExit);
  HMENU edit = CreatePopupMenu();
  AppendCommand(edit, CmdAdd);
  AppendCommand(edit, CmdDelete);
  AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  AppendCommand(edit, CmdSetup);
  AppendMenuW(edit, MF_SEPARATOR, 0, nullptr);
  AppendCommand(edit, CmdRegister);
  AppendCommand(edit, CmdUnregister);
  AppendMenuW(mainMenu_, MF_POPUP, reinterpret_cast<UINT_PTR>(file), L"文件(&File)");
  AppendMenuW(mainMenu_, MF_POPUP, reinterpret_cast<UINT_PTR>(edit), L"编辑(&Edit)");
  AppendCommand(mainMenu_, CmdAbout);
  SetMenu(hwnd_, mainMenu_);

  contextMenu_ = CreatePopupMenu();
  AppendCommand(contextMenu_, CmdAdd);
  AppendCommand(contextMenu_, CmdDelete);
  AppendMenuW(contextMenu_, MF_SEPARATOR, 0, nullptr);
  AppendCommand(contextMenu_, CmdSetup);

  trayMenu_ = CreatePopupMenu();
  AppendCommand(trayMenu_, CmdRestore);
  AppendMenuW(trayMenu_, MF_SEPARATOR, 0, nullptr);
  AppendCommand(trayMenu_, CmdExit);

  ACCEL save{FCONTROL | FVIRTKEY, 'S', WORD(CmdSave)};
  shortcuts_ = CreateAcceleratorTableW(&save, 1);
}

void TForm1::LoadAndStart() {
  try {
    store_.Load(manager_, WindowsAnsiCodePage());
  } catch (const EModelError& e) {
    // The defaults stand, without a server this run; a later save keeps the file aside.
    MessageBoxW(hwnd_, W(e.Message()).c_str(), kCaption, MB_OK | MB_ICONERROR);
    return;
  }
  FillTree();
  binding_ = std::make_unique<TToolkitBinding>(manager_, *this);
  binding_->Start();
}

void TForm1::Layout() {
  if (!toolbar_) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  SendMessageW(toolbar_, TB_AUTOSIZE, 0, 0);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT bar, status;
  GetWindowRect(toolbar_, &bar);
  GetWindowRect(status_, &status);
  const int top = bar.bottom - bar.top;
  const int bottom = client.bottom - (status.bottom - status.top);
  const int memoTop = std::max(top, bottom - kMemoHeight);
  const int panes = std::max(0, memoTop - top);
  treeWidth_ = std::max(kMinPaneWidth, std::min<int>(treeWidth_, client.right - kSplitterWidth - kMinPaneWidth));
  MoveWindow(tree_, 0, top, treeWidth_, panes, TRUE);
  const int listLeft = treeWidth_ + kSplitterWidth;
  MoveWindow(list_, listLeft, top, std::max(0, int(client.right) - listLeft), panes, TRUE);
  MoveWindow(memo_, 0, memoTop, client.right, bottom - memoTop, TRUE);
  int edges[3] = {188, 188 + 120, -1};
  SendMessageW(status_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(edges));
}

void TForm1::AddLogLine(const std::u16string& line) { log_.Add(W(line)); }

void TForm1::RunExit() {
  // Called from inside the toolkit's notification: the password prompt waits for the call to return.
  if (hwnd_) PostMessageW(hwnd_, kRunExitMessage, 0, 0);
}

void TForm1::StartClock() {
  SetTimer(hwnd_, kClockTimer, 1000, nullptr);
}

void TForm1::ShowHint(const wchar_t* hint) {
  if (status_) SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(hint));
}

void TForm1::ShowTrayMenu() {
  POINT at;
  GetCursorPos(&at);
  // The menu closes when the user clicks elsewhere only if the window is in the foreground.
  SetForegroundWindow(hwnd_);
  TrackPopupMenu(trayMenu_, TPM_RIGHTBUTTON, at.x, at.y, 0, hwnd_, nullptr);
  PostMessageW(hwnd_, WM_NULL, 0, 0);
}

void TForm1::ShowContextMenu(HWND control, LPARAM at) {
  if (control != tree_ && control != list_) return;
  POINT p{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
  if (p.x == -1 && p.y == -1) {
    // From the keyboard: at the control's top left corner.
    p = {0, 0};
    ClientToScreen(control, &p);
  }
  TrackPopupMenu(contextMenu_, TPM_RIGHTBUTTON, p.x, p.y, 0, hwnd_, nullptr);
}

}  // namespace opclumbra

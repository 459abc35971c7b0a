// The dialogs shown for real and driven from inside their own modal loop: a
// thread timer, dispatched by that loop, finds the dialog, checks what it
// shows, types and clicks, and presses OK or Cancel; then the public fields
// are checked. Needs a display (DISPLAY under Wine).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <climits>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "about.h"
#include "dialog_ids.h"
#include "manager_editor.h"
#include "ok_right_dlg.h"
#include "password_dlg.h"
#include "tag_editor.h"

using namespace opclumbra;

namespace {

constexpr INT_PTR kAbandoned = 99;

std::wstring Text(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)), L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()) + 1)));
  return text;
}

std::wstring Text(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

void Type(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND dialog, int id) { SendMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

LONG_PTR Style(HWND dialog, int id) { return GetWindowLongPtrW(GetDlgItem(dialog, id), GWL_STYLE); }

struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

RECT ClientRect(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return r;
}

RECT WindowRect(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return r;
}

// Runs Drive on the dialog the next modal loop of this thread shows. A drive
// that stops before pressing a button (a failed ASSERT) has the dialog ended
// with kAbandoned, so a failure never hangs the run.
class DialogDriver {
 public:
  explicit DialogDriver(std::function<void(HWND)> drive) : drive_(std::move(drive)) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, OnTimer);
  }
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;
  ~DialogDriver() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  bool Ran() const { return ran_; }

 private:
  static BOOL CALLBACK TakeDialog(HWND window, LPARAM found) {
    wchar_t name[16];
    if (IsWindowVisible(window) && GetClassNameW(window, name, 16) && std::wstring(name) == L"#32770") {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }

  static HWND FindDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), TakeDialog, reinterpret_cast<LPARAM>(&found));
    return found;
  }

  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    DialogDriver* self = current_;
    if (self == nullptr) return;
    HWND dialog = FindDialog();
    if (dialog == nullptr) {
      if (++self->waits_ == 250) {
        KillTimer(nullptr, self->timer_);
        ADD_FAILURE() << "no dialog appeared";
      }
      return;
    }
    KillTimer(nullptr, self->timer_);
    self->ran_ = true;
    self->drive_(dialog);
    // EndDialog hides the dialog at once: still shown, the drive stopped short of a button.
    if (IsWindow(dialog) && IsWindowVisible(dialog)) {
      ADD_FAILURE() << "the drive left the dialog open";
      EndDialog(dialog, kAbandoned);
    }
  }

  static inline DialogDriver* current_ = nullptr;
  std::function<void(HWND)> drive_;
  UINT_PTR timer_ = 0;
  int waits_ = 0;
  bool ran_ = false;
};

template <class Dialog>
INT_PTR Show(Dialog& dialog, std::function<void(HWND)> drive, HWND owner = nullptr) {
  DialogDriver driver(std::move(drive));
  const INT_PTR result = dialog.ShowModal(owner);
  EXPECT_TRUE(driver.Ran());
  return result;
}

void ExpectCentredOnScreen(HWND dialog) {
  const RECT r = WindowRect(dialog);
  EXPECT_NEAR((r.left + r.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((r.top + r.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
}

void ExpectFixedBorder(HWND dialog) {
  const auto style = GetWindowLongPtrW(dialog, GWL_STYLE);
  EXPECT_EQ(style & WS_THICKFRAME, 0);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  EXPECT_NE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME, 0);
}

// The OK-right layout: both buttons right of the bevel, OK the default.
void ExpectOkRight(HWND dialog, int bevel, const wchar_t* ok, const wchar_t* cancel) {
  EXPECT_EQ(Text(dialog, IDOK), ok);
  EXPECT_EQ(Text(dialog, IDCANCEL), cancel);
  EXPECT_EQ(Style(dialog, IDOK) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(Style(dialog, bevel) & SS_TYPEMASK, SS_ETCHEDFRAME);
  const RECT frame = WindowRect(GetDlgItem(dialog, bevel));
  for (int id : {IDOK, IDCANCEL}) EXPECT_GE(WindowRect(GetDlgItem(dialog, id)).left, frame.right);
  ExpectCentredOnScreen(dialog);
  ExpectFixedBorder(dialog);
}

TEST(OkRightDlg, HasTheBevelAndTheButtons) {
  TOKRightDlg dialog;
  EXPECT_EQ(Show(dialog,
                 [](HWND d) {
                   ExpectOkRight(d, IDC_OK_RIGHT_BEVEL, L"OK", L"Cancel");
                   Click(d, IDOK);
                 }),
            IDOK);
  EXPECT_EQ(Show(dialog, [](HWND d) { Click(d, IDCANCEL); }), IDCANCEL);
}

TEST(ManagerEditor, ShowsItsFieldsAndReadsThemBackOnOk) {
  TManagerEditor editor;
  editor.ClassID = L"{11111111-2222-3333-4444-555555555555}";
  editor.ProgID = L"OPCLumbra.Server";
  editor.Description = L"内存标签";
  editor.UpdateRate = 1000;
  const INT_PTR result = Show(editor, [](HWND d) {
    EXPECT_EQ(Text(d), L"服务器基本参数");
    ExpectOkRight(d, IDC_MANAGER_BEVEL, L"OK", L"Cancel");
    EXPECT_EQ(Text(d, IDC_CLASS_ID_LABEL), L"服务器标识：");
    EXPECT_EQ(Text(d, IDC_PROG_ID_LABEL), L"服务器名称：");
    EXPECT_EQ(Text(d, IDC_DESCRIPTION_LABEL), L"服务器描述：");
    EXPECT_EQ(Text(d, IDC_UPDATE_RATE_LABEL), L"更新周期：");
    EXPECT_EQ(Text(d, IDC_UPDATE_RATE_UNIT), L"ms");
    const RECT classId = WindowRect(GetDlgItem(d, IDC_CLASS_ID));
    EXPECT_EQ(classId.right - classId.left, 241);
    EXPECT_EQ(Text(d, IDC_CLASS_ID), L"{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(Text(d, IDC_PROG_ID), L"OPCLumbra.Server");
    EXPECT_EQ(Text(d, IDC_DESCRIPTION), L"内存标签");
    EXPECT_EQ(Text(d, IDC_UPDATE_RATE), L"1000");
    HWND spin = GetDlgItem(d, IDC_UPDATE_RATE_SPIN);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), GetDlgItem(d, IDC_UPDATE_RATE));
    int low = 0, high = 0;
    SendMessageW(spin, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, INT_MIN);
    EXPECT_EQ(high, INT_MAX);
    Type(d, IDC_CLASS_ID, L" {AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE} ");
    Type(d, IDC_PROG_ID, L"Lumbra.Memory.1");
    Type(d, IDC_DESCRIPTION, L"测试服务器");
    Type(d, IDC_UPDATE_RATE, L"-250");
    Click(d, IDOK);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(editor.ClassID, L" {AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE} ");
  EXPECT_EQ(editor.ProgID, L"Lumbra.Memory.1");
  EXPECT_EQ(editor.Description, L"测试服务器");
  EXPECT_EQ(editor.UpdateRate, -250);
}

TEST(ManagerEditor, TakesEvery32BitRate) {
  TManagerEditor editor;
  for (int rate : {INT_MIN, INT_MAX, 0}) {
    EXPECT_EQ(Show(editor,
                   [rate](HWND d) {
                     Type(d, IDC_UPDATE_RATE, std::to_wstring(rate));
                     Click(d, IDOK);
                   }),
              IDOK);
    EXPECT_EQ(editor.UpdateRate, rate);
  }
}

TEST(ManagerEditor, TheArrowsStepFromTheTypedRate) {
  TManagerEditor editor;
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   Type(d, IDC_UPDATE_RATE, L"-1");
                   SendMessageW(GetDlgItem(d, IDC_UPDATE_RATE), WM_KEYDOWN, VK_UP, 0);
                   SendMessageW(GetDlgItem(d, IDC_UPDATE_RATE), WM_KEYUP, VK_UP, 0);
                   EXPECT_EQ(Text(d, IDC_UPDATE_RATE), L"0");
                   Click(d, IDOK);
                 }),
            IDOK);
  EXPECT_EQ(editor.UpdateRate, 0);
}

TEST(ManagerEditor, ARateThatIsNoIntegerReadsAsZero) {
  TManagerEditor editor;
  editor.UpdateRate = 500;
  for (const wchar_t* typed : {L"abc", L"2147483648", L"12ms", L""}) {
    EXPECT_EQ(Show(editor,
                   [typed](HWND d) {
                     Type(d, IDC_UPDATE_RATE, typed);
                     Click(d, IDOK);
                   }),
              IDOK);
    EXPECT_EQ(editor.UpdateRate, 0) << "typed " << testing::PrintToString(std::wstring(typed));
  }
}

TEST(ManagerEditor, CancelKeepsTheFields) {
  TManagerEditor editor;
  editor.ClassID = L"{1}";
  editor.ProgID = L"P";
  editor.Description = L"D";
  editor.UpdateRate = 7;
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   Type(d, IDC_CLASS_ID, L"x");
                   Type(d, IDC_PROG_ID, L"y");
                   Type(d, IDC_DESCRIPTION, L"z");
                   Type(d, IDC_UPDATE_RATE, L"9");
                   Click(d, IDCANCEL);
                 }),
            IDCANCEL);
  EXPECT_EQ(editor.ClassID, L"{1}");
  EXPECT_EQ(editor.ProgID, L"P");
  EXPECT_EQ(editor.Description, L"D");
  EXPECT_EQ(editor.UpdateRate, 7);
}

TEST(TagEditor, OpensWithANewLeafsDefaults) {
  TTagEditor editor;
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   EXPECT_EQ(Text(d), L"节点属性编辑器");
                   ExpectOkRight(d, IDC_TAG_BEVEL, L"确定", L"取消");
                   EXPECT_EQ(Text(d, IDC_NAME_LABEL), L"节点名称：");
                   EXPECT_EQ(Text(d, IDC_TAG_TYPE_LABEL), L"节点类型：");
                   EXPECT_EQ(Text(d, IDC_DATATYPE_LABEL), L"数据类型：");
                   EXPECT_EQ(Text(d, IDC_INIT_VALUE_LABEL), L"初始值：");
                   EXPECT_EQ(Text(d, IDC_BRANCH), L"枝干节点");
                   EXPECT_EQ(Text(d, IDC_LEAF), L"叶节点");
                   EXPECT_EQ(Text(d, IDC_NAME), L"");
                   EXPECT_FALSE(Checked(d, IDC_BRANCH));
                   EXPECT_TRUE(Checked(d, IDC_LEAF));
                   HWND types = GetDlgItem(d, IDC_DATATYPE);
                   EXPECT_EQ(Style(d, IDC_DATATYPE) & 3, CBS_DROPDOWN);
                   const wchar_t* expected[] = {L"整数", L"浮点数", L"布尔量", L"字符串", L"无"};
                   ASSERT_EQ(SendMessageW(types, CB_GETCOUNT, 0, 0), 5);
                   for (int i = 0; i < 5; ++i) {
                     wchar_t item[32] = {};
                     SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                     EXPECT_EQ(std::wstring(item), expected[i]);
                   }
                   EXPECT_EQ(SendMessageW(types, CB_GETCURSEL, 0, 0), 0);
                   EXPECT_EQ(Text(types), L"整数");
                   EXPECT_TRUE(Enabled(d, IDC_DATATYPE));
                   EXPECT_TRUE(Enabled(d, IDC_INIT_VALUE));
                   EXPECT_EQ(Text(d, IDC_INIT_VALUE), L"0");
                   Type(d, IDC_NAME, L"温度");
                   Click(d, IDOK);
                 }),
            IDOK);
  EXPECT_EQ(editor.Name, L"温度");
  EXPECT_TRUE(editor.Leaf);
  EXPECT_EQ(editor.DataTypeIndex, 0);
  EXPECT_EQ(editor.InitValue, L"0");
}

TEST(TagEditor, TheTagTypeEnablesTheLeafFields) {
  TTagEditor editor;
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   Click(d, IDC_BRANCH);
                   EXPECT_TRUE(Checked(d, IDC_BRANCH));
                   EXPECT_FALSE(Checked(d, IDC_LEAF));
                   EXPECT_FALSE(Enabled(d, IDC_DATATYPE));
                   EXPECT_FALSE(Enabled(d, IDC_INIT_VALUE));
                   Click(d, IDC_LEAF);
                   EXPECT_TRUE(Checked(d, IDC_LEAF));
                   EXPECT_TRUE(Enabled(d, IDC_DATATYPE));
                   EXPECT_TRUE(Enabled(d, IDC_INIT_VALUE));
                   SendDlgItemMessageW(d, IDC_DATATYPE, CB_SETCURSEL, 2, 0);
                   Type(d, IDC_INIT_VALUE, L"True");
                   Click(d, IDC_BRANCH);
                   Click(d, IDOK);
                 }),
            IDOK);
  // Disabled, the fields keep their contents and are read all the same.
  EXPECT_FALSE(editor.Leaf);
  EXPECT_EQ(editor.DataTypeIndex, 2);
  EXPECT_EQ(editor.InitValue, L"True");
}

TEST(TagEditor, ABranchOpensWithTheLeafFieldsDisabled) {
  TTagEditor editor;
  editor.Name = L"Area1";
  editor.Leaf = false;
  editor.DataTypeIndex = 3;
  editor.InitValue = L"abc";
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   EXPECT_EQ(Text(d, IDC_NAME), L"Area1");
                   EXPECT_TRUE(Checked(d, IDC_BRANCH));
                   EXPECT_FALSE(Checked(d, IDC_LEAF));
                   EXPECT_FALSE(Enabled(d, IDC_DATATYPE));
                   EXPECT_FALSE(Enabled(d, IDC_INIT_VALUE));
                   EXPECT_EQ(Text(d, IDC_DATATYPE), L"字符串");
                   EXPECT_EQ(Text(d, IDC_INIT_VALUE), L"abc");
                   Click(d, IDC_LEAF);
                   EXPECT_TRUE(Enabled(d, IDC_DATATYPE));
                   EXPECT_TRUE(Enabled(d, IDC_INIT_VALUE));
                   Click(d, IDOK);
                 }),
            IDOK);
  EXPECT_TRUE(editor.Leaf);
  EXPECT_EQ(editor.DataTypeIndex, 3);
  EXPECT_EQ(editor.InitValue, L"abc");
}

TEST(TagEditor, AnUnlistedIndexShowsNoSelection) {
  for (int index : {65535, -1, 5}) {
    TTagEditor editor;
    editor.DataTypeIndex = index;
    EXPECT_EQ(Show(editor,
                   [](HWND d) {
                     EXPECT_EQ(SendDlgItemMessageW(d, IDC_DATATYPE, CB_GETCURSEL, 0, 0), CB_ERR);
                     EXPECT_EQ(Text(d, IDC_DATATYPE), L"");
                     Click(d, IDOK);
                   }),
              IDOK);
    EXPECT_EQ(editor.DataTypeIndex, -1) << index;
  }
}

TEST(TagEditor, ATypedTextThatIsNoItemReadsAsMinusOne) {
  TTagEditor editor;
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   Type(d, IDC_DATATYPE, L"abc");
                   EXPECT_EQ(Text(d, IDC_DATATYPE), L"abc");
                   Click(d, IDOK);
                 }),
            IDOK);
  EXPECT_EQ(editor.DataTypeIndex, -1);
}

TEST(TagEditor, ATypedItemTextReadsAsItsIndex) {
  TTagEditor editor;
  for (const auto& [typed, index] : {std::pair{L"字符串", 3}, {L"无", 4}, {L"字符串 ", -1}, {L"整", -1}}) {
    EXPECT_EQ(Show(editor,
                   [typed](HWND d) {
                     Type(d, IDC_DATATYPE, typed);
                     Click(d, IDOK);
                   }),
              IDOK);
    EXPECT_EQ(editor.DataTypeIndex, index) << testing::PrintToString(std::wstring(typed));
  }
}

TEST(TagEditor, CancelKeepsTheFields) {
  TTagEditor editor;
  editor.Name = L"Level";
  editor.DataTypeIndex = 1;
  editor.InitValue = L"0.5";
  EXPECT_EQ(Show(editor,
                 [](HWND d) {
                   Type(d, IDC_NAME, L"Other");
                   Click(d, IDC_BRANCH);
                   Type(d, IDC_DATATYPE, L"abc");
                   Type(d, IDC_INIT_VALUE, L"9");
                   Click(d, IDCANCEL);
                 }),
            IDCANCEL);
  EXPECT_EQ(editor.Name, L"Level");
  EXPECT_TRUE(editor.Leaf);
  EXPECT_EQ(editor.DataTypeIndex, 1);
  EXPECT_EQ(editor.InitValue, L"0.5");
}

TEST(PasswordDlg, MasksTheTypedPassword) {
  TPasswordDlg dialog;
  EXPECT_EQ(Show(dialog,
                 [](HWND d) {
                   EXPECT_EQ(Text(d), L"提示");
                   EXPECT_EQ(Text(d, IDC_PASSWORD_LABEL), L"操作密码：");
                   EXPECT_EQ(Text(d, IDOK), L"确定");
                   EXPECT_EQ(Text(d, IDCANCEL), L"取消");
                   EXPECT_EQ(Style(d, IDOK) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
                   EXPECT_NE(Style(d, IDC_PASSWORD) & ES_PASSWORD, 0);
                   EXPECT_EQ(SendDlgItemMessageW(d, IDC_PASSWORD, EM_GETPASSWORDCHAR, 0, 0), L'*');
                   EXPECT_EQ(Text(d, IDC_PASSWORD), L"");
                   ExpectCentredOnScreen(d);
                   ExpectFixedBorder(d);
                   Type(d, IDC_PASSWORD, L"秘密 123");
                   EXPECT_EQ(Text(d, IDC_PASSWORD), L"秘密 123");
                   Click(d, IDOK);
                 }),
            IDOK);
  EXPECT_EQ(dialog.Password, L"秘密 123");
}

TEST(PasswordDlg, HasAClientAreaOf233By93Pixels) {
  TPasswordDlg dialog;
  Show(dialog, [](HWND d) {
    // The template is in dialog units: the font's rounding may be off by a pixel or two.
    const RECT client = ClientRect(d);
    EXPECT_NEAR(client.right - client.left, 233, 2);
    EXPECT_NEAR(client.bottom - client.top, 93, 2);
    // Every control inside it.
    for (int id : {IDC_PASSWORD_LABEL, IDC_PASSWORD, IDOK, IDCANCEL}) {
      RECT r = WindowRect(GetDlgItem(d, id));
      MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
      EXPECT_GE(r.left, 0) << id;
      EXPECT_GE(r.top, 0) << id;
      EXPECT_LE(r.right, client.right) << id;
      EXPECT_LE(r.bottom, client.bottom) << id;
    }
    Click(d, IDCANCEL);
  });
}

TEST(PasswordDlg, CancelKeepsThePassword) {
  TPasswordDlg dialog;
  dialog.Password = L"old";
  EXPECT_EQ(Show(dialog,
                 [](HWND d) {
                   EXPECT_EQ(Text(d, IDC_PASSWORD), L"old");
                   Type(d, IDC_PASSWORD, L"new");
                   Click(d, IDCANCEL);
                 }),
            IDCANCEL);
  EXPECT_EQ(dialog.Password, L"old");
}

TEST(About, ShowsTheProgramAndClosesCentredOnItsOwner) {
  const OwnedWindow window(CreateWindowExW(0, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 40, 60, 500, 400,
                                           nullptr, nullptr, nullptr, nullptr));
  HWND owner = window.get();
  ASSERT_NE(owner, nullptr);
  TAbout about;
  EXPECT_EQ(Show(
                about,
                [owner](HWND d) {
                  EXPECT_EQ(GetWindow(d, GW_OWNER), owner);
                  EXPECT_EQ(Text(d), L"关于");
                  EXPECT_EQ(Style(d, IDC_ABOUT_GROUP) & BS_TYPEMASK, BS_GROUPBOX);
                  EXPECT_EQ(Text(d, IDC_ABOUT_PRODUCT), L"OPCLumbra 1.0");
                  EXPECT_EQ(Text(d, IDC_ABOUT_MAKER), L"Lumbra Software  2026-12");
                  EXPECT_EQ(Text(d, IDC_ABOUT_WEB), L"http://www.lumbra.example");
                  EXPECT_EQ(Text(d, IDOK), L"关闭");
                  EXPECT_EQ(Style(d, IDOK) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
                  const RECT group = WindowRect(GetDlgItem(d, IDC_ABOUT_GROUP));
                  EXPECT_GE(WindowRect(GetDlgItem(d, IDOK)).top, group.bottom);
                  const RECT r = WindowRect(d);
                  EXPECT_NEAR((r.left + r.right) / 2, 40 + 250, 1);
                  EXPECT_NEAR((r.top + r.bottom) / 2, 60 + 200, 1);
                  ExpectFixedBorder(d);
                  Click(d, IDOK);
                },
                owner),
            IDOK);
}

}  // namespace

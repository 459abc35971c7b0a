#include "group_window.h"

#include <stdexcept>

#include "group.h"

namespace quillon {
namespace {

LRESULT CALLBACK GroupWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (auto* group = reinterpret_cast<TGroup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
    return group->DoWndProc(msg, wParam, lParam);
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

const wchar_t* WindowClass() {
  static const wchar_t* name = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = GroupWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"QuillonGroupWindow";
    RegisterClassW(&wc);
    return wc.lpszClassName;
  }();
  return name;
}

}  // namespace

HWND CreateGroupWindow(TGroup* group) {
  HWND hwnd = CreateWindowExW(0, WindowClass(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) throw std::runtime_error("CreateWindowEx failed for the group window");
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(group));
  return hwnd;
}

}  // namespace quillon

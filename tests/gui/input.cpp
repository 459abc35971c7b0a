#include "input.h"

#include <vector>

namespace gui {
namespace {

INPUT Key(WORD vk, bool up) {
  INPUT input{INPUT_KEYBOARD};
  input.ki.wVk = vk;
  input.ki.wScan = WORD(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

INPUT Mouse(DWORD flags, POINT at = {}) {
  INPUT input{INPUT_MOUSE};
  input.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    // Absolute positions are in 1/65536 of the primary screen.
    input.mi.dx = MulDiv(at.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(at.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
  }
  return input;
}

void Send(std::vector<INPUT> inputs) {
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
  // Lets the target's thread see the input before the next step.
  Sleep(30);
}

}  // namespace

void PressKey(WORD vk) {
  Send({Key(vk, false), Key(vk, true)});
}

void PressChord(WORD modifier, WORD vk) {
  Send({Key(modifier, false), Key(vk, false), Key(vk, true), Key(modifier, true)});
}

void TypeText(std::wstring_view text) {
  std::vector<INPUT> inputs;
  for (wchar_t c : text) {
    INPUT input{INPUT_KEYBOARD};
    input.ki.wScan = c;
    input.ki.dwFlags = KEYEVENTF_UNICODE;
    inputs.push_back(input);
    input.ki.dwFlags |= KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  Send(std::move(inputs));
}

void Click(POINT at) {
  Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at), Mouse(MOUSEEVENTF_LEFTDOWN), Mouse(MOUSEEVENTF_LEFTUP)});
}

void DoubleClick(POINT at) {
  Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at), Mouse(MOUSEEVENTF_LEFTDOWN), Mouse(MOUSEEVENTF_LEFTUP),
        Mouse(MOUSEEVENTF_LEFTDOWN), Mouse(MOUSEEVENTF_LEFTUP)});
}

void RightClick(POINT at) {
  Send({Mouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, at), Mouse(MOUSEEVENTF_RIGHTDOWN),
        Mouse(MOUSEEVENTF_RIGHTUP)});
}

}  // namespace gui

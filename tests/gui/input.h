#pragma once
// A person at the keyboard and mouse: real input through SendInput, which
// goes to the foreground window (keys) or to the window under the pointer
// (mouse), exactly as typed or clicked.
#include <windows.h>

#include <string_view>

namespace gui {

void PressKey(WORD vk);
// Holds Modifier (VK_MENU, VK_CONTROL, ...) while pressing Vk.
void PressChord(WORD modifier, WORD vk);
// The characters themselves, whatever the keyboard layout.
void TypeText(std::wstring_view text);

void Click(POINT at);
void DoubleClick(POINT at);
void RightClick(POINT at);

}  // namespace gui

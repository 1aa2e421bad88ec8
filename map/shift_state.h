// Mouse buttons, shift states and key codes in the form the control's
// handlers take them (desktop virtual-key codes), and their translation from Qt.
#pragma once
#include <Qt>

using TShiftState = unsigned;
enum : TShiftState {
  ssShift = 1,
  ssAlt = 2,
  ssCtrl = 4,
  ssLeft = 8,
  ssRight = 16,
  ssMiddle = 32,
  ssDouble = 64,
};

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

constexpr int VK_SHIFT = 16;
constexpr int VK_CONTROL = 17;
constexpr int VK_MENU = 18;  // Alt
constexpr int VK_ADD = 107;  // numeric keypad plus
constexpr int VK_SUBTRACT = 109;
constexpr int VK_F11 = 122;

TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons);
// The virtual-key code of a Qt key (0 when it has none we use).
int VirtualKeyFromQt(int qt_key, Qt::KeyboardModifiers mods);

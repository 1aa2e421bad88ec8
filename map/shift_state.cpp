#include "map/shift_state.h"

TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (mods & Qt::ShiftModifier) s |= ssShift;
  if (mods & Qt::AltModifier) s |= ssAlt;
  if (mods & Qt::ControlModifier) s |= ssCtrl;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

int VirtualKeyFromQt(int qt_key, Qt::KeyboardModifiers mods) {
  const bool keypad = (mods & Qt::KeypadModifier) != 0;
  switch (qt_key) {
    case Qt::Key_Plus:
      return keypad ? VK_ADD : 0;
    case Qt::Key_Minus:
      return keypad ? VK_SUBTRACT : 0;
    case Qt::Key_F11:
      return VK_F11;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    default:
      if (qt_key >= Qt::Key_A && qt_key <= Qt::Key_Z) return qt_key;  // same codes
      if (qt_key >= Qt::Key_0 && qt_key <= Qt::Key_9) return qt_key;
      return 0;
  }
}
